// Remote access codes: the cipher against the published vector and against a word-wide
// reference written from the block description, the form boundaries, and a lock-side round
// trip (unmask, check byte, encipher back to the plain block).
#include "bytes/crc.h"
#include "keyformats/access_code.h"

#include <gtest/gtest.h>
#include <random>

using namespace std::chrono;

namespace {

constexpr uint32_t kNlf = 0x3A5C742E;
int bitOf(uint64_t v, int n)
{
    return static_cast<int>((v >> n) & 1);
}

// One cipher: its width, the five bits that index the non-linear function, and the bit
// that is XORed with the top bit into the new one.
struct Cipher {
    int width, t0, t1, t2, t3, t4, feedback;
};
constexpr Cipher k32 { 32, 0, 8, 19, 25, 30, 15 }, k40 { 40, 0, 8, 19, 27, 35, 20 };

int nlf(const Cipher& c, uint64_t y, int shift)
{
    const int i = bitOf(y, c.t0 + shift) + 2 * bitOf(y, c.t1 + shift) + 4 * bitOf(y, c.t2 + shift)
        + 8 * bitOf(y, c.t3 + shift) + 16 * bitOf(y, c.t4 + shift);
    return bitOf(kNlf, i);
}

// The program's direction, straight from the bit formulas.
uint64_t refDecrypt(const Cipher& c, uint64_t y, uint64_t key)
{
    const uint64_t mask = (uint64_t { 1 } << c.width) - 1;
    for (int r = 0; r < 528; ++r) {
        const int b = nlf(c, y, 0) ^ bitOf(y, c.feedback) ^ bitOf(y, c.width - 1) ^ bitOf(key, (15 - r) & 63);
        y = ((y << 1) | static_cast<uint64_t>(b)) & mask;
    }
    return y;
}

// The lock's direction: undoes refDecrypt step by step, last cycle first (for 32 bits this is
// the published encryption, key bit r & 63 in cycle r).
uint64_t refEncrypt(const Cipher& c, uint64_t y, uint64_t key)
{
    for (int r = 527; r >= 0; --r) {
        const int top = bitOf(y, 0) ^ nlf(c, y, 1) ^ bitOf(y, c.feedback + 1) ^ bitOf(key, (15 - r) & 63);
        y = (y >> 1) | (static_cast<uint64_t>(top) << (c.width - 1));
    }
    return y;
}

uint64_t word(const uint8_t* p, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

const std::string kSerial = "49D99FB70167EC5C";
const std::array<uint8_t, 8> kKey { 0x5C, 0xEC, 0x67, 0x01, 0xB7, 0x9F, 0xD9, 0x49 };
constexpr uint64_t kKeyWord = 0x5CEC6701B79FD949;

} // namespace

TEST(AccessCodeCipher, PublishedVector)
{
    AccessCodeRegisters regs;
    regs.loadKey(kSerial);
    EXPECT_EQ(regs.KeyRegister, kKey);
    regs.CsrInput = { 0xE4, 0x4F, 0x4C, 0xDF, 0x00 };
    regs.Decryp1();
    EXPECT_EQ(word(regs.Csr.data(), 4), 0xF741E2DBu);
    EXPECT_EQ(regs.KeyRegister, kKey) << "576 rotations bring the key back";
    EXPECT_EQ(refDecrypt(k32, 0xE44F4CDF, kKeyWord), 0xF741E2DBu);
    EXPECT_EQ(refEncrypt(k32, 0xF741E2DB, kKeyWord), 0xE44F4CDFu);
}

TEST(AccessCodeCipher, RegistersFollowTheBitFormulasBothWays)
{
    std::mt19937_64 rng(20261206);
    for (int n = 0; n < 100; ++n) {
        AccessCodeRegisters regs;
        const uint64_t key = rng(), plain = rng() & ((uint64_t { 1 } << 40) - 1);
        for (int i = 0; i < 8; ++i)
            regs.KeyRegister[i] = static_cast<uint8_t>(key >> (56 - 8 * i));
        for (int i = 0; i < 5; ++i)
            regs.CsrInput[i] = static_cast<uint8_t>(plain >> (32 - 8 * i));
        for (const Cipher* c : { &k40, &k32 }) {
            const int bytes = c->width / 8;
            const uint64_t in = word(regs.CsrInput.data(), bytes);
            c == &k40 ? regs.Decryp2() : regs.Decryp1();
            const uint64_t out = word(regs.Csr.data(), bytes);
            EXPECT_EQ(out, refDecrypt(*c, in, key));
            EXPECT_EQ(refEncrypt(*c, out, key), in);
            EXPECT_EQ(word(regs.KeyRegister.data(), 8), key);
        }
    }
}

TEST(AccessCodeBlock, FieldsAndFormAtTheBoundaries)
{
    struct Fields {
        int d, n, t, hs, he, v, y; // y: the year field (short) or the fifth byte (long)
        bool operator==(const Fields&) const = default;
    };
    auto fields = [](const AccessCodeBlock& b) {
        const uint32_t w = static_cast<uint32_t>(word(b.plain.data(), 4));
        if (!b.longForm)
            return Fields { int(w >> 23), int((w >> 18) & 31), int((w >> 16) & 3), int((w >> 11) & 31),
                int((w >> 6) & 31), int((w >> 4) & 3), int(w & 15) };
        return Fields { int(w >> 23), int((w >> 14) & 511), int((w >> 12) & 3), int((w >> 7) & 31),
            int((w >> 2) & 31), int(w & 3), int(b.plain[4]) };
    };
    struct Row {
        int t;
        year_month_day s;
        int hs;
        year_month_day e;
        int he, v;
        bool longForm;
        Fields f;
    };
    const Row rows[] = {
        // 30 days in one year: short; 31 days: long
        { 2, 2015y / June / 1, 8, 2015y / July / 1, 12, 3, false, { 152, 30, 2, 8, 12, 3, 15 } },
        { 1, 2015y / June / 1, 23, 2015y / July / 2, 0, 2, true, { 152, 31, 1, 23, 0, 2, 15 } },
        // one day across the new year: long, bit 7 of the fifth byte set
        { 2, 2026y / December / 31, 20, 2027y / January / 1, 10, 0, true,
            { 365, 1, 2, 20, 10, 0, 0x80 | 26 } },
        // start equal to end is a valid short block; 2026 = 1Ah: its bit 4 lands on the version
        { 1, 2026y / March / 5, 9, 2026y / March / 5, 9, 0, false, { 64, 0, 1, 9, 9, 1, 0xA } },
        // the leap day counts in the day of the year; 365 days is long
        { 2, 2024y / December / 31, 0, 2025y / December / 31, 0, 0, true,
            { 366, 365, 2, 0, 0, 0, 0x80 | 24 } },
        { 2, 2024y / January / 1, 0, 2024y / December / 31, 0, 0, true, { 1, 365, 2, 0, 0, 0, 24 } },
    };
    for (const auto& r : rows) {
        const auto b = accessCodeBlock(r.t, r.s, r.hs, r.e, r.he, r.v);
        SCOPED_TRACE(fields(b).d);
        EXPECT_EQ(b.longForm, r.longForm);
        EXPECT_TRUE(fields(b) == r.f);
        EXPECT_EQ(b.startYear, int(r.s.year()) - 2000);
        EXPECT_EQ(b.endYear, int(r.e.year()) - 2000);
        EXPECT_EQ(MakeAccessCode(kSerial, r.t, r.s, r.hs, r.e, r.he, r.v).size(), r.longForm ? 12u : 10u);
    }
    // So versions 0 and 1 share a block from 2016 on; before, the year fits its four bits.
    auto block = [](year y, int v) { return accessCodeBlock(2, y / May / 1, 8, y / May / 3, 8, v).plain; };
    EXPECT_EQ(block(2026y, 0), block(2026y, 1));
    EXPECT_EQ(block(2026y, 2)[3] & 0x3F, 0x3A);
    EXPECT_NE(block(2015y, 0), block(2015y, 1));
}

// What a lock does with the digits' bytes: unmask, check, encipher back to the plain block.
TEST(AccessCodeBlock, ALockGetsThePlainBlockBackFromTheDigitsBytes)
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
    auto bcd = [](int y) { return static_cast<uint8_t>(16 * (y / 10) + y % 10); };
    for (const auto& c : cases) {
        AccessCodeRegisters regs;
        const auto block = accessCodeBlock(c.t, c.s, c.hs, c.e, c.he, c.v);
        const auto coded = accessCodeBytes(regs, kSerial, block);
        EXPECT_EQ(regs.KeyRegister, kKey);
        const int n = block.longForm ? 5 : 4;
        ASSERT_EQ(coded.count, n + 1);
        const std::array<uint8_t, 5> mask { bcd(block.startYear), uint8_t(~bcd(block.startYear)),
            bcd(block.endYear), uint8_t(~bcd(block.endYear)), 0x5A };
        std::array<uint8_t, 5> r {};
        for (int j = 0; j < n; ++j)
            r[j] = coded.bytes[j] ^ mask[j];
        const uint8_t check = block.longForm ? coded.bytes[5] : uint8_t(coded.bytes[4] ^ 0x5A);
        EXPECT_EQ(crc8(std::span<const uint8_t>(r.data(), n)), check);
        EXPECT_EQ(
            refEncrypt(block.longForm ? k40 : k32, word(r.data(), n), kKeyWord), word(block.plain.data(), n));
        EXPECT_EQ(MakeAccessCode(kSerial, c.t, c.s, c.hs, c.e, c.he, c.v), accessCodeDigits(coded));
    }
}

TEST(AccessCode, DigitsFoldNibblesAboveNine)
{
    AccessCodeBytes coded;
    coded.bytes = { 0x09, 0xAF, 0x5B, 0xC0, 0xDE, 0x12 };
    coded.count = 5;
    EXPECT_EQ(accessCodeDigits(coded), "0905512034");
    coded.count = 6;
    EXPECT_EQ(accessCodeDigits(coded), "090551203412");
}

// Codes already handed to guests must not change with the code.
TEST(AccessCode, PinnedCodesStayTheSame)
{
    EXPECT_EQ(MakeAccessCode(kSerial, 2, 2026y / June / 1, 8, 2026y / June / 3, 12, 0), "4514021238");
    EXPECT_EQ(MakeAccessCode(kSerial, 1, 2026y / June / 1, 8, 2026y / August / 3, 12, 1), "032213715164");
    EXPECT_EQ(
        MakeAccessCode(kSerial, 2, 2026y / December / 31, 14, 2027y / January / 2, 11, 3), "084514123982");
}

TEST(AccessCode, AnySerialTextIsSafe)
{
    const auto s = 2026y / June / 1, e = 2026y / June / 2;
    auto code = [&](std::string_view serial) { return MakeAccessCode(serial, 2, s, 8, e, 8, 0); };
    // Missing and invalid digits count as 0; lower case as upper case.
    EXPECT_EQ(code(""), code("0000000000000000"));
    EXPECT_EQ(code("5C"), code("5C00000000000000"));
    EXPECT_EQ(code("ZZ?!"), code("0000000000000000"));
    EXPECT_EQ(code("49d99fb70167ec5c"), code(kSerial));
    EXPECT_EQ(code(kSerial + "FFFF"), code(kSerial));
    for (std::string_view id : { "49D99FB70167EC5C", "49d99fb70167ec5c" })
        EXPECT_TRUE(isAccessCodeSerialId(id)) << id;
    for (std::string_view id :
        { "", "49D99FB70167EC5", "49D99FB70167EC5C0", "49D99FB70167EC5G", "49D99FB7 167EC5C" })
        EXPECT_FALSE(isAccessCodeSerialId(id)) << id;
}
