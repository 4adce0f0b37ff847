#pragma once
// The firmware image key: a lock program image file laid onto a DS1977, page 0 the
// FirmwareKeyHeader, pages 1..N the program bytes from the start address on.
#include "keyformats/mission_key.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

inline constexpr int kFirmwareKeyPages = 511; // pages 0-510
using FirmwareKeyImage = std::array<MissionKeyPage, kFirmwareKeyPages>;

// Image files hold the lock's program memory with file offset = program address.
inline constexpr std::size_t kFirmwareHeaderFileOffset = 0x07F0; // header bytes 0-11 from here
inline constexpr std::size_t kFirmwareMarkFileOffset = 0x07FF; // header byte 60 from here
inline constexpr std::size_t kFirmwareProgramFileOffset = 0x0800; // program pages from here
inline constexpr std::string_view kFirmwareStartText = "0800";
inline constexpr std::string_view kFirmwareEndText = "3D80";
inline constexpr std::string_view kFirmwareVersionPlaceholder = "00000000";

// An image file the key cannot be made from (too short to hold the header).
class FirmwareFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Four hexadecimal digits (upper case, as the address fields hold them), most significant
// first; nullopt for anything else.
std::optional<uint16_t> firmwareAddress(std::string_view text);

// N, the program pages: (end - start) / 64, plus one for a remainder. 0 when end < start;
// never more than the 510 pages after the header.
int firmwareProgramPages(uint16_t start, uint16_t end);

// Version Num as Write File takes it: digit, ".", digit.
bool validFirmwareVersion(std::string_view version);

namespace firmware_header {
inline constexpr std::size_t kFileBytes = 0; // 0-11: image file bytes 07F0h-07FBh
inline constexpr std::size_t kFileByteCount = 12;
inline constexpr std::size_t kVersionMajor = 12;
inline constexpr std::size_t kVersionDot = 13;
inline constexpr std::size_t kVersionMinor = 14;
inline constexpr std::size_t kEndHigh = 15;
inline constexpr std::size_t kEndLow = 16;
inline constexpr std::size_t kCrc = 17; // CRC-8 over bytes 0-16
inline constexpr std::size_t kMark = 60; // image file byte 07FFh
} // namespace firmware_header

// Page 0 of the key. version must pass validFirmwareVersion.
MissionKeyPage firmwareKeyHeader(std::span<const uint8_t, 12> fileBytes, uint8_t mark, std::string_view version,
    uint16_t end);

// The whole key image from the image file's bytes: the header, then program page p
// (1..N) byte k = file byte 0800h + 64 (p - 1) + k for program addresses start..end; what the
// file lacks stays 00h, as do the pages after N. Throws FirmwareFileError when the file ends
// before offset 0800h.
FirmwareKeyImage buildFirmwareKeyImage(std::span<const uint8_t> file, uint16_t start, uint16_t end,
    std::string_view version);

// How many bytes of an image file buildFirmwareKeyImage can use (a longer file is read no further).
std::size_t firmwareFileBytesUsed(uint16_t start, uint16_t end);

// The image file that belongs to a lock hardware version ("3000" ...); nullopt when none does.
std::optional<std::string_view> firmwareFileNameFor(std::string_view hardwareVersion);

// The version to write after the lock's software version text ("2.3" gives "3.3", "2.0"
// gives "3", "8.4" gives "1"); nullopt when the text is not a decimal number.
std::optional<std::string> nextFirmwareVersion(std::string_view softwareVersion);
