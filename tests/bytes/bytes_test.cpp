// The conversions the key formats use.
#include "bytes/codec.h"

#include <gtest/gtest.h>

TEST(Codec, ChangeTakesUpperCaseHexDigitsOnly)
{
    EXPECT_EQ(Change('0'), 0);
    EXPECT_EQ(Change('9'), 9);
    EXPECT_EQ(Change('A'), 10);
    EXPECT_EQ(Change('F'), 15);
    for (char c : { 'a', 'f', 'G', ' ', '\0', '/' })
        EXPECT_EQ(Change(c), 16) << int(c);
}

TEST(Codec, ByteToBcd)
{
    EXPECT_EQ(ByteToBCD(0), 0x00);
    EXPECT_EQ(ByteToBCD(9), 0x09);
    EXPECT_EQ(ByteToBCD(10), 0x10);
    EXPECT_EQ(ByteToBCD(59), 0x59);
    EXPECT_EQ(ByteToBCD(99), 0x99);
}

TEST(Codec, CreateDateTimeReadsPackedBcd)
{
    using namespace std::chrono;
    const DateTime t = CreateDateTime(0x26, 0x12, 0x06, 0x17, 0x45, 0x09);
    EXPECT_EQ(t, local_days(2026y / December / 6) + 17h + 45min + 9s);
    EXPECT_THROW(CreateDateTime(0x26, 0x13, 0x01, 0, 0, 0), DateConversionError); // month 13
    EXPECT_THROW(CreateDateTime(0x26, 0x04, 0x31, 0, 0, 0), DateConversionError); // 31 April
    EXPECT_THROW(CreateDateTime(0x26, 0x01, 0x01, 0x24, 0, 0), DateConversionError);
    EXPECT_THROW(CreateDateTime(0x26, 0x01, 0x01, 0, 0x60, 0), DateConversionError);
    EXPECT_THROW(CreateDateTime(0x2A, 0x01, 0x01, 0, 0, 0), DateConversionError); // digit above 9
    EXPECT_FALSE(tryCreateDateTime(0x26, 0x02, 0x29, 0, 0, 0));                   // 2026 is no leap year
    EXPECT_TRUE(tryCreateDateTime(0x28, 0x02, 0x29, 0, 0, 0));
}

TEST(Codec, RomIdTextIsCrcFirstFamilyLast)
{
    const RomId rom { 0x37, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xA7 };
    EXPECT_EQ(romIdText(rom), "A7060504030201" "37");
    EXPECT_EQ(romIdFromText("a7060504030201" "37"), rom);
    EXPECT_FALSE(romIdFromText("A70605040302013"));
    EXPECT_FALSE(romIdFromText("A7060504030201GG"));
}
