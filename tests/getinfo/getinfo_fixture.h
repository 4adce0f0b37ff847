#pragma once
// A lock of the supplied database with users, groups and a schedule, a simulated lock that
// holds keys and settings of its own, and the program's Get Information key between them.
#include "app/keyreading/wait_forms.h"
#include "keyformats/get_information.h"
#include "keyformats/time_table_image.h"
#include "keyreading/read_key_fixture.h"

#include <QLabel>
#include <QPushButton>

namespace getinfotest {

using namespace rktest;

inline const RomId kStrangerKey = onewire::makeRomId(0x01, 0x5005);
inline const RomId kComplexKey = onewire::makeRomId(0x01, 0x7007);

class GetInfoWindowTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        addLock(1, kLockA, "Front", "Lobby");
        exec("INSERT INTO KeyManagement "
             "(KeyID,UserType,SerialID,KeyCode,FirstName,LastName,Department,Status) "
             "VALUES (7,'iButton','"
            + romIdText(kUserKey) + "','','Ada','Lovelace','Maths','Active')");
        exec("INSERT INTO KeyManagement (KeyID,UserType,SerialID,KeyCode,FirstName,LastName,Status) "
             "VALUES (8,'KeyCode','','4321','Cy','Code','Active'),(9,'Complex','"
            + romIdText(kComplexKey) + "','777','Di','Both','Active')");
        exec("INSERT INTO LockKeyManagement "
             "(LockID,KeyID,TimeShiftID,ActExpDateID,ExpDateID,SerialID,FirstName,"
             "LastName,Status,UserType,KeyCode,ExpDate) VALUES (1,7,1,1,1,'"
            + romIdText(kUserKey) + "','Ada','Lovelace','Active','iButton','',0)");
        exec("INSERT INTO TimeGroup (GroupID,GroupName) VALUES (2,'Day Shift')");
        exec("INSERT INTO TimeShift (GroupID,BeginTime,EndTime,DayOfWeek) VALUES "
             "(2,'08:00:00','16:00:00','Monday')");
        exec("INSERT INTO LockStatusST (LockStatusID,LockStatus,BeginTime,Monday,Friday) "
             "VALUES (1,'Classroom Mode','08:00:00',1,1)");
        exec("INSERT INTO LockStatusST (LockStatusID,LockStatus,BeginTime,Sunday,Monday,Tuesday,Wednesday,"
             "Thursday,Friday,Saturday) VALUES (1,'Storehouse Mode','18:00:00',1,1,1,1,1,1,1)");
    }

    // The lock's settings as the program's writer lays them out, its keys, three events.
    static locksim::SimLock standardLock(locksim::Time clock)
    {
        TimeTableRows rows;
        rows.timeShiftGroups[1] = { { { 9, 0 }, { 12, 0 }, "Tuesday" }, { { 8, 30 }, { 17, 0 }, "Monday" } };
        rows.timeShiftGroups[2] = { { { 22, 0 }, { 23, 0 }, "Sunday" } };
        rows.firstSchedule
            = { { { 8, 0 }, "Classroom Mode", { false, true, false, false, false, true, false } },
                  { { 18, 0 }, "Storehouse Mode", { true, true, true, true, true, true, true } } };
        rows.secondSchedule
            = { { { 6, 0 }, "Lock Mode", { true, false, false, false, false, false, false } } };
        rows.actExpGroups
            = { {}, { PeriodPoint { 2026, 1, 1, 8, 0 }, PeriodPoint { 2026, 12, 31, 18, 30 } } };
        rows.holidayGroups = { {}, { PeriodPoint { 2026, 7, 1, 0, 0 }, PeriodPoint { 2026, 7, 14, 0, 0 } } };
        locksim::SimLock lock(kLockA, kSite, clock);
        auto& st = lock.state();
        st.keyListEnabled = st.daylightSavingFunction = st.daylightSavingInForce = st.blink = true;
        st.manualSetupEnabled = st.classroom = false;
        st.hardwareVersion = 0x2122;
        st.softwareVersion = "2.3";
        st.battery = 109;
        st.level = 3;
        const auto image = TimeTableImage(rows);
        std::copy(image.begin(), image.end(), st.settingsImage.begin());
        st.keys = { { "", kUserKey, 2, 2, true }, { "", kStrangerKey, 1, 1, false },
            { "4321", std::nullopt, 1, 1, false }, { "999", std::nullopt, 1, 1, false },
            { "777", kComplexKey, 1, 1, false } };
        for (int i = 0; i < 3; ++i)
            lock.record(locksim::AuditEvent::withKey(kUserKey, 0x01, at(2026, 12, 1, 8 + i)));
        return lock;
    }

    // The key as the Lock Maintenance window writes it (page 0 only), filled at the lock.
    static onewire::KeyFile keyFrom(locksim::SimLock& lock, uint64_t serial = 900)
    {
        auto key = ds1977(serial);
        auto page0 = blankMissionKeyPage();
        putReadHeader(page0, ReadKind::GetInformation, kSite);
        setPage(key, 0, page0);
        visit(lock, key);
        return key;
    }
    // The key read in a new window.
    std::unique_ptr<TReadCard_Form> readKey(const onewire::KeyFile& key)
    {
        insertKey(key);
        auto form = newForm();
        boxes = read(*form);
        return form;
    }
    std::unique_ptr<TReadCard_Form> readKeyFrom(locksim::SimLock& lock) { return readKey(keyFrom(lock)); }

    static QString info(TReadCard_Form& form, const char* caption)
    {
        return form.lockInfoLabel(QString::fromLatin1(caption))->text();
    }

    std::vector<std::string> boxes;
};

} // namespace getinfotest
