// The whole road of an audit trail: the program writes the key into the reader, a simulated
// lock fills it, the Read Key window reads it back from the reader folder and saves it.
#include "app/shell/reader_check.h"
#include "keyreading/read_key_fixture.h"

#include <QTest>
#include <cstdlib>

using namespace rktest;

namespace {

class AuditRoad : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        // The reader the program finds by itself: the emulated one of the folder named.
        port.reset();
        ::setenv(onewire::kReaderFolderEnv, (dir / "Reader").c_str(), 1);
        SettingsRecord.ReaderRomId = findReaderRomId(0, 6);
        ASSERT_FALSE(SettingsRecord.ReaderRomId.empty());
    }
    void TearDown() override
    {
        ::unsetenv(onewire::kReaderFolderEnv);
        ReadKeyFixture::TearDown();
    }

    // A blank key in the reader, written page by page by the program's routine, then taken
    // out: the path it lies at outside the reader.
    fs::path writeProgramKey(const AuditTrailChoice& choice, size_t which, uint64_t serial)
    {
        const fs::path file = onewire::keyFilePath(dir / "Reader", onewire::makeRomId(0x37, serial));
        EXPECT_TRUE(onewire::saveKeyFile(file, ds1977(serial)));
        KeyIo io(ReaderPort {}, kAuditTrailCheck);
        EXPECT_TRUE(io.IsOneWirePortOK());
        const auto keys = auditTrailKeyWrites(choice, kSite);
        for (const auto& w : keys.at(which)) {
            io.WriteResult = 0;
            io.WriteDS1977Data(w.page, w.image);
            EXPECT_EQ(io.WriteResult, 1) << "page " << w.page;
        }
        fs::rename(file, dir / file.filename());
        return dir / file.filename();
    }
    void insert(const fs::path& key) { fs::rename(key, dir / "Reader" / key.filename()); }
    // The operator takes the key to the lock.
    void visitAway(locksim::SimLock& lock, const fs::path& away)
    {
        auto loaded = onewire::loadKeyFile(away);
        ASSERT_TRUE(loaded.key) << loaded.error;
        visit(lock, *loaded.key);
        ASSERT_TRUE(onewire::saveKeyFile(away, *loaded.key));
    }
    static locksim::SimLock lock(uint64_t serial, int events, int minuteOffset = 0)
    {
        locksim::SimLock l(onewire::makeRomId(0x29, serial), kSite, at(2026, 12, 6, 12));
        for (int i = 0; i < events; ++i) {
            const auto t = at(2026, 6, 1) + minutes(i + minuteOffset);
            l.record(i % 5 == 4 ? locksim::AuditEvent::withCode("8642", 1, 0, t)
                                : locksim::AuditEvent::withKey(kUserKey, uint8_t(i % 3), t));
        }
        return l;
    }
    // What the history holds per lock name.
    std::string history()
    {
        return text("SELECT group_concat(LockName||' '||n, ', ') FROM (SELECT LockName, count(*) AS n FROM "
                    "RecordInfor GROUP BY LockName ORDER BY LockName)");
    }
    // Opens the window as the menu does (it finds the reader and reads by itself), saves, closes.
    std::vector<std::string> openReadAndSave(const std::function<void(TReadCard_Form&)>& beforeSaving = {})
    {
        dialogs.boxes.clear();
        SettingsRecord.ReaderRomId.clear(); // no reader found at start: the button starts disabled
        auto* form = new TReadCard_Form(&db);
        EXPECT_FALSE(form->sbReadCard->isEnabled());
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->show();
        for (int i = 0; i < 200 && (form->Label6->text().isEmpty() || form->reading()); ++i)
            QTest::qWait(10);
        EXPECT_TRUE(form->sbReadCard->isEnabled());
        EXPECT_FALSE(form->Timer1->isActive());
        if (beforeSaving)
            beforeSaving(*form);
        if (!form->BitBtn1->isHidden() || !form->BitBtn5->isHidden())
            form->BitBtn1Click();
        form->close();
        QCoreApplication::processEvents();
        return dialogs.texts();
    }
};

const std::vector<std::string> kSaved { "Save Data OK." };

TEST_F(AuditRoad, OneKeyTrailSkipsEmptySlotsAndNumbersTheRest)
{
    auto l = lockWith(kLockA, 2000, 54); // 37 slots never filled
    addLock(1, kLockA, "Front", "Lobby");
    addUser(7, romIdText(kUserKey), "4321", "Ada", "Lovelace");
    const fs::path key = writeProgramKey(kAuditTrailChoices[6], 0, 10);
    visitAway(l, key);
    insert(key);
    EXPECT_EQ(openReadAndSave([&](TReadCard_Form& form) {
        EXPECT_TRUE(dialogs.boxes.empty());
        EXPECT_EQ(form.currentPanel(), 6);
        EXPECT_EQ(form.Label6->text(), QStringLiteral("Get Audit Trail Key"));
        const std::pair<QLabel*, std::string> shown[] = { { form.Label40, romIdText(kLockA) },
            { form.Label42, "Front" }, { form.Label44, "Lobby" }, { form.Label46, "2000" },
            { form.Label50, "2000" }, { form.Label48, "6 Dec 2026 09:00:00" } };
        for (const auto& [label, value] : shown)
            EXPECT_EQ(label->text().toStdString(), value);
        EXPECT_EQ(
            text("SELECT count(*)||'/'||min(No)||'/'||max(No)||'/'||count(DISTINCT No) FROM TempRecord"),
            "1963/1/1963/1963");
        EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE FirstName = 'Ada' AND LockLocation = 'Lobby' "
                         "AND CodeType IS NULL"),
            1963);
        EXPECT_FALSE(form.BitBtn2->isHidden()); // " &Export Data" comes with the audit panel
        EXPECT_TRUE(form.BitBtn2->isEnabled());
    }),
        kSaved);
    EXPECT_EQ(history(), "Front 1963");
}

TEST_F(AuditRoad, TwoKeyTrailContinuesItsNumbering)
{
    auto l = lock(2, 2500);
    addLock(1, l.serial(), "Store 2", "Site");
    const fs::path first = writeProgramKey(kAuditTrailChoices[7], 0, 20);
    const fs::path second = writeProgramKey(kAuditTrailChoices[7], 1, 21);
    visitAway(l, first);
    visitAway(l, second);
    // The window stays open between the two keys: the second continues the first.
    auto form = newForm();
    insert(second);
    EXPECT_EQ(read(*form), std::vector<std::string> { "Insert the first audit trail program key." });
    fs::rename(dir / "Reader" / second.filename(), second);
    insert(first);
    EXPECT_EQ(read(*form),
        std::vector<std::string> {
            "Please plug second key into PC iButton Reader,then click \"Read Key\"." });
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 2036);
    EXPECT_TRUE(form->SecondKeyExpected);
    fs::rename(dir / "Reader" / first.filename(), first);
    insert(second);
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(
        text("SELECT count(*)||'/'||max(No)||'/'||count(DISTINCT No) FROM TempRecord"), "2500/2500/2500");
    EXPECT_FALSE(form->SecondKeyExpected);
    ASSERT_FALSE(form->BitBtn1->isHidden());
    form->BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), kSaved);
    EXPECT_EQ(history(), "Store 2 2500");
}

TEST_F(AuditRoad, MultiLockKeyVisitedBySeveralLocks)
{
    auto a = lock(3, 120), b = lock(4, 40, 1000), c = lock(5, 10, 2000);
    addLock(1, a.serial(), "Room A", "Site");
    addLock(2, b.serial(), "Room B", "Site");
    addLock(3, c.serial(), "Room C", "Site");
    const fs::path key = writeProgramKey(kAuditTrailChoices[2], 0, 30); // 100 per lock
    visitAway(a, key);
    visitAway(b, key);
    visitAway(c, key);
    insert(key);
    EXPECT_EQ(openReadAndSave(), kSaved);
    EXPECT_EQ(history(), "Room A 100, Room B 40, Room C 10");
    // Read and saved again: nothing new.
    EXPECT_EQ(openReadAndSave(), kSaved);
    EXPECT_EQ(history(), "Room A 100, Room B 40, Room C 10");
}

} // namespace
