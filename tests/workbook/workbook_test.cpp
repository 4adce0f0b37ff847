// The sheet model, the .xlsx writer and the exports folder, checked by reading the written
// files back with openpyxl.
#include "workbook/cell_ref.h"
#include "workbook/export.h"
#include "workbook/file_commit.h"
#include "workbook/sheet.h"
#include "workbook/xlsx_readback.h"
#include "workbook/xlsx_writer.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace workbook;
using namespace workbook_test;

namespace {

// Runs f and returns the message of the WorkbookError it raises ("" when none).
template <typename F> std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(CellRefs, ParsedAndFormattedWithinTheSheetsBounds)
{
    EXPECT_EQ(parseCellRef("B3"), (CellPos{3, 2}));
    EXPECT_EQ(parseCellRef("$aa$10"), (CellPos{10, 27}));
    EXPECT_EQ(parseCellRef("XFD1048576"), (CellPos{kMaxRows, kMaxColumns}));
    EXPECT_EQ(cellRef(30000, 11), "K30000");
    for (auto [c, letters] : std::vector<std::pair<int, std::string>>{{1, "A"}, {26, "Z"}, {27, "AA"}, {52, "AZ"},
                                                                      {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}}) {
        EXPECT_EQ(columnLetters(c), letters);
        EXPECT_EQ(parseCellRef(letters + "7").column, c);
    }
    for (const char* bad : {"", "B", "3", "B0", "XFE1", "A1048577", "A1 ", "1A", "B3:C4", "ABCDE1", "A123456789"})
        EXPECT_THROW(parseCellRef(bad), WorkbookError) << bad;
    EXPECT_THROW(cellRef(0, 1), WorkbookError);
    EXPECT_THROW(cellRef(1, kMaxColumns + 1), WorkbookError);
}

TEST(SerialDates, DaysSince1900Or1904)
{
    EXPECT_DOUBLE_EQ(spreadsheetSerial(at(1900, 1, 1)), 1);
    EXPECT_DOUBLE_EQ(spreadsheetSerial(at(1900, 2, 28)), 59);
    EXPECT_DOUBLE_EQ(spreadsheetSerial(at(1900, 3, 1)), 61); // after the leap day 1900 never had
    EXPECT_DOUBLE_EQ(spreadsheetSerial(at(2000, 1, 1, 12)), 36526.5);
    EXPECT_DOUBLE_EQ(spreadsheetSerial(at(2000, 1, 1, 18), true), 35064.75);
    EXPECT_DOUBLE_EQ(spreadsheetSerial(at(1904, 1, 1), true), 0);
    EXPECT_THROW(spreadsheetSerial(at(1899, 12, 31, 23, 59, 59)), WorkbookError);
    EXPECT_THROW(spreadsheetSerial(at(1903, 12, 31), true), WorkbookError);
    EXPECT_THROW(spreadsheetSerial(at(10000, 1, 1)), WorkbookError);
}

TEST(XmlSafeText, WhatXmlCannotHoldBecomesReplacementCharacters)
{
    const std::string fffd = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> rows[] = {
        {"Zo\xC3\xAB\tA\r\nB", "Zo\xC3\xAB\tA\r\nB"},
        {"\xF0\x9F\x94\x91 key", "\xF0\x9F\x94\x91 key"},
        {std::string("a\x01z", 3), "a" + fffd + "z"},
        {std::string("a\0z", 3), "a" + fffd + "z"},
        {"\xC3", fffd},                       // cut short
        {"\xC0\xAF", fffd + fffd},            // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd}, // surrogate
        {"\xEF\xBF\xBE", fffd + fffd + fffd}, // U+FFFE
        {"\xE9t\xE9", fffd + "t" + fffd},     // Latin-1
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(xmlSafeText(in), out) << in;
}

TEST(SheetModel, SheetNamesAreValidAndUniqueWhateverTheirCase)
{
    Workbook book;
    Sheet& report = book.addSheet("Audit Record Report");
    book.addSheet("Sheet1");
    EXPECT_THROW(book.addSheet("sheet1"), WorkbookError); // names are unique regardless of case
    for (const char* bad : {"", "a/b", "a[1]", "Sheet:1", "what?", "'quoted'", "1234567890123456789012345678901X"})
        EXPECT_THROW(book.addSheet(bad), WorkbookError) << bad;
    EXPECT_NO_THROW(book.addSheet("Get Information Key Report"));
    EXPECT_EQ(&book.sheet(0), &report); // earlier references stay valid
    EXPECT_EQ(book.findSheet("SHEET1"), &book.sheet(1));
    EXPECT_EQ(book.findSheet("none"), nullptr);
    EXPECT_THROW(book.renameSheet(1, "audit record report"), WorkbookError);
    book.renameSheet(1, "Other");
    EXPECT_EQ(book.sheet(1).name(), "Other");
    EXPECT_THROW(book.sheet(5), WorkbookError);
}

// Formats and values are checked in the written file.
TEST(SheetModel, RefusedValuesLeaveNoCell)
{
    Workbook book;
    Sheet& report = book.addSheet("Audit Record Report");
    const std::function<void()> refused[] = {
        [&] { report.setText(0, 1, "x"); }, [&] { report.setText(1, kMaxColumns + 1, "x"); },
        [&] { report.setNumber(1, 1, std::nan("")); }, [&] { report.setDateTime(1, 1, at(1899, 1, 1)); },
        [&] { report.setColumnWidth(1, -1); }, [&] { report.setColumnWidth(1, 256); },
    };
    for (const auto& f : refused)
        EXPECT_THROW(f(), WorkbookError);
    EXPECT_EQ(report.cell(1, 1), nullptr); // refused values leave no cell behind
}

TEST(XlsxWriter, WrittenWorkbookReadsBackWithValuesFormatsWidthsAndSheetNames)
{
    ScratchFolder folder("write");
    Workbook book;
    Sheet& s = book.addSheet("Audit Record Report");
    Sheet& second = book.addSheet("Sheet1");
    s.setText(1, 1, "Print Time: ");
    s.setText(4, 1, "1");
    s.setNumberFormat(4, 2, "0");
    s.setText(4, 2, "\"1200000012345678");
    s.setText(4, 3, "Zo\xC3\xAB  ");
    s.setText(4, 4, "=1+1"); // text, never a formula
    s.setText(4, 5, std::string("bell\x07", 5));
    s.setDateTime(4, 6, at(2026, 12, 6, 17, 20, 3));
    s.setNumberFormat(4, 6, "yyyy-mm-dd hh:mm:ss");
    s.setDateTime(4, 7, at(1900, 2, 28, 6));
    s.setNumber(5, 8, 42.5);
    s.setColumnNumberFormat(9, "0.00");
    s.setNumber(5, 9, 3);
    s.setNumberFormat(6, 1, "@");
    s.setText(6, 1, ""); // an empty text leaves a formatted, empty cell
    for (int c = 1; c <= 10; ++c)
        s.setColumnWidth(c, 20);
    second.setNumber("C3", -0.125);

    const auto file = folder.path() / "out.xlsx";
    writeXlsx(book, file);
    const auto dump = readBack(file);
    EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Audit Record Report", "Sheet1"}));
    EXPECT_EQ(dump.describe("Audit Record Report", {"A1", "A4", "B4", "C4", "D4", "E4", "F4", "G4", "H5", "I5", "A6"}),
              "A1 text \"Print Time: \" General\n"
              "A4 text \"1\" General\n"
              "B4 text \"\\\"1200000012345678\" 0\n"
              "C4 text \"Zo\xC3\xAB  \" General\n"
              "D4 text \"=1+1\" General\n"
              "E4 text \"bell\xEF\xBF\xBD\" General\n"
              "F4 datetime \"2026-12-06T17:20:03\" yyyy-mm-dd hh:mm:ss\n"
              "G4 datetime \"1900-02-28T06:00:00\" " + std::string(kDefaultDateTimeFormat) + "\n"
              "H5 number 42.5 General\n"
              "I5 number 3.0 0.00\n" // the format from its column
              "A6 blank null @\n");
    EXPECT_EQ(dump.cell("Sheet1!C3").json, "-0.125");
    // The stored width carries the spreadsheet's cell padding on top of the 20 set.
    for (const char* col : {"A", "B", "F", "J"})
        EXPECT_NEAR(dump.widths.at(std::string("Audit Record Report!") + col), 20.71, 0.01) << col;
    EXPECT_FALSE(dump.widths.count("Audit Record Report!K"));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.xlsx"}); // no temporary left
}

TEST(XlsxWriter, AFailedWriteLeavesTheOlderFileAndNoTemporary)
{
    ScratchFolder folder("write-fails");
    const auto file = folder.path() / "out.xlsx";
    std::ofstream(file) << "older";
    EXPECT_THROW(writeXlsx(Workbook(), file), WorkbookError);
    Workbook tooLong;
    tooLong.addSheet("Sheet1").setText(1, 1, std::string(40000, 'x'));
    EXPECT_NE(errorOf([&] { writeXlsx(tooLong, file); }).find("A1"), std::string::npos);
    EXPECT_EQ(fileText(file), "older");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.xlsx"});
}

namespace {
// An export folder below a scratch folder, and the files the exports hand over.
struct Export : ::testing::Test {
    ScratchFolder root { "export" };
    std::vector<std::filesystem::path> handed;
    ExportSettings settings;
    Workbook book;
    Export()
    {
        settings.folder = root.path() / "Exports" / "nested"; // made when missing
        settings.openHook = [this](const std::filesystem::path& p) {
            // The file is complete under its final name before anything opens it.
            EXPECT_EQ(readBack(p).cell("Lock List Report!A1").json, "\"Lock List Report\"");
            handed.push_back(p);
        };
        book.addSheet("Lock List Report").setText(1, 1, "Lock List Report");
    }
};
} // namespace

TEST_F(Export, WritesUniqueFilesIntoTheFolderAndHandsThemOver)
{
    const auto first = exportWorkbook(book, "Lock List Report", settings);
    const auto second = exportWorkbook(book, "Lock List Report", settings);
    ASSERT_EQ(handed, (std::vector<std::filesystem::path>{first, second}));
    EXPECT_EQ(first.parent_path(), std::filesystem::absolute(settings.folder));
    EXPECT_NE(first, second);
    EXPECT_EQ(first.filename().string().rfind("Lock List Report 20", 0), 0u) << first;
    EXPECT_EQ(first.extension(), ".xlsx");
    for (const auto& entry : std::filesystem::directory_iterator(settings.folder))
        EXPECT_EQ(entry.path().extension(), ".xlsx") << entry.path(); // no temporary left

    // A name that is no safe file name still gives a file in the folder.
    const auto odd = exportWorkbook(book, "../a/b:c?*", settings);
    EXPECT_EQ(odd.parent_path(), std::filesystem::absolute(settings.folder));
    EXPECT_EQ(odd.filename().string().rfind("_a_b_c__ ", 0), 0u) << odd;
}

TEST(ExportFileStem, MadeSafeAndNeverCutInsideACharacter)
{
    for (auto [name, stem] : std::vector<std::pair<std::string, std::string>>{
             {"Audit Record Report", "Audit Record Report"}, {" ..hidden. ", "hidden"}, {"a\\b/c\td", "a_b_c_d"},
             {"", "Workbook"}, {"...", "Workbook"}})
        EXPECT_EQ(detail::safeFileStem(name), stem);
    std::string name(95, 'x');
    for (int i = 0; i < 10; ++i)
        name += "\xC3\xAB"; // two bytes each: 100 falls inside one
    const std::string stem = detail::safeFileStem(name);
    EXPECT_EQ(stem.size(), 99u);
    EXPECT_EQ(xmlSafeText(stem), stem); // never cut inside a character
}

TEST_F(Export, FailuresRaiseAndLeaveNoFile)
{
    // A folder that cannot be made (a file stands there) or written raises; nothing is handed over.
    std::ofstream(root.path() / "blocker") << "x";
    settings.folder = root.path() / "blocker" / "Exports";
    EXPECT_NE(errorOf([&] { exportWorkbook(book, "Report", settings); }).find("Cannot create the folder"),
              std::string::npos);
    settings.folder = root.path() / "blocker";
    EXPECT_THROW(exportWorkbook(book, "Report", settings), WorkbookError);

    // A folder without write permission (root may write anywhere, so only for other users).
    if (geteuid() != 0) {
        const auto locked = root.path() / "locked";
        std::filesystem::create_directory(locked);
        chmod(locked.c_str(), 0555);
        settings.folder = locked;
        EXPECT_NE(errorOf([&] { exportWorkbook(book, "Report", settings); }).find("Cannot write"), std::string::npos);
        chmod(locked.c_str(), 0755);
        EXPECT_TRUE(std::filesystem::is_empty(locked));
    }

    // A workbook that fails while being written leaves nothing in a writable folder.
    settings.folder = root.path() / "Fresh";
    Workbook tooLong;
    tooLong.addSheet("Sheet1").setText(1, 1, std::string(40000, 'x'));
    EXPECT_THROW(exportWorkbook(tooLong, "Report", settings), WorkbookError);
    EXPECT_TRUE(std::filesystem::is_empty(settings.folder));
    EXPECT_TRUE(handed.empty());
}
