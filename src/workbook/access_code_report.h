#pragma once
// The Remote Code window's printable report: the template that ships beside the program and
// the cells of its first sheet that a created code fills.
#include "workbook/template_workbook.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace workbook {

inline constexpr std::string_view kAccessCodeTemplateFile = "AccessCodeReport.xlsx";
inline constexpr std::string_view kAccessCodeReportSheet = "Sheet1";
inline constexpr std::string_view kAccessCodeReportTitle = "Access Code Report";

// Rows of column A that get a value; the label sits in the row above.
inline constexpr int kLockNameRow = 5;
inline constexpr int kLockLocationRow = 7;
inline constexpr int kAccessCodeRow = 9;
inline constexpr int kStartDateRow = 13;
inline constexpr int kEndDateRow = 15;

struct AccessCodeReportField {
    int row;
    std::string_view label;
};
inline constexpr std::array<AccessCodeReportField, 5> kAccessCodeReportFields{{
    {kLockNameRow, "Lock Name:"},
    {kLockLocationRow, "Lock Location:"},
    {kAccessCodeRow, "Access Code:"},
    {kStartDateRow, "Start Date:"},
    {kEndDateRow, "End Date:"},
}};

// The texts of the Remote Code window's result labels (and its hidden location label).
struct AccessCodeReport {
    std::string accessCode;
    std::string lockName;
    std::string lockLocation;
    std::string startDate;
    std::string endDate;
};

// Opens the template, names its first sheet "Sheet1", empties the five value cells and fills
// them. Throws TemplateNotFoundError ("Can not find AccessCodeReport.xlsx.") when the template
// is missing and WorkbookError when it cannot be used.
TemplateWorkbook fillAccessCodeReport(const std::filesystem::path& templateFile, const AccessCodeReport& report);

} // namespace workbook
