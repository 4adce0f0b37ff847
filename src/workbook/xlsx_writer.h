#pragma once
// Writing a Workbook as an .xlsx file (through libxlsxwriter).
#include "workbook/sheet.h"

#include <filesystem>

namespace workbook {

// Writes the workbook to `file`, replacing an older file only once the new one is complete.
// Throws WorkbookError (no sheets, a text over 32,767 characters, a folder that cannot be
// written); the file is then as it was and nothing half-written is left beside it.
void writeXlsx(const Workbook& book, const std::filesystem::path& file);

namespace detail {
// The same straight into `file`, which the caller discards when this throws.
void writeXlsxDirect(const Workbook& book, const std::filesystem::path& file);
} // namespace detail

} // namespace workbook
