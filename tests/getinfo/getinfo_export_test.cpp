// " &Export Data" of the Read Key window: the workbook written, read back with openpyxl.
#include "app/shell/data_exporting_form.h"
#include "getinfo/getinfo_fixture.h"
#include "keyformats/audit_trail_keys.h"
#include "workbook/export.h"
#include "workbook/xlsx_readback.h"

#include <QPushButton>
#include <fstream>

using namespace rktest;
using namespace getinfotest;
using workbook_test::XlsxDump;

namespace {

class ExportTest : public GetInfoWindowTest {
protected:
    void SetUp() override
    {
        GetInfoWindowTest::SetUp();
        exportIntoDir();
    }

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
    static std::string textAt(const XlsxDump& d, const std::string& sheet, const std::string& ref)
    {
        if (!d.has(sheet + "!" + ref))
            return "<none>";
        const auto& c = d.cell(sheet + "!" + ref);
        if (c.type == "blank")
            return "<none>";
        return c.json;
    }
};

const std::string kInfo = "Get Information Key Report";

std::string quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

TEST_F(ExportTest, TheGetInformationReportSetsLockAndDatabaseSideBySide)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    ASSERT_FALSE(form->BitBtn2->isHidden());
    const XlsxDump d = exportNow(*form);
    EXPECT_EQ(d.sheets, std::vector<std::string> { kInfo });
    auto at = [&](const std::string& ref) { return textAt(d, kInfo, ref); };
    EXPECT_EQ(at("A1"), quoted(kInfo));
    EXPECT_EQ(at("B1"), quoted("Lock ID:"));
    EXPECT_EQ(at("C1"), quoted(romIdText(kLockA)));
    EXPECT_EQ(at("A2"), quoted("Print Time: "));
    EXPECT_NE(at("B2"), "<none>");
    EXPECT_EQ(at("A3"), quoted("Time Shift Setting"));
    EXPECT_EQ(at("E4"), quoted("Day Of Week"));
    // Time shifts: the lock's two rows of group 2, then at once the database's one.
    EXPECT_EQ(at("A5"), quoted("Data In Lock"));
    EXPECT_EQ(at("B5"), quoted("Day Shift"));
    EXPECT_EQ(at("C5"), quoted("08:30:00"));
    EXPECT_EQ(at("D5"), quoted("17:00:00"));
    EXPECT_EQ(at("E5"), quoted("Monday"));
    EXPECT_EQ(at("E6"), quoted("Tuesday"));
    EXPECT_EQ(at("A7"), quoted("Data In Database"));
    EXPECT_EQ(at("C7"), quoted("08:00:00"));
    EXPECT_EQ(at("A8"), "<none>");
    // Lock status: three lock rows, an empty row, two database rows.
    EXPECT_EQ(at("A9"), quoted("Lock Status Setting"));
    EXPECT_EQ(at("J10"), quoted("Saturday"));
    EXPECT_EQ(at("B11"), quoted("06:00:00"));
    EXPECT_EQ(at("C11"), quoted("Lock Mode"));
    EXPECT_EQ(at("C12"), quoted("Classroom Mode"));
    EXPECT_EQ(at("D12"), quoted("False"));
    EXPECT_EQ(at("E12"), quoted("True"));
    EXPECT_EQ(at("I12"), quoted("True"));
    EXPECT_EQ(at("A14"), "<none>");
    EXPECT_EQ(at("A15"), quoted("Data In Database"));
    EXPECT_EQ(at("B16"), quoted("18:00:00"));
    // Activation/expiration: group 1 has no dates; the group id is not written.
    EXPECT_EQ(at("A18"), quoted("Activation/Expiration Date Setting"));
    EXPECT_EQ(at("C19"), quoted("Expiration Date"));
    EXPECT_EQ(at("A20"), quoted("Data In Lock"));
    EXPECT_EQ(at("B20"), "<none>");
    EXPECT_EQ(at("B21"), quoted("1 Jan 2026 08:00:00"));
    EXPECT_EQ(at("C21"), quoted("31 Dec 2026 18:30:00"));
    EXPECT_EQ(at("A23"), quoted("Data In Database"));
    // Holidays: midnight shows the date alone.
    EXPECT_EQ(at("A25"), quoted("Exception Date Setting"));
    EXPECT_EQ(at("B26"), quoted("Holiday Start"));
    EXPECT_EQ(at("B28"), quoted("1 Jul 2026"));
    EXPECT_EQ(at("C28"), quoted("14 Jul 2026"));
    EXPECT_EQ(at("A30"), quoted("Data In Database"));
    // Key list: five lock rows, then the database's one; code and type without headers.
    EXPECT_EQ(at("A32"), quoted("Key List Setting"));
    EXPECT_EQ(at("F33"), quoted("Department"));
    EXPECT_EQ(at("G33"), "<none>");
    for (int r = 34; r <= 38; ++r)
        EXPECT_EQ(at("A" + std::to_string(r)), quoted("Data In Lock")) << r;
    EXPECT_EQ(at("A39"), "<none>");
    EXPECT_EQ(at("A40"), quoted("Data In Database"));
    EXPECT_EQ(at("B40"), quoted(romIdText(kUserKey)));
    EXPECT_EQ(at("C40"), quoted("Ada"));
    EXPECT_EQ(at("H40"), quoted("iButton"));
    EXPECT_EQ(at("A41"), "<none>");
    // No formats and no widths in this report.
    for (const auto& [key, width] : d.widths)
        ADD_FAILURE() << key << " " << width;
}

TEST_F(ExportTest, EmptySectionsKeepTheirTitlesAndHeaders)
{
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 12, 0, 0)); // nothing but FFh in its image
    exec("DELETE FROM LockStatusST");
    exec("DELETE FROM TimeShift");
    auto form = readKeyFrom(lock);
    const XlsxDump d = exportNow(*form);
    auto at = [&](const std::string& ref) { return textAt(d, kInfo, ref); };
    EXPECT_EQ(at("A5"), "<none>"); // no time-shift rows on either side
    EXPECT_EQ(at("A6"), quoted("Lock Status Setting"));
    EXPECT_EQ(at("B7"), quoted("Begin Time"));
    EXPECT_EQ(at("A8"), "<none>");
    EXPECT_EQ(at("A9"), "<none>");
    EXPECT_EQ(at("A10"), quoted("Activation/Expiration Date Setting"));
}

TEST_F(ExportTest, ANullWeekdayLeavesItsCellEmpty)
{
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 12, 0, 0));
    exec("DELETE FROM LockStatusST");
    exec("DELETE FROM TimeShift");
    exec("INSERT INTO LockStatusST (LockStatusID,LockStatus,BeginTime,Sunday,Monday) "
         "VALUES (1,'Lock Mode','05:00:00',NULL,1)");
    auto form = readKeyFrom(lock);
    const XlsxDump d = exportNow(*form);
    auto at = [&](const std::string& ref) { return textAt(d, kInfo, ref); };
    EXPECT_EQ(at("A9"), quoted("Data In Database")); // after the header and the empty lock side
    EXPECT_EQ(at("B9"), quoted("05:00:00"));
    EXPECT_EQ(at("D9"), "<none>");
    EXPECT_EQ(at("E9"), quoted("True"));
    EXPECT_EQ(at("F9"), quoted("False"));
}

TEST_F(ExportTest, TheAuditReportListsTheGridsRowsNewestFirst)
{
    const AuditTrailChoice* choice = nullptr;
    for (const auto& c : kAuditTrailChoices)
        if (c.itemText == "2000")
            choice = &c;
    auto key = ds1977(600);
    const auto writes = auditTrailKeyWrites(*choice, kSite);
    for (const auto& w : writes.at(0))
        setPage(key, w.page, w.image);
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
    const std::string s = "Audit Record Report";
    EXPECT_EQ(d.sheets, std::vector<std::string> { s });
    auto at = [&](const std::string& ref) { return textAt(d, s, ref); };
    EXPECT_EQ(at("A1"), quoted(s));
    EXPECT_EQ(at("A2"), quoted("Print Time: "));
    const char* const headers[] = { "No.", "Serial ID", "First Name", "Last Name", "Lock Action", "Lock Time", "Status",
        "Department", "Lock Name", "Lock Location", "Code Type" };
    for (char c = 'A'; c <= 'K'; ++c)
        EXPECT_EQ(at(std::string(1, c) + "3"), quoted(headers[c - 'A'])) << c;
    EXPECT_FALSE(d.has(s + "!L3"));
    for (char c = 'A'; c <= 'J'; ++c)
        EXPECT_NEAR(d.widths.at(s + "!" + std::string(1, c)), 20.71, 0.01) << c; // 20 characters as stored
    EXPECT_EQ(d.widths.count(s + "!K"), 0u);
    // Newest first.
    EXPECT_EQ(d.cell(s + "!A4").type, "number");
    EXPECT_EQ(d.cell(s + "!A4").json, "1.0");
    EXPECT_EQ(at("B4"), quoted("\\\"" + romIdText(kUserKey)));
    EXPECT_EQ(d.cell(s + "!B4").format, "0");
    EXPECT_EQ(at("C4"), quoted("Ada"));
    EXPECT_EQ(d.cell(s + "!F4").type, "datetime");
    EXPECT_EQ(d.cell(s + "!F4").json, quoted("2026-01-01T09:00:00"));
    EXPECT_EQ(d.cell(s + "!F4").format, "yyyy-mm-dd hh:mm:ss");
    EXPECT_EQ(at("I4"), quoted("Front"));
    EXPECT_EQ(d.cell(s + "!F5").json, quoted("2026-01-01T08:00:00"));
    // The row without a time sorts last; its number goes on counting.
    EXPECT_EQ(d.cell(s + "!A6").json, "3.0");
    EXPECT_EQ(at("E6"), quoted("Unknown Type"));
    EXPECT_EQ(at("B6"), "<none>");
    EXPECT_EQ(at("F6"), "<none>");
    EXPECT_FALSE(d.has(s + "!A7"));
}

TEST_F(ExportTest, AFolderThatCannotBeMadeIsReportedAndNothingClaimsSuccess)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    {
        std::ofstream blocker(dir / "Exports"); // a file where the folder should be
    }
    dialogs.boxes.clear();
    form->BitBtn2->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.texts().at(0), "Data has been exported successfully.");
    EXPECT_TRUE(form->findChildren<TDataExporting_Form*>().isEmpty());
}

} // namespace
