#pragma once
// One user of a lock's key list as a key carries it (20 bytes, three to a page at bytes 0,
// 20 and 40; bytes 60-63 FFh).
#include "keyformats/mission_key.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using KeyListEntryBytes = std::array<uint8_t, 20>;

inline constexpr std::size_t kKeyListEntriesPerPage = 3;
inline constexpr std::size_t kKeyListEntrySize = 20;
inline constexpr std::size_t kMaxKeyCodeDigits = 10;

// The columns of a lock's key-list row that reach the key.
struct KeyListUser {
    std::string userType; // 'iButton', 'KeyCode'; any other text is a Complex user
    std::string serialId; // the user's iButton ROM id text (16 hex digits), may be empty
    std::string keyCode;  // decimal digits, may be empty
    int timeShiftId = 1;  // 1: "No Limit"
    int actExpDateId = 1; // 1: "No Limit"
    bool expDate = false; // the holiday schedule applies
};

// Byte 0 the key code's digit count and bytes 1-5 the code right-padded with "0" to ten
// digits, two to a byte (FFh when the user type carries no code, or the code is not one to
// ten decimal digits); bytes 8-15 the iButton ROM id in ROM order (FFh when the user type
// carries none, or the text is not 16 hex digits); byte 16 TimeShiftID - 1 (FFh for group
// 1); byte 17 high nibble 0 when the holiday schedule applies else Fh, low nibble
// ActExpDateID - 1 (Fh for group 1); the rest FFh.
KeyListEntryBytes KeyListEntry(const KeyListUser& user);

// Entry n (from 0) of a run at page n / 3, byte 20 * (n % 3). Returns ceil(count / 3)
// pages, at least pagesAtLeast, pre-filled with FFh.
std::vector<MissionKeyPage> keyListPages(const std::vector<KeyListUser>& users, std::size_t pagesAtLeast = 0);
