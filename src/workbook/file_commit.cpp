#include "workbook/file_commit.h"

#include "workbook/cell_ref.h"
#include "workbook/sheet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace workbook::detail {

namespace fs = std::filesystem;

namespace {

std::string quotedPath(const fs::path& p) { return "\"" + p.string() + "\""; }

// A fresh temporary file in `folder`, reserved by creating it.
fs::path makeTemporary(const fs::path& folder)
{
    std::string pattern = (folder / ".~workbook-XXXXXX.part").string();
    const int fd = mkstemps(pattern.data(), 5);
    if (fd < 0)
        throw WorkbookError("Cannot write into the folder " + quotedPath(folder) + ": " + std::strerror(errno) + ".");
    // mkstemps makes the file private; give it the mode any new file of the user gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return fs::path(pattern);
}

// Runs the writer on a temporary beside the target; removes the temporary if it fails.
fs::path writeTemporary(const fs::path& folder, const FileWriter& write)
{
    const fs::path temporary = makeTemporary(folder);
    try {
        write(temporary);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    return temporary;
}

fs::path folderOf(const fs::path& file)
{
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

} // namespace

void commitReplacing(const fs::path& file, const FileWriter& write)
{
    const fs::path temporary = writeTemporary(folderOf(file), write);
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw WorkbookError("Cannot write the file " + quotedPath(file) + ": " + std::strerror(error) + ".");
    }
}

fs::path commitUnique(const fs::path& folder, std::string_view stem, std::string_view extension,
                      const FileWriter& write)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        throw WorkbookError("Cannot create the folder " + quotedPath(folder) + ": " +
                            (ec ? ec.message() : std::string("a file of that name is in the way")) + ".");
    const fs::path temporary = writeTemporary(folder, write);
    for (int n = 1; n < 10000; ++n) {
        std::string name(stem);
        if (n > 1)
            name += " (" + std::to_string(n) + ")";
        name += extension;
        const fs::path target = folder / name;
        // Never replace a workbook that is already there, not even one made this instant.
        if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        int error = errno;
        if (error == EINVAL || error == ENOSYS) { // a file system without the no-replace move
            if (fs::exists(target, ec))
                continue;
            if (std::rename(temporary.c_str(), target.c_str()) == 0)
                return target;
            error = errno;
        }
        if (error == EEXIST)
            continue;
        fs::remove(temporary, ec);
        throw WorkbookError("Cannot write the file " + quotedPath(target) + ": " + std::strerror(error) + ".");
    }
    fs::remove(temporary, ec);
    throw WorkbookError("Cannot find a free file name for \"" + std::string(stem) + "\" in " + quotedPath(folder) + ".");
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
