// The firmware key image from an image file of any length, with any address and version
// texts taken from the first bytes: never a read past the file or a page past 510.
#include "keyformats/firmware_key.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 11) {
        firmwareAddress(std::string_view(reinterpret_cast<const char*>(data), size));
        nextFirmwareVersion(std::string_view(reinterpret_cast<const char*>(data), size));
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), 11);
    const auto start = firmwareAddress(text.substr(0, 4));
    const auto end = firmwareAddress(text.substr(4, 4));
    const std::string_view version = text.substr(8, 3);
    const std::span<const uint8_t> file(data + 11, size - 11);
    const uint16_t s = start.value_or(0x0800), e = end.value_or(0x3D80);
    if (firmwareProgramPages(s, e) > kFirmwareKeyPages - 1)
        std::abort();
    if (!validFirmwareVersion(version))
        return 0;
    try {
        const FirmwareKeyImage image = buildFirmwareKeyImage(file, s, e, version);
        if (image[0][firmware_header::kVersionDot] != '.')
            std::abort();
    } catch (const FirmwareFileError&) {
    }
    return 0;
}
