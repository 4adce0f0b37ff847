#include "keyformats/get_information.h"

#include "keyformats/audit_records.h"

#include <algorithm>
#include <cmath>

using namespace timetable;

namespace {
constexpr uint8_t kZ = 'Z';

const char* const kDayNames[7]
    = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" };

std::optional<std::string> dayName(uint8_t code)
{
    for (int i = 0; i < 7; ++i)
        if (code == (1u << i))
            return std::string(kDayNames[i]);
    return std::nullopt;
}

std::array<bool, 7> daysOf(uint8_t mask)
{
    std::array<bool, 7> d {};
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = (mask >> i) & 1u;
    return d;
}

char hexDigit(unsigned v)
{
    return "0123456789ABCDEF"[v & 0x0F];
}

int bcdValue(uint8_t b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

bool bcdDigits(uint8_t b)
{
    return (b >> 4) <= 9 && (b & 0x0F) <= 9;
}
} // namespace

// ---- Page 1 ----

bool LockInformationPage::visitedLock() const
{
    return std::any_of(lockRom.begin(), lockRom.end(), [](uint8_t b) { return b != 0xFF; });
}

std::string LockInformationPage::lockSerialText() const
{
    return romIdText(lockRom);
}

std::string LockInformationPage::hardwareVersionText() const
{
    return hexByte(uint8_t(hardwareVersion >> 8)) + hexByte(uint8_t(hardwareVersion));
}

std::string LockInformationPage::softwareVersionText() const
{
    return std::string(softwareVersion.begin(), softwareVersion.end());
}

LockInformationPage decodeLockInformationPage(const MissionKeyPage& p)
{
    LockInformationPage out;
    out.keyListEnabled = p[0] == kZ;
    out.manualSetupEnabled = p[1] != kZ;
    out.daylightSavingFunction = p[14] == kZ;
    out.daylightSavingInForce = p[15] == kZ;
    std::copy_n(p.begin() + 16, 8, out.lockRom.begin());
    out.blink = p[24] == kZ;
    out.classroomMode = p[25] == kZ;
    out.hardwareVersion = uint16_t(p[44] << 8 | p[45]);
    std::copy_n(p.begin() + 46, 3, out.softwareVersion.begin());
    out.userCount = uint16_t(p[49] << 8 | p[50]);
    out.lockTime = lockClockTime(p[57], p[58], p[60], p[61], p[62], p[63]);
    return out;
}

// ---- Page 2 ----

int auditRecordCount(uint8_t b0, uint8_t b1)
{
    if (b0 <= 0x0C || (b0 == 0x0D && b1 == 0x00))
        return b0 * 256 + b1;
    return b1 * 256 + b0;
}

std::string formatOptionalDigits(double value)
{
    const long long tenths = std::llround(std::fabs(value) * 10.0);
    if (tenths == 0)
        return std::string();
    std::string out = value < 0 ? "-" : "";
    if (tenths / 10 != 0)
        out += std::to_string(tenths / 10);
    if (tenths % 10 != 0)
        out += "." + std::to_string(tenths % 10);
    return out;
}

std::string LockVersionPage::batteryText() const
{
    return formatOptionalDigits(battery * 4.8 / 109.0);
}

std::optional<std::string> LockVersionPage::lockLevelText() const
{
    switch (level) {
    case 0:
        return std::string("Low");
    case 1:
        return std::string("Midium");
    case 3:
        return std::string("High");
    default:
        return std::nullopt;
    }
}

LockVersionPage decodeLockVersionPage(const MissionKeyPage& p)
{
    LockVersionPage out;
    out.auditRecordCount = auditRecordCount(p[0], p[1]);
    out.battery = p[24];
    out.level = p[25];
    return out;
}

// ---- Key list ----

LockKeyListEntry decodeLockKeyListEntry(std::span<const uint8_t, getinfo::kKeyListEntrySize> e)
{
    LockKeyListEntry out;
    const bool code = e[0] != 0xFF;
    const bool rom = e[8] != 0xFF;
    out.kind = !code ? LockKeyKind::IButton : !rom ? LockKeyKind::KeyCode : LockKeyKind::Complex;
    if (code) {
        const std::size_t digits = std::min<std::size_t>(e[0], getinfo::kMaxKeyCodeDigits);
        for (std::size_t d = 0; d < digits; ++d) {
            const uint8_t b = e[1 + d / 2];
            out.keyCode += hexDigit(d % 2 == 0 ? b >> 4 : b);
        }
    }
    if (out.hasIButton())
        for (int i = 14; i >= 8; --i)
            out.serialText += hexByte(e[std::size_t(i)]);
    out.timeShiftId = e[16] == 0xFF ? 1 : e[16] + 1;
    out.actExpDateId = (e[17] & 0x0F) == 0x0F ? 1 : (e[17] & 0x0F) + 1;
    out.expDate = (e[17] >> 4) != 0x0F;
    return out;
}

int KeyListPlan::entriesOnPage(int q) const
{
    const int first = 2 * q;
    return std::clamp(entries - first, 0, 2);
}

KeyListPlan planKeyList(int userCount)
{
    KeyListPlan plan;
    const int n = std::max(userCount, 0);
    plan.lastPage = std::min(getinfo::kKeyListFirstPage + n / 2 + 1, getinfo::kKeyListLastPage);
    plan.entries = std::min(n, plan.pageCount() * int(getinfo::kKeyListEntriesPerPage));
    return plan;
}

// ---- Settings image ----

std::optional<TimeOfDay> bcdClockTime(uint8_t hour, uint8_t minute)
{
    if (!bcdDigits(hour) || !bcdDigits(minute))
        return std::nullopt;
    const TimeOfDay t { bcdValue(hour), bcdValue(minute) };
    if (t.hour > 23 || t.minute > 59)
        return std::nullopt;
    return t;
}

bool periodHalfInRange(const uint8_t* h)
{
    return h[0] < 0x99 && h[1] >= 0x01 && h[1] <= 0x12 && h[2] >= 0x01 && h[2] <= 0x31 && h[3] <= 0x24
        && h[4] <= 0x60;
}

namespace {
// A slot in range: both dates, or a conversion error (nullopt).
std::optional<std::pair<DateTime, DateTime>> periodDates(const uint8_t* slot)
{
    const auto from = tryCreateDateTime(slot[0], slot[1], slot[2], slot[3], slot[4], 0);
    if (!from)
        return std::nullopt;
    const auto to = tryCreateDateTime(slot[5], slot[6], slot[7], slot[8], slot[9], 0);
    if (!to)
        return std::nullopt;
    return std::pair { *from, *to };
}

bool decodeSchedule(
    const SettingsImageBytes& image, std::size_t at, bool first, std::vector<DecodedSchedule>& out)
{
    for (std::size_t i = 0; i < kScheduleEntries; ++i) {
        const uint8_t* e = image.data() + at + kScheduleEntrySize * i;
        if (e[0] == 0xFF || (!first && e[3] == 0x00))
            continue;
        const auto begin = bcdClockTime(e[0], e[1]);
        if (!begin)
            return false;
        DecodedSchedule row;
        row.begin = *begin;
        row.days = daysOf(e[2]);
        if (first)
            row.lockStatus = e[3] == kStorehouseMode ? "Storehouse Mode" : "Classroom Mode";
        else if (e[3] == kLockMode)
            row.lockStatus = "Lock Mode";
        else if (e[3] == kUnlockMode)
            row.lockStatus = "Unlock Mode";
        out.push_back(std::move(row));
    }
    return true;
}
} // namespace

DecodedSettingsImage decodeSettingsImage(const SettingsImageBytes& image)
{
    DecodedSettingsImage out;
    for (std::size_t g = 0; g < kTimeShiftGroups; ++g)
        for (std::size_t i = 0; i < kEntriesPerGroup; ++i) {
            const uint8_t* e = image.data() + kTimeShiftGroupSize * g + kTimeShiftEntrySize * i;
            if (e[0] == 0xFF)
                continue;
            const auto begin = bcdClockTime(e[0], e[1]);
            const auto end = begin ? bcdClockTime(e[2], e[3]) : std::nullopt;
            if (!end) {
                out.stoppedIn = ImageStep::TimeShifts;
                return out;
            }
            out.timeShifts.push_back({ int(g) + 1, *begin, *end, dayName(e[4]) });
        }
    if (!decodeSchedule(image, kFirstScheduleAt, true, out.schedules)) {
        out.stoppedIn = ImageStep::FirstSchedule;
        return out;
    }
    if (!decodeSchedule(image, kSecondScheduleAt, false, out.schedules)) {
        out.stoppedIn = ImageStep::SecondSchedule;
        return out;
    }
    out.actExpGroups.push_back({ 1, std::nullopt, std::nullopt });
    for (std::size_t k = 1; k < kPeriodSlots; ++k) {
        const uint8_t* slot = image.data() + kActExpAt + kPeriodSize * k;
        if (!periodHalfInRange(slot) || !periodHalfInRange(slot + 5))
            continue;
        const auto dates = periodDates(slot);
        if (!dates) {
            out.stoppedIn = ImageStep::ActExp;
            return out;
        }
        out.actExpGroups.push_back({ int(k) + 1, dates->first, dates->second });
    }
    for (std::size_t k = 0; k + 1 < kPeriodSlots; ++k) {
        const uint8_t* slot = image.data() + kHolidayAt + kPeriodSize * k;
        if (!periodHalfInRange(slot) || !periodHalfInRange(slot + 5))
            continue;
        const auto dates = periodDates(slot);
        if (!dates) {
            out.stoppedIn = ImageStep::Holidays;
            return out;
        }
        out.holidayGroups.push_back({ int(k) + 2, dates->first, dates->second });
    }
    out.holidayGroups.push_back({ 1, std::nullopt, std::nullopt });
    return out;
}

std::optional<std::string> modeInForce(const std::vector<ModeRow>& rows, int secondsOfDay)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].secondsOfDay > secondsOfDay)
            return i == 0 ? rows.back().lockStatus : rows[i - 1].lockStatus;
    return std::nullopt;
}
