#include "bytes/crc.h"

#include <array>

namespace {
constexpr std::array<uint8_t, 256> makeCrc8Table()
{
    std::array<uint8_t, 256> t {};
    for (int i = 0; i < 256; ++i) {
        uint8_t crc = 0;
        uint8_t b = static_cast<uint8_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ b) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            b >>= 1;
        }
        t[i] = crc;
    }
    return t;
}

constexpr std::array<uint16_t, 256> makeCrc16Table()
{
    std::array<uint16_t, 256> t {};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        t[i] = crc;
    }
    return t;
}

constexpr auto kCrc8Table = makeCrc8Table();
constexpr auto kCrc16Table = makeCrc16Table();
} // namespace

uint8_t Crc8Accumulator = 0;

uint8_t Crc8Update(uint8_t b)
{
    Crc8Accumulator = kCrc8Table[b ^ Crc8Accumulator];
    return Crc8Accumulator;
}

uint8_t crc8(std::span<const uint8_t> bytes, uint8_t seed)
{
    uint8_t crc = seed;
    for (uint8_t b : bytes)
        crc = kCrc8Table[b ^ crc];
    return crc;
}

uint16_t crc16(std::span<const uint8_t> bytes, uint16_t seed)
{
    uint16_t crc = seed;
    for (uint8_t b : bytes)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrc16Table[(crc ^ b) & 0xFF]);
    return crc;
}
