#pragma once
// What the window tests share: a copy of the supplied database, the emulated reader on a temp
// folder, scripted boxes, and key files put in the reader and read back.
#include "app/shell/settings_record.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/multi_lock_key.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace wintest {
namespace fs = std::filesystem;

inline const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

inline bool allBytes(const onewire::Page& p, uint8_t v) { return std::all_of(p.begin(), p.end(), [v](uint8_t b) { return b == v; }); }

// Answers as the scripted boxes do, and lets a test act when a box is shown (an operator
// swapping keys before pressing OK).
class ActingDialogs : public ScriptedDialogs {
public:
    std::function<void(const std::string&)> onBox;
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        if (onBox)
            onBox(text);
        return ScriptedDialogs::show(type, text, buttons);
    }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(folder);
        fs::create_directories(keys);
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", folder / "iOstrivaneDB.db");
        db.Open((folder / "iOstrivaneDB.db").string());
        SettingsRecord = TSettingsRecord {};
        SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
        SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
        SettingsRecord.FacilityCode = kSite;
    }
    // After the windows a test keeps as members, which go first.
    ~WindowTest() override
    {
        db.Close();
        fs::remove_all(folder);
    }
    // A key in the reader whose every page holds fill: with EEh, the pages written show.
    RomId putKey(uint64_t serial, uint8_t fill = 0xFF)
    {
        const RomId rom = onewire::makeRomId(onewire::kFamilyDS1977, serial);
        auto k = onewire::blankDS1977(rom);
        onewire::Page bytes;
        bytes.fill(fill);
        for (int p = 0; fill != 0xFF && p <= kLastKeyPage; ++p)
            onewire::setDS1977Page(k, p, bytes);
        EXPECT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(keys, rom), k));
        return rom;
    }
    RomId putUsedKey(uint64_t serial) { return putKey(serial, 0xEE); }
    onewire::KeyFile keyFile(const RomId& rom)
    {
        auto k = onewire::loadKeyFile(onewire::keyFilePath(keys, rom));
        EXPECT_TRUE(k.key) << k.error;
        return k.key ? *k.key : onewire::blankDS1977(rom);
    }
    onewire::Page page(const RomId& rom, int p) { return onewire::ds1977Page(keyFile(rom), p).value_or(onewire::Page {}); }
    // Pages holding anything but the EEh of a used key.
    std::vector<int> writtenPages(const RomId& rom)
    {
        std::vector<int> out;
        const auto k = keyFile(rom);
        for (int p = 0; p <= kLastKeyPage; ++p)
            if (!allBytes(*onewire::ds1977Page(k, p), 0xEE))
                out.push_back(p);
        return out;
    }
    // Shown and active, as a window is when the operator types at it.
    static void activate(QWidget& w)
    {
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    // Every row a statement selects, as text, "<null>" for a Null field.
    Rows rows(const std::string& sql)
    {
        TDbQuery q(&db);
        q.SQL = sql;
        q.Open();
        Rows out;
        q.First();
        for (int n = 0; !q.Eof() && n < 10000; q.Next(), ++n) {
            out.emplace_back();
            for (int i = 0; i < q.FieldCount(); ++i)
                out.back().push_back(q.Fields[i].IsNull() ? "<null>" : q.Fields[i].AsString());
        }
        EXPECT_TRUE(q.Eof()) << "the rows do not end";
        return out;
    }
    int count(const std::string& sql) { return static_cast<int>(rows(sql).size()); }
    Texts boxesOf(const std::function<void()>& act)
    {
        dialogs.boxes.clear();
        act();
        return dialogs.texts();
    }

    fs::path folder = fs::temp_directory_path() / ("ios_window_" + std::to_string(::getpid()));
    fs::path keys = folder / "Reader";
    TDbConnection db;
    std::shared_ptr<onewire::EmulatedReader> reader = std::make_shared<onewire::EmulatedReader>(keys);
    onewire::ScopedPort port { onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, reader };
    ActingDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

// The multi-lock windows' database: nine locks (lock 2 on schedule 3), time groups, and users
// 1-3 iButton, 4 KeyCode, 5 Complex, 6 inactive iButton.
class MultiLockFixture : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        std::string sql = "INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType) VALUES";
        for (int i = 1; i <= 9; ++i)
            sql += std::string(i > 1 ? "," : "") + " (" + std::to_string(i) + ", '" + lockSerial(i) + "', 'Room "
                + std::to_string(100 + i) + "', 'Floor " + std::to_string(i) + "', " + (i == 2 ? "3" : "1") + ", 'iButton')";
        db.ExecSQL(sql);
        db.ExecSQL("INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (3, 'Office');"
                   "INSERT INTO LockStatusST (LockStatusID, LockStatus, BeginTime, Sunday, Monday, Tuesday, Wednesday,"
                   " Thursday, Friday, Saturday) VALUES (3, 'Classroom Mode', '08:15:00', 0, 1, 1, 1, 1, 1, 0),"
                   " (3, 'Lock Mode', '22:00:00', 1, 1, 1, 1, 1, 1, 1), (1, 'Storehouse Mode', '07:00:00', 1, 0, 0, 0, 0, 0, 0);"
                   "INSERT INTO TimeGroup (GroupID, GroupName) VALUES (2, 'Day'), (3, 'Night');"
                   "INSERT INTO TimeShift (GroupID, BeginTime, EndTime, DayOfWeek) VALUES (2, '08:00:00', '17:30:00', 'Monday'),"
                   " (3, '22:00:00', '23:59:00', 'Saturday'), (3, '20:00:00', '21:00:00', 'Tuesday');"
                   "INSERT INTO ActExpDateST (GroupID, ActivationDate, ExpirationDate) VALUES"
                   " (2, '2026-01-02 03:04:00', '2027-12-31 23:59:00');"
                   "INSERT INTO ExceptionDateST (GroupID, ExceptionDateFrom, ExceptionDateTo) VALUES"
                   " (2, '2026-12-24 00:00:00', '2026-12-26 23:59:00');");
        addUser(1, "iButton", userSerial(1), "", "Ann", "Able");
        addUser(2, "iButton", userSerial(2), "", "Bob", "Baker");
        addUser(3, "iButton", userSerial(3), "", "Cid", "Cole");
        addUser(4, "KeyCode", "", "1234", "Dee", "Dunn");
        addUser(5, "Complex", userSerial(5), "98765", "Eve", "Eames");
        addUser(6, "iButton", userSerial(6), "", "Fay", "Frost", "Inactive");
    }
    // An empty serial or code is stored as Null.
    void addUser(int id, const std::string& type, const std::string& serial, const std::string& code, const std::string& first,
                 const std::string& last, const std::string& status = "Active")
    {
        auto text = [](const std::string& s) { return s.empty() ? std::string("NULL") : "'" + s + "'"; };
        db.ExecSQL("INSERT INTO KeyManagement (KeyID, UserType, SerialID, KeyCode, FirstName, LastName, Department, Title,"
                   " Address, ContactInfor, Status) VALUES ("
                   + std::to_string(id) + ", '" + type + "', " + text(serial) + ", " + text(code) + ", '" + first + "', '" + last
                   + "', 'Dept', NULL, '', '', '" + status + "')");
    }
    // A LockKeyManagement row as an earlier mission left it.
    void listUser(int lockId, int keyId, int timeShift, int actExp, bool holiday)
    {
        db.ExecSQL("INSERT INTO LockKeyManagement (LockID, KeyID, TimeShiftID, ActExpDateID, ExpDateID, SerialID, FirstName,"
                   " LastName, Status, UserType, KeyCode, LastSetupTime, ExpDate) SELECT "
                   + std::to_string(lockId) + ", KeyID, " + std::to_string(timeShift) + ", " + std::to_string(actExp)
                   + ", 1, COALESCE(SerialID, ''), FirstName, LastName, Status, UserType, COALESCE(KeyCode, ''),"
                     " '2025-05-06 07:08:09', "
                   + (holiday ? "1" : "0") + " FROM KeyManagement WHERE KeyID = " + std::to_string(keyId));
    }
    // The time table of lock 2's schedule 3 and the groups above, as the database holds them.
    static TimeTableImageBytes lock2TimeTable()
    {
        TimeTableRows t;
        t.timeShiftGroups[1] = { { { 8, 0 }, { 17, 30 }, "Monday" } };
        t.timeShiftGroups[2] = { { { 20, 0 }, { 21, 0 }, "Tuesday" }, { { 22, 0 }, { 23, 59 }, "Saturday" } };
        t.firstSchedule = { { { 8, 15 }, "Classroom Mode", { false, true, true, true, true, true, false } } };
        t.secondSchedule = { { { 22, 0 }, "Lock Mode", { true, true, true, true, true, true, true } } };
        t.actExpGroups = { {}, { PeriodPoint { 2026, 1, 2, 3, 4 }, PeriodPoint { 2027, 12, 31, 23, 59 } } };
        t.holidayGroups = { {}, { PeriodPoint { 2026, 12, 24, 0, 0 }, PeriodPoint { 2026, 12, 26, 23, 59 } } };
        return TimeTableImage(t);
    }
    // The key holds what the writes put there (each page written once).
    void expectPages(const RomId& rom, const std::vector<PageWrite>& writes)
    {
        for (const auto& w : writes)
            EXPECT_EQ(page(rom, w.page), w.image) << "page " << w.page;
    }
    static std::string lockSerial(int i) { return romIdText(onewire::makeRomId(0x3A, 0x100 + static_cast<uint64_t>(i))); }
    static std::string userSerial(int i) { return romIdText(onewire::makeRomId(0x01, 0x200 + static_cast<uint64_t>(i))); }
};

} // namespace wintest
