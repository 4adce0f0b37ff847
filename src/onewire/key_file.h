#pragma once
// Key files: one file per key in the emulated reader's folder. The format is described in
// src/onewire/README.md; this header is the one way to make, load and save them (the
// program's emulated reader, the lock simulator and the demo workspace all use it).
#include "bytes/codec.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace onewire {

// Families the emulated bus models; any other family is a serial-number-only key.
inline constexpr uint8_t kFamilyIdChip = 0x01;  // reader id chip, DS1990A-like user keys
inline constexpr uint8_t kFamilyDS1994 = 0x04;  // 4 Kbit NVRAM + real-time clock
inline constexpr uint8_t kFamilyDS1904 = 0x24;  // real-time clock
inline constexpr uint8_t kFamilyDS1977 = 0x37;  // 32 KB password-protected EEPROM

inline constexpr int kKeyFileVersion = 1;
inline constexpr std::string_view kKeyFileExtension = ".key";
// A key file larger than this is not a key file.
inline constexpr std::size_t kMaxKeyFileBytes = 1u << 20;

// DS1977 address space.
inline constexpr std::size_t kDS1977PageSize = 64;
inline constexpr int kDS1977UserPages = 511;                 // pages 0..510
inline constexpr std::size_t kDS1977MemorySize = 0x8000;     // incl. the register page
inline constexpr uint16_t kDS1977ReadPasswordAddress = 0x7FC0;
inline constexpr uint16_t kDS1977FullPasswordAddress = 0x7FC8;
inline constexpr uint16_t kDS1977PasswordControlAddress = 0x7FD0; // AAh enables passwords
inline constexpr uint8_t kDS1977PasswordsEnabled = 0xAA;

// DS1994 address space: 16 pages of 32 bytes, then the clock registers.
inline constexpr std::size_t kDS1994PageSize = 32;
inline constexpr std::size_t kDS1994MemorySize = 0x220;
inline constexpr uint16_t kDS1994StatusAddress = 0x200;
inline constexpr uint16_t kDS1994ControlAddress = 0x201;
inline constexpr uint16_t kDS1994ClockAddress = 0x202; // fraction byte, then 4 seconds bytes LE
inline constexpr uint8_t kDS1994OscillatorBit = 0x10;

// DS1904 control byte: both OSC bits set means the clock runs.
inline constexpr uint8_t kDS1904Running = 0x0C;

using Bytes = std::vector<uint8_t>;
using Page = std::array<uint8_t, 64>;

// Everything a key keeps: its ROM id, its memory and registers, and its clock.
struct KeyFile {
    RomId rom {};
    // The part's address space (DS1977: 0000h-7FFFh incl. passwords and control register;
    // DS1994: 0000h-021Fh incl. clock registers; empty for the other families).
    Bytes memory;
    // Clock of DS1994 and DS1904 keys: the counter held clockSeconds at host time clockSetAt
    // (Unix seconds). While the oscillator runs the counter advances with the host clock.
    uint32_t clockSeconds = 0;
    int64_t clockSetAt = 0;
    // DS1904 control byte (user flags and OSC bits). DS1994 keeps its control in memory.
    uint8_t control = 0;

    uint8_t family() const { return rom[0]; }
};

// A ROM id of the family with the 48-bit serial (LSB first on the wire) and its CRC-8.
RomId makeRomId(uint8_t family, uint64_t serial);
bool romIdValid(const RomId& rom);

// Blank keys as they leave the factory: memory FFh, passwords disabled, clocks stopped at 0.
KeyFile blankDS1977(const RomId& rom);
KeyFile blankDS1994(const RomId& rom);
KeyFile blankDS1904(const RomId& rom);
// A key of any family; DS1977/DS1994/DS1904 families get their blank memory, others none.
KeyFile blankKey(const RomId& rom);
// Memory size of a family's model (0 for serial-number-only keys).
std::size_t memorySizeOf(uint8_t family);

// DS1977 page access (pages 0..510). Out-of-range pages: nullopt / false.
std::optional<Page> ds1977Page(const KeyFile& key, int page);
bool setDS1977Page(KeyFile& key, int page, std::span<const uint8_t, 64> bytes);
// Installs the two passwords and switches them on or off (control register AAh / 00h).
void setDS1977Passwords(KeyFile& key, const std::array<uint8_t, 8>& readPassword,
                        const std::array<uint8_t, 8>& fullPassword, bool enabled);
bool ds1977PasswordsEnabled(const KeyFile& key);

// DS1994 memory page (0..15, 32 bytes).
bool setDS1994Page(KeyFile& key, int page, std::span<const uint8_t> bytes);

// Clock of a DS1994/DS1904 key. running decides the oscillator bits.
void setClock(KeyFile& key, uint32_t seconds, bool running, int64_t now);
bool clockRunning(const KeyFile& key);
// The counter as the key would show it at host time now.
uint32_t clockAt(const KeyFile& key, int64_t now);

// Text form. parse never throws: a damaged or foreign text gives nullopt and a reason.
struct KeyFileResult {
    std::optional<KeyFile> key;
    std::string error; // empty on success
};
KeyFileResult parseKeyFile(std::string_view text);
std::string formatKeyFile(const KeyFile& key);

// Files. load reads at most kMaxKeyFileBytes; save writes a temporary file in the same
// folder, flushes it to the disk and renames it over the old one, so a key file is always
// either the old or the new key, never half of each.
KeyFileResult loadKeyFile(const std::filesystem::path& path);
bool saveKeyFile(const std::filesystem::path& path, const KeyFile& key, std::string* error = nullptr);

// "<RomId text>.key" in folder, e.g. "Reader/8C00000001A2B337.key".
std::filesystem::path keyFilePath(const std::filesystem::path& folder, const RomId& rom);

} // namespace onewire
