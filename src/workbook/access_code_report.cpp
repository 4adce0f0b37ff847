#include "workbook/access_code_report.h"

namespace workbook {

TemplateWorkbook fillAccessCodeReport(const std::filesystem::path& templateFile, const AccessCodeReport& report)
{
    TemplateWorkbook book = TemplateWorkbook::open(templateFile);
    book.renameSheet(0, kAccessCodeReportSheet);
    const std::array<std::pair<int, const std::string*>, 5> values{{
        {kAccessCodeRow, &report.accessCode},
        {kLockNameRow, &report.lockName},
        {kLockLocationRow, &report.lockLocation},
        {kStartDateRow, &report.startDate},
        {kEndDateRow, &report.endDate},
    }};
    // setText replaces whatever the template holds there; an empty text leaves an empty cell.
    for (const auto& [row, text] : values)
        book.setText(kAccessCodeReportSheet, row, 1, *text);
    return book;
}

} // namespace workbook
