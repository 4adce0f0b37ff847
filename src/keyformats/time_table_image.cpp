#include "keyformats/time_table_image.h"

#include "bytes/codec.h"

#include <algorithm>
#include <stdexcept>

using namespace timetable;

namespace {
// Packed BCD of a value the database gives; out-of-range values cannot be carried in two
// digits, so they are kept to their last two.
uint8_t bcd(int v) { return ByteToBCD(((v % 100) + 100) % 100); }

void putPoint(uint8_t* at, const std::optional<PeriodPoint>& p)
{
    if (!p)
        return;
    at[0] = bcd(p->year);
    at[1] = bcd(p->month);
    at[2] = bcd(p->day);
    at[3] = bcd(p->hour);
    at[4] = bcd(p->minute);
}

void putPeriod(TimeTableImageBytes& image, std::size_t at, const DatePeriod& period)
{
    putPoint(image.data() + at, period.from);
    putPoint(image.data() + at + 5, period.to);
}

void putSchedule(TimeTableImageBytes& image, std::size_t at, const std::vector<ScheduleEntry>& rows, bool first)
{
    const std::size_t n = std::min(rows.size(), kScheduleEntries);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& r = rows[i];
        uint8_t* e = image.data() + at + kScheduleEntrySize * i;
        e[0] = bcd(r.begin.hour);
        e[1] = bcd(r.begin.minute);
        e[2] = weekdayMask(r.days);
        if (first)
            e[3] = r.lockStatus == "Storehouse Mode" ? kStorehouseMode : kClassroomMode;
        else
            e[3] = r.lockStatus == "Lock Mode" ? kLockMode : kUnlockMode;
    }
}
} // namespace

uint8_t dayBit(const std::string& d)
{
    if (d == "Sunday")
        return kSunday;
    if (d == "Monday")
        return kMonday;
    if (d == "Tuesday")
        return kTuesday;
    if (d == "Wednesday")
        return kWednesday;
    if (d == "Thursday")
        return kThursday;
    if (d == "Friday")
        return kFriday;
    return kSaturday;
}

uint8_t weekdayMask(const std::array<bool, 7>& days)
{
    uint8_t m = 0;
    for (std::size_t i = 0; i < days.size(); ++i)
        if (days[i])
            m |= static_cast<uint8_t>(1u << i);
    return m;
}

TimeTableImageBytes TimeTableImage(const TimeTableRows& rows)
{
    TimeTableImageBytes image;
    image.fill(0xFF);
    for (std::size_t g = 0; g < kTimeShiftGroups; ++g) {
        const auto& group = rows.timeShiftGroups[g];
        const std::size_t n = std::min(group.size(), kEntriesPerGroup);
        for (std::size_t i = 0; i < n; ++i) {
            const auto& r = group[i];
            uint8_t* e = image.data() + kTimeShiftGroupSize * g + kTimeShiftEntrySize * i;
            e[0] = bcd(r.begin.hour);
            e[1] = bcd(r.begin.minute);
            e[2] = bcd(r.end.hour);
            e[3] = bcd(r.end.minute);
            e[4] = dayBit(r.dayOfWeek);
        }
    }
    putSchedule(image, kFirstScheduleAt, rows.firstSchedule, true);
    putSchedule(image, kSecondScheduleAt, rows.secondSchedule, false);
    for (std::size_t k = 1; k < std::min(rows.actExpGroups.size(), kPeriodSlots); ++k)
        putPeriod(image, kActExpAt + kPeriodSize * k, rows.actExpGroups[k]);
    for (std::size_t k = 1; k < std::min(rows.holidayGroups.size(), kPeriodSlots + 1); ++k)
        putPeriod(image, kHolidayAt + kPeriodSize * (k - 1), rows.holidayGroups[k]);
    return image;
}

MissionKeyPage timeTablePage(const TimeTableImageBytes& image, std::size_t p)
{
    if (p >= kPages)
        throw std::out_of_range("time table page out of range");
    MissionKeyPage page;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(64 * p), 64, page.begin());
    return page;
}
