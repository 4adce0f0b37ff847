// Fuzz target of the template reader. An input starting with "PK" is a whole .xlsx file;
// any other input is the XML of the first sheet, put into an otherwise sound workbook, so
// that the sheet, row and cell handling is reached past the zip's checksums.
#include "workbook/template_workbook.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <zip.h>

namespace {

const char* const kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/></Types>)";
const char* const kRootRels =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
const char* const kWorkbook =
    R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets>)"
    R"(<definedNames><definedName name="_xlnm.Print_Area" localSheetId="0">Sheet1!$A$1:$A$16</definedName></definedNames></workbook>)";
const char* const kWorkbookRels =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>)";
const char* const kStyles =
    R"(<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs></styleSheet>)";

std::string packageWithSheet(const std::string& sheetXml)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* z = zip_open_from_source(source, ZIP_TRUNCATE, &error);
    zip_source_keep(source);
    const auto add = [&](const char* name, const char* data, std::size_t size) {
        zip_file_add(z, name, zip_source_buffer(z, data, size, 0), 0);
    };
    add("[Content_Types].xml", kContentTypes, std::char_traits<char>::length(kContentTypes));
    add("_rels/.rels", kRootRels, std::char_traits<char>::length(kRootRels));
    add("xl/workbook.xml", kWorkbook, std::char_traits<char>::length(kWorkbook));
    add("xl/_rels/workbook.xml.rels", kWorkbookRels, std::char_traits<char>::length(kWorkbookRels));
    add("xl/styles.xml", kStyles, std::char_traits<char>::length(kStyles));
    add("xl/worksheets/sheet1.xml", sheetXml.data(), sheetXml.size());
    zip_close(z);
    std::string bytes;
    zip_source_open(source);
    char buffer[65536];
    zip_int64_t n = 0;
    while ((n = zip_source_read(source, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<std::size_t>(n));
    zip_source_close(source);
    zip_source_free(source);
    zip_error_fini(&error);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    if (input.rfind("PK", 0) != 0)
        input = packageWithSheet(input);
    try {
        auto book = workbook::TemplateWorkbook::fromBytes(input, "fuzz.xlsx");
        const std::string sheet = book.sheetNames().front();
        book.renameSheet(0, "Sheet1");
        book.setText("Sheet1", "C3", "code");
        book.setText("Sheet1", "A1", "");
        book.setNumber("Sheet1", 2, 2, 1.5);
        book.setDateTime("Sheet1", "B9", std::chrono::local_seconds{});
        // What we write must open again.
        auto again = workbook::TemplateWorkbook::fromBytes(book.toBytes(), "again.xlsx");
        again.setText("Sheet1", "D4", "again");
    } catch (const workbook::WorkbookError&) {
        // refused input: the expected outcome for most
    }
    return 0;
}
