#pragma once
// The in-memory workbook that exports fill before it is written as .xlsx: named sheets of
// text, number and date-time cells, number formats per cell or per column, column widths.
// Rows and columns count from 1, as the windows' Cells(row, column) do.
#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace workbook {

using DateTime = std::chrono::local_seconds;

// Every failure of this library that is not a programming error: bad input to a workbook,
// a folder or file that cannot be made, a template that cannot be read.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;
inline constexpr double kDefaultColumnWidth = 8.43;
inline constexpr std::string_view kDefaultDateTimeFormat = "yyyy-mm-dd hh:mm:ss";

struct Blank {
    bool operator==(const Blank&) const = default;
};
using CellValue = std::variant<Blank, std::string, double, DateTime>;

struct Cell {
    CellValue value;
    std::string numberFormat; // empty: the column's format, else General (dates: kDefaultDateTimeFormat)
};

struct ColumnSettings {
    std::optional<double> width;
    std::string numberFormat;
};

class Sheet {
public:
    explicit Sheet(std::string name);

    const std::string& name() const { return name_; }

    void setText(int row, int column, std::string text);
    void setNumber(int row, int column, double value);
    void setDateTime(int row, int column, DateTime value);
    void setBlank(int row, int column); // keeps the cell's number format
    void setNumberFormat(int row, int column, std::string format);

    // The same by reference ("B3").
    void setText(std::string_view ref, std::string text);
    void setNumber(std::string_view ref, double value);
    void setDateTime(std::string_view ref, DateTime value);
    void setNumberFormat(std::string_view ref, std::string format);

    void setColumnWidth(int column, double width);
    void setColumnNumberFormat(int column, std::string format);

    // nullptr for a cell never set.
    const Cell* cell(int row, int column) const;
    const std::map<std::pair<int, int>, Cell>& cells() const { return cells_; }
    const std::map<int, ColumnSettings>& columns() const { return columns_; }

    // The format a cell is shown with: its own, else its column's, else the default for its value.
    std::string effectiveNumberFormat(int row, int column) const;

private:
    friend class Workbook;
    Cell& at(int row, int column);

    std::string name_;
    std::map<std::pair<int, int>, Cell> cells_; // (row, column), row by row
    std::map<int, ColumnSettings> columns_;
};

class Workbook {
public:
    // Sheet names follow the spreadsheet's rules: 1-31 characters, none of []:*?/\ , no
    // apostrophe first or last, unique regardless of case. Throws WorkbookError otherwise.
    Sheet& addSheet(std::string name);
    void renameSheet(std::size_t index, std::string name);

    std::size_t sheetCount() const { return sheets_.size(); }
    Sheet& sheet(std::size_t index);
    const Sheet& sheet(std::size_t index) const;
    Sheet* findSheet(std::string_view name); // nullptr when there is none
    const std::deque<Sheet>& sheets() const { return sheets_; }

private:
    void checkNewName(std::string_view name, const Sheet* except) const;
    std::deque<Sheet> sheets_; // a deque keeps the references addSheet returned
};

// Checks a sheet name alone (not its uniqueness). Throws WorkbookError.
void checkSheetName(std::string_view name);

} // namespace workbook
