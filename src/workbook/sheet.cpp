#include "workbook/sheet.h"

#include "workbook/cell_ref.h"

#include <algorithm>
#include <cmath>

namespace workbook {

namespace {

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

std::size_t utf8Length(std::string_view s)
{
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

void checkSheetName(std::string_view name)
{
    const std::string quoted = "The sheet name \"" + std::string(name) + "\"";
    if (name.empty())
        throw WorkbookError("A sheet name cannot be empty.");
    if (xmlSafeText(name) != name)
        throw WorkbookError(quoted + " holds characters a sheet name cannot have.");
    if (utf8Length(name) > 31)
        throw WorkbookError(quoted + " is longer than 31 characters.");
    if (name.find_first_of("[]:*?/\\") != std::string_view::npos)
        throw WorkbookError(quoted + " holds one of the characters []:*?/\\.");
    if (name.front() == '\'' || name.back() == '\'')
        throw WorkbookError(quoted + " begins or ends with an apostrophe.");
}

Sheet::Sheet(std::string name) : name_(std::move(name)) { checkSheetName(name_); }

Cell& Sheet::at(int row, int column)
{
    checkCellPos(row, column);
    return cells_[{row, column}];
}

void Sheet::setText(int row, int column, std::string text) { at(row, column).value = std::move(text); }

void Sheet::setNumber(int row, int column, double value)
{
    if (!std::isfinite(value))
        throw WorkbookError("Cell " + cellRef(row, column) + " cannot hold a number that is not finite.");
    at(row, column).value = value;
}

void Sheet::setDateTime(int row, int column, DateTime value)
{
    spreadsheetSerial(value); // refuses a date the workbook cannot hold now rather than at writing
    at(row, column).value = value;
}

void Sheet::setBlank(int row, int column) { at(row, column).value = Blank{}; }

void Sheet::setNumberFormat(int row, int column, std::string format)
{
    at(row, column).numberFormat = std::move(format);
}

void Sheet::setText(std::string_view ref, std::string text)
{
    const CellPos p = parseCellRef(ref);
    setText(p.row, p.column, std::move(text));
}

void Sheet::setNumber(std::string_view ref, double value)
{
    const CellPos p = parseCellRef(ref);
    setNumber(p.row, p.column, value);
}

void Sheet::setDateTime(std::string_view ref, DateTime value)
{
    const CellPos p = parseCellRef(ref);
    setDateTime(p.row, p.column, value);
}

void Sheet::setNumberFormat(std::string_view ref, std::string format)
{
    const CellPos p = parseCellRef(ref);
    setNumberFormat(p.row, p.column, std::move(format));
}

void Sheet::setColumnWidth(int column, double width)
{
    checkCellPos(1, column);
    if (!(width >= 0 && width <= 255))
        throw WorkbookError("A column width must lie between 0 and 255.");
    columns_[column].width = width;
}

void Sheet::setColumnNumberFormat(int column, std::string format)
{
    checkCellPos(1, column);
    columns_[column].numberFormat = std::move(format);
}

const Cell* Sheet::cell(int row, int column) const
{
    const auto it = cells_.find({row, column});
    return it == cells_.end() ? nullptr : &it->second;
}

std::string Sheet::effectiveNumberFormat(int row, int column) const
{
    const Cell* c = cell(row, column);
    if (c && !c->numberFormat.empty())
        return c->numberFormat;
    if (const auto it = columns_.find(column); it != columns_.end() && !it->second.numberFormat.empty())
        return it->second.numberFormat;
    if (c && std::holds_alternative<DateTime>(c->value))
        return std::string(kDefaultDateTimeFormat);
    return {};
}

void Workbook::checkNewName(std::string_view name, const Sheet* except) const
{
    checkSheetName(name);
    const std::string lower = lowerAscii(name);
    for (const Sheet& s : sheets_)
        if (&s != except && lowerAscii(s.name()) == lower)
            throw WorkbookError("The workbook already has a sheet named \"" + s.name() + "\".");
}

Sheet& Workbook::addSheet(std::string name)
{
    checkNewName(name, nullptr);
    return sheets_.emplace_back(std::move(name));
}

void Workbook::renameSheet(std::size_t index, std::string name)
{
    Sheet& s = sheet(index);
    checkNewName(name, &s);
    s.name_ = std::move(name);
}

Sheet& Workbook::sheet(std::size_t index)
{
    if (index >= sheets_.size())
        throw WorkbookError("The workbook has no sheet " + std::to_string(index + 1) + ".");
    return sheets_[index];
}

const Sheet& Workbook::sheet(std::size_t index) const
{
    return const_cast<Workbook*>(this)->sheet(index);
}

Sheet* Workbook::findSheet(std::string_view name)
{
    const std::string lower = lowerAscii(name);
    for (Sheet& s : sheets_)
        if (lowerAscii(s.name()) == lower)
            return &s;
    return nullptr;
}

} // namespace workbook
