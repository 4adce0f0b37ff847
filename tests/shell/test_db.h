#pragma once
// An empty folder of the given name for one test's files (databases, Config.dat, workspaces).
#include <filesystem>
#include <string>
#include <unistd.h>

namespace testdb {
inline std::filesystem::path freshFolder(const std::string& name)
{
    auto p
        = std::filesystem::temp_directory_path() / ("ios_shell_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}
} // namespace testdb
