#pragma once
// The 1-Wire CRC-8 written out bit by bit (x^8 + x^5 + x^4 + 1, reflected): an oracle apart
// from the table-driven one the program uses.
#include <cstddef>
#include <cstdint>

namespace setupdump_test {
inline uint8_t oneWireCrc8(const uint8_t* bytes, std::size_t n)
{
    uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        uint8_t b = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ b) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            b >>= 1;
        }
    }
    return crc;
}
} // namespace setupdump_test
