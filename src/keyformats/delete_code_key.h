#pragma once
// The Delete Code Key (WRITE kind 3): tells one lock to drop remote access codes it would
// otherwise accept. Page 0 is the header, page 1 names the lock, pages 2-20 identify the
// codes (period, type and version), 16 bytes each, four to a page.
#include "bytes/codec.h"
#include "keyformats/mission_key.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr int kDeleteCodeSectionPage = 1;
inline constexpr int kDeleteCodeFirstEntryPage = 2;
inline constexpr int kDeleteCodeEntryPages = 19; // pages 2-20
inline constexpr int kDeleteCodeEntriesPerPage = 4;
inline constexpr int kDeleteCodeSlots = kDeleteCodeEntryPages * kDeleteCodeEntriesPerPage; // 76
inline constexpr std::size_t kDeleteCodeEntrySize = 16;

// Page 1 byte 8: the section tag, and whether the lock also forgets the codes it deleted before.
inline constexpr uint8_t kDeleteCodeTag = 0x40;
inline constexpr uint8_t kDeleteCodeTagClearMemory = 0x60;

// One withdrawn code as the AccessCode row holds it.
struct DeletedCode {
    DateTime start {};     // whole hours
    DateTime end {};
    std::string codeType;  // 'Once' or 'Temp'
    int lostTimes = 1;     // the code version plus one (1-4)
};

using DeleteCodeEntry = std::array<uint8_t, kDeleteCodeEntrySize>;

// Page 0: "WRITE", kind 3, one section, the facility code at bytes 7-9, the rest FFh.
MissionKeyPage deleteCodeKeyHeader(const FacilityCodeBytes& facilityCode);

// Page 1: the lock's ROM id (family code first), the tag, the 'Z' marker when the memory
// of deleted codes is cleared, and the number of codes (low 8 bits).
MissionKeyPage deleteCodeSection(const RomId& lock, bool clearDeletedCodeMemory, int codeCount);

// Packed-BCD start year (from 2000, two digits), month, day, hour, 00h, the end likewise,
// the type (00h 'Once', 01h any other) and the version (LostTimes - 1), then FFh.
DeleteCodeEntry deleteCodeEntry(const DeletedCode& code);

// Pages 2-20 in order: the first 76 codes in slots 0, 1, ...; empty slots FFh.
std::array<MissionKeyPage, kDeleteCodeEntryPages> deleteCodeEntryPages(std::span<const DeletedCode> codes);
