// One fault per input, for the replay's own tests: "overflow" reads one byte past its end,
// "memory" takes 1 GB, "hang" sleeps for a minute; every other input is fine. Each ends by
// itself, so that a replay that misses it passes, and its test fails, in bounded time.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input == "overflow")
        return data[size];
    if (input == "memory") {
        constexpr size_t block = size_t(16) << 20;
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int i = 0; i < 64; ++i) {
            blocks.emplace_back(new char[block]);
            std::memset(blocks.back().get(), 1, block);
            // Keeps the writes, and so the pages, in every build.
            __asm__ __volatile__("" : : "r"(blocks.back().get()) : "memory");
        }
    }
    if (input == "hang")
        std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
