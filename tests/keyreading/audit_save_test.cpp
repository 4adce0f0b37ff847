// Saving decoded audit rows into the history.
#include "app/keyreading/audit_save.h"
#include "keyformats/audit_trail_keys.h"
#include "keyreading/read_key_fixture.h"

#include <QPushButton>
#include <sqlite3.h>

using namespace rktest;

namespace {

const RomId kLockA = onewire::makeRomId(0x23, 0xA1);
const RomId kUserKey = onewire::makeRomId(0x01, 0x1001);

class AuditSaveTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        addLock(1, kLockA, "Front", "Lobby");
        addUser(7, romIdText(kUserKey), "4321", "Ada", "Lovelace");
        auto k = ds1977(600);
        const auto writes = auditTrailKeyWrites(kAuditTrailChoices[6], kSite);
        for (const auto& w : writes.at(0))
            setPage(k, w.page, w.image);
        locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
        for (int i = 0; i < 50; ++i)
            lock.record(locksim::AuditEvent::withKey(kUserKey, 0, at(2026, 2, 2) + std::chrono::minutes(i)));
        lock.record(locksim::AuditEvent::withCode("4321", 1, 1, at(2026, 2, 3)));
        auto m = memoryOf(k);
        ASSERT_EQ(lock.visit(m), locksim::VisitResult::Filled);
        storeMemory(k, m);
        put(k);
    }
    int64_t history() { return scalar("SELECT count(*) FROM RecordInfor"); }
};

TEST_F(AuditSaveTest, SavesOnceAndNeverTwice)
{
    auto form = newForm();
    EXPECT_TRUE(read(*form).empty());
    ASSERT_FALSE(form->BitBtn1->isHidden());
    dialogs.boxes.clear();
    form->BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Save Data OK." });
    EXPECT_TRUE(form->BitBtn1->isHidden());
    EXPECT_TRUE(form->BitBtn5->isHidden());
    EXPECT_FALSE(form->BitBtn2->isHidden()); // the export is still there after saving
    EXPECT_EQ(history(), 51);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE CodeType = 'Perm.' AND SerialID = '4321'"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE CodeType IS NULL"), 50);
    EXPECT_EQ(
        scalar("SELECT count(*) FROM RecordInfor WHERE LockLocation = 'Lobby' AND FirstName = 'Ada'"), 51);

    // The same key again, with the user renamed meanwhile: the same events, nothing new.
    exec("UPDATE KeyManagement SET FirstName = 'Augusta'");
    read(*form);
    EXPECT_FALSE(form->BitBtn1->isHidden());
    form->BitBtn1Click();
    EXPECT_EQ(history(), 51);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE FirstName = 'Augusta'"), 0);
}

TEST_F(AuditSaveTest, RepeatsWithinOneBatchAreStoredOnce)
{
    const DateTime t { std::chrono::seconds(1'700'000'000) };
    // Each row after the first differs from it in one column: only a name makes no new event.
    const std::pair<size_t, DbVariant> changes[] = {
        { 1, DbVariant(std::string("X")) }, // the first row
        { 1, DbVariant(std::string("Y")) }, // another name: the same event
        { 3, DbVariant(std::string("Lock Auto Closed")) }, // another event
        { 7, DbVariant(std::string("Back")) }, // the same event at another lock in the same second
        { 0, DbVariant(std::string("DEF")) }, // another key
        { 4, DbVariant(t + std::chrono::seconds(1)) }, // a second later
    };
    std::vector<keyreading::SavedRow> rows;
    for (const auto& [column, value] : changes) {
        keyreading::SavedRow r;
        r[0] = DbVariant(std::string("ABC"));
        r[3] = DbVariant(std::string("Close Lock With Key"));
        r[4] = DbVariant(t);
        r[7] = DbVariant(std::string("Front"));
        r[column] = value;
        rows.push_back(r);
    }
    const auto out = keyreading::saveToHistory(db, rows);
    EXPECT_EQ(out.saved, 5);
    EXPECT_EQ(out.alreadyStored, 1);
    EXPECT_EQ(history(), 5);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE OpenLockTime = '2023-11-14 22:13:20'"), 4);
}

TEST_F(AuditSaveTest, AFailureHalfWayStoresNothingAndCanBeRetried)
{
    exec("INSERT INTO RecordInfor (SerialID,LockName,OpenLockType,OpenLockTime) VALUES "
         "('old','Front','x','2020-01-01 00:00:00')");
    exec("CREATE TRIGGER refuse BEFORE INSERT ON RecordInfor WHEN (SELECT count(*) FROM RecordInfor) >= 20 "
         "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    auto form = newForm();
    read(*form);
    dialogs.boxes.clear();
    form->BitBtn1Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Write database error,please try again.");
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(history(), 1);
    EXPECT_FALSE(form->BitBtn1->isHidden());
    EXPECT_TRUE(form->BitBtn1->isEnabled());
    EXPECT_FALSE(db.InTransaction());

    exec("DROP TRIGGER refuse");
    dialogs.boxes.clear();
    form->BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Save Data OK." });
    EXPECT_EQ(history(), 52);
}

TEST_F(AuditSaveTest, WaitsForAnotherProgramsWriteLock)
{
    auto form = newForm();
    read(*form);
    // Another program holds the write lock and lets go while the save waits for it (this busy
    // handler stands in for the busy timeout's). A save that read before asking for the lock
    // would fail at once, without waiting.
    TDbConnection other(db.Database);
    other.Open();
    other.ExecSQL("BEGIN IMMEDIATE");
    struct Waiting {
        TDbConnection* other;
        int waits = 0;
    } waiting { &other };
    sqlite3_busy_handler(
        db.Handle(),
        [](void* p, int) {
            auto* w = static_cast<Waiting*>(p);
            ++w->waits;
            w->other->Rollback();
            return 1;
        },
        &waiting);
    dialogs.boxes.clear();
    form->BitBtn1Click();
    sqlite3_busy_timeout(db.Handle(), db.BusyTimeoutMs);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Save Data OK." });
    EXPECT_EQ(waiting.waits, 1);
    EXPECT_EQ(history(), 51);
}

// A box shown while saving tries to save again and to close the window.
class MeddlingDialogs : public ScriptedDialogs {
public:
    TReadCard_Form* form = nullptr;
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        if (form) {
            form->BitBtn1Click();
            form->close();
        }
        return ScriptedDialogs::show(type, text, buttons);
    }
};

TEST_F(AuditSaveTest, NoSecondSaveNorCloseWhileSaving)
{
    auto form = newForm();
    form->show();
    read(*form);
    exec("CREATE TRIGGER refuse BEFORE INSERT ON RecordInfor BEGIN SELECT RAISE(ABORT, 'no'); END");
    MeddlingDialogs meddling;
    ScopedAppDialogs scope(meddling);
    meddling.form = form.get();
    form->BitBtn1Click(); // the error box is shown while the save's guard still holds
    meddling.form = nullptr;
    EXPECT_EQ(meddling.texts(), std::vector<std::string> { "Write database error,please try again." });
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->reading());
}

TEST_F(AuditSaveTest, NothingDecodedSavesNothing)
{
    auto form = newForm();
    form->BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Save Data OK." });
    EXPECT_EQ(history(), 0);
}

} // namespace
