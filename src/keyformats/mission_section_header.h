#pragma once
// Page 1 of a WRITE kind 2 key: which sections the key carries, a flag byte and the number
// of key-list entries on it.
#include "keyformats/mission_key.h"

#include <cstdint>

namespace SectionBit {
inline constexpr uint8_t Always = 0x04; // set by the single-lock and copy-settings writers
inline constexpr uint8_t KeyList = 0x08;
inline constexpr uint8_t TimeTable = 0x10;
inline constexpr uint8_t OneOffCodes = 0x20;
} // namespace SectionBit

inline constexpr uint8_t kSectionFlag = 0x5A;

// Byte 0 the section bits, bytes 1-2 00h, byte 3 the flag (5Ah or 00h), bytes 4-5 the
// key-list entry count (most significant byte first), bytes 6-63 FFh. Counts above FFFFh
// are refused (std::invalid_argument): no key holds that many entries.
MissionKeyPage MissionSectionHeader(uint8_t sections, bool flag, int keyCount);
