// Filling template workbooks, the Remote Code report template included, checked by reading
// the results back with openpyxl.
#include "workbook/access_code_report.h"
#include "workbook/export.h"
#include "workbook/package_builder.h"
#include "workbook/template_workbook.h"
#include "workbook/xlsx_readback.h"

#include <cmath>
#include <gtest/gtest.h>
#include <xlsxwriter.h>

using namespace workbook;
using namespace workbook_test;

namespace {

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

// Runs f and expects an error that starts with `start`, of a missing template or another.
template <typename F> void expectError(F&& f, const std::string& start, bool missing = false)
{
    try {
        f();
        ADD_FAILURE() << "no error; expected " << start;
    } catch (const WorkbookError& e) {
        EXPECT_EQ(dynamic_cast<const TemplateNotFoundError*>(&e) != nullptr, missing) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind(start, 0), 0u) << e.what();
    }
}

} // namespace

TEST(TemplateWorkbook, FilledCellsReadBackAndTheRestIsKept)
{
    ScratchFolder folder("template");
    const auto templ = makeTemplate(folder.path());
    const std::string templateBytes = fileText(templ);

    TemplateWorkbook book = TemplateWorkbook::open(templ);
    EXPECT_EQ(book.toBytes(), templateBytes); // unchanged, it writes the same workbook
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
    EXPECT_THROW(book.setNumber(s, "A1", std::nan("")), WorkbookError);

    const auto out = folder.path() / "filled.xlsx";
    book.saveAs(out);
    EXPECT_EQ(fileText(templ), templateBytes); // the template itself is never changed

    const auto dump = readBack(out);
    EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Report Sheet", "It's other"}));
    EXPECT_EQ(dump.describe("Report Sheet", {"A1", "B1", "C1", "A2", "A3", "B5", "D4", "D6", "D7", "E20", "B20"}),
              "A1 -\n"
              "B1 text \"between\" General\n"
              "C1 text \"no formula\" General\n"
              "A2 text \"  <&>\\\"' \\ttab\\nline  \" General\n"
              "A3 text \"styled\" 0.000\n"
              "B5 number 8.25 0.0\n"
              "D4 datetime \"2026-12-06T08:00:00\" " + std::string(kDefaultDateTimeFormat) + "\n"
              "D6 datetime \"2027-01-31T23:59:00\" dd/mm/yyyy hh:mm\n"
              "D7 datetime \"2026-02-28T00:00:00\" yyyy-mm-dd\n"
              "E20 text \"far below\" General\n"
              "B20 number 0.001 General\n");
    EXPECT_EQ(dump.cell("It's other!A1").json, "\"keep\"");
    EXPECT_NEAR(dump.widths.at("Report Sheet!A"), 30.71, 0.01);
    // References to the renamed sheet follow it; others are untouched.
    EXPECT_EQ(dump.names.at("Total"), "'Report Sheet'!$C$1");
    EXPECT_EQ(dump.names.at("Other"), "'It''s other'!$A$1");
    EXPECT_NE(dump.printAreas.at("Report Sheet").find("$A$1:$D$10"), std::string::npos);
}

// The formats every spreadsheet knows by number are written by number: the reader's own
// table of numbers gives each one back.
TEST(TemplateWorkbook, BuiltInNumberFormatsReadBackAsThemselves)
{
    ScratchFolder folder("builtin");
    TemplateWorkbook book = TemplateWorkbook::open(makeTemplate(folder.path()));
    const std::vector<std::string> formats = {"General", "0", "0.00", "#,##0", "#,##0.00", "0%", "0.00%",
                                              "0.00E+00", "mm-dd-yy", "d-mmm-yy", "d-mmm", "mmm-yy", "h:mm AM/PM",
                                              "h:mm:ss AM/PM", "h:mm", "h:mm:ss", "m/d/yy h:mm", "@"};
    for (size_t i = 0; i < formats.size(); ++i) {
        book.setNumber("Data", "F" + std::to_string(i + 1), 1.5);
        book.setNumberFormat("Data", "F" + std::to_string(i + 1), formats[i]);
    }
    book.saveAs(folder.path() / "formats.xlsx");
    const auto dump = readBack(folder.path() / "formats.xlsx");
    for (size_t i = 0; i < formats.size(); ++i)
        EXPECT_EQ(dump.cell("Data!F" + std::to_string(i + 1)).format, formats[i]);
}

TEST(TemplateWorkbook, MissingOrUnreadableTemplatesRaiseErrors)
{
    ScratchFolder folder("damaged");
    const std::string missing = "Can not find AccessCodeReport.xlsx.";
    expectError([&] { TemplateWorkbook::open(folder.path() / "AccessCodeReport.xlsx"); }, missing, true);
    expectError([&] { TemplateWorkbook::open(folder.path()); }, "Can not find", true); // a folder is no template
    expectError([&] { fillAccessCodeReport(folder.path() / "AccessCodeReport.xlsx", {}); }, missing, true);

    const std::string good = fileText(makeTemplate(folder.path()));
    for (const std::string& bytes : {std::string(), std::string("PK\x03\x04 not really a zip"),
                                     good.substr(0, good.size() / 2), std::string(1000, '\0')})
        expectError([&] { TemplateWorkbook::fromBytes(bytes, "AccessCodeReport.xlsx"); }, "AccessCodeReport.xlsx");

    expectError([&] { TemplateWorkbook::fromBytes(std::string((32u << 20) + 1, 'x'), "AccessCodeReport.xlsx"); },
                "Cannot read AccessCodeReport.xlsx: the file is too large.");
    // End records nested in the comment, each one whole: a zip reader would try them all.
    const auto end = good.rfind("PK\x05\x06");
    std::string ends;
    for (int i = 0; i < 5; ++i)
        ends = good.substr(end, 20) + char(ends.size() & 0xff) + char(ends.size() >> 8) + ends;
    expectError([&] { TemplateWorkbook::fromBytes(good.substr(0, end) + ends, "AccessCodeReport.xlsx"); },
                "AccessCodeReport.xlsx is not a workbook that can be filled: its zip directory is damaged.");
}

// Sheets with cells out of order or beyond the sheet's end (numbered or counted on), with a
// document type, or styles with a number format id no workbook has, are refused when filled;
// so is a template whose parts would cost too much to hold or to parse (too many parts, parts
// too large, elements with too many attributes or namespaces, too many names, too many
// elements together), or whose filled parts would be so once written.
TEST(TemplateWorkbook, DamagedSheetsAreRefusedWhenFilled)
{
    const std::string open = R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
    const std::string styles = R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts>)";
    const std::string workbook = R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                                 R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    const std::string refused = "AccessCodeReport.xlsx is not a workbook that can be filled: ";
    const std::string notWritten = "Cannot fill AccessCodeReport.xlsx: the filled part ";
    const auto times = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += s;
        return out;
    };
    const auto attributes = [](const std::string& prefix, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += " " + prefix + std::to_string(i) + "=\"u\"";
        return out;
    };
    const auto names = [](int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += "<n" + std::to_string(i) + "/>";
        return out;
    };
    std::vector<PackagePart> manyParts;
    for (int i = 0; i < 1994; ++i) // with the seven of the workbook, one more than a template may have
        manyParts.push_back({"xl/media/" + std::to_string(i) + ".bin", "x"});
    const struct {
        std::string sheet;
        std::vector<PackagePart> parts; // replaced or added
        std::string error;
    } damaged[] = {
        {open + R"(<sheetData><row r="3"/><row r="2"/>)", {}, refused + "the rows of the sheet \"Sheet1\" are out of order."},
        {open + R"(<sheetData><row r="1"><c r="B1"/><c r="A1"/></row>)", {}, refused + "the cells of the sheet \"Sheet1\" are out of order."},
        {open + R"(<sheetData><row r="1"><c r="A2"/></row>)", {}, refused + "the cells of the sheet \"Sheet1\" are out of order."},
        {open + R"(<sheetData><row r="1"><c r="1A"/></row>)", {}, refused + "the sheet \"Sheet1\" has a bad cell reference."},
        {open + R"(<sheetData><row r="1048577"/>)", {}, refused + "the sheet \"Sheet1\" has a row after row 1048576."},
        {open + R"(<sheetData><row r="1048576"/><row/>)", {}, refused + "the sheet \"Sheet1\" has a row after row 1048576."},
        {open + R"(<sheetData><row><c r="XFD1"/><c/></row>)", {}, refused + "the sheet \"Sheet1\" has a cell after column XFD."},
        {open + "<sheetData>", {{"xl/styles.xml", styles + R"(<numFmt numFmtId="9223372036854775807" formatCode="0.0"/></numFmts></styleSheet>)"}},
         refused + "a number format id is not a number from 0 to 4294967295."},
        {open + "<sheetData>", {{"xl/styles.xml", styles + R"(<numFmt numFmtId="-1" formatCode="0.0"/></numFmts></styleSheet>)"}},
         refused + "a number format id is not a number from 0 to 4294967295."},
        {R"(<!DOCTYPE w [<!ENTITY a "aaaa">]>)" + open + "<sheetData>", {}, refused + "the part xl/worksheets/sheet1.xml declares a DTD."},
        // Entities in attributes, after a comment: refused before any is expanded.
        {R"(<!-- <x/> --><!DOCTYPE w [<!ENTITY a "aaaa"><!ENTITY b "&a;&a;&a;&a;">]>)" +
             open.substr(0, open.size() - 1) + R"( a="&b;&b;">)" + "<sheetData>",
         {}, refused + "the part xl/worksheets/sheet1.xml declares a DTD."},
        {open + "<!--" + std::string(2u << 20, ' ') + "--><sheetData>", {}, refused + "the part xl/worksheets/sheet1.xml is too large."},
        {open + "<sheetData>" + times("<row>" + times("<c/>", 14000) + "</row>", 10), {},
         refused + "the part xl/worksheets/sheet1.xml holds too many elements and attributes."},
        {open + "<sheetData>", {{"xl/workbook.xml", workbook + attributes("a", 127) + R"(><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)"}},
         refused + "the part xl/workbook.xml has an element with more than 128 attributes."},
        {open + "<extLst" + attributes("xmlns:n", 128) + "/><sheetData>", {},
         refused + "the part xl/worksheets/sheet1.xml nests more than 128 namespace declarations."},
        {open + "<extLst>" + names(10001) + "</extLst><sheetData>", {}, refused + "the part xl/worksheets/sheet1.xml uses more than 10000 names."},
        {open + "<sheetData>", manyParts, refused + "it has more than 2000 parts."},
        // Filled parts are held to the same limits: escapes and positions count.
        {open + R"(<sheetData><row r="20"><c r="A20" t="inlineStr"><is><t>)" + std::string(600000, '>') + "</t></is></c></row>", {},
         notWritten + "xl/worksheets/sheet1.xml is too large."},
        {open + "<sheetData>" + times("<row>" + times("<c/>", 16000) + "</row>", 8), {},
         notWritten + "xl/worksheets/sheet1.xml holds too many elements and attributes."},
        {open + "<sheetData><row" + attributes("a", 128) + "/>", {},
         notWritten + "xl/worksheets/sheet1.xml has an element with more than 128 attributes."},
        // The sheet's new name in a defined name of a million references.
        {open + "<sheetData>", {{"xl/workbook.xml", workbook + R"(><sheets><sheet name="a" sheetId="1" r:id="rId1"/></sheets><definedNames>)"
                                  R"(<definedName name="_xlnm.Print_Area" localSheetId="0">)" + times("a!", 310000) + "</definedName></definedNames></workbook>"}},
         notWritten + "xl/workbook.xml is too large."},
    };
    for (const auto& [sheet, replaced, error] : damaged) {
        auto parts = oneSheetParts(sheet + "</sheetData></worksheet>");
        for (const PackagePart& part : replaced)
            partNamed(parts, part.name).data = part.data;
        expectError(
            [&] {
                auto book = TemplateWorkbook::fromBytes(buildPackage(parts), "AccessCodeReport.xlsx");
                book.renameSheet(0, "Sheet1");
                book.setDateTime("Sheet1", "A9", at(2026, 12, 6, 8));
                book.toBytes();
            },
            error);
    }
}

// Sheets of other producers are filled in their own shape: in UTF-16, a prefixed namespace, a
// row and cells without positions, a formula with its calculation chain, the 1904 date system.
TEST(TemplateWorkbook, SheetsOfOtherProducersAreFilledInTheirOwnShape)
{
    ScratchFolder folder("shapes");
    const std::string ascii =
        R"(<?xml version="1.0" encoding="UTF-16"?><x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
        R"(<x:dimension ref="A1:C3"/><x:sheetData>)"
        R"(<x:row><x:c><x:f>1+1</x:f><x:v>2</x:v></x:c><x:c t="inlineStr"><x:is><x:t>b</x:t></x:is></x:c></x:row>)"
        R"(<x:row r="3"><x:c r="C3"><x:v>3</x:v></x:c></x:row></x:sheetData></x:worksheet>)";
    std::string sheet = "\xFF\xFE"; // little-endian, after its byte order mark
    for (const char c : ascii)
        sheet += {c, '\0'};
    // Its styles hold the last number format id there is, so a new format takes the first free one.
    auto shapes = oneSheetParts(sheet);
    std::string& shapeStyles = partNamed(shapes, "xl/styles.xml").data;
    shapeStyles.insert(shapeStyles.find("<fonts"), R"(<numFmts count="1"><numFmt numFmtId="4294967295" formatCode="0.0000"/></numFmts>)");
    auto book = TemplateWorkbook::fromBytes(buildPackage(shapes), "shapes.xlsx");
    book.setNumber("Sheet1", "A1", 5);        // the formula goes, and the chain with it
    book.setText("Sheet1", "B2", "new");      // a row between a row without position and row 3
    book.setDateTime("Sheet1", "D3", at(2000, 1, 1, 12));
    const auto out = folder.path() / "shapes.xlsx";
    book.saveAs(out);
    EXPECT_EQ(readBack(out).describe("Sheet1", {"A1", "B1", "B2", "C3", "D3"}),
              "A1 number 5.0 General\n"
              "B1 text \"b\" General\n"
              "B2 text \"new\" General\n"
              "C3 number 3.0 General\n"
              "D3 datetime \"2000-01-01T12:00:00\" " + std::string(kDefaultDateTimeFormat) + "\n"); // read in 1904
    // What was written fills again: every number format id in it is one a workbook may have.
    EXPECT_NO_THROW(TemplateWorkbook::open(out).setNumberFormat("Sheet1", "E3", "0.00000"));

    // The dropped chain leaves the package: its name is stored uncompressed in the zip.
    EXPECT_EQ(fileText(out).find("calcChain"), std::string::npos);
}

// Filling a formula cell drops the calculation chain, and only a part that is one: a
// calcChain relationship naming another part, or a part that is no chain, keeps it written.
TEST(TemplateWorkbook, OnlyARealCalculationChainIsDropped)
{
    const struct {
        std::string target, chainXml, part; // the relationship's target, what calcChain.xml holds, the part named
        bool kept;
    } rows[] = {
        {"calcChain.xml", "", "xl/calcChain.xml", false},
        {"worksheets/sheet1.xml", "", "xl/worksheets/sheet1.xml", true},
        {"workbook.xml", "", "xl/workbook.xml", true},
        {"_rels/workbook.xml.rels", "", "xl/_rels/workbook.xml.rels", true},
        {"/_rels/.rels", "", "_rels/.rels", true},
        {"styles.xml", "", "xl/styles.xml", true},
        {"/[Content_Types].xml", "", "[Content_Types].xml", true},
        {"calcChain.xml", R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"/>)", "xl/calcChain.xml", true},
    };
    ScratchFolder folder("chains");
    for (const auto& [target, chainXml, part, kept] : rows) {
        auto parts = oneSheetParts(R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
                                   R"(<sheetData><row r="1"><c r="A1"><f>1+1</f><v>2</v></c></row></sheetData></worksheet>)");
        std::string& rels = partNamed(parts, "xl/_rels/workbook.xml.rels").data;
        rels.replace(rels.find("calcChain.xml"), 13, target);
        if (!chainXml.empty())
            partNamed(parts, "xl/calcChain.xml").data = chainXml;
        auto book = TemplateWorkbook::fromBytes(buildPackage(parts), "chain.xlsx");
        book.setText("Sheet1", "A1", "no formula");
        const auto out = folder.path() / "chain.xlsx";
        book.saveAs(out);

        zip_t* written = zip_open(out.c_str(), ZIP_RDONLY, nullptr);
        ASSERT_NE(written, nullptr) << target;
        EXPECT_EQ(zip_name_locate(written, part.c_str(), 0) >= 0, kept) << target;
        zip_discard(written);
        EXPECT_EQ(readBack(out).cell("Sheet1!A1").json, "\"no formula\"") << target;
    }
}

TEST(AccessCodeReport, ShippedTemplateIsFilledExportedAndReadsBack)
{
    ASSERT_TRUE(std::filesystem::is_regular_file(kShippedTemplate)) << kShippedTemplate;
    ScratchFolder folder("report");
    const std::string templateBytes = fileText(kShippedTemplate);
    AccessCodeReport report{"012345678901", "Room 101", "Building A", "2026-12-06 08:00:00", "2026-12-08 11:00:00"};
    std::filesystem::path handed;
    ExportSettings settings;
    settings.folder = folder.path() / "Exports";
    settings.openHook = [&](const std::filesystem::path& p) { handed = p; };

    const auto file = exportWorkbook(fillAccessCodeReport(kShippedTemplate, report), "Access Code Report", settings);
    EXPECT_EQ(handed, file);
    EXPECT_EQ(fileText(kShippedTemplate), templateBytes);
    const auto dump = readBack(file);
    EXPECT_EQ(dump.sheets, std::vector<std::string>{"Sheet1"});
    // The values under the template's labels, as text (codes keep their leading zeros).
    EXPECT_EQ(dump.describe("Sheet1", {"A4", "A5", "A7", "A9", "A13", "A15"}),
              "A4 text \"Lock Name:\" General\n"
              "A5 text \"Room 101\" @\n"
              "A7 text \"Building A\" @\n"
              "A9 text \"012345678901\" @\n"
              "A13 text \"2026-12-06 08:00:00\" @\n"
              "A15 text \"2026-12-08 11:00:00\" @\n");

    // An empty field leaves its cell empty.
    report.lockLocation.clear();
    const auto second = exportWorkbook(fillAccessCodeReport(kShippedTemplate, report), "Access Code Report", settings);
    EXPECT_NE(second, file);
    EXPECT_EQ(readBack(second).cell("Sheet1!A7").type, "blank");
}

// A template far larger than the report needs still fills: ten thousand cells with styles,
// and three times as many.
TEST(AccessCodeReport, TemplatesWithThousandsOfStyledCellsAreFilled)
{
    ScratchFolder folder("large");
    ExportSettings settings;
    settings.folder = folder.path() / "Exports";
    for (const int rows : {1000, 3000}) {
        const auto file = folder.path() / (std::to_string(rows) + ".xlsx");
        lxw_workbook* book = workbook_new(file.c_str());
        lxw_worksheet* sheet = workbook_add_worksheet(book, "Codes");
        std::vector<lxw_format*> formats;
        for (int i = 0; i < 5; ++i) {
            formats.push_back(workbook_add_format(book));
            format_set_num_format(formats.back(), i % 2 ? "0.00" : "@");
            format_set_bold(formats.back());
            format_set_font_color(formats.back(), 0x100000 * i);
            format_set_bottom(formats.back(), LXW_BORDER_THIN);
        }
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 10; ++c)
                if (c % 2)
                    worksheet_write_number(sheet, r, c, r * 10 + c, formats[(r + c) % 5]);
                else
                    worksheet_write_string(sheet, r, c, ("code " + std::to_string(r * 10 + c)).c_str(), formats[(r + c) % 5]);
        ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);

        const auto dump = readBack(exportWorkbook(fillAccessCodeReport(file, {"4711", "Room 9", "", "", ""}),
                                                  "Access Code Report", settings));
        EXPECT_EQ(dump.describe("Sheet1", {"A9", "A5", "J" + std::to_string(rows)}),
                  "A9 text \"4711\" 0.00\nA5 text \"Room 9\" @\nJ" + std::to_string(rows) + " number " +
                      std::to_string(rows * 10 - 1) + ".0 0.00\n")
            << rows;
    }
}
