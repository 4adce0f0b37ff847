#pragma once
// The 1-Wire CRCs: CRC-8 over ROM ids and key data, CRC-16 over memory frames.
#include <cstddef>
#include <cstdint>
#include <span>

// One step of the CRC-8 on the accumulator shared by all callers (set it to 0 before the
// first byte); returns the new accumulator.
extern uint8_t Crc8Accumulator;
uint8_t Crc8Update(uint8_t b);

// Pure forms.
uint8_t crc8(std::span<const uint8_t> bytes, uint8_t seed = 0);
uint16_t crc16(std::span<const uint8_t> bytes, uint16_t seed = 0);

// A frame that ends in the two inverted CRC-16 bytes the device sent (low byte first) leaves
// this residue when the CRC runs over all of it.
inline constexpr uint16_t kCrc16GoodResidue = 0xB001;
