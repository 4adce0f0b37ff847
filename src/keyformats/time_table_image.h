#pragma once
// The 1,024-byte time table a lock loads (16 pages): time-shift groups, the two lock-mode
// schedules, activation/expiration periods and holiday periods, all packed BCD; FFh where
// nothing is written. Composed from rows already read from the database.
#include "keyformats/mission_key.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using TimeTableImageBytes = std::array<uint8_t, 1024>;

namespace timetable {
inline constexpr std::size_t kPages = 16;
inline constexpr std::size_t kTimeShiftGroups = 16;    // groups 1..16
inline constexpr std::size_t kEntriesPerGroup = 7;
inline constexpr std::size_t kTimeShiftEntrySize = 5;
inline constexpr std::size_t kTimeShiftGroupSize = kEntriesPerGroup * kTimeShiftEntrySize; // 35
inline constexpr std::size_t kFirstScheduleAt = 560;   // Storehouse / Classroom
inline constexpr std::size_t kSecondScheduleAt = 624;  // Lock / Unlock
inline constexpr std::size_t kScheduleEntries = 16;
inline constexpr std::size_t kScheduleEntrySize = 4;
inline constexpr std::size_t kActExpAt = 688;
inline constexpr std::size_t kHolidayAt = 848;
inline constexpr std::size_t kPeriodSlots = 16;
inline constexpr std::size_t kPeriodSize = 10;
inline constexpr std::size_t kEndAt = 1008; // 1008-1023 stay FFh

// Day bits of time shifts and schedule weekday masks.
inline constexpr uint8_t kSunday = 0x01, kMonday = 0x02, kTuesday = 0x04, kWednesday = 0x08, kThursday = 0x10,
                         kFriday = 0x20, kSaturday = 0x40;
// Schedule modes.
inline constexpr uint8_t kStorehouseMode = 0x00, kClassroomMode = 0x01, kUnlockMode = 0x01, kLockMode = 0x02;
} // namespace timetable

struct ClockTime {
    int hour = 0;
    int minute = 0;
};

// Year (four digits), month, day, hour, minute of one end of a period.
struct PeriodPoint {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
};

// One TimeShift row.
struct TimeShiftEntry {
    ClockTime begin;
    ClockTime end;
    std::string dayOfWeek; // 'Sunday' .. 'Saturday'; any other text is taken as Saturday
};

// One LockStatusST row.
struct ScheduleEntry {
    ClockTime begin;
    std::string lockStatus;        // 'Storehouse Mode', 'Classroom Mode', 'Lock Mode', 'Unlock Mode'
    std::array<bool, 7> days {};   // Sunday .. Saturday
};

// One ActExpDateST or ExceptionDateST row; an end the database leaves Null is nullopt and
// its five bytes stay FFh.
struct DatePeriod {
    std::optional<PeriodPoint> from;
    std::optional<PeriodPoint> to;
};

struct TimeTableRows {
    // Group g + 1 at index g, each group's rows ordered by BeginTime (at most 7 are placed).
    std::array<std::vector<TimeShiftEntry>, timetable::kTimeShiftGroups> timeShiftGroups;
    // The lock's Storehouse/Classroom rows, then its Lock/Unlock rows, each ordered by
    // BeginTime (at most 16 each are placed).
    std::vector<ScheduleEntry> firstSchedule;
    std::vector<ScheduleEntry> secondSchedule;
    // Every ActExpDateST row by GroupID: the first (the "No Limit" group) keeps slot 0 FFh,
    // row k fills slot k (k < 16).
    std::vector<DatePeriod> actExpGroups;
    // Every ExceptionDateST row by GroupID: the first is skipped, row k fills slot k - 1.
    std::vector<DatePeriod> holidayGroups;
};

uint8_t dayBit(const std::string& dayOfWeek);
uint8_t weekdayMask(const std::array<bool, 7>& days);

TimeTableImageBytes TimeTableImage(const TimeTableRows& rows);

// Image bytes 64p .. 64p + 63 (p = 0..15).
MissionKeyPage timeTablePage(const TimeTableImageBytes& image, std::size_t p);
