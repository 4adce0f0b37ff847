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
    void visitAway(locksim::SimLock& lock, const fs::path& away)
    {
        auto loaded = onewire::loadKeyFile(away);
        ASSERT_TRUE(loaded.key) << loaded.error;
        visit(lock, *loaded.key);
        ASSERT_TRUE(onewire::saveKeyFile(away, *loaded.key));
    }
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
        EXPECT_FALSE(form->reading()) << "the read did not end within 2 s";
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
        const std::pair<QLabel*, std::string> shown[] = { { form.Label40, romIdText(kLockA) },
            { form.Label42, "Front" }, { form.Label44, "Lobby" }, { form.Label46, "2000" },
            { form.Label50, "2000" }, { form.Label48, "6 Dec 2026 09:00:00" } };
        for (const auto& [label, value] : shown)
            EXPECT_EQ(label->text().toStdString(), value);
        EXPECT_EQ(
            text("SELECT count(*)||'/'||min(No)||'/'||max(No)||'/'||count(DISTINCT No)||'/'||"
                 "sum(FirstName = 'Ada' AND LockLocation = 'Lobby' AND CodeType IS NULL) FROM TempRecord"),
            "1963/1/1963/1963/1963");
    }),
        kSaved);
    EXPECT_EQ(history(), "Front 1963");
}

TEST_F(AuditRoad, TwoKeyTrailContinuesItsNumberingWithItsOwnSecondKeyOnly)
{
    auto l = lockWith(kLockB, 2500), other = lockWith(kLockA, 2500);
    addLock(1, kLockB, "Store 2", "Site");
    addLock(2, kLockA, "Front", "Lobby");
    const fs::path first = writeProgramKey(kAuditTrailChoices[7], 0, 20);
    const fs::path second = writeProgramKey(kAuditTrailChoices[7], 1, 21);
    const fs::path othersFirst = writeProgramKey(kAuditTrailChoices[7], 0, 24);
    const fs::path othersSecond = writeProgramKey(kAuditTrailChoices[7], 1, 22);
    const fs::path multi = writeProgramKey(kAuditTrailChoices[2], 0, 23); // no lock fills it
    visitAway(l, first);
    visitAway(l, second);
    visitAway(other, othersFirst);
    visitAway(other, othersSecond);
    // The window stays open between the two keys: the second continues the first.
    auto form = newForm();
    auto readAlone = [&](const fs::path& key) {
        insert(key);
        const auto boxes = read(*form);
        fs::rename(dir / "Reader" / key.filename(), key);
        return boxes;
    };
    const std::vector<std::string> firstKey { "Insert the first audit trail program key." },
        plugSecond { "Please plug second key into PC iButton Reader,then click \"Read Key\"." };
    EXPECT_EQ(readAlone(second), firstKey);
    EXPECT_EQ(readAlone(first), plugSecond);
    // Another lock's second key ends the trail and leaves the first key's rows.
    EXPECT_EQ(readAlone(othersSecond),
        std::vector<std::string> { "The lock name in second key is diffrent from first one." });
    EXPECT_EQ(text("SELECT count(*)||'/'||sum(LockName = 'Store 2') FROM TempRecord"), "2036/2036");
    EXPECT_EQ(readAlone(second), firstKey);
    // So does a multi-lock key, with nothing to show.
    EXPECT_EQ(readAlone(first), plugSecond);
    EXPECT_TRUE(readAlone(multi).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 0);
    EXPECT_EQ(readAlone(second), firstKey);
    EXPECT_EQ(readAlone(first), plugSecond);
    EXPECT_TRUE(readAlone(second).empty());
    EXPECT_EQ(
        text("SELECT count(*)||'/'||max(No)||'/'||count(DISTINCT No) FROM TempRecord"), "2500/2500/2500");
    EXPECT_EQ(boxesOf([&] { form->BitBtn1Click(); }), kSaved);
    EXPECT_EQ(history(), "Store 2 2500");
}

TEST_F(AuditRoad, MultiLockKeyVisitedBySeveralLocks)
{
    // The same events at the same times in each lock: only the lock name tells them apart.
    auto a = lockWith(kLockA, 120), b = lockWith(kLockB, 40), c = lockWith(kLockC, 10);
    addLock(1, kLockA, "Room A", "Site");
    addLock(2, kLockB, "Room B", "Site");
    addLock(3, kLockC, "Room C", "Site");
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
