// The firmware image key laid out byte by byte from an image file.
#include "keyformats/firmware_key.h"
#include "setupdump/crc8_oracle.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using setupdump_test::oneWireCrc8;

std::vector<uint8_t> imageFile(std::size_t size)
{
    std::vector<uint8_t> file(size);
    for (std::size_t i = 0; i < size; ++i)
        file[i] = uint8_t((i * 31 + i / 256) ^ 0xA5);
    return file;
}

TEST(FirmwareKey, CrcOracle)
{
    const char* check = "123456789";
    EXPECT_EQ(oneWireCrc8(reinterpret_cast<const uint8_t*>(check), 9), 0xA1);
}

TEST(FirmwareKey, HeaderPage)
{
    const auto file = imageFile(0x3E00);
    const auto image = buildFirmwareKeyImage(file, 0x0800, 0x3D80, "3.3");
    const auto& h = image[0];
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(h[size_t(i)], file[size_t(0x07F0 + i)]) << i;
    EXPECT_EQ(h[12], 0x33);
    EXPECT_EQ(h[13], 0x2E);
    EXPECT_EQ(h[14], 0x33);
    EXPECT_EQ(h[15], 0x3D);
    EXPECT_EQ(h[16], 0x80);
    EXPECT_EQ(h[17], oneWireCrc8(h.data(), 17));
    EXPECT_EQ(oneWireCrc8(h.data(), 18), 0); // the CRC closes the 18 bytes
    for (int i = 18; i < 60; ++i)
        EXPECT_EQ(h[size_t(i)], 0) << i;
    EXPECT_EQ(h[60], file[0x07FF]);
    EXPECT_EQ(h[61], 0);
    EXPECT_EQ(h[62], 0);
    EXPECT_EQ(h[63], 0);

    // Another version and end address change exactly their bytes and the CRC.
    const auto other = buildFirmwareKeyImage(file, 0x0800, 0x1234, "9.0");
    EXPECT_EQ(other[0][12], '9');
    EXPECT_EQ(other[0][14], '0');
    EXPECT_EQ(other[0][15], 0x12);
    EXPECT_EQ(other[0][16], 0x34);
    EXPECT_EQ(other[0][17], oneWireCrc8(other[0].data(), 17));
}

TEST(FirmwareKey, ProgramPages)
{
    EXPECT_EQ(firmwareProgramPages(0x0800, 0x3D80), 214);
    EXPECT_EQ(firmwareProgramPages(0x0800, 0x0840), 1);
    EXPECT_EQ(firmwareProgramPages(0x0800, 0x0841), 2);
    EXPECT_EQ(firmwareProgramPages(0x0800, 0x0800), 0);
    EXPECT_EQ(firmwareProgramPages(0x0900, 0x0800), 0);
    EXPECT_EQ(firmwareProgramPages(0x0000, 0xFFFF), 510); // never beyond the key

    const auto file = imageFile(0x4000);
    const auto image = buildFirmwareKeyImage(file, 0x0800, 0x3D80, "3.3");
    for (int p = 1; p <= 214; ++p)
        for (int k = 0; k < 64; ++k)
            ASSERT_EQ(image[size_t(p)][size_t(k)], file[size_t(2048 + 64 * (p - 1) + k)]) << p << " " << k;
    // The byte at the end address itself lies beyond page N; nothing after it is taken.
    EXPECT_EQ(image[215][0], file[0x3D80]);
    for (int k = 1; k < 64; ++k)
        EXPECT_EQ(image[215][size_t(k)], 0);
    for (int p = 216; p < 511; ++p)
        EXPECT_EQ(image[size_t(p)], MissionKeyPage {});
    EXPECT_EQ(firmwareFileBytesUsed(0x0800, 0x3D80), 0x3D81u);
}

TEST(FirmwareKey, ShortFiles)
{
    // Ending inside the program: the rest stays 00h.
    const auto file = imageFile(2048 + 100);
    const auto image = buildFirmwareKeyImage(file, 0x0800, 0x3D80, "3.3");
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(image[1][size_t(k)], file[size_t(2048 + k)]);
    for (int k = 0; k < 36; ++k)
        EXPECT_EQ(image[2][size_t(k)], file[size_t(2048 + 64 + k)]);
    for (int k = 36; k < 64; ++k)
        EXPECT_EQ(image[2][size_t(k)], 0);
    EXPECT_EQ(image[3], MissionKeyPage {});
    // Only the header: every program page 00h.
    const auto bare = buildFirmwareKeyImage(imageFile(2048), 0x0800, 0x3D80, "3.3");
    EXPECT_EQ(bare[1], MissionKeyPage {});
    // Ending before the program (or empty): refused.
    for (std::size_t size : { std::size_t(0), std::size_t(2032), std::size_t(2047) })
        EXPECT_THROW(buildFirmwareKeyImage(imageFile(size), 0x0800, 0x3D80, "3.3"), FirmwareFileError) << size;
}

TEST(FirmwareKey, AddressesVersionsAndFileNames)
{
    EXPECT_EQ(firmwareAddress("0800"), 0x0800);
    EXPECT_EQ(firmwareAddress("3D80"), 0x3D80);
    EXPECT_EQ(firmwareAddress("3d80"), std::nullopt);
    EXPECT_EQ(firmwareAddress("080"), std::nullopt);
    EXPECT_EQ(firmwareAddress("08000"), std::nullopt);
    EXPECT_EQ(firmwareAddress("08G0"), std::nullopt);

    for (const char* good : { "3.3", "0.0", "9.9" })
        EXPECT_TRUE(validFirmwareVersion(good)) << good;
    for (const char* bad : { "3", "33.3", "3,3", "a.3", "3.a", "00000000", "" })
        EXPECT_FALSE(validFirmwareVersion(bad)) << bad;
    EXPECT_THROW(firmwareKeyHeader(std::array<uint8_t, 12> {}, 0, "3", 0x3D80), std::invalid_argument);

    EXPECT_EQ(nextFirmwareVersion("2.3"), "3.3");
    EXPECT_EQ(nextFirmwareVersion("2.0"), "3");
    EXPECT_EQ(nextFirmwareVersion("8.4"), "1");
    EXPECT_EQ(nextFirmwareVersion("8"), "1");
    EXPECT_EQ(nextFirmwareVersion("7.9"), "8.9");
    EXPECT_EQ(nextFirmwareVersion(" 1.5 "), "2.5");
    for (const char* bad : { "", "  ", "abc", "2.3x", "2,3", "nan", "inf" })
        EXPECT_EQ(nextFirmwareVersion(bad), std::nullopt) << bad;

    const std::pair<const char*, const char*> files[] = { { "3000", "Tarvik_v3.bin" }, { "2122", "Tarvik_v2.bin" },
        { "2022", "Tarvik_v1.bin" }, { "2120", "quillet_v0.bin" }, { "2020", "quillet_v1.bin" },
        { "2121", "Ombrel_v3.bin" }, { "2221", "Ombrel_v2.bin" }, { "4000", "pendrix.bin" } };
    for (auto [hardware, file] : files)
        EXPECT_EQ(firmwareFileNameFor(hardware), std::string_view(file));
    EXPECT_EQ(firmwareFileNameFor("1234"), std::nullopt);
    EXPECT_EQ(firmwareFileNameFor(""), std::nullopt);
}

} // namespace
