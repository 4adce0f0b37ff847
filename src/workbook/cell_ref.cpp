#include "workbook/cell_ref.h"

#include "workbook/sheet.h"

#include <cstdint>

namespace workbook {

void checkCellPos(int row, int column)
{
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        throw WorkbookError("Cell (" + std::to_string(row) + ", " + std::to_string(column) +
                            ") lies outside the sheet.");
}

std::string columnLetters(int column)
{
    checkCellPos(1, column);
    std::string letters;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        letters.insert(letters.begin(), static_cast<char>('A' + digit));
        column = (column - 1) / 26;
    }
    return letters;
}

std::string cellRef(int row, int column)
{
    checkCellPos(row, column);
    return columnLetters(column) + std::to_string(row);
}

CellPos parseCellRef(std::string_view ref)
{
    const auto bad = [&] { return WorkbookError("\"" + std::string(ref) + "\" is not a cell reference."); };
    std::size_t i = 0;
    if (i < ref.size() && ref[i] == '$')
        ++i;
    long column = 0;
    const std::size_t lettersStart = i;
    while (i < ref.size() && i - lettersStart < 4) {
        char c = ref[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            break;
        column = column * 26 + (c - 'A' + 1);
        ++i;
    }
    if (i == lettersStart)
        throw bad();
    if (i < ref.size() && ref[i] == '$')
        ++i;
    long row = 0;
    const std::size_t digitsStart = i;
    while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9' && i - digitsStart < 8) {
        row = row * 10 + (ref[i] - '0');
        ++i;
    }
    if (i == digitsStart || i != ref.size() || row < 1 || row > kMaxRows || column > kMaxColumns)
        throw bad();
    return {static_cast<int>(row), static_cast<int>(column)};
}

double spreadsheetSerial(std::chrono::local_seconds t, bool date1904)
{
    using namespace std::chrono;
    const local_days day = floor<days>(t);
    const year_month_day ymd{day};
    const local_days first = date1904 ? local_days{1904y / January / 1} : local_days{1900y / January / 1};
    if (day < first || ymd.year() > year{9999})
        throw WorkbookError("The date " + std::to_string(static_cast<int>(ymd.year())) +
                            " lies outside the dates a workbook can hold.");
    const local_days epoch = date1904 ? local_days{1904y / January / 1} : local_days{1899y / December / 30};
    double serial = static_cast<double>((day - epoch).count());
    // The 1900 system counts a 29 February 1900 that never was.
    if (!date1904 && day < local_days{1900y / March / 1})
        serial -= 1;
    return serial + static_cast<double>((t - day).count()) / 86400.0;
}

std::string xmlSafeText(std::string_view text)
{
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<uint8_t>(text[i]);
        if (b0 < 0x80) {
            if (b0 < 0x20 && b0 != '\t' && b0 != '\n' && b0 != '\r')
                out += replacement;
            else
                out += static_cast<char>(b0);
            ++i;
            continue;
        }
        int length = 0;
        uint32_t cp = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            cp = b0 & 0x0F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            cp = b0 & 0x07;
        }
        bool ok = length > 0 && i + length <= text.size();
        for (int k = 1; ok && k < length; ++k) {
            const auto b = static_cast<uint8_t>(text[i + k]);
            ok = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates, code points past U+10FFFF and the two non-characters
        // XML forbids.
        if (ok) {
            const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
            ok = cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE &&
                 cp != 0xFFFF;
        }
        if (ok) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

} // namespace workbook
