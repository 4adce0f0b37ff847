// The whole road of an audit trail: the program writes the key into the reader, a simulated
// lock fills it, the Read Key window reads it back from the reader folder and saves it.
#include "app/keyreading/read_card_form.h"
#include "app/shell/settings_record.h"
#include "keyaccess/dialog_layer.h"
#include "keyaccess/key_io.h"
#include "keyformats/audit_trail_keys.h"
#include "locksim/sim_lock.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

const FacilityCodeBytes kSite { 0x00, 0x42, 0x17 };

locksim::Time at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return local_days { year { y } / mo / d } + hours { h } + minutes { mi } + seconds { s };
}

class AuditRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("ios_e2e_audit_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "Reader");
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", dir / "iOstrivaneDB.db");
        ::setenv(onewire::kReaderFolderEnv, (dir / "Reader").c_str(), 1);
        db.Open((dir / "iOstrivaneDB.db").string());
        SettingsRecord = TSettingsRecord {};
        SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
        SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
        SettingsRecord.FacilityCode = kSite;
        SettingsRecord.ReaderRomId = FindReaderRomId(ReaderPort {});
        ASSERT_FALSE(SettingsRecord.ReaderRomId.empty());
        scoped = std::make_unique<ScopedAppDialogs>(dialogs);
    }
    void TearDown() override
    {
        scoped.reset();
        db.Close();
        ::unsetenv(onewire::kReaderFolderEnv);
        fs::remove_all(dir);
    }

    // A blank key in the reader, written page by page by the program's routine, then taken
    // out: the path it lies at outside the reader.
    fs::path writeProgramKey(const AuditTrailChoice& choice, size_t which, uint64_t serial)
    {
        const RomId rom = onewire::makeRomId(0x37, serial);
        auto blank = onewire::blankDS1977(rom);
        onewire::setDS1977Passwords(blank, keyPassword(), keyPassword(), true);
        const fs::path file = onewire::keyFilePath(dir / "Reader", rom);
        EXPECT_TRUE(onewire::saveKeyFile(file, blank));
        KeyIo io(ReaderPort {}, kAuditTrailCheck);
        EXPECT_TRUE(io.IsOneWirePortOK());
        const auto keys = auditTrailKeyWrites(choice, kSite);
        for (const auto& w : keys.at(which)) {
            io.WriteResult = 0;
            io.WriteDS1977Data(w.page, w.image);
            EXPECT_EQ(io.WriteResult, 1) << "page " << w.page;
        }
        const fs::path out = dir / file.filename();
        fs::rename(file, out);
        return out;
    }
    void insert(const fs::path& key) { fs::rename(key, dir / "Reader" / key.filename()); }
    void takeOut(const fs::path& key) { fs::rename(dir / "Reader" / key.filename(), key); }
    // The operator takes the key to the lock.
    void visit(locksim::SimLock& lock, const fs::path& away)
    {
        auto loaded = onewire::loadKeyFile(away);
        ASSERT_TRUE(loaded.key) << loaded.error;
        locksim::Ds1977Memory m;
        m.rom = loaded.key->rom;
        for (int p = 0; p < locksim::kPages; ++p)
            m.pages[size_t(p)] = *onewire::ds1977Page(*loaded.key, p);
        ASSERT_EQ(lock.visit(m), locksim::VisitResult::Filled);
        for (int p = 0; p < locksim::kPages; ++p)
            onewire::setDS1977Page(*loaded.key, p, m.pages[size_t(p)]);
        ASSERT_TRUE(onewire::saveKeyFile(away, *loaded.key));
    }
    void registerLock(int id, const locksim::Rom& serial, const std::string& name)
    {
        TDbQuery q(&db);
        q.SQL = "INSERT INTO LockManagement (LockID,SerialID,LockName,LockLocation,LockStatusID,LockType) "
                "VALUES (:id,:s,:n,'Site',1,'iButton')";
        q.ParamByName("id").AsInteger(id);
        q.ParamByName("s").AsString(romIdText(serial));
        q.ParamByName("n").AsString(name);
        q.ExecSQL();
    }
    static locksim::SimLock lock(uint64_t serial, int events, int minuteOffset = 0)
    {
        locksim::SimLock l(onewire::makeRomId(0x29, serial), kSite, at(2026, 12, 6, 12));
        const auto user = onewire::makeRomId(0x01, 777);
        for (int i = 0; i < events; ++i) {
            const auto t = at(2026, 6, 1) + minutes(i + minuteOffset);
            if (i % 5 == 4)
                l.record(locksim::AuditEvent::withCode("8642", 1, 0, t));
            else
                l.record(locksim::AuditEvent::withKey(user, uint8_t(i % 3), t));
        }
        return l;
    }
    // What the history holds per lock name.
    std::map<std::string, int64_t> historyByLock()
    {
        TDbQuery q(&db);
        q.SQL = "SELECT LockName, count(*) AS n FROM RecordInfor GROUP BY LockName";
        q.Open();
        std::map<std::string, int64_t> out;
        for (q.First(); !q.Eof(); q.Next())
            out[q.FieldByName("LockName").AsString()] = q.FieldByName("n").AsInteger();
        return out;
    }
    // Opens the window as the menu does (it reads by itself), saves, closes.
    std::vector<std::string> openReadAndSave(bool save = true)
    {
        dialogs.boxes.clear();
        auto* form = new TReadCard_Form(&db);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->show();
        for (int i = 0; i < 200 && (form->Label6->text().isEmpty() || form->reading()); ++i)
            QTest::qWait(10);
        if (save && (!form->BitBtn1->isHidden() || !form->BitBtn5->isHidden()))
            form->BitBtn1Click();
        form->close();
        QCoreApplication::processEvents();
        return dialogs.texts();
    }

    fs::path dir;
    TDbConnection db;
    ScriptedDialogs dialogs;
    std::unique_ptr<ScopedAppDialogs> scoped;
};

TEST_F(AuditRoad, OneKeyTrail)
{
    auto l = lock(1, 700);
    registerLock(1, l.serial(), "Store 1");
    const fs::path key = writeProgramKey(kAuditTrailChoices[6], 0, 10);
    visit(l, key);
    insert(key);
    EXPECT_EQ(openReadAndSave(), std::vector<std::string> { "Save Data OK." });
    EXPECT_EQ(historyByLock(), (std::map<std::string, int64_t> { { "Store 1", 700 } }));
}

TEST_F(AuditRoad, TwoKeyTrail)
{
    auto l = lock(2, 2500);
    registerLock(1, l.serial(), "Store 2");
    const fs::path first = writeProgramKey(kAuditTrailChoices[7], 0, 20);
    const fs::path second = writeProgramKey(kAuditTrailChoices[7], 1, 21);
    visit(l, first);
    visit(l, second);
    insert(first);
    // The window stays open between the two keys: the second continues the first.
    dialogs.boxes.clear();
    TReadCard_Form form(&db);
    form.Timer1->stop();
    form.sbReadCardClick();
    EXPECT_EQ(dialogs.texts(),
        std::vector<std::string> {
            "Please plug second key into PC iButton Reader,then click \"Read Key\"." });
    takeOut(first);
    insert(second);
    form.sbReadCardClick();
    form.BitBtn1Click();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Save Data OK.");
    EXPECT_EQ(historyByLock(), (std::map<std::string, int64_t> { { "Store 2", 2500 } }));
}

TEST_F(AuditRoad, MultiLockKeyVisitedBySeveralLocks)
{
    auto a = lock(3, 120), b = lock(4, 40, 1000), c = lock(5, 10, 2000);
    registerLock(1, a.serial(), "Room A");
    registerLock(2, b.serial(), "Room B");
    registerLock(3, c.serial(), "Room C");
    const fs::path key = writeProgramKey(kAuditTrailChoices[2], 0, 30); // 100 per lock
    visit(a, key);
    visit(b, key);
    visit(c, key);
    insert(key);
    EXPECT_EQ(openReadAndSave(), std::vector<std::string> { "Save Data OK." });
    EXPECT_EQ(historyByLock(),
        (std::map<std::string, int64_t> { { "Room A", 100 }, { "Room B", 40 }, { "Room C", 10 } }));
    // Read and saved again: nothing new.
    EXPECT_EQ(openReadAndSave(), std::vector<std::string> { "Save Data OK." });
    EXPECT_EQ(historyByLock().at("Room A"), 100);
}

} // namespace
