// Saving decoded audit rows into the history.
#include "app/keyreading/audit_save.h"
#include "keyreading/read_key_fixture.h"

#include <sqlite3.h>

using namespace rktest;

namespace {

class AuditSaveTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        addLock(1, kLockA, "Front", "Lobby");
        addUser(7, romIdText(kUserKey), "4321", "Ada", "Lovelace");
        auto key = auditKeys("2000", 600).at(0);
        locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
        for (int i = 0; i < 50; ++i)
            lock.record(locksim::AuditEvent::withKey(kUserKey, 0, at(2026, 2, 2) + minutes(i)));
        lock.record(locksim::AuditEvent::withCode("4321", 1, 1, at(2026, 2, 3)));
        visit(lock, key);
        put(key);
    }
    int64_t history() { return scalar("SELECT count(*) FROM RecordInfor"); }
    std::vector<std::string> save(TReadCard_Form& f)
    {
        return boxesOf([&] { f.BitBtn1Click(); });
    }
};

const std::vector<std::string> kSaved { "Save Data OK." };
const std::vector<std::string> kWriteError { "Write database error,please try again." };

TEST_F(AuditSaveTest, SavesOnceAndNeverTwice)
{
    auto form = newForm();
    EXPECT_EQ(save(*form), kSaved); // nothing decoded yet: nothing saved
    EXPECT_EQ(history(), 0);
    EXPECT_TRUE(read(*form).empty());
    ASSERT_FALSE(form->BitBtn1->isHidden());
    EXPECT_EQ(save(*form), kSaved);
    EXPECT_TRUE(form->BitBtn1->isHidden());
    EXPECT_TRUE(form->BitBtn5->isHidden());
    EXPECT_FALSE(form->BitBtn2->isHidden()); // the export is still there after saving
    EXPECT_EQ(
        text("SELECT count(*)||' '||sum(CodeType IS NULL)||' '||sum(CodeType = 'Perm.' AND SerialID = '4321')"
             "||' '||sum(LockLocation = 'Lobby' AND FirstName = 'Ada') FROM RecordInfor"),
        "51 50 1 51");

    // The same key again, with the user renamed meanwhile: the same events, nothing new.
    exec("UPDATE KeyManagement SET FirstName = 'Augusta'");
    read(*form);
    EXPECT_FALSE(form->BitBtn1->isHidden());
    save(*form);
    EXPECT_EQ(history(), 51);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE FirstName = 'Augusta'"), 0);
}

TEST_F(AuditSaveTest, RepeatsWithinOneBatchAreStoredOnce)
{
    const DateTime t { seconds(1'700'000'000) };
    // Each row after the first differs from it in one column: only a name makes no new event.
    const std::pair<size_t, DbVariant> changes[] = {
        { 1, DbVariant(std::string("X")) }, // the first row
        { 1, DbVariant(std::string("Y")) }, // another name: the same event
        { 3, DbVariant(std::string("Lock Auto Closed")) }, // another event
        { 7, DbVariant(std::string("Back")) }, // the same event at another lock in the same second
        { 0, DbVariant(std::string("DEF")) }, // another key
        { 4, DbVariant(t + seconds(1)) }, // a second later
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
    form->show();
    read(*form);
    // The error box is shown while the save's guard still holds: it tries to save again and to close.
    dialogs.during = [&] {
        form->BitBtn1Click();
        form->close();
    };
    EXPECT_EQ(save(*form), kWriteError);
    dialogs.during = nullptr;
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(history(), 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->reading());
    EXPECT_FALSE(form->BitBtn1->isHidden());
    EXPECT_TRUE(form->BitBtn1->isEnabled());
    EXPECT_FALSE(db.InTransaction());

    exec("DROP TRIGGER refuse");
    EXPECT_EQ(save(*form), kSaved);
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
    EXPECT_EQ(save(*form), kSaved);
    sqlite3_busy_timeout(db.Handle(), db.BusyTimeoutMs);
    EXPECT_EQ(waiting.waits, 1);
    EXPECT_EQ(history(), 51);
}

} // namespace
