// Fuzz target of the template reader. An input starting with "PK" is a whole .xlsx file;
// any other input is the XML of the first sheet, put into an otherwise sound workbook, so
// that the sheet, row and cell handling is reached past the zip's checksums.
#include "workbook/package_builder.h"
#include "workbook/template_workbook.h"

#include <chrono>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    if (input.rfind("PK", 0) != 0)
        input = workbook_test::buildPackage(workbook_test::oneSheetParts(input));
    try {
        auto book = workbook::TemplateWorkbook::fromBytes(input, "fuzz.xlsx");
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
