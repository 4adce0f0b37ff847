// The CRCs and conversions the key formats and the bus use.
#include "bytes/codec.h"
#include "bytes/crc.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
const std::vector<uint8_t> kCheckInput { '1', '2', '3', '4', '5', '6', '7', '8', '9' };
}

TEST(BitLevelHelpers, Crc8CheckValues)
{
    const uint8_t published[] = { 0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2 };
    EXPECT_EQ(crc8(std::span<const uint8_t>(published, 7)), 0xA2);
    EXPECT_EQ(crc8(published), 0);
    EXPECT_EQ(crc8(kCheckInput), 0xA1);
    Crc8Accumulator = 0; // the shared accumulator's steps give the same byte
    for (uint8_t b : kCheckInput)
        Crc8Update(b);
    EXPECT_EQ(Crc8Accumulator, 0xA1);
}

TEST(BitLevelHelpers, Crc16CheckValueAndGoodResidue)
{
    std::vector<uint8_t> nine = kCheckInput;
    EXPECT_EQ(crc16(nine), 0xBB3D);
    // a frame followed by its inverted CRC, low byte first, leaves the residue
    nine.insert(
        nine.end(), { static_cast<uint8_t>(~0xBB3D & 0xFF), static_cast<uint8_t>(~0xBB3D >> 8 & 0xFF) });
    EXPECT_EQ(crc16(nine), kCrc16GoodResidue);
}

TEST(BitLevelHelpers, HexDigitValues)
{
    const std::pair<char, int> digits[] = { { '0', 0 }, { '9', 9 }, { 'A', 10 }, { 'F', 15 }, { 'a', 16 },
        { 'f', 16 }, { 'G', 16 }, { ' ', 16 }, { '\0', 16 }, { '/', 16 } };
    for (auto [c, v] : digits)
        EXPECT_EQ(Change(c), v) << int(c);
}

TEST(BitLevelHelpers, ByteToPackedBcd)
{
    for (auto [v, bcd] : { std::pair { 0, 0x00 }, { 9, 0x09 }, { 10, 0x10 }, { 59, 0x59 }, { 99, 0x99 } })
        EXPECT_EQ(ByteToBCD(v), bcd) << v;
}

TEST(BitLevelHelpers, PackedBcdDatesConvertOrAreRefused)
{
    using namespace std::chrono;
    EXPECT_EQ(CreateDateTime(0x26, 0x12, 0x06, 0x17, 0x45, 0x09),
        local_days(2026y / December / 6) + 17h + 45min + 9s);
    EXPECT_EQ(CreateDateTime(0x28, 0x02, 0x29, 0x23, 0x59, 0x59),
        local_days(2028y / February / 29) + 23h + 59min + 59s);
    const std::array<uint8_t, 6> bad[] = {
        { 0x26, 0x13, 0x01, 0, 0, 0 }, { 0x26, 0x04, 0x31, 0, 0, 0 }, { 0x26, 0x01, 0x01, 0x24, 0, 0 },
        { 0x26, 0x01, 0x01, 0, 0x60, 0 }, { 0x26, 0x01, 0x01, 0, 0, 0x60 }, { 0x2A, 0x01, 0x01, 0, 0, 0 },
        { 0x26, 0x02, 0x29, 0, 0, 0 }, // 2026 is no leap year
    };
    for (const auto& b : bad) {
        EXPECT_THROW(CreateDateTime(b[0], b[1], b[2], b[3], b[4], b[5]), DateConversionError);
        EXPECT_FALSE(tryCreateDateTime(b[0], b[1], b[2], b[3], b[4], b[5]));
    }
}

TEST(BitLevelHelpers, RomIdTextIsBytes7To0InHex)
{
    const RomId rom { 0x37, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xA7 };
    EXPECT_EQ(romIdText(rom), "A706050403020137");
    EXPECT_EQ(romIdFromText("a706050403020137"), rom);
    EXPECT_FALSE(romIdFromText("A70605040302013"));
    EXPECT_FALSE(romIdFromText("A7060504030201GG"));
}
