#pragma once
// Cell references ("B3") and the text helpers shared by the writer and the template filler.
#include <chrono>
#include <string>
#include <string_view>

namespace workbook {

struct CellPos {
    int row = 0;    // from 1
    int column = 0; // from 1
    bool operator==(const CellPos&) const = default;
};

// "B3" -> {3, 2}; letters in either case, optional '$' before each part. Throws WorkbookError
// for anything else or a position outside the sheet.
CellPos parseCellRef(std::string_view ref);
// {3, 2} -> "B3". Throws WorkbookError outside the sheet.
std::string cellRef(int row, int column);
// 1 -> "A", 27 -> "AA".
std::string columnLetters(int column);
// Throws WorkbookError unless 1 <= row <= kMaxRows and 1 <= column <= kMaxColumns.
void checkCellPos(int row, int column);

// The spreadsheet's serial date: days since 1899-12-30 with the time as the fraction, the
// 1900 leap-day quirk kept for January and February 1900; with date1904 days since 1904-01-01.
// Throws WorkbookError before the first day the date system has or after 9999-12-31.
double spreadsheetSerial(std::chrono::local_seconds t, bool date1904 = false);

// The text with every invalid UTF-8 sequence, and every character XML cannot carry (control
// characters but tab, line feed and carriage return; U+FFFE, U+FFFF), replaced by U+FFFD, so
// that nothing we write makes a workbook unreadable.
std::string xmlSafeText(std::string_view text);

} // namespace workbook
