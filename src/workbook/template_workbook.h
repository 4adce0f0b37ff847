#pragma once
// Filling the cells of a template workbook (.xlsx) and writing the result as a new workbook.
// Everything of the template that is not touched (fonts, borders, print settings, other
// sheets) is carried over as it was; a cell that gets a value keeps its look.
#include "workbook/sheet.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

// The template file is missing. The message names the file: "Can not find <file name>.".
class TemplateNotFoundError : public WorkbookError {
public:
    explicit TemplateNotFoundError(const std::filesystem::path& file);
};

class TemplateWorkbook {
public:
    // Reads the template. Throws TemplateNotFoundError when the file does not exist and
    // WorkbookError, naming the file, when it cannot be read or is no workbook.
    static TemplateWorkbook open(const std::filesystem::path& file);
    // The same from the bytes of a file; `name` is the file name the messages use.
    static TemplateWorkbook fromBytes(std::string bytes, std::string name);

    TemplateWorkbook(TemplateWorkbook&&) noexcept;
    TemplateWorkbook& operator=(TemplateWorkbook&&) noexcept;
    ~TemplateWorkbook();

    const std::string& name() const;
    std::vector<std::string> sheetNames() const;
    // Index from 0; the sheet rules of Workbook apply. References to the sheet in the
    // workbook's defined names (print areas) follow the new name.
    void renameSheet(std::size_t index, std::string_view newName);

    // Cells of the sheet of that name, by reference ("A9") or by row and column from 1.
    // Empty text empties the cell. Every setter keeps the cell's style; the date-time and
    // number-format setters give it the number format (an empty format keeps the style's).
    void setText(std::string_view sheet, std::string_view ref, std::string_view text);
    void setNumber(std::string_view sheet, std::string_view ref, double value);
    void setDateTime(std::string_view sheet, std::string_view ref, DateTime value,
                     std::string_view numberFormat = kDefaultDateTimeFormat);
    void setNumberFormat(std::string_view sheet, std::string_view ref, std::string_view numberFormat);
    void setText(std::string_view sheet, int row, int column, std::string_view text);
    void setNumber(std::string_view sheet, int row, int column, double value);
    void setDateTime(std::string_view sheet, int row, int column, DateTime value,
                     std::string_view numberFormat = kDefaultDateTimeFormat);

    // The filled workbook as .xlsx bytes.
    std::string toBytes() const;
    // Writes the filled workbook to `file`, replacing an older file only once the new one is
    // complete. The template file itself is never changed.
    void saveAs(const std::filesystem::path& file) const;

private:
    struct Impl;
    explicit TemplateWorkbook(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace workbook
