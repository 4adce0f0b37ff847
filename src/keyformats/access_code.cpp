#include "keyformats/access_code.h"

#include "bytes/codec.h"
#include "bytes/crc.h"

namespace {

using namespace std::chrono;

// The cipher's non-linear function, entry i = bit i.
constexpr uint32_t kNlf = 0x3A5C742E;
constexpr int kCipherCycles = 528;
constexpr int kKeyRestoreRotations = 48; // 528 + 48 = 9 full turns of the 64-bit key

inline int bit(uint8_t b, int n) { return (b >> n) & 1; }
inline int nlf(int index) { return static_cast<int>((kNlf >> index) & 1); }

// The short form's 4-bit year field takes the whole year value by OR, so from 2016 on its bit 4
// and up land on the version field and above. Codes issued since then, and the locks that
// check them, rely on this combined value: keep it.
constexpr uint32_t combineShortFormYear(uint32_t block, int yearsSince2000)
{
    return block | static_cast<uint32_t>(yearsSince2000 & 0xFF);
}

constexpr uint32_t field(int value, int width, int shift)
{
    return (static_cast<uint32_t>(value) & ((1u << width) - 1u)) << shift;
}

// A date that does not exist is taken as the nearest real one, so the day count is defined.
year_month_day realDate(year_month_day d)
{
    if (d.ok())
        return d;
    year y = d.year().ok() ? d.year() : year { 2000 };
    unsigned m = static_cast<unsigned>(d.month());
    m = m < 1 ? 1 : (m > 12 ? 12 : m);
    const year_month_day_last last { y / month { m } / std::chrono::last };
    unsigned dd = static_cast<unsigned>(d.day());
    dd = dd < 1 ? 1 : (dd > static_cast<unsigned>(last.day()) ? static_cast<unsigned>(last.day()) : dd);
    return y / month { m } / day { dd };
}

int yearsSince2000(year_month_day d) { return (static_cast<int>(d.year()) - 2000) & 0xFF; }

uint8_t packedBcd(int y) { return static_cast<uint8_t>(16 * (y / 10) + y % 10); }

} // namespace

void AccessCodeRegisters::loadKey(std::string_view serialId)
{
    auto digit = [&](size_t pos) -> int { // pos 1..16 from the left
        if (pos > serialId.size())
            return 0;
        char c = serialId[pos - 1];
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
        const int v = Change(c);
        return v > 15 ? 0 : v;
    };
    for (size_t k = 0; k < 8; ++k)
        KeyRegister[k] = static_cast<uint8_t>(16 * digit(15 - 2 * k) + digit(16 - 2 * k));
}

void AccessCodeRegisters::LeftCsr()
{
    const uint8_t top = Csr[0] >> 7;
    for (int i = 0; i < 3; ++i)
        Csr[i] = static_cast<uint8_t>((Csr[i] << 1) | (Csr[i + 1] >> 7));
    Csr[3] = static_cast<uint8_t>((Csr[3] << 1) | top);
}

void AccessCodeRegisters::LeftCsr2()
{
    const uint8_t top = Csr[0] >> 7;
    for (int i = 0; i < 4; ++i)
        Csr[i] = static_cast<uint8_t>((Csr[i] << 1) | (Csr[i + 1] >> 7));
    Csr[4] = static_cast<uint8_t>((Csr[4] << 1) | top);
}

void AccessCodeRegisters::LeftPassword()
{
    const uint8_t top = KeyRegister[0] >> 7;
    for (int i = 0; i < 7; ++i)
        KeyRegister[i] = static_cast<uint8_t>((KeyRegister[i] << 1) | (KeyRegister[i + 1] >> 7));
    KeyRegister[7] = static_cast<uint8_t>((KeyRegister[7] << 1) | top);
}

void AccessCodeRegisters::Decryp1()
{
    for (int i = 0; i < 4; ++i)
        Csr[i] = CsrInput[i];
    for (int r = 0; r < kCipherCycles; ++r) {
        // Bits of the 32-bit y: byte 0 holds 31-24, byte 3 holds 7-0.
        const int index = bit(Csr[3], 0) + 2 * bit(Csr[2], 0) + 4 * bit(Csr[1], 3) + 8 * bit(Csr[0], 1)
            + 16 * bit(Csr[0], 6);
        const int keyBit = bit(KeyRegister[6], 7); // bit 15 of the key
        const int b = nlf(index) ^ bit(Csr[2], 7) ^ bit(Csr[0], 7) ^ keyBit;
        LeftCsr();
        Csr[3] = static_cast<uint8_t>((Csr[3] & 0xFE) | b);
        LeftPassword();
    }
    for (int r = 0; r < kKeyRestoreRotations; ++r)
        LeftPassword();
}

void AccessCodeRegisters::Decryp2()
{
    for (int i = 0; i < 5; ++i)
        Csr[i] = CsrInput[i];
    for (int r = 0; r < kCipherCycles; ++r) {
        // Bits of the 40-bit y: byte 0 holds 39-32, byte 4 holds 7-0.
        const int index = bit(Csr[4], 0) + 2 * bit(Csr[3], 0) + 4 * bit(Csr[2], 3) + 8 * bit(Csr[1], 3)
            + 16 * bit(Csr[0], 3);
        const int keyBit = bit(KeyRegister[6], 7);
        const int b = nlf(index) ^ bit(Csr[2], 4) ^ bit(Csr[0], 7) ^ keyBit;
        LeftCsr2();
        Csr[4] = static_cast<uint8_t>((Csr[4] & 0xFE) | b);
        LeftPassword();
    }
    for (int r = 0; r < kKeyRestoreRotations; ++r)
        LeftPassword();
}

AccessCodeBlock accessCodeBlock(int codeType, year_month_day startDate, int startHour, year_month_day endDate,
                                int endHour, int version)
{
    const year_month_day start = realDate(startDate), end = realDate(endDate);
    const int dayOfYear = (local_days { start } - local_days { start.year() / January / 1 }).count() + 1;
    const int spanDays = (local_days { end } - local_days { start }).count();
    const bool yearChange = start.year() != end.year();

    AccessCodeBlock block;
    block.startYear = yearsSince2000(start);
    block.endYear = yearsSince2000(end);
    block.longForm = spanDays > 30 || yearChange;
    uint32_t w;
    if (!block.longForm) {
        w = field(dayOfYear, 9, 23) | field(spanDays, 5, 18) | field(codeType, 2, 16) | field(startHour, 5, 11)
            | field(endHour, 5, 6) | field(version, 2, 4);
        w = combineShortFormYear(w, block.startYear);
    } else {
        w = field(dayOfYear, 9, 23) | field(spanDays, 9, 14) | field(codeType, 2, 12) | field(startHour, 5, 7)
            | field(endHour, 5, 2) | field(version, 2, 0);
        block.plain[4] = static_cast<uint8_t>(block.startYear | (yearChange ? 0x80 : 0));
    }
    for (int i = 0; i < 4; ++i)
        block.plain[i] = static_cast<uint8_t>(w >> (24 - 8 * i));
    return block;
}

AccessCodeBytes accessCodeBytes(AccessCodeRegisters& regs, std::string_view serialId, const AccessCodeBlock& block)
{
    regs.loadKey(serialId);
    regs.CsrInput = block.plain;
    const int n = block.longForm ? 5 : 4;
    if (block.longForm)
        regs.Decryp2();
    else
        regs.Decryp1();
    const uint8_t check = crc8(std::span<const uint8_t>(regs.Csr.data(), static_cast<size_t>(n)));
    regs.Csr[static_cast<size_t>(n)] = check;

    const uint8_t ys = packedBcd(block.startYear), ye = packedBcd(block.endYear);
    const std::array<uint8_t, 5> mask { ys, static_cast<uint8_t>(~ys), ye, static_cast<uint8_t>(~ye), 0x5A };
    AccessCodeBytes out;
    for (int j = 0; j < n; ++j)
        out.bytes[j] = mask[j] ^ regs.Csr[j];
    if (block.longForm) {
        out.bytes[5] = check; // the long form leaves the check byte unmasked
        out.count = 6;
    } else {
        out.bytes[4] = mask[4] ^ check;
        out.count = 5;
    }
    return out;
}

std::string accessCodeDigits(const AccessCodeBytes& coded)
{
    std::string digits;
    auto put = [&](int nibble) { digits += static_cast<char>('0' + (nibble < 10 ? nibble : nibble - 10)); };
    for (int j = 0; j < coded.count && j < static_cast<int>(coded.bytes.size()); ++j) {
        put(coded.bytes[j] >> 4);
        put(coded.bytes[j] & 0x0F);
    }
    return digits;
}

std::string MakeAccessCode(std::string_view serialId, int codeType, year_month_day startDate, int startHour,
                           year_month_day endDate, int endHour, int version)
{
    AccessCodeRegisters regs;
    const AccessCodeBlock block = accessCodeBlock(codeType, startDate, startHour, endDate, endHour, version);
    return accessCodeDigits(accessCodeBytes(regs, serialId, block));
}

bool isAccessCodeSerialId(std::string_view serialId)
{
    if (serialId.size() != 16)
        return false;
    for (char c : serialId)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}
