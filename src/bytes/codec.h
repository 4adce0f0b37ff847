#pragma once
// Hex and BCD helpers of the key formats, and the ROM id text convention.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Date-times below the windows are naive local times in whole seconds.
using DateTime = std::chrono::local_seconds;

// Index of ch in "0123456789ABCDEF" (upper case only), 16 for any other character.
int Change(char ch);

// 0..99 to its packed-BCD byte.
uint8_t ByteToBCD(int v);

// The conversion error of CreateDateTime: a digit above 9 or no real date or time.
class DateConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Six packed-BCD bytes to the date-time of year 2000 + yy. Throws DateConversionError.
DateTime CreateDateTime(uint8_t yy, uint8_t mm, uint8_t dd, uint8_t hh, uint8_t mi, uint8_t ss);

// The same without the exception, for callers that test first.
std::optional<DateTime> tryCreateDateTime(uint8_t yy, uint8_t mm, uint8_t dd, uint8_t hh, uint8_t mi,
                                          uint8_t ss);

using RomId = std::array<uint8_t, 8>; // ROM order: family code first, CRC-8 last

// The ROM id as shown and stored: 16 upper-case hex digits of bytes 7 down to 0.
std::string romIdText(const RomId& rom);
// The inverse; nullopt unless the text is exactly 16 hex digits (either case).
std::optional<RomId> romIdFromText(std::string_view text);

// Two upper-case hex digits of a byte.
std::string hexByte(uint8_t b);
