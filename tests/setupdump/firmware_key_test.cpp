// The firmware image key laid out byte by byte from an image file.
#include "keyformats/firmware_key.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// The 1-Wire CRC-8 written out bit by bit (x^8 + x^5 + x^4 + 1, reflected): an oracle apart
// from the table-driven one the program uses.
uint8_t oneWireCrc8(const uint8_t* bytes, std::size_t n)
{
    uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (int bit = 0, b = bytes[i]; bit < 8; ++bit, b >>= 1)
            crc = uint8_t((crc >> 1) ^ (((crc ^ b) & 1) ? 0x8C : 0));
    return crc;
}

std::vector<uint8_t> imageFile(std::size_t size)
{
    std::vector<uint8_t> file(size);
    for (std::size_t i = 0; i < size; ++i)
        file[i] = uint8_t((i * 31 + i / 256) ^ 0xA5);
    return file;
}

TEST(FirmwareKey, HeaderPage)
{
    EXPECT_EQ(
        oneWireCrc8(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xA1); // the oracle's check value
    const auto file = imageFile(0x3E00);
    for (auto [version, end] : { std::pair { "3.3", 0x3D80 }, { "9.0", 0x1234 } }) {
        MissionKeyPage h {};
        std::copy_n(file.begin() + 0x07F0, 12, h.begin());
        h[12] = uint8_t(version[0]);
        h[13] = '.';
        h[14] = uint8_t(version[2]);
        h[15] = uint8_t(end >> 8);
        h[16] = uint8_t(end);
        h[17] = oneWireCrc8(h.data(), 17);
        h[60] = file[0x07FF];
        EXPECT_EQ(buildFirmwareKeyImage(file, 0x0800, uint16_t(end), version)[0], h) << version;
        EXPECT_EQ(oneWireCrc8(h.data(), 18), 0); // the CRC closes the 18 bytes
    }
}

TEST(FirmwareKey, ProgramPages)
{
    for (auto [start, end, pages] :
        { std::tuple { 0x0800, 0x3D80, 214 }, { 0x0800, 0x0840, 1 }, { 0x0800, 0x0841, 2 },
            { 0x0800, 0x0800, 0 }, { 0x0900, 0x0800, 0 }, { 0x0000, 0xFFFF, 510 } }) // never beyond the key
        EXPECT_EQ(firmwareProgramPages(uint16_t(start), uint16_t(end)), pages) << start << " " << end;
    EXPECT_EQ(firmwareFileBytesUsed(0x0800, 0x3D80), 0x3D81u);
    // Page p byte k is file byte 0800h + 64 (p - 1) + k up to the end address itself (which lies
    // beyond page N); past the file or the end address, 00h.
    for (std::size_t size : { 0x4000, 2048 + 100, 2048 }) {
        const auto file = imageFile(size);
        const auto image = buildFirmwareKeyImage(file, 0x0800, 0x3D80, "3.3");
        for (int p = 1; p < kFirmwareKeyPages; ++p) {
            MissionKeyPage expected {};
            for (std::size_t k = 0, at = 0x0800 + 64 * std::size_t(p - 1); k < 64; ++k, ++at)
                expected[k] = at <= 0x3D80 && at < size ? file[at] : 0;
            ASSERT_EQ(image[size_t(p)], expected) << size << " page " << p;
        }
    }
    // Ending before the program (or empty): refused.
    for (std::size_t size : { std::size_t(0), std::size_t(2032), std::size_t(2047) })
        EXPECT_THROW(buildFirmwareKeyImage(imageFile(size), 0x0800, 0x3D80, "3.3"), FirmwareFileError)
            << size;
}

TEST(FirmwareKey, AddressesVersionsAndFileNames)
{
    const std::pair<const char*, std::optional<uint16_t>> addresses[]
        = { { "0800", 0x0800 }, { "3D80", 0x3D80 }, { "3d80", std::nullopt }, { "080", std::nullopt },
              { "08000", std::nullopt }, { "08G0", std::nullopt } };
    for (auto [text, address] : addresses)
        EXPECT_EQ(firmwareAddress(text), address) << text;
    for (const char* version : { "3.3", "0.0", "9.9" }) // a digit, ".", a digit
        EXPECT_TRUE(validFirmwareVersion(version)) << version;
    for (const char* version : { "3", "33.3", "3,3", "a.3", "3.a", "00000000", "" })
        EXPECT_FALSE(validFirmwareVersion(version)) << version;
    EXPECT_THROW(firmwareKeyHeader(std::array<uint8_t, 12> {}, 0, "3", 0x3D80), std::invalid_argument);

    const std::pair<const char*, std::optional<std::string>> next[] = { { "2.3", "3.3" }, { "2.0", "3" },
        { "8.4", "1" }, { "8", "1" }, { "7.9", "8.9" }, { " 1.5 ", "2.5" }, { "", std::nullopt },
        { "  ", std::nullopt }, { "abc", std::nullopt }, { "2.3x", std::nullopt }, { "2,3", std::nullopt },
        { "nan", std::nullopt }, { "inf", std::nullopt } };
    for (const auto& [software, version] : next)
        EXPECT_EQ(nextFirmwareVersion(software), version) << software;

    const std::pair<const char*, const char*> files[]
        = { { "3000", "Tarvik_v3.bin" }, { "2122", "Tarvik_v2.bin" }, { "2022", "Tarvik_v1.bin" },
              { "2120", "quillet_v0.bin" }, { "2020", "quillet_v1.bin" }, { "2121", "Ombrel_v3.bin" },
              { "2221", "Ombrel_v2.bin" }, { "4000", "pendrix.bin" }, { "1234", nullptr }, { "", nullptr } };
    for (auto [hardware, file] : files)
        EXPECT_EQ(firmwareFileNameFor(hardware), file ? std::optional<std::string_view>(file) : std::nullopt);
}

} // namespace
