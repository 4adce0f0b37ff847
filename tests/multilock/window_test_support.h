#pragma once
// The multi-lock windows' database: nine locks (lock 2 on schedule 3), time groups, and users
// 1-3 iButton, 4 KeyCode, 5 Complex, 6 inactive iButton.
#include "keyformats/multi_lock_key.h"
#include "missions/window_fixture.h"

#include <map>

namespace mltest {
using namespace wintest;

// Serial text of a lock or user ROM id made from a number.
inline std::string serialText(uint8_t family, uint64_t n) { return romIdText(onewire::makeRomId(family, n)); }

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
    // The key holds what the writes put there, the last write of a page counting.
    void expectPages(const RomId& rom, const std::vector<PageWrite>& writes)
    {
        std::map<int, MissionKeyPage> last;
        for (const auto& w : writes)
            last[w.page] = w.image;
        for (const auto& [p, image] : last)
            EXPECT_EQ(page(rom, p), image) << "page " << p;
    }

    static std::string lockSerial(int i) { return serialText(0x3A, 0x100 + static_cast<uint64_t>(i)); }
    static std::string userSerial(int i) { return serialText(0x01, 0x200 + static_cast<uint64_t>(i)); }
};

} // namespace mltest
