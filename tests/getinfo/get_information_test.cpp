// The Get Information pages decoded byte by byte: page 1, page 2, the key list entries and
// their page plan, the settings image read back.
#include "keyformats/get_information.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

DateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return local_days { year { y } / mo / d } + hours { h } + minutes { mi } + seconds { s };
}

// A page, a key list entry or a settings image of FFh, and bytes laid into one.
template <typename Bytes> Bytes blank()
{
    Bytes b;
    b.fill(0xFF);
    return b;
}
template <typename Bytes> void put(Bytes& b, std::size_t at, std::initializer_list<uint8_t> bytes)
{
    std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
}

TEST(LockInformationPageTest, FlagsVersionsCountAndClock)
{
    auto p = blank<MissionKeyPage>();
    EXPECT_FALSE(decodeLockInformationPage(p).visitedLock());
    put(p, 0, { 'Z', 'Z' });
    put(p, 14, { 'Z', 0, 0x23, 0xA1, 0, 0, 0, 0, 0, 0x5C, 0, 'Z' }); // the lock's ROM id at 16
    put(p, 44, { 0x30, 0x0A, '2', '.', '3', 0x01, 0x02 });
    put(p, 57, { 0x26, 0x12, 0x77, 0x06, 0x09, 0x05, 0x07 }); // byte 59 not read
    const auto info = decodeLockInformationPage(p);
    EXPECT_TRUE(info.visitedLock());
    EXPECT_EQ(
        (std::vector<std::string> { info.keyListStatusText(), info.manualSetupStatusText(),
            info.daylightSavingStatusText(), info.daylightSavingText(), info.lockSerialText(),
            info.blinkText(), info.lockModeText(), info.hardwareVersionText(), info.softwareVersionText() }),
        (std::vector<std::string> { "Enable", "Disable", "Enable", "No", "5C0000000000A123", "Disable",
            "Classroom Mode", "300A", "2.3" }));
    EXPECT_EQ(info.userCount, 258);
    EXPECT_EQ(info.lockTime, dt(2026, 12, 6, 9, 5, 7));
    put(p, 14, { 0, 'Z' });
    EXPECT_STREQ(decodeLockInformationPage(p).daylightSavingText(), ""); // function off: nothing shown
    p[1] = 0;
    EXPECT_STREQ(decodeLockInformationPage(p).manualSetupStatusText(), "Enable");
}

TEST(LockInformationPageTest, AClockOffTheCalendarGivesNoLockTime)
{
    // YY MM at 57, 58; DD hh mm ss at 60-63 (the bounds themselves are the codec's).
    const std::array<uint8_t, 6> bad[] = {
        { 0x26, 0x00, 0x06, 0x09, 0x00, 0x00 }, // month 0
        { 0x26, 0x02, 0x30, 0x09, 0x00, 0x00 }, // 30 February
        { 0x26, 0x01, 0x06, 0x09, 0x00, 0x60 }, // second 60
        { 0xA0, 0x01, 0x06, 0x09, 0x00, 0x00 }, // year above 99h
    };
    for (const auto& b : bad) {
        auto p = blank<MissionKeyPage>();
        put(p, 57, { b[0], b[1] });
        put(p, 60, { b[2], b[3], b[4], b[5] });
        EXPECT_FALSE(decodeLockInformationPage(p).lockTime)
            << int(b[0]) << " " << int(b[1]) << " " << int(b[2]);
    }
}

TEST(LockVersionPageTest, AuditRecordCount)
{
    const struct {
        uint8_t b0, b1;
        int count;
    } counts[] = { { 0x0D, 0x00, 3328 }, { 0x0D, 0x01, 0x010D }, { 0x0C, 0xFF, 3327 }, { 0x00, 0x05, 5 },
        { 0xFF, 0xFF, 0xFFFF }, { 0x20, 0x01, 0x0120 } };
    for (const auto& c : counts)
        EXPECT_EQ(auditRecordCount(c.b0, c.b1), c.count) << int(c.b0) << " " << int(c.b1);
}

TEST(LockVersionPageTest, BatteryVoltage)
{
    const struct {
        uint8_t reading;
        const char* text;
    } batteries[] = { { 109, "4.8" }, { 0, "" }, { 10, ".4" }, { 45, "2" }, { 255, "11.2" }, { 100, "4.4" } };
    for (const auto& b : batteries) {
        auto p = blank<MissionKeyPage>();
        p[24] = b.reading;
        EXPECT_EQ(decodeLockVersionPage(p).batteryText(), b.text) << int(b.reading);
    }
}

TEST(LockVersionPageTest, LockLevel)
{
    const std::pair<uint8_t, std::optional<std::string>> levels[]
        = { { 0, "Low" }, { 1, "Midium" }, { 2, std::nullopt }, { 3, "High" }, { 0xFF, std::nullopt } };
    for (const auto& [byte, text] : levels) {
        auto p = blank<MissionKeyPage>();
        p[25] = byte;
        EXPECT_EQ(decodeLockVersionPage(p).lockLevelText(), text) << int(byte);
    }
}

TEST(LockKeyListTest, EntryKindsCodesSerialsAndGroups)
{
    auto e = blank<std::array<uint8_t, 32>>();
    put(e, 8, { 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66 });
    auto d = decodeLockKeyListEntry(e);
    EXPECT_EQ(d.kind, LockKeyKind::IButton);
    EXPECT_EQ(d.serialText, "66554433221101");
    EXPECT_EQ(d.keyCode, "");
    EXPECT_EQ(d.timeShiftId, 1);
    EXPECT_EQ(d.actExpDateId, 1);
    EXPECT_FALSE(d.expDate);
    put(e, 0, { 4, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12 }); // the first four of twelve digits count
    put(e, 16, { 0x02, 0x03 });
    d = decodeLockKeyListEntry(e);
    EXPECT_EQ(d.kind, LockKeyKind::Complex);
    EXPECT_EQ(d.keyCode, "1234");
    EXPECT_EQ(d.timeShiftId, 3);
    EXPECT_EQ(d.actExpDateId, 4);
    EXPECT_TRUE(d.expDate);
    e[8] = 0xFF;
    e[0] = 0x40; // more digits than the entry holds: all twelve
    e[17] = 0xEF;
    d = decodeLockKeyListEntry(e);
    EXPECT_EQ(d.kind, LockKeyKind::KeyCode);
    EXPECT_EQ(d.keyCode, "123456789012");
    EXPECT_EQ(d.serialText, "");
    EXPECT_EQ(d.actExpDateId, 1);
    EXPECT_TRUE(d.expDate); // high nibble Eh: applies
    put(e, 16, { 0xFE, 0xF0 });
    d = decodeLockKeyListEntry(e);
    EXPECT_FALSE(d.expDate);
    EXPECT_EQ(d.actExpDateId, 1);
    EXPECT_EQ(d.timeShiftId, 0xFF);
}

TEST(LockKeyListTest, PagesReadForEachUserCount)
{
    const struct {
        int n, entries, last;
    } plans[] = { { 0, 0, 4 }, { 1, 1, 4 }, { 3, 3, 5 }, { 4, 4, 6 }, { 562, 562, 284 }, { 564, 564, 284 },
        { 565, 564, 284 }, { 65535, 564, 284 }, { -1, 0, 4 } };
    for (const auto& p : plans) {
        const KeyListPlan plan = planKeyList(p.n);
        EXPECT_EQ(plan.firstPage, 3);
        EXPECT_EQ(plan.lastPage, p.last) << p.n;
        EXPECT_EQ(plan.entries, p.entries) << p.n;
        EXPECT_LT(plan.lastPage, getinfo::kImageFirstPage);
        int total = 0;
        for (int q = 0; q < plan.pageCount(); ++q)
            total += plan.entriesOnPage(q);
        EXPECT_EQ(total, plan.entries);
    }
    EXPECT_EQ(planKeyList(3).entriesOnPage(1), 1); // two to a page
    EXPECT_EQ(KeyListPlan::offsetOf(3), 32u);
}

TEST(SettingsImageTest, EachSectionAsTheLockWritesItAndAllFFh)
{
    const auto none = decodeSettingsImage(blank<SettingsImageBytes>());
    EXPECT_TRUE(none.timeShifts.empty() && none.schedules.empty() && !none.stoppedIn);
    EXPECT_EQ(none.actExpGroups, (std::vector<DecodedPeriod> { { 1, std::nullopt, std::nullopt } }));
    EXPECT_EQ(none.holidayGroups, (std::vector<DecodedPeriod> { { 1, std::nullopt, std::nullopt } }));
    auto image = blank<SettingsImageBytes>();
    using namespace timetable;
    put(image, 0, { 0x08, 0x30, 0x17, 0x45, kMonday }); // group 1 entry 0
    put(image, 5, { 0x09, 0x00, 0x10, 0x00, 0x03 }); // two days: no day name
    put(image, kTimeShiftGroupSize * 15 + 5 * 6, { 0x23, 0x59, 0x00, 0x00, kSaturday }); // group 16, entry 6
    put(image, kFirstScheduleAt, { 0x08, 0x00, kMonday | kFriday, 0x00 });
    put(image, kFirstScheduleAt + 4, { 0x18, 0x00, 0x7F, 0x05 }); // any mode but 00h: Classroom
    put(image, kSecondScheduleAt, { 0x12, 0x00, kSunday, 0x00 }); // mode 00h: skipped
    put(image, kSecondScheduleAt + 4, { 0x13, 0x00, kSunday, kLockMode });
    put(image, kSecondScheduleAt + 8, { 0x14, 0x00, kSunday, kUnlockMode });
    put(image, kSecondScheduleAt + 12, { 0x15, 0x00, kSunday, 0x07 }); // unknown: unset
    put(image, kActExpAt,
        { 0x26, 0x01, 0x01, 0x00, 0x00, 0x26, 0x12, 0x31, 0x23, 0x59 }); // slot 0: never read
    put(image, kActExpAt + 10, { 0x26, 0x01, 0x01, 0x08, 0x00, 0x26, 0x12, 0x31, 0x18, 0x30 });
    put(image, kActExpAt + 20, { 0x99, 0x01, 0x01, 0x08, 0x00, 0x26, 0x12, 0x31, 0x18, 0x30 }); // year 99h
    put(image, kHolidayAt, { 0x26, 0x07, 0x01, 0x00, 0x00, 0x26, 0x07, 0x14, 0x00, 0x00 }); // group 2
    put(image, kHolidayAt + 150, { 0x26, 0x07, 0x01, 0x00, 0x00, 0x26, 0x07, 0x14, 0x00, 0x00 }); // slot 15
    const auto d = decodeSettingsImage(image);
    EXPECT_FALSE(d.stoppedIn);
    ASSERT_EQ(d.timeShifts.size(), 3u);
    EXPECT_EQ(d.timeShifts[0], (DecodedTimeShift { 1, { 8, 30 }, { 17, 45 }, "Monday" }));
    EXPECT_EQ(d.timeShifts[1], (DecodedTimeShift { 1, { 9, 0 }, { 10, 0 }, std::nullopt }));
    EXPECT_EQ(d.timeShifts[2], (DecodedTimeShift { 16, { 23, 59 }, { 0, 0 }, "Saturday" }));
    ASSERT_EQ(d.schedules.size(), 5u);
    EXPECT_EQ(d.schedules[0],
        (DecodedSchedule { { 8, 0 }, "Storehouse Mode", { false, true, false, false, false, true, false } }));
    EXPECT_EQ(d.schedules[1].days, (std::array<bool, 7> { true, true, true, true, true, true, true }));
    EXPECT_EQ(d.schedules[2].begin, (TimeOfDay { 13, 0 }));
    const std::optional<std::string> modes[] = { "Classroom Mode", "Lock Mode", "Unlock Mode", std::nullopt };
    for (std::size_t i = 0; i < std::size(modes); ++i)
        EXPECT_EQ(d.schedules[i + 1].lockStatus, modes[i]) << i;
    ASSERT_EQ(d.actExpGroups.size(), 2u);
    EXPECT_EQ(d.actExpGroups[0].groupId, 1);
    EXPECT_EQ(d.actExpGroups[1], (DecodedPeriod { 2, dt(2026, 1, 1, 8), dt(2026, 12, 31, 18, 30) }));
    ASSERT_EQ(d.holidayGroups.size(), 2u);
    EXPECT_EQ(d.holidayGroups[0], (DecodedPeriod { 2, dt(2026, 7, 1), dt(2026, 7, 14) }));
    EXPECT_EQ(d.holidayGroups[1].groupId, 1); // group 1 last
}

TEST(SettingsImageTest, AConversionErrorEndsTheDecodingWhereItStands)
{
    using namespace timetable;
    struct Case {
        const char* what;
        std::size_t at;
        std::initializer_list<uint8_t> bytes;
        ImageStep step;
        std::size_t shifts, schedules, actExp, holidays;
    };
    const Case cases[] = {
        { "time shift hour 24", 35, { 0x24, 0x00, 0x10, 0x00, kMonday }, ImageStep::TimeShifts, 2, 0, 0, 0 },
        { "time shift end minute 60", 35, { 0x08, 0x00, 0x10, 0x60, kMonday }, ImageStep::TimeShifts, 2, 0, 0,
            0 },
        { "first schedule minute 60", kFirstScheduleAt + 4, { 0x08, 0x60, 0x01, 0x00 },
            ImageStep::FirstSchedule, 2, 1, 0, 0 },
        { "second schedule hour 25", kSecondScheduleAt, { 0x25, 0x00, 0x01, 0x02 }, ImageStep::SecondSchedule,
            2, 1, 0, 0 },
        { "act/exp hour 24 passes the range check", kActExpAt + 30,
            { 0x26, 0x01, 0x01, 0x24, 0x00, 0x26, 0x12, 0x31, 0x18, 0x30 }, ImageStep::ActExp, 2, 2, 1, 0 },
        { "holiday 30 February", kHolidayAt + 10,
            { 0x26, 0x02, 0x30, 0x00, 0x00, 0x26, 0x03, 0x01, 0x00, 0x00 }, ImageStep::Holidays, 2, 2, 1, 0 },
    };
    for (const Case& c : cases) {
        auto image = blank<SettingsImageBytes>();
        put(image, 0, { 0x08, 0x00, 0x17, 0x00, kMonday }); // group 1: decoded before any error
        put(image, 5, { 0x09, 0x00, 0x17, 0x00, kTuesday });
        put(image, kFirstScheduleAt, { 0x07, 0x00, 0x01, 0x01 });
        put(image, kSecondScheduleAt + 8, { 0x20, 0x00, 0x01, 0x02 });
        put(image, c.at, c.bytes);
        const auto d = decodeSettingsImage(image);
        EXPECT_EQ(d.stoppedIn, c.step) << c.what;
        EXPECT_EQ(d.timeShifts.size(), c.shifts) << c.what;
        EXPECT_EQ(d.schedules.size(), c.schedules) << c.what;
        EXPECT_EQ(d.actExpGroups.size(), c.actExp) << c.what;
        EXPECT_EQ(d.holidayGroups.size(), c.holidays) << c.what; // group 1 comes after the slots
    }
}

TEST(SettingsImageTest, RangeCheckRejectsSlotsSilently)
{
    using namespace timetable;
    const std::array<uint8_t, 5> good { 0x26, 0x01, 0x01, 0x08, 0x00 };
    EXPECT_TRUE(periodHalfInRange(good.data()));
    const std::pair<std::size_t, uint8_t> bad[]
        = { { 0, 0x99 }, { 1, 0x00 }, { 1, 0x13 }, { 2, 0x00 }, { 2, 0x32 }, { 3, 0x25 }, { 4, 0x61 } };
    for (auto [at, value] : bad) {
        auto h = good;
        h[at] = value;
        EXPECT_FALSE(periodHalfInRange(h.data())) << at << " " << int(value);
    }
    auto image = blank<SettingsImageBytes>(); // a holiday in month 13: skipped, no error
    put(image, kHolidayAt, { 0x26, 0x13, 0x01, 0x08, 0x00, 0x26, 0x01, 0x01, 0x08, 0x00 });
    const auto d = decodeSettingsImage(image);
    EXPECT_FALSE(d.stoppedIn);
    EXPECT_EQ(d.holidayGroups.size(), 1u);
}

} // namespace
