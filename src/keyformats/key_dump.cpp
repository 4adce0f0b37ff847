#include "keyformats/key_dump.h"

std::string keyDumpPageText(int page, std::span<const uint8_t, 64> bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "Page " + std::to_string(page) + "\r\n";
    text.reserve(text.size() + 2 * (32 * 3 + 2));
    for (std::size_t half = 0; half < 2; ++half) {
        for (std::size_t i = 0; i < 32; ++i) {
            const uint8_t b = bytes[half * 32 + i];
            text += kDigits[b >> 4];
            text += kDigits[b & 0x0F];
            text += ' ';
        }
        text += "\r\n";
    }
    return text;
}
