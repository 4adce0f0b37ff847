#pragma once
// What the bus, key I/O and shell tests share: a fresh folder for a test's files, page and
// byte helpers, and an in-memory bus on a port of its own.
#include "bytes/crc.h"
#include "onewire/devices.h"
#include "onewire/emulated_reader.h"
#include "onewire/ports.h"
#include "onewire/tmex.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace bus_test {
using namespace onewire;

// An empty folder of the given name below the build folder, for the files of one test.
inline std::filesystem::path freshDir(const std::string& name)
{
    auto d = std::filesystem::path(IOS_BINARY_DIR) / "test-files" / name;
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

inline std::string bytesOf(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline Bytes concat(Bytes a, std::span<const uint8_t> b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Page patterned(uint8_t seed)
{
    Page p;
    for (int i = 0; i < 64; ++i)
        p[i] = static_cast<uint8_t>(seed + i * 7);
    return p;
}

// A bus on a port of its own, holding the keys given.
struct PortBus {
    std::shared_ptr<MicroLan> bus;
    ScopedPort port;
    PortBus(
        short portNum, std::vector<KeyFile> keys, std::shared_ptr<MicroLan> b = std::make_shared<MicroLan>())
        : bus(b)
        , port(portNum, kEmulatedReaderPortType, b)
    {
        for (auto& k : keys)
            attach(std::move(k));
    }
    std::shared_ptr<KeyDevice> attach(KeyFile k)
    {
        auto d = makeDevice(std::move(k));
        bus->attach(d);
        return d;
    }
};

} // namespace bus_test
