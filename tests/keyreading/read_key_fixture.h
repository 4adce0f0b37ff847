#pragma once
// The Read Key window on a copy of the supplied database and an emulated reader whose keys
// are key files in a fresh folder; every box goes to a scripted dialog layer.
#include "app/keyreading/read_card_form.h"
#include "app/shell/settings_record.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/audit_trail_keys.h"
#include "locksim/mission_headers.h"
#include "locksim/sim_lock.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"
#include "workbook/export.h"
#include "workbook/xlsx_readback.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace rktest {

namespace fs = std::filesystem;
using namespace std::chrono;
using locksim::MissionKind;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

inline const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };
inline const FacilityCodeBytes kOtherSite { 0x65, 0x43, 0x21 };
inline const RomId kLockA = onewire::makeRomId(0x23, 0xA1);
inline const RomId kLockB = onewire::makeRomId(0x23, 0xB2);
inline const RomId kLockC = onewire::makeRomId(0x23, 0xC3);
inline const RomId kUserKey = onewire::makeRomId(0x01, 0x1001);

inline locksim::Time at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return local_days { year { y } / mo / d } + hours { h } + minutes { mi } + seconds { s };
}

// Scripted boxes that first run a hook: what a user might do while a box is up.
class HookedDialogs : public ScriptedDialogs {
public:
    std::function<void()> during;
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        if (during)
            during();
        return ScriptedDialogs::show(type, text, buttons);
    }
};

class ReadKeyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path()
            / ("ios_readkey_" + std::string(info->test_suite_name()) + "_" + info->name() + "_"
                + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "Reader");
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", dir / "iOstrivaneDB.db");
        db.Open((dir / "iOstrivaneDB.db").string());
        bus = std::make_shared<onewire::EmulatedReader>(dir / "Reader");
        port = std::make_unique<onewire::ScopedPort>(
            onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, bus);
        SettingsRecord = TSettingsRecord {};
        SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
        SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
        SettingsRecord.ReaderRomId = romIdText(onewire::emulatedReaderRomId());
        SettingsRecord.FacilityCode = kSite;
        scoped = std::make_unique<ScopedAppDialogs>(dialogs);
        workbook::exportSettings().folder = dir / "Exports";
        workbook::exportSettings().openHook = nullptr;
    }
    void TearDown() override
    {
        workbook::exportSettings() = savedExports_;
        scoped.reset();
        port.reset();
        bus.reset();
        db.Close();
        fs::remove_all(dir);
    }
    // A window whose start-up read has not run (the tests start reads themselves).
    std::unique_ptr<TReadCard_Form> newForm()
    {
        auto f = std::make_unique<TReadCard_Form>(&db);
        f->Timer1->stop();
        return f;
    }
    std::vector<std::string> boxesOf(const std::function<void()>& action)
    {
        dialogs.boxes.clear();
        action();
        return dialogs.texts();
    }
    std::vector<std::string> read(TReadCard_Form& f)
    {
        return boxesOf([&] { f.sbReadCardClick(); });
    }
    static std::string last(const std::vector<std::string>& b) { return b.empty() ? "" : b.back(); }
    void clearReader()
    {
        for (const auto& e : fs::directory_iterator(dir / "Reader"))
            fs::remove(e.path());
    }
    void put(const onewire::KeyFile& key)
    {
        ASSERT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(dir / "Reader", key.rom), key));
    }
    static onewire::KeyFile ds1977(uint64_t serial)
    {
        auto k = onewire::blankDS1977(onewire::makeRomId(0x37, serial));
        onewire::setDS1977Passwords(k, keyPassword(), keyPassword(), true);
        return k;
    }
    static void setPage(onewire::KeyFile& k, int page, const std::array<uint8_t, 64>& bytes)
    {
        ASSERT_TRUE(onewire::setDS1977Page(k, page, bytes));
    }
    static void patch(onewire::KeyFile& k, int page, std::size_t at, std::initializer_list<uint8_t> bytes)
    {
        auto p = *onewire::ds1977Page(k, page);
        std::copy(bytes.begin(), bytes.end(), p.begin() + long(at));
        setPage(k, page, p);
    }
    // A mission key as its writer leaves it.
    static onewire::KeyFile missionKey(MissionKind kind, const FacilityCodeBytes& site = kSite,
        uint64_t serial = 77, const locksim::SetupOptions& setup = {})
    {
        auto k = ds1977(serial);
        setPage(k, 0, locksim::missionHeader(kind, site, 25, setup));
        if (auto p1 = locksim::missionPage1(kind))
            setPage(k, 1, *p1);
        return k;
    }
    // The program's audit trail key(s) for one choice of its list.
    static std::vector<onewire::KeyFile> auditKeys(std::string_view choiceText, uint64_t serial = 500)
    {
        std::vector<onewire::KeyFile> keys;
        for (const auto& c : kAuditTrailChoices)
            if (c.itemText == choiceText)
                for (const auto& writes : auditTrailKeyWrites(c, kSite)) {
                    keys.push_back(ds1977(serial++));
                    for (const auto& w : writes)
                        setPage(keys.back(), w.page, w.image);
                }
        return keys;
    }
    static QStringList headers(QAbstractItemModel* model)
    {
        QStringList t;
        for (int c = 0; c < model->columnCount(); ++c)
            t << model->headerData(c, Qt::Horizontal).toString();
        return t;
    }
    // A lock of this site whose trail holds events of kUserKey a minute apart (every
    // emptyEvery-th slot left empty).
    static locksim::SimLock lockWith(const RomId& serial, size_t events, size_t emptyEvery = 0)
    {
        locksim::SimLock lock(serial, kSite, at(2026, 12, 6, 9, 0, 0));
        for (size_t i = 0; i < events; ++i)
            lock.record(emptyEvery && i % emptyEvery == 3
                    ? locksim::AuditEvent::empty()
                    : locksim::AuditEvent::withKey(kUserKey, uint8_t(i % 3), at(2026, 1, 1) + minutes(i)));
        return lock;
    }
    static void visit(locksim::SimLock& lock, onewire::KeyFile& key)
    {
        locksim::Ds1977Memory m;
        m.rom = key.rom;
        for (int p = 0; p < locksim::kPages; ++p)
            m.pages[size_t(p)] = *onewire::ds1977Page(key, p);
        ASSERT_EQ(lock.visit(m), locksim::VisitResult::Filled);
        for (int p = 0; p < locksim::kPages; ++p)
            onewire::setDS1977Page(key, p, m.pages[size_t(p)]);
    }
    void insertKey(const onewire::KeyFile& key)
    {
        clearReader();
        put(key);
    }
    std::vector<fs::path> exported() const
    {
        std::vector<fs::path> files;
        if (fs::exists(dir / "Exports"))
            for (const auto& e : fs::directory_iterator(dir / "Exports"))
                files.push_back(e.path());
        return files;
    }
    workbook_test::XlsxDump exportedBook() const
    {
        const auto files = exported();
        EXPECT_EQ(files.size(), 1u);
        return workbook_test::readBack(files.at(0));
    }
    // Each cell given holds the text given ("" for none, or a blank).
    static void expectCells(const workbook_test::XlsxDump& d, const std::string& sheet,
        std::initializer_list<std::pair<const char*, std::string>> cells)
    {
        for (const auto& [ref, value] : cells) {
            const std::string at = sheet + "!" + ref;
            const bool none = !d.has(at) || d.cell(at).type == "blank";
            EXPECT_EQ(none ? "" : d.cell(at).json, value.empty() ? "" : "\"" + value + "\"") << ref;
        }
    }
    void exec(const std::string& sql) { db.ExecSQL(sql); }
    std::string text(const std::string& sql)
    {
        TDbQuery q(&db);
        q.SQL = sql;
        q.Open();
        return q.IsEmpty() || q.Fields[0].IsNull() ? std::string("<null>") : q.Fields[0].AsString();
    }
    int64_t scalar(const std::string& sql) { return std::stoll(text(sql)); }
    void addLock(int id, const RomId& serial, const std::string& name, const std::string& location)
    {
        exec("INSERT INTO LockManagement (LockID,SerialID,LockName,LockLocation,LockStatusID,LockType) "
             "VALUES ("
            + std::to_string(id) + ",'" + romIdText(serial) + "','" + name + "','" + location
            + "',1,'iButton')");
    }
    void addUser(int id, const std::string& serial, const std::string& code, const std::string& first,
        const std::string& last)
    {
        exec("INSERT INTO KeyManagement (KeyID,UserType,SerialID,KeyCode,FirstName,LastName,Status) VALUES ("
            + std::to_string(id) + ",'iButton','" + serial + "','" + code + "','" + first + "','" + last
            + "','Active')");
    }
    fs::path dir;
    TDbConnection db;
    std::shared_ptr<onewire::EmulatedReader> bus;
    std::unique_ptr<onewire::ScopedPort> port;
    HookedDialogs dialogs;
    std::unique_ptr<ScopedAppDialogs> scoped;

private:
    workbook::ExportSettings savedExports_ = workbook::exportSettings();
};

} // namespace rktest
