// Filling template workbooks, the Remote Code report template included, checked by reading
// the results back with openpyxl.
#include "workbook/access_code_report.h"
#include "workbook/export.h"
#include "workbook/package_builder.h"
#include "workbook/template_workbook.h"
#include "workbook/xlsx_readback.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <xlsxwriter.h>

using namespace workbook;
using namespace std::chrono;
using workbook_test::readBack;
using workbook_test::ScratchFolder;
using workbook_test::buildPackage;
using workbook_test::oneSheetParts;

namespace {

std::string fileText(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::filesystem::path kShippedTemplate = std::filesystem::path(IOS_BINARY_DIR) / "AccessCodeReport.xlsx";

// A template with what real ones have: shared strings, styled empty cells, a formula, defined
// names and a print area that name the sheet, a second sheet.
std::filesystem::path makeTemplate(const std::filesystem::path& folder)
{
    const auto file = folder / "template.xlsx";
    lxw_workbook* book = workbook_new(file.c_str());
    lxw_worksheet* data = workbook_add_worksheet(book, "Data");
    lxw_worksheet* other = workbook_add_worksheet(book, "It's other");
    lxw_format* thousandths = workbook_add_format(book);
    format_set_num_format(thousandths, "0.000");
    format_set_bold(thousandths);
    lxw_format* isoDate = workbook_add_format(book);
    format_set_num_format(isoDate, "yyyy-mm-dd");
    worksheet_write_string(data, 0, 0, "Title", nullptr);
    worksheet_write_formula(data, 0, 2, "=1+2", nullptr);
    worksheet_write_blank(data, 2, 0, thousandths);
    worksheet_write_number(data, 4, 1, 7, nullptr);
    worksheet_write_blank(data, 6, 3, isoDate);
    worksheet_set_column(data, 0, 0, 30, nullptr);
    worksheet_print_area(data, 0, 0, 9, 3);
    worksheet_write_string(other, 0, 0, "keep", nullptr);
    workbook_define_name(book, "Total", "=Data!$C$1");
    workbook_define_name(book, "Other", "='It''s other'!$A$1");
    EXPECT_EQ(workbook_close(book), LXW_NO_ERROR);
    return file;
}

DateTime at(int y, unsigned m, unsigned d, int hh = 0, int mm = 0)
{
    return local_days{year{y} / month{m} / day{d}} + hours{hh} + minutes{mm};
}

} // namespace

TEST(TemplateWorkbook, FilledCellsReadBackAndTheRestIsKept)
{
    ScratchFolder folder("template");
    const auto templ = makeTemplate(folder.path());
    const std::string templateBytes = fileText(templ);

    TemplateWorkbook book = TemplateWorkbook::open(templ);
    EXPECT_EQ(book.name(), "template.xlsx");
    EXPECT_EQ(book.sheetNames(), (std::vector<std::string>{"Data", "It's other"}));
    EXPECT_THROW(book.renameSheet(0, "it's OTHER"), WorkbookError);
    EXPECT_THROW(book.renameSheet(0, "bad/name"), WorkbookError);
    EXPECT_THROW(book.renameSheet(2, "Third"), WorkbookError);
    book.renameSheet(0, "Report Sheet");
    EXPECT_EQ(book.sheetNames(), (std::vector<std::string>{"Report Sheet", "It's other"}));

    const std::string_view s = "report sheet"; // sheets are found regardless of case
    book.setText(s, "B1", "between");          // between two cells of a row
    book.setText(s, "C1", "no formula");       // replaces a formula
    book.setText(s, "A2", "  <&>\"' \ttab\nline  "); // a row between two rows
    book.setText(s, "A3", "styled");           // keeps its style
    book.setNumber(s, "B5", 8.25);
    book.setNumberFormat(s, "B5", "0.0");
    book.setDateTime(s, "D4", at(2026, 12, 6, 8));
    book.setDateTime(s, "D6", at(2027, 1, 31, 23, 59), "dd/mm/yyyy hh:mm");
    book.setDateTime(s, "D7", at(2026, 2, 28), ""); // the template's own date format
    book.setText(s, 20, 5, "far below");
    book.setNumber(s, 20, 2, 1e-3);
    book.setText(s, "A1", "");                 // empties the cell
    EXPECT_THROW(book.setText("Missing", "A1", "x"), WorkbookError);
    EXPECT_THROW(book.setText(s, "A0", "x"), WorkbookError);
    EXPECT_THROW(book.setNumber(s, "A1", std::nan("")), WorkbookError);

    const auto out = folder.path() / "filled.xlsx";
    book.saveAs(out);
    EXPECT_EQ(fileText(templ), templateBytes); // the template itself is never changed

    const auto dump = readBack(out);
    EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Report Sheet", "It's other"}));
    EXPECT_FALSE(dump.has("Report Sheet!A1"));
    EXPECT_EQ(dump.cell("Report Sheet!B1").json, "\"between\"");
    EXPECT_EQ(dump.cell("Report Sheet!C1").json, "\"no formula\"");
    EXPECT_EQ(dump.cell("Report Sheet!A2").json, "\"  <&>\\\"' \\ttab\\nline  \"");
    EXPECT_EQ(dump.cell("Report Sheet!A3").json, "\"styled\"");
    EXPECT_EQ(dump.cell("Report Sheet!A3").format, "0.000");
    EXPECT_EQ(dump.cell("Report Sheet!B5").json, "8.25");
    EXPECT_EQ(dump.cell("Report Sheet!B5").format, "0.0");
    EXPECT_EQ(dump.cell("Report Sheet!D4").json, "\"2026-12-06T08:00:00\"");
    EXPECT_EQ(dump.cell("Report Sheet!D4").format, kDefaultDateTimeFormat);
    EXPECT_EQ(dump.cell("Report Sheet!D6").json, "\"2027-01-31T23:59:00\"");
    EXPECT_EQ(dump.cell("Report Sheet!D6").format, "dd/mm/yyyy hh:mm");
    EXPECT_EQ(dump.cell("Report Sheet!D7").json, "\"2026-02-28T00:00:00\"");
    EXPECT_EQ(dump.cell("Report Sheet!D7").format, "yyyy-mm-dd");
    EXPECT_EQ(dump.cell("Report Sheet!E20").json, "\"far below\"");
    EXPECT_EQ(dump.cell("Report Sheet!B20").json, "0.001");
    EXPECT_EQ(dump.cell("It's other!A1").json, "\"keep\"");
    ASSERT_TRUE(dump.widths.count("Report Sheet!A"));
    EXPECT_NEAR(dump.widths.at("Report Sheet!A"), 30.71, 0.01);
    // References to the renamed sheet follow it; others are untouched.
    EXPECT_EQ(dump.names.at("Total"), "'Report Sheet'!$C$1");
    EXPECT_EQ(dump.names.at("Other"), "'It''s other'!$A$1");
    EXPECT_NE(dump.printAreas.at("Report Sheet").find("$A$1:$D$10"), std::string::npos);
}

TEST(TemplateWorkbook, UnchangedTemplateWritesTheSameWorkbook)
{
    ScratchFolder folder("same");
    const auto templ = makeTemplate(folder.path());
    const TemplateWorkbook book = TemplateWorkbook::open(templ);
    EXPECT_EQ(book.toBytes(), fileText(templ));
}

TEST(TemplateWorkbook, MissingOrDamagedTemplatesRaiseErrorsNamingTheFile)
{
    ScratchFolder folder("damaged");
    try {
        TemplateWorkbook::open(folder.path() / "AccessCodeReport.xlsx");
        FAIL() << "a missing template opened";
    } catch (const TemplateNotFoundError& e) {
        EXPECT_STREQ(e.what(), "Can not find AccessCodeReport.xlsx.");
    }
    EXPECT_THROW(TemplateWorkbook::open(folder.path()), TemplateNotFoundError); // a folder is no template

    const std::string good = fileText(makeTemplate(folder.path()));
    for (const std::string& bytes : {std::string(), std::string("PK\x03\x04 not really a zip"),
                                     good.substr(0, good.size() / 2), std::string(1000, '\0')}) {
        try {
            TemplateWorkbook::fromBytes(bytes, "AccessCodeReport.xlsx");
            FAIL() << "damaged bytes opened as a template (" << bytes.size() << " bytes)";
        } catch (const TemplateNotFoundError&) {
            FAIL() << "a damaged template reported as missing";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("AccessCodeReport.xlsx", 0), 0u) << e.what();
        }
    }
}

TEST(TemplateWorkbook, SheetsOfOtherProducersAreFilledInTheirOwnShape)
{
    ScratchFolder folder("shapes");
    // A prefixed namespace, a row and cells without positions, a formula with its
    // calculation chain, the 1904 date system.
    const std::string sheet =
        R"(<?xml version="1.0" encoding="UTF-8"?><x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
        R"(<x:dimension ref="A1:C3"/><x:sheetData>)"
        R"(<x:row><x:c><x:f>1+1</x:f><x:v>2</x:v></x:c><x:c t="inlineStr"><x:is><x:t>b</x:t></x:is></x:c></x:row>)"
        R"(<x:row r="3"><x:c r="C3"><x:v>3</x:v></x:c></x:row></x:sheetData></x:worksheet>)";
    auto book = TemplateWorkbook::fromBytes(
        buildPackage(oneSheetParts(sheet, R"(<workbookPr date1904="1"/>)", true)), "shapes.xlsx");
    book.setNumber("Sheet1", "A1", 5);        // the formula goes, and the chain with it
    book.setText("Sheet1", "B2", "new");      // a row between a row without position and row 3
    book.setDateTime("Sheet1", "D3", at(2000, 1, 1, 12));
    const auto out = folder.path() / "shapes.xlsx";
    book.saveAs(out);

    const auto dump = readBack(out);
    EXPECT_EQ(dump.cell("Sheet1!A1").json, "5.0");
    EXPECT_EQ(dump.cell("Sheet1!B1").json, "\"b\"");
    EXPECT_EQ(dump.cell("Sheet1!B2").json, "\"new\"");
    EXPECT_EQ(dump.cell("Sheet1!C3").json, "3.0");
    EXPECT_EQ(dump.cell("Sheet1!D3").json, "\"2000-01-01T12:00:00\""); // read in the 1904 system

    const std::string bytes = fileText(out);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* z = zip_open_from_source(source, ZIP_RDONLY, &error);
    ASSERT_NE(z, nullptr);
    EXPECT_LT(zip_name_locate(z, "xl/calcChain.xml", 0), 0);
    for (const char* part : {"[Content_Types].xml", "xl/_rels/workbook.xml.rels"}) {
        zip_file_t* f = zip_fopen(z, part, 0);
        ASSERT_NE(f, nullptr) << part;
        std::string text(65536, '\0');
        text.resize(static_cast<std::size_t>(std::max<zip_int64_t>(0, zip_fread(f, text.data(), text.size()))));
        zip_fclose(f);
        EXPECT_NE(text.find("styles"), std::string::npos) << part;
        EXPECT_EQ(text.find("calcChain"), std::string::npos) << part; // nothing points at the dropped chain
    }
    zip_discard(z);
    zip_error_fini(&error);
}

TEST(TemplateWorkbook, SheetsWithCellsOutOfOrderAreRefusedWhenFilled)
{
    for (const char* rows : {R"(<row r="3"/><row r="2"/>)", R"(<row r="1"><c r="B1"/><c r="A1"/></row>)",
                             R"(<row r="1"><c r="A2"/></row>)", R"(<row r="1"><c r="1A"/></row>)"}) {
        const std::string sheet = std::string(R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)") +
                                  rows + "</sheetData></worksheet>";
        auto book = TemplateWorkbook::fromBytes(buildPackage(oneSheetParts(sheet)), "AccessCodeReport.xlsx");
        try {
            book.setText("Sheet1", "A9", "x");
            FAIL() << rows;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("AccessCodeReport.xlsx is not a workbook", 0), 0u) << e.what();
        }
    }
    const std::string withDtd = R"(<!DOCTYPE w [<!ENTITY a "aaaa">]><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData/></worksheet>)";
    auto book = TemplateWorkbook::fromBytes(buildPackage(oneSheetParts(withDtd)), "t.xlsx");
    EXPECT_THROW(book.setText("Sheet1", "A1", "x"), WorkbookError);
}

TEST(AccessCodeReport, ShippedTemplateHasItsLabelsAndEmptyValueCells)
{
    ASSERT_TRUE(std::filesystem::is_regular_file(kShippedTemplate)) << kShippedTemplate;
    const auto dump = readBack(kShippedTemplate);
    EXPECT_EQ(dump.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_EQ(dump.cell("Sheet1!A1").json, "\"Access Code Report\"");
    EXPECT_EQ(dump.cell("Sheet1!A4").json, "\"Lock Name:\"");
    EXPECT_EQ(dump.cell("Sheet1!A6").json, "\"Lock Location:\"");
    EXPECT_EQ(dump.cell("Sheet1!A8").json, "\"Access Code:\"");
    EXPECT_EQ(dump.cell("Sheet1!A12").json, "\"Start Date:\"");
    EXPECT_EQ(dump.cell("Sheet1!A14").json, "\"End Date:\"");
    for (const char* ref : {"A5", "A7", "A9", "A13", "A15"}) {
        EXPECT_EQ(dump.cell(std::string("Sheet1!") + ref).type, "blank") << ref;
        EXPECT_EQ(dump.cell(std::string("Sheet1!") + ref).format, "@") << ref; // codes stay text
    }
    EXPECT_GT(dump.widths.at("Sheet1!A"), 40);
    EXPECT_FALSE(dump.printAreas.at("Sheet1").empty());
}

TEST(AccessCodeReport, FilledReportIsExportedAndReadsBack)
{
    ScratchFolder folder("report");
    const std::string templateBytes = fileText(kShippedTemplate);
    AccessCodeReport report;
    report.accessCode = "012345678901";
    report.lockName = "Room 101";
    report.lockLocation = "Building A";
    report.startDate = "2026-12-06 08:00:00";
    report.endDate = "2026-12-08 11:00:00";
    std::filesystem::path handed;
    ExportSettings settings;
    settings.folder = folder.path() / "Exports";
    settings.openHook = [&](const std::filesystem::path& p) { handed = p; };

    const auto file = exportWorkbook(fillAccessCodeReport(kShippedTemplate, report), "Access Code Report", settings);
    EXPECT_EQ(handed, file);
    EXPECT_EQ(fileText(kShippedTemplate), templateBytes);

    const auto dump = readBack(file);
    EXPECT_EQ(dump.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_EQ(dump.cell("Sheet1!A9").json, "\"012345678901\""); // text, leading zero kept
    EXPECT_EQ(dump.cell("Sheet1!A9").type, "text");
    EXPECT_EQ(dump.cell("Sheet1!A5").json, "\"Room 101\"");
    EXPECT_EQ(dump.cell("Sheet1!A7").json, "\"Building A\"");
    EXPECT_EQ(dump.cell("Sheet1!A13").json, "\"2026-12-06 08:00:00\"");
    EXPECT_EQ(dump.cell("Sheet1!A15").json, "\"2026-12-08 11:00:00\"");
    EXPECT_EQ(dump.cell("Sheet1!A4").json, "\"Lock Name:\"");
    EXPECT_EQ(dump.cell("Sheet1!A1").json, "\"Access Code Report\"");

    // An empty field leaves its cell empty.
    report.lockLocation.clear();
    const auto second = exportWorkbook(fillAccessCodeReport(kShippedTemplate, report), "Access Code Report", settings);
    EXPECT_NE(second, file);
    EXPECT_EQ(readBack(second).cell("Sheet1!A7").type, "blank");

    try {
        fillAccessCodeReport(folder.path() / "AccessCodeReport.xlsx", report);
        FAIL() << "a missing template was filled";
    } catch (const TemplateNotFoundError& e) {
        EXPECT_STREQ(e.what(), "Can not find AccessCodeReport.xlsx.");
    }
}
