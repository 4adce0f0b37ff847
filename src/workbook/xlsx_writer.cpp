#include "workbook/xlsx_writer.h"

#include "workbook/cell_ref.h"
#include "workbook/file_commit.h"

#include <map>
#include <memory>
#include <xlsxwriter.h>

namespace workbook {

namespace detail {

namespace {

struct WorkbookFree {
    void operator()(lxw_workbook* w) const { lxw_workbook_free(w); }
};

class FormatCache {
public:
    explicit FormatCache(lxw_workbook* book) : book_(book) {}

    // nullptr for the General format, so the cell gets no style of its own.
    lxw_format* get(const std::string& numberFormat)
    {
        if (numberFormat.empty())
            return nullptr;
        auto [it, added] = formats_.try_emplace(numberFormat, nullptr);
        if (added) {
            it->second = workbook_add_format(book_);
            if (!it->second)
                throw WorkbookError("Cannot add the number format \"" + numberFormat + "\".");
            const std::string safe = xmlSafeText(numberFormat);
            format_set_num_format(it->second, safe.c_str());
        }
        return it->second;
    }

private:
    lxw_workbook* book_;
    std::map<std::string, lxw_format*> formats_;
};

void check(lxw_error error, const Sheet& sheet, const std::string& what)
{
    if (error != LXW_NO_ERROR)
        throw WorkbookError("Cannot write " + what + " of the sheet \"" + sheet.name() + "\": " +
                            lxw_strerror(error) + ".");
}

void writeSheet(lxw_workbook* book, FormatCache& formats, const Sheet& sheet)
{
    lxw_worksheet* ws = workbook_add_worksheet(book, sheet.name().c_str());
    if (!ws)
        throw WorkbookError("Cannot add the sheet \"" + sheet.name() + "\".");
    for (const auto& [column, settings] : sheet.columns()) {
        const auto c = static_cast<lxw_col_t>(column - 1);
        check(worksheet_set_column(ws, c, c, settings.width.value_or(kDefaultColumnWidth),
                                   formats.get(settings.numberFormat)),
              sheet, "column " + columnLetters(column));
    }
    for (const auto& [pos, cell] : sheet.cells()) {
        const auto [row, column] = pos;
        const auto r = static_cast<lxw_row_t>(row - 1);
        const auto c = static_cast<lxw_col_t>(column - 1);
        lxw_format* format = formats.get(sheet.effectiveNumberFormat(row, column));
        const std::string what = "cell " + cellRef(row, column);
        if (const auto* text = std::get_if<std::string>(&cell.value)) {
            if (text->empty()) {
                if (format)
                    check(worksheet_write_blank(ws, r, c, format), sheet, what);
            } else {
                check(worksheet_write_string(ws, r, c, xmlSafeText(*text).c_str(), format), sheet, what);
            }
        } else if (const auto* number = std::get_if<double>(&cell.value)) {
            check(worksheet_write_number(ws, r, c, *number, format), sheet, what);
        } else if (const auto* time = std::get_if<DateTime>(&cell.value)) {
            check(worksheet_write_number(ws, r, c, spreadsheetSerial(*time), format), sheet, what);
        } else if (format) {
            check(worksheet_write_blank(ws, r, c, format), sheet, what);
        }
    }
}

} // namespace

void writeXlsxDirect(const Workbook& book, const std::filesystem::path& file)
{
    if (book.sheetCount() == 0)
        throw WorkbookError("A workbook needs at least one sheet.");
    lxw_workbook_options options{};
    std::unique_ptr<lxw_workbook, WorkbookFree> w(workbook_new_opt(file.c_str(), &options));
    if (!w)
        throw WorkbookError("Cannot start the workbook \"" + file.string() + "\".");
    FormatCache formats(w.get());
    for (const Sheet& sheet : book.sheets())
        writeSheet(w.get(), formats, sheet);
    // workbook_close frees the workbook whatever it returns.
    const lxw_error error = workbook_close(w.release());
    if (error != LXW_NO_ERROR)
        throw WorkbookError("Cannot write the workbook \"" + file.string() + "\": " + lxw_strerror(error) + ".");
}

} // namespace detail

void writeXlsx(const Workbook& book, const std::filesystem::path& file)
{
    detail::commitReplacing(file, [&](const std::filesystem::path& temporary) {
        detail::writeXlsxDirect(book, temporary);
    });
}

} // namespace workbook
