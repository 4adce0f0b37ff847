// Lays the demo workspace: the supplied database with a few demo locks, users, schedules and
// codes; Config.dat; logo.bmp; the Remote Code report's template; the demo locks as lock
// simulator files (Locks/); the emulated reader's folder with an audit-trail key that the
// first lock has filled (Reader/); and a few more keys beside the reader (Keys/).
// Run again on the same folder it keeps what is there.
#include "app/shell/program_icon.h"
#include "app/shell/settings_record.h"
#include "bytes/codec.h"
#include "dataaccess/dataaccess.h"
#include "keyformats/access_code.h"
#include "keyformats/time_table_image.h"
#include "locksim/lock_file.h"
#include "locksim/mission_headers.h"
#include "locksim/sim_lock.h"
#include "onewire/key_file.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

struct DemoLock {
    int id;
    uint64_t serial;
    const char* name;
    const char* location;
    const char* type;
};
const DemoLock kLocks[] = {
    { 1, 0x101, "Room 101", "North Wing", "iButton" },
    { 2, 0x102, "Room 102", "North Wing", "iButton" },
    { 3, 0x201, "Store A", "Basement", "Access Code" },
};

struct DemoUser {
    int id;
    const char* userType;
    uint64_t keySerial; // 0: no iButton
    const char* keyCode;
    const char* first;
    const char* last;
    const char* department;
};
const DemoUser kUsers[] = {
    { 1, "iButton", 0xA1001, "", "Anna", "Berg", "Housekeeping" },
    { 2, "KeyCode", 0, "246810", "Carl", "Dahl", "Maintenance" },
    { 3, "Complex", 0xA1003, "135790", "Eva", "Falk", "Front Desk" },
};

const uint8_t kLockFamily = 0x01;
const uint8_t kUserKeyFamily = 0x01;

std::string romText(uint8_t family, uint64_t serial) { return romIdText(onewire::makeRomId(family, serial)); }

// Remote codes as the Remote Code window issues them: the first code (version 0) of its lock,
// type and period.
struct DemoCode {
    int lock; // index in kLocks
    const char* first;
    const char* last;
    const char* codeType; // 'Temp' or 'Once'
    std::chrono::year_month_day start;
    int startHour;
    std::chrono::year_month_day end;
    int endHour;
    const char* created;
};
using namespace std::chrono_literals;
const DemoCode kCodes[] = {
    { 2, "Gus", "Hale", "Temp", 2026y / 3 / 1, 14, 2026y / 3 / 4, 11, "2026-02-27 10:15:00" },
};
constexpr int kDemoCodeVersion = 0;

std::string codeString(const DemoCode& c)
{
    return MakeAccessCode(romText(kLockFamily, kLocks[c.lock].serial), std::string(c.codeType) == "Temp" ? 2 : 1,
        c.start, c.startHour, c.end, c.endHour, kDemoCodeVersion);
}

DateTime dateTimeOf(std::chrono::year_month_day day, int hour)
{
    return std::chrono::local_days(day) + std::chrono::hours(hour);
}

bool tableEmpty(TDbConnection& db, const std::string& table)
{
    TDbQuery q(&db);
    q.SQL = "SELECT COUNT(*) AS N FROM " + table;
    q.Open();
    return q.FieldByName("N").AsInteger() == 0;
}

void exec(TDbConnection& db, std::initializer_list<std::string> sql, std::initializer_list<std::pair<const char*, DbVariant>> params)
{
    TDbQuery q(&db);
    q.SQL = sql;
    for (const auto& [name, value] : params)
        q.ParamByName(name).Value(value);
    q.ExecSQL();
}

void fillDatabase(TDbConnection& db)
{
    if (!tableEmpty(db, "LockManagement"))
        return; // already laid, or the operator's own data
    db.StartTransaction();
    try {
        {
            exec(db, { "INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (:ID, :Name)" },
                { { "ID", 3 }, { "Name", "Office Hours" } });
            auto addLine = [&](const char* mode, const char* begin) {
                TDbQuery q(&db);
                q.SQL = { "INSERT INTO LockStatusST (LockStatusID, LockStatus, BeginTime, Sunday, Monday, Tuesday,",
                    "Wednesday, Thursday, Friday, Saturday) VALUES (3, :Mode, :BeginTime, 0, 1, 1, 1, 1, 1, 0)" };
                q.ParamByName("Mode").AsString(mode);
                q.ParamByName("BeginTime").AsString(begin);
                q.ExecSQL();
            };
            addLine("Classroom Mode", "08:00:00");
            addLine("Storehouse Mode", "18:00:00");
        }
        exec(db, { "INSERT INTO TimeGroup (GroupID, GroupName) VALUES (2, 'Day Shift')" }, {});
        for (const char* day : { "Monday", "Tuesday", "Wednesday", "Thursday", "Friday" })
            exec(db, { "INSERT INTO TimeShift (GroupID, BeginTime, EndTime, DayOfWeek) VALUES (2, '08:00:00', '17:00:00', :Day)" },
                { { "Day", day } });
        exec(db, { "INSERT INTO ActExpDateST (GroupID, ActivationDate, ExpirationDate)",
                     "VALUES (2, '2026-01-01 00:00:00', '2027-12-31 23:59:00')" },
            {});

        for (const auto& l : kLocks)
            exec(db, { "INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType)",
                         "VALUES (:ID, :SerialID, :Name, :Location, :LockStatusID, :Type)" },
                { { "ID", l.id }, { "SerialID", romText(kLockFamily, l.serial) }, { "Name", l.name },
                    { "Location", l.location }, { "LockStatusID", l.id == 1 ? 3 : 1 }, { "Type", l.type } });
        for (const auto& u : kUsers)
            exec(db, { "INSERT INTO KeyManagement (KeyID, UserType, SerialID, KeyCode, FirstName, LastName, Department,",
                         "Title, Address, ContactInfor, Status)",
                         "VALUES (:ID, :UserType, :SerialID, :KeyCode, :First, :Last, :Department, '', '', '', 'Active')" },
                { { "ID", u.id }, { "UserType", u.userType },
                    { "SerialID", u.keySerial ? romText(kUserKeyFamily, u.keySerial) : std::string() },
                    { "KeyCode", u.keyCode }, { "First", u.first }, { "Last", u.last }, { "Department", u.department } });
        // Every user on both rooms, the day shift on the second; the store takes codes.
        for (const auto& u : kUsers)
            for (int lockId : { 1, 2 })
                exec(db, { "INSERT INTO LockKeyManagement (LockID, KeyID, TimeShiftID, ActExpDateID, ExpDateID, SerialID,",
                             "FirstName, LastName, Status, Department, Title, Address, ContactInfor, UserType, KeyCode,",
                             "LastSetupTime, ExpDate)",
                             "VALUES (:LockID, :KeyID, :TimeShiftID, 1, 1, :SerialID, :First, :Last, 'Active', :Department,",
                             "'', '', '', :UserType, :KeyCode, '2026-01-05 09:00:00', 0)" },
                    { { "LockID", lockId }, { "KeyID", u.id }, { "TimeShiftID", lockId == 2 ? 2 : 1 },
                        { "SerialID", u.keySerial ? romText(kUserKeyFamily, u.keySerial) : std::string() },
                        { "First", u.first }, { "Last", u.last }, { "Department", u.department },
                        { "UserType", u.userType }, { "KeyCode", u.keyCode } });
        for (const auto& c : kCodes)
            exec(db, { "INSERT INTO AccessCode (SerialID, LockName, GuestFirstName, GuestLastName, CodeType, StartDate, EndDate,",
                         "DateCreated, CreatedBy, CodeString, LostTimes, HasDeleted)",
                         "VALUES (:SerialID, :LockName, :First, :Last, :CodeType, :StartDate, :EndDate,",
                         ":DateCreated, 'admin', :CodeString, :LostTimes, 0)" },
                { { "SerialID", romText(kLockFamily, kLocks[c.lock].serial) }, { "LockName", kLocks[c.lock].name },
                    { "First", c.first }, { "Last", c.last }, { "CodeType", c.codeType },
                    { "StartDate", dateTimeOf(c.start, c.startHour) }, { "EndDate", dateTimeOf(c.end, c.endHour) },
                    { "DateCreated", c.created }, { "CodeString", codeString(c) }, { "LostTimes", kDemoCodeVersion + 1 } });
        db.Commit();
    } catch (...) {
        db.Rollback();
        throw;
    }
}

void writeLogo(const fs::path& file)
{
    // The emblem, then the program's name, the picture as wide as the name needs in this
    // machine's type.
    QFont font;
    font.setPixelSize(40);
    font.setBold(true);
    const QString name = QStringLiteral("iOstrivane");
    const QRect emblem(50, 60, 200, 120);
    const int nameLeft = emblem.right() + 20;
    const int margin = 40;
    QImage logo(nameLeft + QFontMetrics(font).horizontalAdvance(name) + margin, 240, QImage::Format_RGB32);
    logo.fill(QColor(0xF4, 0xF6, 0xFA));
    QPainter p(&logo);
    drawEmblem(p, emblem, kEmblemBlue);
    p.setPen(kEmblemBlue);
    p.setFont(font);
    p.drawText(QRect(nameLeft, 0, logo.width() - nameLeft, logo.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
    p.end();
    if (!logo.save(QString::fromStdString(file.string()), "BMP"))
        throw std::runtime_error("cannot write " + file.string());
}

void writeKey(const fs::path& folder, const onewire::KeyFile& key)
{
    std::string error;
    if (!onewire::saveKeyFile(onewire::keyFilePath(folder, key.rom), key, &error))
        throw std::runtime_error("cannot write a key file: " + error);
}

const std::array<uint8_t, 3> kDemoSite { 0x12, 0x34, 0x56 }; // facility code 123456

std::string lockFileName(const char* lockName)
{
    std::string n;
    for (const char* c = lockName; *c; ++c)
        n += (*c == ' ') ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return n + ".lock";
}

// What a room runs on once the program's multi-lock key has programmed it: the settings the
// database holds for it and its users, so that a Get Information key shows the two alike.
void programmeLock(locksim::LockState& state, const DemoLock& l)
{
    if (std::string(l.type) != "iButton")
        return;
    TimeTableRows rows;
    for (const char* day : { "Monday", "Tuesday", "Wednesday", "Thursday", "Friday" })
        rows.timeShiftGroups[1].push_back({ { 8, 0 }, { 17, 0 }, day });
    if (l.id == 1) {
        const std::array<bool, 7> weekdays { false, true, true, true, true, true, false };
        rows.firstSchedule = { { { 8, 0 }, "Classroom Mode", weekdays }, { { 18, 0 }, "Storehouse Mode", weekdays } };
    }
    rows.actExpGroups = { {}, { PeriodPoint { 2026, 1, 1, 0, 0 }, PeriodPoint { 2027, 12, 31, 23, 59 } } };
    rows.holidayGroups = { {} };
    state.settingsImage = TimeTableImage(rows);
    for (const auto& u : kUsers) {
        locksim::LockKeyEntry k;
        k.code = u.keyCode;
        if (u.keySerial)
            k.key = onewire::makeRomId(kUserKeyFamily, u.keySerial);
        k.timeShiftGroup = l.id == 2 ? 2 : 1;
        state.keys.push_back(k);
    }
}

// Each demo lock as the simulator keeps it, with a few weeks of its users' comings and goings.
void fillLocks(const fs::path& folder)
{
    fs::create_directories(folder);
    if (!fs::is_empty(folder))
        return;
    std::vector<locksim::Rom> keys;
    std::vector<std::string> codes;
    for (const auto& u : kUsers) {
        if (u.keySerial)
            keys.push_back(onewire::makeRomId(kUserKeyFamily, u.keySerial));
        if (*u.keyCode)
            codes.push_back(u.keyCode);
    }
    for (const auto& l : kLocks) {
        locksim::SimLock lock(onewire::makeRomId(kLockFamily, l.serial), kDemoSite, locksim::localNow());
        programmeLock(lock.state(), l);
        std::vector<std::string> guestCodes; // the demo guests' remote codes for this lock
        for (const auto& c : kCodes)
            if (&kLocks[c.lock] == &l)
                guestCodes.push_back(codeString(c));
        locksim::generateEvents(lock, 60, keys, codes, guestCodes, static_cast<unsigned>(l.id));
        std::string error;
        if (!locksim::saveLockFile(folder / lockFileName(l.name), lock, &error))
            throw std::runtime_error("cannot write a lock file: " + error);
    }
}

// In the reader: a Get Audit Trail Key that the first room has already filled. Beside it: a
// user's iButton, a blank program key and a clock key set to now.
void fillReader(const fs::path& reader, const fs::path& locks, const fs::path& spare)
{
    fs::create_directories(reader);
    fs::create_directories(spare);
    if (!fs::is_empty(reader) || !fs::is_empty(spare))
        return;
    auto lock = locksim::loadLockFile(locks / lockFileName(kLocks[0].name));
    if (!lock.lock)
        throw std::runtime_error(lock.error);
    onewire::KeyFile audit = onewire::blankDS1977(onewire::makeRomId(onewire::kFamilyDS1977, 0x77002));
    locksim::Ds1977Memory memory;
    memory.rom = audit.rom;
    memory.pages[0] = locksim::missionHeader(locksim::MissionKind::GetAuditTrail, kDemoSite);
    lock.lock->visit(memory);
    for (int p = 0; p < locksim::kPages; ++p)
        onewire::setDS1977Page(audit, p, memory.pages[p]);
    writeKey(reader, audit);

    writeKey(spare, onewire::blankKey(onewire::makeRomId(kUserKeyFamily, 0xA1001)));
    writeKey(spare, onewire::blankDS1977(onewire::makeRomId(onewire::kFamilyDS1977, 0x77001)));
    onewire::KeyFile clock = onewire::blankDS1904(onewire::makeRomId(onewire::kFamilyDS1904, 0x24001));
    const std::time_t now = std::time(nullptr);
    std::tm lt {};
    localtime_r(&now, &lt);
    // The clock counts the local time's seconds since 1970, as a Set Time Key holds it.
    const int64_t localSeconds = static_cast<int64_t>(now) + lt.tm_gmtoff;
    onewire::setClock(clock, static_cast<uint32_t>(localSeconds), true, static_cast<int64_t>(now));
    writeKey(spare, clock);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-workspace FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the logo
    const fs::path ws(argv[1]);
    try {
        fs::create_directories(ws);
        const fs::path dbFile = ws / "iOstrivaneDB.db";
        if (!fs::exists(dbFile))
            fs::copy_file(IOS_SUPPLIED_DB, dbFile);
        {
            TDbConnection db;
            db.Open(dbFile.string());
            fillDatabase(db);
            db.Close();
        }
        if (!fs::exists(ws / shell::kConfigFileName)) {
            TSettingsRecord s;
            shell::applyConfigDefaults(s);
            s.FacilityCode = kDemoSite;
            shell::writeConfigDat(s, ws / shell::kConfigFileName);
        }
        if (!fs::exists(ws / "logo.bmp"))
            writeLogo(ws / "logo.bmp");
        // The Remote Code report's template ships beside the program.
        if (!fs::exists(ws / "AccessCodeReport.xlsx"))
            fs::copy_file(IOS_ACCESS_CODE_TEMPLATE, ws / "AccessCodeReport.xlsx");
        fillLocks(ws / "Locks");
        fillReader(ws / "Reader", ws / "Locks", ws / "Keys");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo-workspace: %s\n", e.what());
        return 1;
    }
    std::printf("demo workspace: %s\n", ws.c_str());
    return 0;
}
