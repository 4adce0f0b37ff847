// Build tool: writes the Remote Code report template "AccessCodeReport.xlsx".
// Usage: make_access_code_template <output file>
// The output is the same on every run (fixed creation time), so builds are reproducible.
#include "workbook/access_code_report.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <xlsxwriter.h>

namespace {

bool writeTemplate(const std::string& file)
{
    lxw_workbook* book = workbook_new(file.c_str());
    if (!book)
        return false;

    lxw_doc_properties properties{};
    properties.title = const_cast<char*>(workbook::kAccessCodeReportTitle.data());
    std::tm created{};
    created.tm_year = 2026 - 1900;
    created.tm_mday = 1;
    properties.created = timegm(&created);
    workbook_set_properties(book, &properties);

    lxw_worksheet* sheet = workbook_add_worksheet(book, std::string(workbook::kAccessCodeReportSheet).c_str());

    lxw_format* title = workbook_add_format(book);
    format_set_bold(title);
    format_set_font_size(title, 16);

    lxw_format* label = workbook_add_format(book);
    format_set_bold(label);
    format_set_font_size(label, 11);

    // Value cells are text cells with a line under them, so the report prints as a form.
    lxw_format* value = workbook_add_format(book);
    format_set_num_format(value, "@");
    format_set_font_size(value, 12);
    format_set_bottom(value, LXW_BORDER_THIN);
    format_set_align(value, LXW_ALIGN_LEFT);

    lxw_format* code = workbook_add_format(book);
    format_set_num_format(code, "@");
    format_set_bold(code);
    format_set_font_size(code, 20);
    format_set_font_color(code, LXW_COLOR_BLUE);
    format_set_bottom(code, LXW_BORDER_THIN);
    format_set_align(code, LXW_ALIGN_LEFT);

    worksheet_set_column(sheet, 0, 0, 48, nullptr);
    worksheet_write_string(sheet, 0, 0, std::string(workbook::kAccessCodeReportTitle).c_str(), title);
    for (const auto& field : workbook::kAccessCodeReportFields) {
        const auto row = static_cast<lxw_row_t>(field.row - 1);
        worksheet_write_string(sheet, row - 1, 0, std::string(field.label).c_str(), label);
        worksheet_write_blank(sheet, row, 0, field.row == workbook::kAccessCodeRow ? code : value);
    }
    worksheet_set_row(sheet, workbook::kAccessCodeRow - 1, 28, nullptr);

    worksheet_set_paper(sheet, 9); // A4
    worksheet_set_portrait(sheet);
    worksheet_print_area(sheet, 0, 0, static_cast<lxw_row_t>(workbook::kEndDateRow), 0);
    worksheet_fit_to_pages(sheet, 1, 1);

    return workbook_close(book) == LXW_NO_ERROR;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output .xlsx>\n", argv[0]);
        return 2;
    }
    const std::string output = argv[1];
    const std::string temporary = output + ".part";
    if (!writeTemplate(temporary)) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "cannot write %s\n", temporary.c_str());
        return 1;
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::remove(temporary.c_str());
        std::perror(output.c_str());
        return 1;
    }
    return 0;
}
