#pragma once
// Exported workbooks: written into the folder of exported workbooks under a name of their
// own and then handed to the desktop, where the operator views, saves or prints them.
#include "workbook/sheet.h"
#include "workbook/template_workbook.h"

#include <filesystem>
#include <functional>
#include <string_view>

namespace workbook {

// Shows a finished workbook; the Qt side opens it with the desktop's default application.
using OpenHook = std::function<void(const std::filesystem::path& file)>;

struct ExportSettings {
    std::filesystem::path folder = "Exports"; // a relative folder lies under the current folder
    OpenHook openHook;                        // empty: the workbook is written and not shown
};

// The program's settings. Nothing is shown until the program sets openHook; tests leave it empty.
ExportSettings& exportSettings();

// Writes the workbook into settings.folder (made when missing) as
// "<baseName> yyyy-mm-dd hh-mm-ss.xlsx", or " (2)", " (3)"... before the extension when that
// name is taken, then hands the complete file to the open hook. Returns the file's path.
// Throws WorkbookError when the folder cannot be made or the file cannot be written; nothing
// is then left under a workbook's name and the hook is not called.
std::filesystem::path exportWorkbook(const Workbook& book, std::string_view baseName,
                                     const ExportSettings& settings = exportSettings());
std::filesystem::path exportWorkbook(const TemplateWorkbook& book, std::string_view baseName,
                                     const ExportSettings& settings = exportSettings());

} // namespace workbook
