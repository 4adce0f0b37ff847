#pragma once
// An empty folder of the given name below the build folder, for the key files of one test.
#include <filesystem>
#include <string>

namespace onewire_test {
inline std::filesystem::path freshDir(const std::string& name)
{
    auto d = std::filesystem::path(IOS_BINARY_DIR) / "onewire-test" / name;
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}
} // namespace onewire_test
