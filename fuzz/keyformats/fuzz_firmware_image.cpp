// The firmware key image from an image file of any length, with any address and version
// texts taken from the first bytes. Checked against the key layout worked out here on its
// own: the pages written (0 to N) carry every program byte below End and no page beyond it,
// within the 510 pages after the header; page 0 is the header of the file's bytes, the
// version and End with a CRC-8 that checks; byte k of page p is the file byte at 0800h +
// 64 (p - 1) + k for addresses Start to End, else 00h; and the part of the file the window
// reads is enough to build the same image.
#include "keyformats/firmware_key.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "firmware key image: %s\n", what);
        std::abort();
    }
}

// The 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, least significant bit first), bit by bit.
uint8_t crc8BitByBit(const uint8_t* bytes, std::size_t n)
{
    uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (int bit = 0, b = bytes[i]; bit < 8; ++bit, b >>= 1) {
            const bool mix = (crc ^ b) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
        }
    return crc;
}

} // namespace

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

    // Program addresses Start .. End-1 go on pages 1..N, 64 to a page; the key has 510 pages
    // after the header.
    const long span = e >= s ? long(e) - long(s) : 0;
    const int n = firmwareProgramPages(s, e);
    check(n >= 0 && n <= 510, "more pages than the key has");
    check(n == 510 || 64L * n >= span, "a program byte below End lies beyond the pages written");
    check(n == 0 || 64L * (n - 1) < span, "a page written holds nothing below End");

    if (!validFirmwareVersion(version))
        return 0;
    FirmwareKeyImage image;
    try {
        image = buildFirmwareKeyImage(file, s, e, version);
    } catch (const FirmwareFileError&) {
        check(file.size() < 0x800, "a file that holds the header is refused");
        return 0;
    }
    check(file.size() >= 0x800, "a file without the whole header is taken");

    const auto& header = image[0];
    for (std::size_t i = 0; i < 12; ++i)
        check(header[i] == file[0x7F0 + i], "header bytes 0-11 are not the file's bytes 07F0h-07FBh");
    check(header[12] == uint8_t(version[0]) && header[13] == '.' && header[14] == uint8_t(version[2]),
          "header bytes 12-14 are not the version");
    check(header[15] == (e >> 8) && header[16] == (e & 0xFF), "header bytes 15-16 are not End");
    check(crc8BitByBit(header.data(), 18) == 0, "header byte 17 is not the CRC-8 of bytes 0-16");
    check(header[60] == file[0x7FF], "header byte 60 is not the file's byte 07FFh");
    check(std::all_of(header.begin() + 18, header.begin() + 60, [](uint8_t b) { return b == 0; }) &&
              std::all_of(header.begin() + 61, header.end(), [](uint8_t b) { return b == 0; }),
          "header bytes 18-59 or 61-63 are not 00h");

    for (std::size_t p = 1; p < image.size(); ++p)
        for (std::size_t k = 0; k < 64; ++k) {
            const std::size_t i = 64 * (p - 1) + k; // address Start + i, file offset 0800h + i
            const bool carried = e >= s && long(i) <= span && 0x800 + i < file.size();
            check(image[p][k] == (carried ? file[0x800 + i] : 0), "a program byte is not the file's byte at its address");
        }

    const std::size_t used = firmwareFileBytesUsed(s, e);
    if (used < file.size())
        check(buildFirmwareKeyImage(file.first(used), s, e, version) == image,
              "the part of the file the window reads builds another image");
    return 0;
}
