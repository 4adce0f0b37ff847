#include "workbook/export.h"

#include "workbook/file_commit.h"
#include "workbook/xlsx_writer.h"

#include <chrono>
#include <ctime>
#include <fstream>

namespace workbook {

namespace fs = std::filesystem;

namespace {

std::string stampedStem(std::string_view baseName)
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, " %Y-%m-%d %H-%M-%S", &local);
    return detail::safeFileStem(baseName) + stamp;
}

fs::path exportWith(std::string_view baseName, const ExportSettings& settings, const detail::FileWriter& write)
{
    const fs::path file = fs::absolute(detail::commitUnique(settings.folder, stampedStem(baseName), ".xlsx", write));
    if (settings.openHook)
        settings.openHook(file);
    return file;
}

} // namespace

ExportSettings& exportSettings()
{
    static ExportSettings settings;
    return settings;
}

fs::path exportWorkbook(const Workbook& book, std::string_view baseName, const ExportSettings& settings)
{
    return exportWith(baseName, settings,
                      [&](const fs::path& temporary) { detail::writeXlsxDirect(book, temporary); });
}

fs::path exportWorkbook(const TemplateWorkbook& book, std::string_view baseName, const ExportSettings& settings)
{
    const std::string data = book.toBytes();
    return exportWith(baseName, settings, [&](const fs::path& temporary) {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out)
            throw WorkbookError("Cannot write the workbook \"" + std::string(baseName) + "\" into the folder \"" +
                                settings.folder.string() + "\".");
    });
}

} // namespace workbook
