// " &Export Data" of the Read Key window: the workbook written, read back with openpyxl.
#include "app/shell/data_exporting_form.h"
#include "getinfo/getinfo_fixture.h"
#include "workbook/xlsx_readback.h"

#include <fstream>

using namespace rktest;
using namespace getinfotest;
using workbook_test::XlsxDump;

namespace {

const std::string kInfo = "Get Information Key Report";
const std::string kAudit = "Audit Record Report";

class ExportTest : public GetInfoWindowTest {
protected:
    XlsxDump exportNow(TReadCard_Form& form)
    {
        dialogs.boxes.clear();
        form.BitBtn2->click();
        EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Data has been exported successfully." });
        EXPECT_TRUE(form.findChildren<TDataExporting_Form*>().isEmpty());
        const auto files = exported();
        EXPECT_EQ(files.size(), 1u);
        return workbook_test::readBack(files.at(0));
    }
    // Each cell given holds the text given ("" for none, or a blank).
    static void expectCells(const XlsxDump& d, const std::string& sheet,
        std::initializer_list<std::pair<const char*, std::string>> cells)
    {
        for (const auto& [ref, value] : cells) {
            const std::string at = sheet + "!" + ref;
            const bool none = !d.has(at) || d.cell(at).type == "blank";
            EXPECT_EQ(none ? "" : d.cell(at).json, value.empty() ? "" : "\"" + value + "\"") << ref;
        }
    }
};

TEST_F(ExportTest, TheGetInformationReportSetsLockAndDatabaseSideBySide)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    ASSERT_FALSE(form->BitBtn2->isHidden());
    const XlsxDump d = exportNow(*form);
    EXPECT_EQ(d.sheets, std::vector<std::string> { kInfo });
    EXPECT_TRUE(d.has(kInfo + "!B2")); // the print time
    expectCells(d, kInfo,
        { { "A1", kInfo }, { "B1", "Lock ID:" }, { "C1", romIdText(kLockA) }, { "A2", "Print Time: " },
            { "A3", "Time Shift Setting" }, { "E4", "Day Of Week" },
            // Time shifts: the lock's two rows of group 2, then at once the database's one.
            { "A5", "Data In Lock" }, { "B5", "Day Shift" }, { "C5", "08:30:00" }, { "D5", "17:00:00" },
            { "E5", "Monday" }, { "E6", "Tuesday" }, { "A7", "Data In Database" }, { "C7", "08:00:00" },
            { "A8", "" },
            // Lock status: three lock rows, an empty row, two database rows.
            { "A9", "Lock Status Setting" }, { "J10", "Saturday" }, { "B11", "06:00:00" },
            { "C11", "Lock Mode" }, { "C12", "Classroom Mode" }, { "D12", "False" }, { "E12", "True" },
            { "I12", "True" }, { "A14", "" }, { "A15", "Data In Database" }, { "B16", "18:00:00" },
            // Activation/expiration: group 1 has no dates; the group id is not written.
            { "A18", "Activation/Expiration Date Setting" }, { "C19", "Expiration Date" },
            { "A20", "Data In Lock" }, { "B20", "" }, { "B21", "1 Jan 2026 08:00:00" },
            { "C21", "31 Dec 2026 18:30:00" }, { "A23", "Data In Database" },
            // Holidays: midnight shows the date alone.
            { "A25", "Exception Date Setting" }, { "B26", "Holiday Start" }, { "B28", "1 Jul 2026" },
            { "C28", "14 Jul 2026" }, { "A30", "Data In Database" },
            // Key list: five lock rows, then the database's one; code and type without headers.
            { "A32", "Key List Setting" }, { "F33", "Department" }, { "G33", "" }, { "A34", "Data In Lock" },
            { "A35", "Data In Lock" }, { "A36", "Data In Lock" }, { "A37", "Data In Lock" },
            { "A38", "Data In Lock" }, { "A39", "" }, { "A40", "Data In Database" },
            { "B40", romIdText(kUserKey) }, { "C40", "Ada" }, { "H40", "iButton" }, { "A41", "" } });
    EXPECT_TRUE(d.widths.empty()); // no formats and no widths in this report
}

TEST_F(ExportTest, EmptySectionsKeepTheirTitlesAndHeadersAndNullWeekdaysStayEmpty)
{
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 12, 0, 0)); // nothing but FFh in its image
    exec("DELETE FROM LockStatusST");
    exec("DELETE FROM TimeShift");
    auto form = readKeyFrom(lock);
    expectCells(exportNow(*form), kInfo,
        { { "A5", "" }, { "A6", "Lock Status Setting" }, { "B7", "Begin Time" }, { "A8", "" }, { "A9", "" },
            { "A10", "Activation/Expiration Date Setting" } });

    exec("INSERT INTO LockStatusST (LockStatusID,LockStatus,BeginTime,Sunday,Monday) "
         "VALUES (1,'Lock Mode','05:00:00',NULL,1)");
    fs::remove_all(dir / "Exports");
    form = readKeyFrom(lock);
    expectCells(exportNow(*form), kInfo, // after the header and the empty lock side
        { { "A9", "Data In Database" }, { "B9", "05:00:00" }, { "D9", "" }, { "E9", "True" },
            { "F9", "False" } });
}

TEST_F(ExportTest, TheAuditReportListsTheGridsRowsNewestFirst)
{
    auto key = auditKeys("2000", 600).at(0);
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 9));
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x05, at(2026, 1, 1, 8)));
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x01, at(2026, 1, 1, 9)));
    visit(lock, key);
    insertKey(key);
    auto form = newForm();
    read(*form);
    ASSERT_EQ(form->currentPanel(), 6);
    // A row with nothing but its event: empty cells and no formats where the fields are null.
    exec("INSERT INTO TempRecord (No,OpenLockType) VALUES (99,'Unknown Type')");
    form->TempRecord_Query.Close();
    form->TempRecord_Query.Open();
    const XlsxDump d = exportNow(*form);
    EXPECT_EQ(d.sheets, std::vector<std::string> { kAudit });
    expectCells(d, kAudit,
        { { "A1", kAudit }, { "A2", "Print Time: " }, { "A3", "No." }, { "B3", "Serial ID" },
            { "C3", "First Name" }, { "D3", "Last Name" }, { "E3", "Lock Action" }, { "F3", "Lock Time" },
            { "G3", "Status" }, { "H3", "Department" }, { "I3", "Lock Name" }, { "J3", "Lock Location" },
            { "K3", "Code Type" }, { "L3", "" }, { "B4", "\\\"" + romIdText(kUserKey) }, { "C4", "Ada" },
            { "I4", "Front" },
            // The row without a time sorts last; its number goes on counting.
            { "E6", "Unknown Type" }, { "B6", "" }, { "F6", "" }, { "A7", "" } });
    for (char c = 'A'; c <= 'J'; ++c)
        EXPECT_NEAR(d.widths.at(kAudit + "!" + std::string(1, c)), 20.71, 0.01)
            << c; // 20 characters as stored
    EXPECT_EQ(d.widths.count(kAudit + "!K"), 0u);
    const std::tuple<const char*, const char*, const char*, const char*> typed[] = {
        { "A4", "number", "1.0", nullptr }, // newest first
        { "B4", nullptr, nullptr, "0" },
        { "F4", "datetime", "\"2026-01-01T09:00:00\"", "yyyy-mm-dd hh:mm:ss" },
        { "F5", nullptr, "\"2026-01-01T08:00:00\"", nullptr },
        { "A6", nullptr, "3.0", nullptr },
    };
    for (auto [ref, type, json, format] : typed) {
        const auto& c = d.cell(kAudit + "!" + ref);
        if (type)
            EXPECT_EQ(c.type, type) << ref;
        if (json)
            EXPECT_EQ(c.json, json) << ref;
        if (format)
            EXPECT_EQ(c.format, format) << ref;
    }
}

TEST_F(ExportTest, AFolderThatCannotBeMadeIsReportedAndNothingClaimsSuccess)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    std::ofstream(dir / "Exports") << ""; // a file where the folder should be
    dialogs.boxes.clear();
    form->BitBtn2->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.texts().at(0), "Data has been exported successfully.");
    EXPECT_TRUE(form->findChildren<TDataExporting_Form*>().isEmpty());
}

} // namespace
