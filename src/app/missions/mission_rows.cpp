#include "app/missions/mission_rows.h"

#include "keyaccess/dialog_layer.h"

#include <chrono>

namespace {
using namespace std::chrono;

ClockTime clockOf(const TDbField& f)
{
    if (f.IsNull())
        return {};
    const auto s = db::timeOf(f.AsDateTime());
    return { static_cast<int>(duration_cast<hours>(s).count()), static_cast<int>(duration_cast<minutes>(s).count() % 60) };
}

std::optional<PeriodPoint> pointOf(const TDbField& f)
{
    if (f.IsNull())
        return std::nullopt;
    const DateTime t = f.AsDateTime();
    const auto day = floor<days>(t);
    const year_month_day ymd { day };
    const auto s = t - day;
    return PeriodPoint { int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())),
                         static_cast<int>(duration_cast<hours>(s).count()),
                         static_cast<int>(duration_cast<minutes>(s).count() % 60) };
}

std::vector<ScheduleEntry> readSchedule(TDbQuery& q, int64_t lockStatusId, const char* status1, const char* status2)
{
    q.Close();
    q.SQL.Clear();
    q.SQL.Add("SELECT * FROM LockStatusST");
    q.SQL.Add("WHERE LockStatusID = :LockStatusID");
    q.SQL.Add("AND ((LockStatus = :LockStatus1) OR (LockStatus = :LockStatus2))");
    q.SQL.Add("ORDER BY BeginTime");
    q.ParamByName("LockStatusID").AsInteger(lockStatusId);
    q.ParamByName("LockStatus1").AsString(status1);
    q.ParamByName("LockStatus2").AsString(status2);
    q.Open();
    std::vector<ScheduleEntry> out;
    static const char* const kDays[7] = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" };
    for (q.First(); !q.Eof() && out.size() < timetable::kScheduleEntries; q.Next()) {
        ScheduleEntry e;
        e.begin = clockOf(q.FieldByName("BeginTime"));
        e.lockStatus = q.FieldByName("LockStatus").AsString();
        for (int d = 0; d < 7; ++d)
            e.days[static_cast<std::size_t>(d)] = q.FieldByName(kDays[d]).AsBoolean();
        out.push_back(e);
    }
    q.Close();
    return out;
}

std::vector<DatePeriod> readPeriods(TDbQuery& q, const char* table, const char* from, const char* to)
{
    q.Close();
    q.SQL.Clear();
    q.SQL.Add(std::string("SELECT * FROM ") + table);
    q.SQL.Add("ORDER BY GroupID");
    q.Open();
    std::vector<DatePeriod> out;
    for (q.First(); !q.Eof() && out.size() <= timetable::kPeriodSlots; q.Next())
        out.push_back({ pointOf(q.FieldByName(from)), pointOf(q.FieldByName(to)) });
    q.Close();
    return out;
}
} // namespace

TimeTableRows readTimeTableRows(TDbConnection* db, int64_t lockStatusId)
{
    TimeTableRows rows;
    TDbQuery q(db);
    q.SQL.Add("SELECT * FROM TimeShift");
    q.SQL.Add("WHERE GroupID = :GroupID");
    q.SQL.Add("ORDER BY BeginTime");
    for (std::size_t g = 0; g < timetable::kTimeShiftGroups; ++g) {
        q.Close();
        q.ParamByName("GroupID").AsInteger(static_cast<int64_t>(g + 1));
        q.Open();
        auto& group = rows.timeShiftGroups[g];
        for (q.First(); !q.Eof() && group.size() < timetable::kEntriesPerGroup; q.Next())
            group.push_back({ clockOf(q.FieldByName("BeginTime")), clockOf(q.FieldByName("EndTime")),
                              q.FieldByName("DayOfWeek").AsString() });
    }
    rows.firstSchedule = readSchedule(q, lockStatusId, "Storehouse Mode", "Classroom Mode");
    rows.secondSchedule = readSchedule(q, lockStatusId, "Lock Mode", "Unlock Mode");
    rows.actExpGroups = readPeriods(q, "ActExpDateST", "ActivationDate", "ExpirationDate");
    rows.holidayGroups = readPeriods(q, "ExceptionDateST", "ExceptionDateFrom", "ExceptionDateTo");
    return rows;
}

std::string textOrEmpty(const TMemoryDataSet& row, const char* field)
{
    const TDbField& f = row.FieldByName(field);
    return f.IsNull() ? std::string() : f.AsString();
}

void insertLockKeyRow(TDbQuery& q, int64_t lockId, const TMemoryDataSet& from)
{
    q.SQL = { "INSERT INTO LockKeyManagement (LockID,KeyID,SerialID,FirstName,LastName,TimeShiftID,ActExpDateID,"
              "ExpDateID,Status,Department,Title,Address,ContactInfor,LastSetupTime,UserType,KeyCode,ExpDate)",
              "VALUES (:LockID,:KeyID,:SerialID,:FirstName,:LastName,:TimeShiftID,:ActExpDateID,:ExpDateID,"
              ":Status,:Department,:Title,:Address,:ContactInfor,:LastSetupTime,:UserType,:KeyCode,:ExpDate)" };
    q.ParamByName("LockID").AsInteger(lockId);
    for (const char* f : { "KeyID", "TimeShiftID", "ActExpDateID", "UserType", "FirstName", "LastName", "Status" })
        q.ParamByName(f).Value(from.FieldByName(f).Value());
    for (const char* f : { "SerialID", "KeyCode", "Department", "Title", "Address", "ContactInfor" })
        q.ParamByName(f).AsString(textOrEmpty(from, f));
    const TDbField& expDateId = from.FieldByName("ExpDateID");
    q.ParamByName("ExpDateID").AsInteger(expDateId.IsNull() ? 1 : expDateId.AsInteger());
    q.ParamByName("ExpDate").AsBoolean(from.FieldByName("ExpDate").AsBoolean());
    q.ParamByName("LastSetupTime").AsDateTime(localNow());
    q.ExecSQL();
}

KeyListUser keyListUserFrom(const TMemoryDataSet& row)
{
    KeyListUser u;
    u.userType = textOrEmpty(row, "UserType");
    u.serialId = textOrEmpty(row, "SerialID");
    u.keyCode = textOrEmpty(row, "KeyCode");
    const TDbField& ts = row.FieldByName("TimeShiftID");
    const TDbField& ae = row.FieldByName("ActExpDateID");
    u.timeShiftId = ts.IsNull() ? 1 : static_cast<int>(ts.AsInteger());
    u.actExpDateId = ae.IsNull() ? 1 : static_cast<int>(ae.AsInteger());
    u.expDate = row.FieldByName("ExpDate").AsBoolean();
    return u;
}

bool programKeyReady(KeyIo& io)
{
    if (io.IsOneWirePortOK())
        return true;
    const std::string text = messageAfterKeyCheck(io.options.port, io.LastKeyCheck, "Please Plug in your program Key.");
    if (!text.empty())
        appDialogs().error(text);
    return false;
}

bool writePageImage(KeyIo& io, int page, const MissionKeyPage& image)
{
    std::copy(image.begin(), image.end(), io.PageBuffer.begin());
    return io.writePageWithTries(page);
}

bool writePagesWithTries(KeyIo& io, const std::vector<PageWrite>& writes, const std::function<void()>& afterEach)
{
    for (const auto& w : writes) {
        if (!writePageImage(io, w.page, w.image))
            return false;
        if (afterEach)
            afterEach();
    }
    return true;
}

bool blankHeaderPage(KeyIo& io) { return writePagesWithTries(io, { PageWrite { 0, blankMissionKeyPage() } }); }

bool writeKeyWithRows(KeyIo& io, TDbConnection& db, const std::function<bool()>& pagesAndRows,
                      const std::function<MissionKeyPage()>& header)
{
    try {
        db.StartTransaction();
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
        return false;
    }
    bool headerTried = false;
    try {
        if (blankHeaderPage(io) && pagesAndRows()) {
            const MissionKeyPage image = header();
            headerTried = true;
            if (writePageImage(io, 0, image)) {
                db.Commit();
                return true;
            }
        }
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
    }
    try {
        db.Rollback();
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
    }
    if (headerTried)
        blankHeaderPage(io);
    return false;
}
