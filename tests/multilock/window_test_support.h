#pragma once
// What the two window tests share: a copy of the supplied database with a few locks, users
// and groups, the emulated reader on a temp folder, and scripted boxes.
#include "app/shell/settings_record.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/mission_key.h"
#include "missions/query_rows.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace mltest {
namespace fs = std::filesystem;

inline const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };

// Rows of a query as text, "<null>" for a Null field.
using Rows = std::vector<std::vector<std::string>>;

// Serial text of a lock or user ROM id made from a number.
inline std::string serialText(uint8_t family, uint64_t n) { return romIdText(onewire::makeRomId(family, n)); }

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
        seed();
    }
    void TearDown() override
    {
        db.Close();
        fs::remove_all(folder);
    }

    void seed()
    {
        std::string sql = "INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType) VALUES";
        for (int i = 1; i <= 9; ++i)
            sql += std::string(i > 1 ? "," : "") + " (" + std::to_string(i) + ", '" + lockSerial(i) + "', 'Room " + std::to_string(100 + i)
                + "', 'Floor " + std::to_string(i) + "', " + (i == 2 ? "3" : "1") + ", 'iButton')";
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
        // Users: 1-3 iButton, 4 KeyCode, 5 Complex, 6 inactive iButton.
        addUser(1, "iButton", userSerial(1), "", "Ann", "Able", "Active");
        addUser(2, "iButton", userSerial(2), "", "Bob", "Baker", "Active");
        addUser(3, "iButton", userSerial(3), "", "Cid", "Cole", "Active");
        addUser(4, "KeyCode", "", "1234", "Dee", "Dunn", "Active");
        addUser(5, "Complex", userSerial(5), "98765", "Eve", "Eames", "Active");
        addUser(6, "iButton", userSerial(6), "", "Fay", "Frost", "Inactive");
    }

    void addUser(int id, const std::string& type, const std::string& serial, const std::string& code, const std::string& first,
                 const std::string& last, const std::string& status)
    {
        TDbQuery q(&db);
        q.SQL = { "INSERT INTO KeyManagement (KeyID, UserType, SerialID, KeyCode, FirstName, LastName, Department, Title,"
                  " Address, ContactInfor, Status)",
                  "VALUES (:KeyID, :UserType, :SerialID, :KeyCode, :FirstName, :LastName, 'Dept', NULL, '', '', :Status)" };
        q.ParamByName("KeyID").AsInteger(id);
        q.ParamByName("UserType").AsString(type);
        if (serial.empty())
            q.ParamByName("SerialID").Clear();
        else
            q.ParamByName("SerialID").AsString(serial);
        if (code.empty())
            q.ParamByName("KeyCode").Clear();
        else
            q.ParamByName("KeyCode").AsString(code);
        q.ParamByName("FirstName").AsString(first);
        q.ParamByName("LastName").AsString(last);
        q.ParamByName("Status").AsString(status);
        q.ExecSQL();
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

    static std::string lockSerial(int i) { return serialText(0x3A, 0x100 + static_cast<uint64_t>(i)); }
    static std::string userSerial(int i) { return serialText(0x01, 0x200 + static_cast<uint64_t>(i)); }

    RomId putKey(uint64_t serial)
    {
        const RomId rom = onewire::makeRomId(onewire::kFamilyDS1977, serial);
        EXPECT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(keys, rom), onewire::blankDS1977(rom)));
        return rom;
    }
    void setPage(const RomId& rom, int p, uint8_t fill)
    {
        auto k = onewire::loadKeyFile(onewire::keyFilePath(keys, rom));
        ASSERT_TRUE(k.key);
        onewire::Page bytes;
        bytes.fill(fill);
        onewire::setDS1977Page(*k.key, p, bytes);
        ASSERT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(keys, rom), *k.key));
    }
    onewire::Page page(const RomId& rom, int p)
    {
        auto k = onewire::loadKeyFile(onewire::keyFilePath(keys, rom));
        EXPECT_TRUE(k.key) << k.error;
        return k.key ? onewire::ds1977Page(*k.key, p).value_or(onewire::Page {}) : onewire::Page {};
    }
    // A key whose every page holds EEh, so that pages written with FFh show.
    RomId putUsedKey(uint64_t serial)
    {
        const RomId rom = onewire::makeRomId(onewire::kFamilyDS1977, serial);
        auto k = onewire::blankDS1977(rom);
        onewire::Page bytes;
        bytes.fill(0xEE);
        for (int p = 0; p <= kLastKeyPage; ++p)
            onewire::setDS1977Page(k, p, bytes);
        EXPECT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(keys, rom), k));
        return rom;
    }
    // Pages holding anything but the EEh of putUsedKey.
    std::vector<int> writtenPages(const RomId& rom)
    {
        std::vector<int> out;
        auto k = onewire::loadKeyFile(onewire::keyFilePath(keys, rom));
        for (int p = 0; p <= kLastKeyPage; ++p) {
            const auto pg = onewire::ds1977Page(*k.key, p).value_or(onewire::Page {});
            if (std::any_of(pg.begin(), pg.end(), [](uint8_t b) { return b != 0xEE; }))
                out.push_back(p);
        }
        return out;
    }

    Rows rows(const std::string& sql) { return missions_test::queryRows(db, sql); }
    int count(const std::string& sql) { return static_cast<int>(rows(sql).size()); }

    fs::path folder = fs::temp_directory_path() / ("ios_multilock_" + std::to_string(::getpid()));
    fs::path keys = folder / "Reader";
    TDbConnection db;
    std::shared_ptr<onewire::EmulatedReader> reader = std::make_shared<onewire::EmulatedReader>(keys);
    onewire::ScopedPort port { onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, reader };
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

template <typename C>
std::vector<uint8_t> slice(const C& c, std::size_t from, std::size_t n)
{
    return std::vector<uint8_t>(c.begin() + static_cast<std::ptrdiff_t>(from), c.begin() + static_cast<std::ptrdiff_t>(from + n));
}
template <typename C>
bool allFF(const C& c)
{
    return std::all_of(c.begin(), c.end(), [](uint8_t b) { return b == 0xFF; });
}

} // namespace mltest
