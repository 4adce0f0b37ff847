// Fuzz target of the template reader. An input starting with "PK" is a whole .xlsx file.
// Any other input is a workbook in parts, so that every part is reached past the zip's
// checksums: the XML of the first sheet, then optionally further parts, each after a line
// "@@ <part name>", that replace or add to the parts of an otherwise sound one-sheet workbook
// (styles, workbook, relationships, content types, calculation chain); a part given empty is
// left out. The template is filled as the report is; one that fills without an error must
// give a workbook that opens and fills again, else the target aborts.
#include "workbook/package_builder.h"
#include "workbook/template_workbook.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string packageOf(std::string_view input)
{
    constexpr std::string_view marker = "\n@@ ";
    std::size_t end = input.find(marker);
    auto parts = workbook_test::oneSheetParts(std::string(input.substr(0, end)));
    while (end != std::string_view::npos) {
        const std::size_t nameStart = end + marker.size();
        const std::size_t nameEnd = std::min(input.find('\n', nameStart), input.size());
        const std::size_t bodyStart = std::min(nameEnd + 1, input.size());
        end = input.find(marker, nameEnd);
        const std::string name(input.substr(nameStart, nameEnd - nameStart));
        const std::string_view body = end == std::string_view::npos ? input.substr(bodyStart)
                                      : end > bodyStart           ? input.substr(bodyStart, end - bodyStart)
                                                                  : std::string_view();
        if (!name.empty())
            workbook_test::partNamed(parts, name).data = body;
    }
    std::erase_if(parts, [](const workbook_test::PackagePart& p) { return p.data.empty(); });
    return workbook_test::buildPackage(parts);
}

void fill(workbook::TemplateWorkbook& book)
{
    book.renameSheet(0, "Sheet1");
    book.setText("Sheet1", "C3", "code");
    book.setText("Sheet1", "A1", "");
    book.setNumber("Sheet1", 2, 2, 1.5);
    book.setDateTime("Sheet1", "B9", std::chrono::local_seconds{});
    book.setNumberFormat("Sheet1", "B2", "0.000");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string written;
    try {
        auto book = workbook::TemplateWorkbook::fromBytes(
            input.starts_with("PK") ? std::string(input) : packageOf(input), "fuzz.xlsx");
        fill(book);
        written = book.toBytes();
    } catch (const workbook::WorkbookError&) {
        return 0; // refused input: the expected outcome for most
    }
    // What we write must open and fill again.
    try {
        auto again = workbook::TemplateWorkbook::fromBytes(written, "again.xlsx");
        fill(again);
        again.setText("Sheet1", "D4", "again");
        again.toBytes();
    } catch (const workbook::WorkbookError& e) {
        std::fprintf(stderr, "a filled template does not fill again: %s\n", e.what());
        std::abort();
    }
    return 0;
}
