#include "bytes/codec.h"

int Change(char ch)
{
    static constexpr std::string_view digits = "0123456789ABCDEF";
    const auto pos = digits.find(ch);
    return pos == std::string_view::npos ? 16 : static_cast<int>(pos);
}

uint8_t ByteToBCD(int v) { return static_cast<uint8_t>((v / 10) * 16 + v % 10); }

namespace {
// A packed-BCD byte read as the decimal number its two hex digits spell; -1 for a digit above 9.
int bcdValue(uint8_t b)
{
    const int hi = b >> 4, lo = b & 0x0F;
    return (hi > 9 || lo > 9) ? -1 : hi * 10 + lo;
}
} // namespace

std::optional<DateTime> tryCreateDateTime(uint8_t yy, uint8_t mm, uint8_t dd, uint8_t hh, uint8_t mi, uint8_t ss)
{
    using namespace std::chrono;
    const int y = bcdValue(yy), mo = bcdValue(mm), d = bcdValue(dd);
    const int h = bcdValue(hh), m = bcdValue(mi), s = bcdValue(ss);
    if (y < 0 || mo < 0 || d < 0 || h < 0 || m < 0 || s < 0)
        return std::nullopt;
    if (h > 23 || m > 59 || s > 59)
        return std::nullopt;
    const year_month_day ymd { year { 2000 + y }, month { static_cast<unsigned>(mo) }, day { static_cast<unsigned>(d) } };
    if (!ymd.ok())
        return std::nullopt;
    return local_days { ymd } + hours { h } + minutes { m } + seconds { s };
}

DateTime CreateDateTime(uint8_t yy, uint8_t mm, uint8_t dd, uint8_t hh, uint8_t mi, uint8_t ss)
{
    if (auto t = tryCreateDateTime(yy, mm, dd, hh, mi, ss))
        return *t;
    throw DateConversionError("Invalid argument to date encode");
}

std::string hexByte(uint8_t b)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return { digits[b >> 4], digits[b & 0x0F] };
}

std::string romIdText(const RomId& rom)
{
    std::string s;
    for (int i = 7; i >= 0; --i)
        s += hexByte(rom[i]);
    return s;
}

std::optional<RomId> romIdFromText(std::string_view text)
{
    if (text.size() != 16)
        return std::nullopt;
    RomId rom {};
    for (int i = 0; i < 8; ++i) {
        auto up = [](char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 32) : c; };
        const int hi = Change(up(text[14 - 2 * i])), lo = Change(up(text[15 - 2 * i]));
        if (hi > 15 || lo > 15)
            return std::nullopt;
        rom[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return rom;
}
