// " &Export Data": the decoded audit records, or the lock's settings read from a Get
// Information key beside the database's, as a workbook handed to the desktop.
#include "app/keyreading/read_card_form.h"
#include "app/shell/data_exporting_form.h"
#include "workbook/export.h"
#include "workbook/sheet.h"

#include <QDateTime>
#include <QLabel>

namespace {
const char* const kAuditTitle = "Audit Record Report";
const char* const kGetInformationTitle = "Get Information Key Report";

DateTime now()
{
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime c = t.time();
    using namespace std::chrono;
    return local_days { year { d.year() } / d.month() / d.day() } + hours { c.hour() }
    + minutes { c.minute() } + seconds { c.second() };
}

std::string dateTimeCell(DateTime t)
{
    return keyreading::dateTimeText(t).toStdString();
}

std::string timeCell(DateTime t)
{
    const auto sinceMidnight = t - std::chrono::floor<std::chrono::days>(t);
    const std::chrono::hh_mm_ss hms { sinceMidnight };
    return keyreading::timeText(
        QTime(int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count())))
        .toStdString();
}

enum class As { Text, DateTime, Time, Boolean };

// One field into one cell; a null field leaves the cell empty.
void put(workbook::Sheet& sheet, int row, int column, const TDbField& field, As as = As::Text)
{
    if (field.IsNull())
        return;
    switch (as) {
    case As::Text:
        sheet.setText(row, column, field.AsString());
        break;
    case As::DateTime:
        sheet.setText(row, column, dateTimeCell(field.AsDateTime()));
        break;
    case As::Time:
        sheet.setText(row, column, timeCell(field.AsDateTime()));
        break;
    case As::Boolean:
        sheet.setText(row, column, field.AsBoolean() ? "True" : "False");
        break;
    }
}

void putRow(workbook::Sheet& sheet, int row, const std::vector<const char*>& texts)
{
    int column = 1;
    for (const char* t : texts)
        sheet.setText(row, column++, t);
}

struct Section {
    const char* title;
    std::vector<const char*> headers;
    std::vector<std::string> lockSql, databaseSql;
    std::vector<std::pair<const char*, As>> columns; // B, C, ...
};
} // namespace

void TReadCard_Form::BitBtn2Click()
{
    if (reading())
        return;
    const bool audit = currentPanel() == 6 || currentPanel() == 8; // Record_Panel, MultiLock_Panel
    try {
        ExportingNotice notice(this);
        workbook::Workbook book;
        workbook::Sheet& sheet = book.addSheet(audit ? kAuditTitle : kGetInformationTitle);
        if (audit)
            writeAuditReport(sheet);
        else
            writeGetInformationReport(sheet);
        workbook::exportWorkbook(book, sheet.name());
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
        return;
    }
    appDialogs().information("Data has been exported successfully.");
}

void TReadCard_Form::writeAuditReport(workbook::Sheet& sheet)
{
    sheet.setText(1, 1, kAuditTitle);
    sheet.setText(2, 1, "Print Time: ");
    sheet.setText(2, 2, dateTimeCell(now()));
    putRow(sheet, 3,
        { "No.", "Serial ID", "First Name", "Last Name", "Lock Action", "Lock Time", "Status", "Department",
            "Lock Name", "Lock Location", "Code Type" });
    for (int c = 1; c <= 10; ++c)
        sheet.setColumnWidth(c, 20);
    if (!TempRecord_Query.Active())
        return;
    const int keep = TempRecord_Query.RecNo();
    TempRecord_Query.DisableControls();
    try {
        int i = 0;
        for (TempRecord_Query.First(); !TempRecord_Query.Eof(); TempRecord_Query.Next(), ++i) {
            const int row = 4 + i;
            sheet.setNumber(row, 1, i + 1);
            const TDbField& serial = TempRecord_Query.FieldByName("SerialID");
            if (!serial.IsNull()) {
                sheet.setNumberFormat(row, 2, "0");
                sheet.setText(row, 2, "\"" + serial.AsString());
            }
            put(sheet, row, 3, TempRecord_Query.FieldByName("FirstName"));
            put(sheet, row, 4, TempRecord_Query.FieldByName("LastName"));
            put(sheet, row, 5, TempRecord_Query.FieldByName("OpenLockType"));
            const TDbField& time = TempRecord_Query.FieldByName("OpenLockTime");
            if (!time.IsNull()) {
                sheet.setDateTime(row, 6, time.AsDateTime());
                sheet.setNumberFormat(row, 6, "yyyy-mm-dd hh:mm:ss");
            }
            put(sheet, row, 7, TempRecord_Query.FieldByName("Status"));
            put(sheet, row, 8, TempRecord_Query.FieldByName("Department"));
            put(sheet, row, 9, TempRecord_Query.FieldByName("LockName"));
            put(sheet, row, 10, TempRecord_Query.FieldByName("LockLocation"));
            put(sheet, row, 11, TempRecord_Query.FieldByName("CodeType"));
        }
    } catch (...) {
        TempRecord_Query.EnableControls();
        throw;
    }
    if (keep > 0)
        TempRecord_Query.SetRecNo(keep);
    TempRecord_Query.EnableControls();
}

void TReadCard_Form::writeGetInformationReport(workbook::Sheet& sheet)
{
    sheet.setText(1, 1, kGetInformationTitle);
    sheet.setText(1, 2, "Lock ID:");
    sheet.setText(1, 3, Label17->text().toStdString());
    sheet.setText(2, 1, "Print Time: ");
    sheet.setText(2, 2, dateTimeCell(now()));
    sheet.setText(3, 1, "Time Shift Setting");
    putRow(sheet, 4, { "Data Location", "Group Name", "Begin Time", "End Time", "Day Of Week" });
    int row = 5;

    TDbQuery query4(conn);
    // Time shifts: the group loop once for the lock, once for the database.
    Query3.Close();
    Query3.SQL = "SELECT * FROM TimeGroup";
    Query3.Open();
    for (auto [table, location] :
        { std::pair { "TimeShift1", "Data In Lock" }, std::pair { "TimeShift", "Data In Database" } }) {
        for (Query3.First(); !Query3.Eof(); Query3.Next()) {
            query4.Close();
            query4.SQL
                = { std::string("SELECT * FROM ") + table, "WHERE GroupID = :GroupID", "ORDER BY BeginTime" };
            query4.ParamByName("GroupID").AsInteger(Query3.FieldByName("GroupID").AsInteger());
            query4.Open();
            const TDbField& name = Query3.FieldByName("GroupName");
            for (query4.First(); !query4.Eof(); query4.Next(), ++row) {
                sheet.setText(row, 1, location);
                if (!name.IsNull())
                    sheet.setText(row, 2, name.AsString());
                put(sheet, row, 3, query4.FieldByName("BeginTime"), As::Time);
                put(sheet, row, 4, query4.FieldByName("EndTime"), As::Time);
                put(sheet, row, 5, query4.FieldByName("DayOfWeek"));
            }
        }
    }
    Query3.Close();

    const std::vector<Section> sections {
        { "Lock Status Setting",
            { "Data Location", "Begin Time", "Lock Status", "Sunday", "Monday", "Tuesday", "Wednesday",
                "Thursday", "Friday", "Saturday" },
            { "SELECT * FROM LockStatusST1", "ORDER BY BeginTime" },
            { "SELECT * FROM LockStatusST", "WHERE LockStatusID = :LockStatusID", "ORDER BY BeginTime" },
            { { "BeginTime", As::Time }, { "LockStatus", As::Text }, { "Sunday", As::Boolean },
                { "Monday", As::Boolean }, { "Tuesday", As::Boolean }, { "Wednesday", As::Boolean },
                { "Thursday", As::Boolean }, { "Friday", As::Boolean }, { "Saturday", As::Boolean } } },
        { "Activation/Expiration Date Setting", { "Data Location", "Activation Date", "Expiration Date" },
            { "SELECT * FROM ActExpDateST1", "ORDER BY GroupID" },
            { "SELECT * FROM ActExpDateST", "ORDER BY GroupID" },
            { { "ActivationDate", As::DateTime }, { "ExpirationDate", As::DateTime } } },
        { "Exception Date Setting", { "Data Location", "Holiday Start", "Holiday End" },
            { "SELECT * FROM ExceptionDateST1", "ORDER BY GroupID" },
            { "SELECT * FROM ExceptionDateST", "ORDER BY GroupID" },
            { { "ExceptionDateFrom", As::DateTime }, { "ExceptionDateTo", As::DateTime } } },
        { "Key List Setting",
            { "Data Location", "Serial ID", "First Name", "Last Name", "Status", "Department" },
            { "SELECT * FROM TempKey", "ORDER BY SerialID" },
            { "SELECT * FROM LockKeyManagement", "WHERE LockID = :LockID", "AND Status = :Status",
                "ORDER BY SerialID" },
            { { "SerialID", As::Text }, { "FirstName", As::Text }, { "LastName", As::Text },
                { "Status", As::Text }, { "Department", As::Text }, { "KeyCode", As::Text },
                { "UserType", As::Text } } },
    };
    for (const Section& s : sections) {
        ++row;
        sheet.setText(row, 1, s.title);
        ++row;
        putRow(sheet, row, s.headers);
        ++row;
        for (const auto& [sql, location] :
            { std::pair { &s.lockSql, "Data In Lock" }, std::pair { &s.databaseSql, "Data In Database" } }) {
            if (sql == &s.databaseSql)
                ++row;
            query4.Close();
            query4.SQL.Clear();
            for (const std::string& line : *sql)
                query4.SQL.Add(line);
            if (TDbParam* p = query4.Params().FindParam("LockStatusID"))
                p->AsInteger(LockStatusID);
            if (TDbParam* p = query4.Params().FindParam("LockID"))
                p->AsInteger(LockID);
            if (TDbParam* p = query4.Params().FindParam("Status"))
                p->AsString("Active");
            query4.Open();
            for (query4.First(); !query4.Eof(); query4.Next(), ++row) {
                sheet.setText(row, 1, location);
                int column = 2;
                for (const auto& [name, as] : s.columns)
                    put(sheet, row, column++, query4.FieldByName(name), as);
            }
        }
    }
}
