// Replay driver for the fuzz targets when libFuzzer is not linked: runs every file named on
// the command line (directories are walked) through LLVMFuzzerTestOneInput once.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void runFile(const std::filesystem::path& p, int& count)
{
    std::ifstream in(p, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++count;
}

int main(int argc, char** argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file())
                    runFile(e.path(), count);
        } else if (std::filesystem::exists(p)) {
            runFile(p, count);
        }
    }
    // Every target also gets the empty input and a few degenerate ones.
    const uint8_t zeros[64] = {};
    LLVMFuzzerTestOneInput(zeros, 0);
    LLVMFuzzerTestOneInput(zeros, sizeof zeros);
    std::printf("replayed %d inputs\n", count);
    return 0;
}
