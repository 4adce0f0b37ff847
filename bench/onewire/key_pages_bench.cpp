// Reading and writing every page of a DS1977 through the key I/O routines, and how many
// bytes each page puts on the line against the least its command sequence needs.
#include "keyaccess/key_io.h"
#include "onewire/devices.h"
#include "onewire/emulated_reader.h"
#include "onewire/ports.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

using namespace onewire;

namespace {

constexpr short kPort = 4;

// The least the page sequences need: reset, Match ROM (9 bytes), then
// read:  69h, TA1, TA2, 8 password bytes, 64 data, 2 CRC                          -> 86 bytes, 1 reset
// write: 0Fh, TA1, TA2, 64 data, 2 CRC | AAh, TA1, TA2, E/S | 99h, TA1, TA2, E/S,
//        8 password bytes, the result byte                                        -> 113 bytes, 3 resets
constexpr double kMinReadBytes = 9 + 1 + 2 + 8 + 64 + 2;
constexpr double kMinReadResets = 1;
constexpr double kMinWriteBytes = (9 + 1 + 2 + 64 + 2) + (9 + 1 + 3) + (9 + 1 + 3 + 8 + 1);
constexpr double kMinWriteResets = 3;

int pageCount()
{
    const char* smoke = std::getenv("IOS_BENCH_SMOKE");
    return smoke && *smoke ? 8 : 511;
}

Page pattern(int page)
{
    Page p;
    for (int i = 0; i < 64; ++i)
        p[i] = static_cast<uint8_t>(page * 13 + i);
    return p;
}

struct MemoryRig {
    std::shared_ptr<MicroLan> bus = std::make_shared<MicroLan>();
    ScopedPort port { kPort, kEmulatedReaderPortType, bus };
    KeyIoOptions options;
    KeyRom rom;
    MemoryRig()
    {
        options.port = { kPort, kEmulatedReaderPortType };
        bus->attach(makeDevice(blankKey(emulatedReaderRomId())));
        auto key = makeDevice(blankDS1977(makeRomId(0x37, 0x42)));
        rom = keyRomFrom(key->rom());
        bus->attach(key);
    }
};

void report(benchmark::State& state, const WireStats& stats, double pages, double minBytes, double minResets)
{
    const double bytesPerPage = static_cast<double>(stats.bytes) / pages;
    const double resetsPerPage = static_cast<double>(stats.resets) / pages;
    state.counters["bytes/page"] = bytesPerPage;
    state.counters["resets/page"] = resetsPerPage;
    state.counters["byte_ratio"] = bytesPerPage / minBytes;
    state.counters["reset_ratio"] = resetsPerPage / minResets;
    state.counters["pages/s"] = benchmark::Counter(pages / static_cast<double>(state.iterations()) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
}

void BM_WriteAllPages(benchmark::State& state)
{
    MemoryRig rig;
    const int pages = pageCount();
    double done = 0;
    for (auto _ : state) {
        for (int page = 0; page < pages; ++page) {
            uint8_t result = 0;
            WriteDS1977Data(rig.options, rig.rom, page, pattern(page), result);
            if (result != 1)
                state.SkipWithError("write failed");
        }
        done += pages;
    }
    report(state, rig.bus->stats(), done, kMinWriteBytes, kMinWriteResets);
}
BENCHMARK(BM_WriteAllPages)->Unit(benchmark::kMillisecond);

void BM_ReadAllPages(benchmark::State& state)
{
    MemoryRig rig;
    const int pages = pageCount();
    for (int page = 0; page < pages; ++page) {
        uint8_t result = 0;
        WriteDS1977Data(rig.options, rig.rom, page, pattern(page), result);
    }
    rig.bus->stats() = {};
    double done = 0;
    std::array<uint8_t, 66> buffer {};
    for (auto _ : state) {
        for (int page = 0; page < pages; ++page) {
            uint8_t ok = 0;
            ReadDS1977Data(rig.options, rig.rom, page, buffer, ok);
            if (ok != 1 || buffer[0] != pattern(page)[0])
                state.SkipWithError("read failed");
        }
        done += pages;
    }
    report(state, rig.bus->stats(), done, kMinReadBytes, kMinReadResets);
}
BENCHMARK(BM_ReadAllPages)->Unit(benchmark::kMillisecond);

// The same through the emulated reader, each page saved to its key file before it counts.
void BM_WriteAllPagesToKeyFile(benchmark::State& state)
{
    const auto dir = std::filesystem::path(IOS_BINARY_DIR) / "onewire-bench-reader";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const RomId rom = makeRomId(0x37, 0x43);
    saveKeyFile(keyFilePath(dir, rom), blankDS1977(rom));
    auto reader = std::make_shared<EmulatedReader>(dir);
    ScopedPort port(kPort, kEmulatedReaderPortType, reader);
    KeyIoOptions options;
    options.port = { kPort, kEmulatedReaderPortType };
    const int pages = pageCount();
    double done = 0;
    for (auto _ : state) {
        for (int page = 0; page < pages; ++page) {
            uint8_t result = 0;
            WriteDS1977Data(options, keyRomFrom(rom), page, pattern(page), result);
            if (result != 1)
                state.SkipWithError("write failed");
        }
        done += pages;
    }
    report(state, reader->stats(), done, kMinWriteBytes, kMinWriteResets);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteAllPagesToKeyFile)->Unit(benchmark::kMillisecond)->Iterations(1);

// Reading through the emulated reader: every call opens a session, which rescans the folder.
void BM_ReadAllPagesFromKeyFile(benchmark::State& state)
{
    const auto dir = std::filesystem::path(IOS_BINARY_DIR) / "onewire-bench-reader-read";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const RomId rom = makeRomId(0x37, 0x44);
    KeyFile key = blankDS1977(rom);
    for (int page = 0; page < kDS1977UserPages; ++page)
        setDS1977Page(key, page, pattern(page));
    saveKeyFile(keyFilePath(dir, rom), key);
    auto reader = std::make_shared<EmulatedReader>(dir);
    ScopedPort port(kPort, kEmulatedReaderPortType, reader);
    KeyIoOptions options;
    options.port = { kPort, kEmulatedReaderPortType };
    const int pages = pageCount();
    double done = 0;
    std::array<uint8_t, 66> buffer {};
    for (auto _ : state) {
        for (int page = 0; page < pages; ++page) {
            uint8_t ok = 0;
            ReadDS1977Data(options, keyRomFrom(rom), page, buffer, ok);
            if (ok != 1 || buffer[0] != pattern(page)[0])
                state.SkipWithError("read failed");
        }
        done += pages;
    }
    report(state, reader->stats(), done, kMinReadBytes, kMinReadResets);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReadAllPagesFromKeyFile)->Unit(benchmark::kMillisecond);

} // namespace

// CTest passes --ios_smoke for its quick run; the library does not know it.
int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i)
        if (std::string_view(argv[i]) != "--ios_smoke")
            args.push_back(argv[i]);
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
