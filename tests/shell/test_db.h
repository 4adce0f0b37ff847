#pragma once
// Databases for the shell tests: a copy of the supplied database in a fresh folder, or a
// small database of the test's own.
#include <QDir>
#include <QString>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace testdb {

inline std::filesystem::path freshFolder(const std::string& name)
{
    namespace fs = std::filesystem;
    fs::path p = fs::temp_directory_path() / ("ios_shell_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// A copy of the supplied database; returns its path.
inline std::string suppliedCopy(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    const fs::path target = folder / "iOstrivaneDB.db";
    fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", target, fs::copy_options::overwrite_existing);
    return target.string();
}

} // namespace testdb
