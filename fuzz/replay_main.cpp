// Replay driver for the fuzz targets when libFuzzer is not linked: runs every file named on
// the command line (directories are walked, in name order) through LLVMFuzzerTestOneInput
// once. Each input is named before it runs, so that a crash points at it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file())
                    inputs.push_back(e.path());
        } else if (std::filesystem::exists(p)) {
            inputs.push_back(p);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& p : inputs) {
        std::fprintf(stderr, "input %s\n", p.c_str());
        std::ifstream in(p, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    // Every target also gets the empty input and a few degenerate ones.
    const uint8_t zeros[64] = {};
    LLVMFuzzerTestOneInput(zeros, 0);
    LLVMFuzzerTestOneInput(zeros, sizeof zeros);
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
