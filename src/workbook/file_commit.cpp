#include "workbook/file_commit.h"

#include "fileio/atomic_file.h"
#include "workbook/cell_ref.h"
#include "workbook/sheet.h"

#include <cstring>
#include <memory>

namespace workbook::detail {

namespace fs = std::filesystem;

namespace {

// A workbook written into a temporary beside the target; the temporary goes on failure.
std::unique_ptr<fileio::TemporaryFile> writeTemporary(const fs::path& folder, const std::string& name,
                                                      const FileWriter& write)
{
    try {
        auto temporary = std::make_unique<fileio::TemporaryFile>(folder, name);
        write(temporary->path());
        return temporary;
    } catch (const fileio::FileError& e) {
        throw WorkbookError(e.what());
    }
}

fs::path folderOf(const fs::path& file)
{
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

} // namespace

void commitReplacing(const fs::path& file, const FileWriter& write)
{
    auto temporary = writeTemporary(folderOf(file), file.filename().string(), write);
    try {
        temporary->replace(file);
    } catch (const fileio::FileError& e) {
        throw WorkbookError(e.what());
    }
}

fs::path commitUnique(const fs::path& folder, std::string_view stem, std::string_view extension,
                      const FileWriter& write)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        throw WorkbookError("Cannot create the folder \"" + folder.string() + "\": " +
                            (ec ? ec.message() : std::string("a file of that name is in the way")) + ".");
    auto temporary = writeTemporary(folder, std::string(stem) + std::string(extension), write);
    try {
        for (int n = 1; n < 10000; ++n) {
            std::string name(stem);
            if (n > 1)
                name += " (" + std::to_string(n) + ")";
            name += extension;
            // Never replace a workbook that is already there, not even one made this instant.
            const fs::path target = folder / name;
            if (temporary->moveToFreeName(target))
                return target;
        }
    } catch (const fileio::FileError& e) {
        throw WorkbookError(e.what());
    }
    throw WorkbookError("Cannot find a free file name for \"" + std::string(stem) + "\" in \"" + folder.string() + "\".");
}

std::string safeFileStem(std::string_view name)
{
    std::string stem = xmlSafeText(name);
    for (char& c : stem)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("/\\:*?\"<>|", c))
            c = '_';
    const auto first = stem.find_first_not_of(" .");
    stem = first == std::string::npos ? std::string() : stem.substr(first);
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.'))
        stem.pop_back();
    if (stem.size() > 100) {
        std::size_t cut = 100;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 sequence
        stem.resize(cut);
    }
    return stem.empty() ? std::string("Workbook") : stem;
}

} // namespace workbook::detail
