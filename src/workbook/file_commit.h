#pragma once
// Writing a workbook so that it appears under its final name complete or not at all: the writer
// fills a temporary file in the target folder (fileio/atomic_file.h), which is then flushed and
// moved into place.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace workbook::detail {

using FileWriter = std::function<void(const std::filesystem::path& temporary)>;

// Writes through a temporary file and moves it over `file` (replacing an older one).
// Throws WorkbookError; on failure no temporary is left and `file` is as it was.
void commitReplacing(const std::filesystem::path& file, const FileWriter& write);

// Makes `folder` when missing, writes through a temporary file and moves it to the first free
// name of "<stem><extension>", "<stem> (2)<extension>", ... Returns the path used.
std::filesystem::path commitUnique(const std::filesystem::path& folder, std::string_view stem,
                                   std::string_view extension, const FileWriter& write);

// A base name made safe as a file name: path separators and characters that desktop file
// systems refuse become '_', surrounding blanks and dots go, at most 100 bytes.
std::string safeFileStem(std::string_view name);

} // namespace workbook::detail
