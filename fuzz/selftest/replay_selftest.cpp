// Reads one byte past the end of the input "overflow"; every other input is fine.
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 8 && std::memcmp(data, "overflow", 8) == 0)
        return data[size];
    return 0;
}
