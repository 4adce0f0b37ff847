// Remote access codes: the cipher against the published vector and against a word-wide
// reference written from the block description, the form boundaries, and a lock-side round
// trip (unmask, check byte, encipher back to the plain block).
#include "keyformats/access_code.h"

#include "bytes/crc.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::chrono;

namespace {

constexpr uint32_t kNlf = 0x3A5C742E;
int bitOf(uint64_t v, int n) { return static_cast<int>((v >> n) & 1); }
int nlf(int i) { return static_cast<int>((kNlf >> i) & 1); }

uint64_t keyOf(const std::array<uint8_t, 8>& k)
{
    uint64_t v = 0;
    for (uint8_t b : k)
        v = (v << 8) | b;
    return v;
}

// Word-wide forms of the two ciphers, written straight from the bit formulas.
uint32_t refDecrypt32(uint32_t y, uint64_t key)
{
    for (int r = 0; r < 528; ++r) {
        const int i = bitOf(y, 0) + 2 * bitOf(y, 8) + 4 * bitOf(y, 19) + 8 * bitOf(y, 25) + 16 * bitOf(y, 30);
        const int b = nlf(i) ^ bitOf(y, 15) ^ bitOf(y, 31) ^ bitOf(key, (15 - r) & 63);
        y = (y << 1) | static_cast<uint32_t>(b);
    }
    return y;
}

// The lock's direction (the published encryption).
uint32_t refEncrypt32(uint32_t y, uint64_t key)
{
    for (int r = 0; r < 528; ++r) {
        const int i = bitOf(y, 1) + 2 * bitOf(y, 9) + 4 * bitOf(y, 20) + 8 * bitOf(y, 26) + 16 * bitOf(y, 31);
        const int b = nlf(i) ^ bitOf(y, 0) ^ bitOf(y, 16) ^ bitOf(key, r & 63);
        y = (y >> 1) | (static_cast<uint32_t>(b) << 31);
    }
    return y;
}

constexpr uint64_t kMask40 = (uint64_t { 1 } << 40) - 1;

uint64_t refDecrypt40(uint64_t y, uint64_t key)
{
    for (int r = 0; r < 528; ++r) {
        const int i = bitOf(y, 0) + 2 * bitOf(y, 8) + 4 * bitOf(y, 19) + 8 * bitOf(y, 27) + 16 * bitOf(y, 35);
        const int b = nlf(i) ^ bitOf(y, 20) ^ bitOf(y, 39) ^ bitOf(key, (15 - r) & 63);
        y = ((y << 1) | static_cast<uint64_t>(b)) & kMask40;
    }
    return y;
}

// Undoes refDecrypt40 step by step, last cycle first.
uint64_t refEncrypt40(uint64_t y, uint64_t key)
{
    for (int r = 527; r >= 0; --r) {
        const int i = bitOf(y, 1) + 2 * bitOf(y, 9) + 4 * bitOf(y, 20) + 8 * bitOf(y, 28) + 16 * bitOf(y, 36);
        const int top = bitOf(y, 0) ^ nlf(i) ^ bitOf(y, 21) ^ bitOf(key, (15 - r) & 63);
        y = (y >> 1) | (static_cast<uint64_t>(top) << 39);
    }
    return y;
}

uint64_t bytesToWord(const uint8_t* p, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

uint8_t bcd(int y) { return static_cast<uint8_t>(16 * (y / 10) + y % 10); }

const std::string kSerial = "49D99FB70167EC5C";
const std::array<uint8_t, 8> kKey { 0x5C, 0xEC, 0x67, 0x01, 0xB7, 0x9F, 0xD9, 0x49 };

} // namespace

TEST(AccessCodeCipher, PublishedVectorThroughKeyLoading)
{
    AccessCodeRegisters regs;
    regs.loadKey(kSerial);
    EXPECT_EQ(regs.KeyRegister, kKey);
    EXPECT_EQ(keyOf(regs.KeyRegister), 0x5CEC6701B79FD949u);

    regs.CsrInput = { 0xE4, 0x4F, 0x4C, 0xDF, 0x00 };
    regs.Decryp1();
    EXPECT_EQ(bytesToWord(regs.Csr.data(), 4), 0xF741E2DBu);
    EXPECT_EQ(regs.KeyRegister, kKey) << "576 rotations bring the key back";

    EXPECT_EQ(refDecrypt32(0xE44F4CDF, 0x5CEC6701B79FD949), 0xF741E2DBu);
    EXPECT_EQ(refEncrypt32(0xF741E2DB, 0x5CEC6701B79FD949), 0xE44F4CDFu);
}

TEST(AccessCodeCipher, RotationsCarryTheTopBitRound)
{
    AccessCodeRegisters regs;
    regs.Csr = { 0x80, 0x00, 0x01, 0x81, 0x77, 0x66 };
    regs.LeftCsr();
    EXPECT_EQ(regs.Csr, (std::array<uint8_t, 6> { 0x00, 0x00, 0x03, 0x03, 0x77, 0x66 }));

    regs.Csr = { 0x80, 0x00, 0x00, 0x80, 0x01, 0x66 };
    regs.LeftCsr2();
    EXPECT_EQ(regs.Csr, (std::array<uint8_t, 6> { 0x00, 0x00, 0x01, 0x00, 0x03, 0x66 }));

    regs.KeyRegister = { 0x80, 0, 0, 0, 0, 0, 0, 0x40 };
    regs.LeftPassword();
    EXPECT_EQ(regs.KeyRegister, (std::array<uint8_t, 8> { 0, 0, 0, 0, 0, 0, 0, 0x81 }));
    for (int i = 0; i < 63; ++i)
        regs.LeftPassword();
    EXPECT_EQ(regs.KeyRegister, (std::array<uint8_t, 8> { 0x80, 0, 0, 0, 0, 0, 0, 0x40 }));
}

TEST(AccessCodeCipher, RegisterFormsMatchTheWordFormsAndInvert)
{
    std::mt19937_64 rng(20261206);
    for (int n = 0; n < 100; ++n) {
        AccessCodeRegisters regs;
        const uint64_t key = rng();
        for (int i = 0; i < 8; ++i)
            regs.KeyRegister[i] = static_cast<uint8_t>(key >> (56 - 8 * i));
        const uint64_t plain = rng() & kMask40;
        for (int i = 0; i < 5; ++i)
            regs.CsrInput[i] = static_cast<uint8_t>(plain >> (32 - 8 * i));

        regs.Decryp2();
        const uint64_t out40 = bytesToWord(regs.Csr.data(), 5);
        EXPECT_EQ(out40, refDecrypt40(plain, key));
        EXPECT_EQ(refEncrypt40(out40, key), plain);
        EXPECT_EQ(keyOf(regs.KeyRegister), key);

        const uint32_t plain32 = static_cast<uint32_t>(bytesToWord(regs.CsrInput.data(), 4));
        regs.Decryp1();
        const uint32_t out32 = static_cast<uint32_t>(bytesToWord(regs.Csr.data(), 4));
        EXPECT_EQ(out32, refDecrypt32(plain32, key));
        EXPECT_EQ(refEncrypt32(out32, key), plain32);
        EXPECT_EQ(keyOf(regs.KeyRegister), key);
    }
}

TEST(AccessCodeCipher, CrcCheckValues)
{
    const std::string check = "123456789";
    EXPECT_EQ(crc8({ reinterpret_cast<const uint8_t*>(check.data()), check.size() }), 0xA1);
    const std::array<uint8_t, 8> rom { 0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2 };
    EXPECT_EQ(crc8(rom), 0x00);
    // The shared accumulator steps give the same byte.
    Crc8Accumulator = 0;
    for (char c : check)
        Crc8Update(static_cast<uint8_t>(c));
    EXPECT_EQ(Crc8Accumulator, 0xA1);
}

namespace {
struct Fields {
    int d, n, t, hs, he, v, ys;
};
Fields shortFields(const AccessCodeBlock& b)
{
    const uint32_t w = static_cast<uint32_t>(bytesToWord(b.plain.data(), 4));
    return { int(w >> 23), int((w >> 18) & 31), int((w >> 16) & 3), int((w >> 11) & 31), int((w >> 6) & 31),
             int((w >> 4) & 3), int(w & 15) };
}
Fields longFields(const AccessCodeBlock& b)
{
    const uint32_t w = static_cast<uint32_t>(bytesToWord(b.plain.data(), 4));
    return { int(w >> 23), int((w >> 14) & 511), int((w >> 12) & 3), int((w >> 7) & 31), int((w >> 2) & 31),
             int(w & 3), int(b.plain[4] & 0x7F) };
}
} // namespace

TEST(AccessCodeBlock, FormBoundaries)
{
    // 30 days in one year: short form, 10 digits.
    auto b = accessCodeBlock(2, 2015y / June / 1, 8, 2015y / July / 1, 12, 3);
    EXPECT_FALSE(b.longForm);
    auto f = shortFields(b);
    EXPECT_EQ(f.d, 152);
    EXPECT_EQ(f.n, 30);
    EXPECT_EQ(f.t, 2);
    EXPECT_EQ(f.hs, 8);
    EXPECT_EQ(f.he, 12);
    EXPECT_EQ(f.v, 3);
    EXPECT_EQ(f.ys, 15);
    EXPECT_EQ(MakeAccessCode(kSerial, 2, 2015y / June / 1, 8, 2015y / July / 1, 12, 3).size(), 10u);

    // 31 days: long form, 12 digits.
    b = accessCodeBlock(1, 2015y / June / 1, 23, 2015y / July / 2, 0, 2);
    EXPECT_TRUE(b.longForm);
    f = longFields(b);
    EXPECT_EQ(f.d, 152);
    EXPECT_EQ(f.n, 31);
    EXPECT_EQ(f.t, 1);
    EXPECT_EQ(f.hs, 23);
    EXPECT_EQ(f.he, 0);
    EXPECT_EQ(f.v, 2);
    EXPECT_EQ(b.plain[4], 15);
    EXPECT_EQ(MakeAccessCode(kSerial, 1, 2015y / June / 1, 23, 2015y / July / 2, 0, 2).size(), 12u);

    // One day across the new year: long form, bit 7 of the fifth byte set, two years in the mask.
    b = accessCodeBlock(2, 2026y / December / 31, 20, 2027y / January / 1, 10, 0);
    EXPECT_TRUE(b.longForm);
    EXPECT_EQ(b.plain[4], 0x80 | 26);
    EXPECT_EQ(longFields(b).n, 1);
    EXPECT_EQ(longFields(b).d, 365);
    EXPECT_EQ(b.startYear, 26);
    EXPECT_EQ(b.endYear, 27);

    // Start equal to end is a valid short block.
    b = accessCodeBlock(1, 2026y / March / 5, 9, 2026y / March / 5, 9, 0);
    EXPECT_FALSE(b.longForm);
    EXPECT_EQ(shortFields(b).n, 0);
    EXPECT_EQ(shortFields(b).hs, shortFields(b).he);
    EXPECT_EQ(MakeAccessCode(kSerial, 1, 2026y / March / 5, 9, 2026y / March / 5, 9, 0).size(), 10u);

    // Leap day counts in the day of the year; 366 days is long.
    EXPECT_EQ(longFields(accessCodeBlock(2, 2024y / December / 31, 0, 2025y / December / 31, 0, 0)).d, 366);
    EXPECT_EQ(longFields(accessCodeBlock(2, 2024y / January / 1, 0, 2024y / December / 31, 0, 0)).n, 365);
}

TEST(AccessCodeBlock, ShortFormCombinesTheWholeYearIntoTheLowBits)
{
    // 2026: 26 = 1Ah; its bit 4 falls on the version field, so versions 0 and 1 share a block.
    const auto v0 = accessCodeBlock(2, 2026y / May / 1, 8, 2026y / May / 3, 8, 0);
    const auto v1 = accessCodeBlock(2, 2026y / May / 1, 8, 2026y / May / 3, 8, 1);
    const auto v2 = accessCodeBlock(2, 2026y / May / 1, 8, 2026y / May / 3, 8, 2);
    EXPECT_EQ(v0.plain[3] & 0x3F, 0x1A);
    EXPECT_EQ(v0.plain, v1.plain);
    EXPECT_EQ(v2.plain[3] & 0x3F, 0x3A);
    // Before 2016 the year fits its four bits and the version stays apart.
    EXPECT_NE(accessCodeBlock(2, 2015y / May / 1, 8, 2015y / May / 3, 8, 0).plain,
              accessCodeBlock(2, 2015y / May / 1, 8, 2015y / May / 3, 8, 1).plain);
}

// What a lock does with the digits' bytes: unmask, check, encipher back to the plain block.
TEST(AccessCodeBytes, LockSideRoundTrip)
{
    struct Case {
        year_month_day s;
        int hs;
        year_month_day e;
        int he, t, v;
    };
    const Case cases[] = {
        { 2026y / June / 1, 8, 2026y / July / 1, 12, 2, 0 },
        { 2026y / June / 1, 8, 2026y / July / 2, 12, 1, 3 },
        { 2026y / December / 31, 22, 2027y / January / 1, 11, 2, 1 },
        { 2019y / February / 28, 0, 2019y / February / 28, 0, 1, 2 },
        { 2030y / January / 1, 0, 2030y / December / 31, 23, 2, 3 },
    };
    for (const auto& c : cases) {
        AccessCodeRegisters regs;
        const auto block = accessCodeBlock(c.t, c.s, c.hs, c.e, c.he, c.v);
        const auto coded = accessCodeBytes(regs, kSerial, block);
        EXPECT_EQ(regs.KeyRegister, kKey);
        const int n = block.longForm ? 5 : 4;
        ASSERT_EQ(coded.count, n + 1);
        const std::array<uint8_t, 5> mask { bcd(block.startYear), uint8_t(~bcd(block.startYear)), bcd(block.endYear),
                                            uint8_t(~bcd(block.endYear)), 0x5A };
        std::array<uint8_t, 5> r {};
        for (int j = 0; j < n; ++j)
            r[j] = coded.bytes[j] ^ mask[j];
        const uint8_t check = block.longForm ? coded.bytes[5] : uint8_t(coded.bytes[4] ^ 0x5A);
        EXPECT_EQ(crc8(std::span<const uint8_t>(r.data(), n)), check);
        if (block.longForm)
            EXPECT_EQ(refEncrypt40(bytesToWord(r.data(), 5), keyOf(kKey)), bytesToWord(block.plain.data(), 5));
        else
            EXPECT_EQ(refEncrypt32(static_cast<uint32_t>(bytesToWord(r.data(), 4)), keyOf(kKey)),
                      bytesToWord(block.plain.data(), 4));
        const std::string code = MakeAccessCode(kSerial, c.t, c.s, c.hs, c.e, c.he, c.v);
        EXPECT_EQ(code, accessCodeDigits(coded));
        EXPECT_EQ(code, MakeAccessCode(kSerial, c.t, c.s, c.hs, c.e, c.he, c.v)) << "same inputs, same digits";
    }
}

TEST(AccessCodeBytes, DigitsFoldNibblesAboveNine)
{
    AccessCodeBytes coded;
    coded.bytes = { 0x09, 0xAF, 0x5B, 0xC0, 0xDE, 0x12 };
    coded.count = 5;
    EXPECT_EQ(accessCodeDigits(coded), "0905512034");
    coded.count = 6;
    EXPECT_EQ(accessCodeDigits(coded), "090551203412");
}

TEST(AccessCode, PinnedCodesStayTheSame)
{
    // Codes already handed to guests must not change with the code.
    EXPECT_EQ(MakeAccessCode(kSerial, 2, 2026y / June / 1, 8, 2026y / June / 3, 12, 0), "4514021238");
    EXPECT_EQ(MakeAccessCode(kSerial, 1, 2026y / June / 1, 8, 2026y / August / 3, 12, 1), "032213715164");
    EXPECT_EQ(MakeAccessCode(kSerial, 2, 2026y / December / 31, 14, 2027y / January / 2, 11, 3), "084514123982");
}

TEST(AccessCode, AnySerialTextIsSafe)
{
    const auto s = 2026y / June / 1, e = 2026y / June / 2;
    // Missing and invalid digits count as 0; lower case as upper case.
    EXPECT_EQ(MakeAccessCode("", 2, s, 8, e, 8, 0), MakeAccessCode("0000000000000000", 2, s, 8, e, 8, 0));
    EXPECT_EQ(MakeAccessCode("5C", 2, s, 8, e, 8, 0), MakeAccessCode("5C00000000000000", 2, s, 8, e, 8, 0));
    EXPECT_EQ(MakeAccessCode("ZZ?!", 2, s, 8, e, 8, 0), MakeAccessCode("0000000000000000", 2, s, 8, e, 8, 0));
    EXPECT_EQ(MakeAccessCode("49d99fb70167ec5c", 2, s, 8, e, 8, 0), MakeAccessCode(kSerial, 2, s, 8, e, 8, 0));
    EXPECT_EQ(MakeAccessCode(kSerial + "FFFF", 2, s, 8, e, 8, 0), MakeAccessCode(kSerial, 2, s, 8, e, 8, 0));
    EXPECT_EQ(MakeAccessCode(std::string_view("\0\0\0", 3), 2, s, 8, e, 8, 0).size(), 10u);
    // Values outside their ranges are cut to the field, never a crash.
    EXPECT_EQ(MakeAccessCode(kSerial, -7, e, 99, s, -3, 17).size(), 10u);
    EXPECT_EQ(MakeAccessCode(kSerial, 2, 2026y / February / 30, 8, 1999y / month { 14 } / 40, 8, 0).size(), 12u);
}

TEST(AccessCode, SerialIdValidation)
{
    EXPECT_TRUE(isAccessCodeSerialId(kSerial));
    EXPECT_TRUE(isAccessCodeSerialId("49d99fb70167ec5c"));
    EXPECT_FALSE(isAccessCodeSerialId(""));
    EXPECT_FALSE(isAccessCodeSerialId("49D99FB70167EC5"));
    EXPECT_FALSE(isAccessCodeSerialId("49D99FB70167EC5C0"));
    EXPECT_FALSE(isAccessCodeSerialId("49D99FB70167EC5G"));
    EXPECT_FALSE(isAccessCodeSerialId("49D99FB7 167EC5C"));
}
