#pragma once
// Page 0 of a DS1977 mission key: the "WRITE"/"READ" marker, the kind byte and where the
// site's facility code stands, and how the Read Key window names a key from it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

using MissionKeyPage = std::array<uint8_t, 64>;
using FacilityCodeBytes = std::array<uint8_t, 3>; // packed BCD, stored order

inline constexpr int kLastKeyPage = 510; // the program uses pages 0-510

// A page as a writer starts it: every byte FFh.
MissionKeyPage blankMissionKeyPage();

// Kind bytes of "READ" keys (byte 4).
namespace ReadKind {
inline constexpr uint8_t GetInformation = 0x00;
inline constexpr uint8_t GetAuditTrail = 0x01;
inline constexpr uint8_t AuditTrailFirstKey = 0x02;
inline constexpr uint8_t AuditTrailSecondKey = 0x03;
inline constexpr uint8_t SetParameterData = 0xE0; // also Time Function Active
inline constexpr uint8_t MultiLockAuditTrail = 0xFB;
inline constexpr uint8_t OneOff = 0xFC;
inline constexpr uint8_t SetTime = 0xFD;
inline constexpr uint8_t SetParameter = 0xFE;
inline constexpr uint8_t IRStarter = 0xFF;
} // namespace ReadKind

// Kind bytes of "WRITE" keys (byte 5).
namespace WriteKind {
inline constexpr uint8_t NewLockSetup = 0;
inline constexpr uint8_t Lockout = 1;
inline constexpr uint8_t KeyManagement = 2;
inline constexpr uint8_t MultiLock = 3; // also Delete Code and Set Time Table keys
} // namespace WriteKind

enum class MissionKeyMarker { None, Write, Read };

struct MissionKeyHeader {
    MissionKeyMarker marker = MissionKeyMarker::None;
    uint8_t kind = 0;

    static MissionKeyHeader fromPage(const MissionKeyPage& page0);

    // Offset of the three facility code bytes on page 0; nullopt for a kind that carries none.
    std::optional<std::size_t> facilityCodeOffset() const;
    bool facilityCodeMatches(const MissionKeyPage& page0, const FacilityCodeBytes& site) const;
};

// "READ", the kind at byte 4 and the facility code at bytes 5-7 over what the page holds.
void putReadHeader(MissionKeyPage& page, uint8_t kind, const FacilityCodeBytes& facilityCode);

enum class MissionKeyType {
    NotMissionKey, // neither marker: "Wrong key please insert program key."
    Unnamed, // a marker with a kind the reader does not name: no title, no message
    NewLockSetup,
    Lockout,
    KeyManagement,
    SetTimeTable,
    MultiLock,
    GetInformation,
    GetAuditTrail, // kinds 01h, 02h and 03h
    MultiLockAuditTrail,
    SetParameter,
    IRStarter,
};

struct MissionKeyIdentity {
    MissionKeyType type = MissionKeyType::NotMissionKey;
    MissionKeyHeader header;
    std::optional<std::size_t> facilityCodeOffset; // where the read checks it; nullopt: no check
    std::string_view title; // "Key Type:" text; empty for the first two types
};

MissionKeyIdentity identifyMissionKey(const MissionKeyPage& page0);
