#pragma once
// What a lock writes onto a Get Information key, read back: its state (page 1), its audit
// count, battery and level (page 2), the keys it holds (32-byte entries from page 3) and its
// settings image (the time table layout, pages 285-300). Pure decoders: no database, no Qt.
#include "bytes/codec.h"
#include "keyformats/mission_key.h"
#include "keyformats/time_table_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace getinfo {
inline constexpr int kInformationPage = 1;
inline constexpr int kVersionPage = 2;
inline constexpr int kKeyListFirstPage = 3;
inline constexpr int kImageFirstPage = 285;
inline constexpr int kKeyListLastPage = kImageFirstPage - 1; // the key list never reaches the image
inline constexpr std::size_t kKeyListEntrySize = 32;
inline constexpr std::size_t kKeyListEntriesPerPage = 2;
// Entries that fit on pages 3-284; a larger count from the lock is cut to this.
inline constexpr int kMaxKeyListEntries
    = (kKeyListLastPage - kKeyListFirstPage + 1) * int(kKeyListEntriesPerPage);
inline constexpr std::size_t kMaxKeyCodeDigits = 12;
} // namespace getinfo

// Page 1 as the lock leaves it.
struct LockInformationPage {
    bool keyListEnabled = false; // byte 0 'Z'
    bool manualSetupEnabled = true; // byte 1 not 'Z' (inverse sense)
    bool daylightSavingFunction = false; // byte 14 'Z'
    bool daylightSavingInForce = false; // byte 15 'Z'
    RomId lockRom {}; // bytes 16-23, ROM order
    bool blink = false; // byte 24 'Z'
    bool classroomMode = false; // byte 25 'Z'
    uint16_t hardwareVersion = 0; // bytes 44-45, byte 44 high
    std::array<uint8_t, 3> softwareVersion {}; // bytes 46-48, ASCII
    uint16_t userCount = 0; // bytes 49-50, MSB first: N, as the lock reports it
    std::optional<DateTime> lockTime; // bytes 57, 58, 60-63; nullopt: "Lock Time Is Invalid value"

    // Bytes 16-23 all FFh: the key has not been to a lock.
    bool visitedLock() const;
    std::string lockSerialText() const; // 16 upper-case hex digits, byte 23 first
    std::string hardwareVersionText() const; // four hex digits, byte 44 first
    std::string softwareVersionText() const; // the three characters as stored

    // The texts of the Lock Information tab.
    const char* keyListStatusText() const { return keyListEnabled ? "Enable" : "Disable"; }
    const char* manualSetupStatusText() const { return manualSetupEnabled ? "Enable" : "Disable"; }
    const char* daylightSavingStatusText() const { return daylightSavingFunction ? "Enable" : "Disable"; }
    // Empty when the function is off.
    const char* daylightSavingText() const
    {
        return !daylightSavingFunction ? "" : daylightSavingInForce ? "Yes" : "No";
    }
    const char* blinkText() const { return blink ? "Enable" : "Disable"; }
    const char* lockModeText() const { return classroomMode ? "Classroom Mode" : "Storehouse Mode"; }
};
LockInformationPage decodeLockInformationPage(const MissionKeyPage& page1);

// Page 2 as the lock leaves it.
struct LockVersionPage {
    int auditRecordCount = 0; // bytes 0-1 under the byte-order rule
    uint8_t battery = 0; // byte 24
    uint8_t level = 0; // byte 25

    std::string batteryText() const; // volts = reading x 4.8 / 109 under "####.#"
    // "Low", "Midium", "High" for 0, 1, 3; nullopt for any other value (the field keeps its text).
    std::optional<std::string> lockLevelText() const;
};
LockVersionPage decodeLockVersionPage(const MissionKeyPage& page2);

// Bytes 0, 1 of page 2: high byte first while byte 0 is at most 0Ch (or 0Dh 00h, 3328),
// else low byte first.
int auditRecordCount(uint8_t b0, uint8_t b1);
// A value under the display format "####.#": one decimal, no leading zero, no trailing ".0",
// nothing at all for zero.
std::string formatOptionalDigits(double value);

enum class LockKeyKind { IButton, KeyCode, Complex };

// One key the lock holds (32 bytes, two to a page at 0 and 32).
struct LockKeyListEntry {
    LockKeyKind kind = LockKeyKind::IButton;
    std::string keyCode; // the first L digits (L cut to 12); empty for an iButton entry
    std::string serialText; // 14 hex digits of bytes 14 down to 8; empty for a key-code entry
    int timeShiftId = 1; // byte 16: FFh group 1, else byte + 1
    int actExpDateId = 1; // byte 17 low nibble: Fh group 1, else nibble + 1
    bool expDate = false; // byte 17 high nibble not Fh: the holiday groups apply

    bool hasKeyCode() const { return kind != LockKeyKind::IButton; }
    bool hasIButton() const { return kind != LockKeyKind::KeyCode; }
};
LockKeyListEntry decodeLockKeyListEntry(std::span<const uint8_t, getinfo::kKeyListEntrySize> bytes);

// The key-list pages read for a user count n: pages 3 to 3 + n div 2 + 1, never past the
// last key-list page; and the entries decoded: n, cut to what those pages hold.
struct KeyListPlan {
    int entries = 0;
    int firstPage = getinfo::kKeyListFirstPage;
    int lastPage = getinfo::kKeyListFirstPage;
    int pageCount() const { return lastPage - firstPage + 1; }
    // Entries of the q-th page read (0, 1 or 2), and where entry i lies.
    int entriesOnPage(int q) const;
    static std::size_t offsetOf(int entry) { return getinfo::kKeyListEntrySize * std::size_t(entry % 2); }
};
KeyListPlan planKeyList(int userCount);

// ---- The settings image read back ----

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    bool operator==(const TimeOfDay&) const = default;
};

// One decoded row of TimeShift1.
struct DecodedTimeShift {
    int groupId = 0;
    TimeOfDay begin, end;
    std::optional<std::string> dayOfWeek; // nullopt: a day code none of the seven bits
    bool operator==(const DecodedTimeShift&) const = default;
};

// One decoded row of LockStatusST1 (LockStatusID 1).
struct DecodedSchedule {
    TimeOfDay begin;
    std::optional<std::string> lockStatus; // nullopt: a second-schedule mode neither 01h nor 02h
    std::array<bool, 7> days {}; // Sunday .. Saturday
    bool operator==(const DecodedSchedule&) const = default;
};

// One decoded row of ActExpDateST1 or ExceptionDateST1; group 1 has no dates.
struct DecodedPeriod {
    int groupId = 0;
    std::optional<DateTime> from, to;
    bool operator==(const DecodedPeriod&) const = default;
};

// Which step a conversion error ended the decoding in.
enum class ImageStep { TimeShifts, FirstSchedule, SecondSchedule, ActExp, Holidays };

struct DecodedSettingsImage {
    std::vector<DecodedTimeShift> timeShifts;
    std::vector<DecodedSchedule> schedules; // the first schedule's rows, then the second's
    std::vector<DecodedPeriod> actExpGroups; // group 1 first
    std::vector<DecodedPeriod> holidayGroups; // group 1 last
    // A time or date that does not convert ends the decoding there: the rows before it stay.
    std::optional<ImageStep> stoppedIn;
};

using SettingsImageBytes = TimeTableImageBytes;
DecodedSettingsImage decodeSettingsImage(const SettingsImageBytes& image);

// Two packed-BCD bytes as a time of day; nullopt for a nibble above 9, an hour above 23 or a
// minute above 59.
std::optional<TimeOfDay> bcdClockTime(uint8_t hour, uint8_t minute);

// The range check of a date slot's half: YY < 99h, 01h <= MM <= 12h, 01h <= DD <= 31h,
// hh <= 24h, mm <= 60h on the raw bytes.
bool periodHalfInRange(const uint8_t* half);

// The mode in force at a time of day: rows (Classroom and Storehouse entries, by begin time)
// are walked; at the first row that begins later, the row before it, or the last row when it
// is the first; nullopt when no row begins later (the lock's own mode stands).
struct ModeRow {
    int secondsOfDay = 0;
    std::string lockStatus;
};
std::optional<std::string> modeInForce(const std::vector<ModeRow>& rowsByBeginTime, int secondsOfDay);
