// Byte images of the WRITE-key layouts: section header, time table, key-list entries, the lock
// list, and the Multi-Lock, Copy Settings and Delete Code keys.
#include "dataaccess/db_value.h"
#include "keyformats/copy_settings_key.h"
#include "keyformats/delete_code_key.h"
#include "keyformats/lock_serial_list.h"
#include "keyformats/mission_section_header.h"
#include "keyformats/multi_lock_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

template <typename C>
Bytes slice(const C& c, std::size_t from, std::size_t n)
{
    return Bytes(c.begin() + static_cast<std::ptrdiff_t>(from), c.begin() + static_cast<std::ptrdiff_t>(from + n));
}
template <typename C>
bool allFF(const C& c, std::size_t from = 0, std::size_t to = 64) // [from, to)
{
    return slice(c, from, to - from) == Bytes(to - from, 0xFF);
}
Bytes ff(std::size_t n) { return Bytes(n, 0xFF); }
Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };
const std::string kSerial = "D40000000A0B0C37";
const Bytes kRomOrder { 0x37, 0x0C, 0x0B, 0x0A, 0x00, 0x00, 0x00, 0xD4 };
} // namespace

TEST(TimeTableImageTest, EverySectionAtItsPlace)
{
    TimeTableRows rows;
    rows.timeShiftGroups[0] = { { { 8, 0 }, { 17, 30 }, "Monday" } };
    rows.timeShiftGroups[1] = { { { 1, 0 }, { 2, 0 }, "Wednesday" }, { { 3, 0 }, { 4, 0 }, "Thursday" },
                                { { 5, 0 }, { 6, 0 }, "Friday" } };
    rows.timeShiftGroups[2] = { { { 20, 0 }, { 21, 0 }, "Tuesday" }, { { 22, 0 }, { 23, 59 }, "Saturday" },
                                { { 6, 5 }, { 7, 0 }, "Holiday" } };
    for (int i = 0; i < 8; ++i) // eight rows in a group: only seven fit its 35 bytes
        rows.timeShiftGroups[15].push_back({ { i, 0 }, { i, 30 }, "Sunday" });
    rows.firstSchedule = { { { 8, 15 }, "Classroom Mode", { false, true, true, true, true, true, false } },
                           { { 18, 0 }, "Storehouse Mode", { true, false, false, false, false, false, true } } };
    rows.secondSchedule = { { { 22, 0 }, "Lock Mode", { true, true, true, true, true, true, true } },
                            { { 6, 30 }, "Unlock Mode", { true, false, false, false, false, false, false } } };
    rows.actExpGroups = { { PeriodPoint { 2000, 1, 1, 0, 0 }, PeriodPoint { 2099, 12, 31, 23, 59 } },
                          { PeriodPoint { 2026, 1, 2, 3, 4 }, PeriodPoint { 2027, 12, 31, 23, 59 } },
                          { PeriodPoint { 2028, 6, 1, 0, 0 }, std::nullopt } };
    rows.holidayGroups = { { PeriodPoint { 2000, 1, 1, 0, 0 }, PeriodPoint { 2000, 1, 1, 0, 0 } },
                           { PeriodPoint { 2026, 12, 24, 0, 0 }, PeriodPoint { 2026, 12, 26, 23, 59 } } };
    const auto img = TimeTableImage(rows);
    // Each written run, and the FFh up to the next.
    const std::vector<std::tuple<std::size_t, Bytes, std::size_t>> runs {
        { 0, { 0x08, 0x00, 0x17, 0x30, 0x02 }, 35 },
        { 35, { 0x01, 0x00, 0x02, 0x00, 0x08, 0x03, 0x00, 0x04, 0x00, 0x10, 0x05, 0x00, 0x06, 0x00, 0x20 }, 70 },
        { 70, { 0x20, 0x00, 0x21, 0x00, 0x04, 0x22, 0x00, 0x23, 0x59, 0x40, 0x06, 0x05, 0x07, 0x00, 0x40 }, 525 },
        { 555, { 0x06, 0x00, 0x06, 0x30, 0x01 }, 560 },
        { 560, { 0x08, 0x15, 0x3E, 0x01, 0x18, 0x00, 0x41, 0x00 }, 624 },
        { 624, { 0x22, 0x00, 0x7F, 0x02, 0x06, 0x30, 0x01, 0x01 }, 698 }, // slot 0 of act/exp ("No Limit") stays FFh
        { 698, { 0x26, 0x01, 0x02, 0x03, 0x04, 0x27, 0x12, 0x31, 0x23, 0x59, 0x28, 0x06, 0x01, 0x00, 0x00 }, 848 },
        { 848, { 0x26, 0x12, 0x24, 0x00, 0x00, 0x26, 0x12, 0x26, 0x23, 0x59 }, 1024 },
    };
    for (const auto& [at, bytes, next] : runs) {
        EXPECT_EQ(slice(img, at, bytes.size()), bytes) << at;
        EXPECT_TRUE(allFF(img, at + bytes.size(), next)) << at;
    }
    EXPECT_EQ(slice(timeTablePage(img, 1), 0, 64), slice(img, 64, 64));
    EXPECT_THROW(timeTablePage(img, 16), std::out_of_range);
    // Sixteen schedule rows and period slots at most: the sixteenth schedule rows are the last
    // placed, act/exp row 15 and holiday row 16 go in slot 15.
    rows = {};
    for (int i = 0; i < 20; ++i) {
        rows.firstSchedule.push_back({ { 1, i }, "Storehouse Mode", {} });
        rows.secondSchedule.push_back({ { 2, i }, "Lock Mode", {} });
        rows.actExpGroups.push_back({ PeriodPoint { 2030, 1, 1, 0, i }, std::nullopt });
        rows.holidayGroups.push_back({ PeriodPoint { 2031, 1, 1, 0, i }, std::nullopt });
    }
    const auto full = TimeTableImage(rows);
    EXPECT_EQ((Bytes { full[560 + 4 * 15 + 1], full[624 + 4 * 15 + 1], full[688 + 10 * 15 + 4], full[848 + 10 * 15 + 4] }),
              (Bytes { 0x15, 0x15, 0x15, 0x16 }));
    EXPECT_TRUE(allFF(full, 1008, 1024));
}

TEST(MultiLockKeyTest, SectionHeadersKeyListEntriesAndPages)
{
    const auto p = MissionSectionHeader(SectionBit::Always | SectionBit::KeyList | SectionBit::TimeTable, true, 0x0102);
    EXPECT_EQ(slice(p, 0, 6), (Bytes { 0x1C, 0x00, 0x00, 0x5A, 0x01, 0x02 }));
    EXPECT_TRUE(allFF(p, 6));
    EXPECT_EQ(slice(MissionSectionHeader(SectionBit::Always, false, 0), 0, 6), (Bytes { 0x04, 0, 0, 0, 0, 0 }));
    EXPECT_THROW(MissionSectionHeader(0x04, false, 0x10000), std::invalid_argument);
    // iButton user: ROM order, the CRC byte last, no code; group 1 everywhere gives FFh FFh.
    EXPECT_EQ(slice(KeyListEntry({ "iButton", kSerial, "1234", 1, 1, false }), 0, 20), ff(8) + kRomOrder + ff(4));
    // KeyCode user, four digits; time shift 3, act/exp 2, holidays apply.
    EXPECT_EQ(slice(KeyListEntry({ "KeyCode", kSerial, "1234", 3, 2, true }), 0, 20),
              Bytes({ 0x04, 0x12, 0x34, 0x00, 0x00, 0x00 }) + ff(10) + Bytes({ 0x02, 0x01, 0xFF, 0xFF }));
    // Complex user: both; ten digits; holidays off with act/exp 16.
    EXPECT_EQ(slice(KeyListEntry({ "Complex", kSerial, "9876543210", 16, 16, false }), 0, 20),
              Bytes({ 0x0A, 0x98, 0x76, 0x54, 0x32, 0x10, 0xFF, 0xFF }) + kRomOrder + Bytes({ 0x0F, 0xFF, 0xFF, 0xFF }));
    // No code, a code too long, a code with letters, a serial that is no ROM id: FFh, never
    // nibbles spilling into neighbouring bytes.
    for (const char* code : { "", "12345678901", "12A4" })
        EXPECT_EQ(slice(KeyListEntry({ "KeyCode", "", code, 1, 1, false }), 0, 6), ff(6)) << code;
    for (const char* serial : { "", "D40000000A0B0C3", "d40000000a0b0c37", "D40000000A0B0CZ7" })
        EXPECT_EQ(slice(KeyListEntry({ "iButton", serial, "", 1, 1, false }), 8, 8), ff(8)) << serial;
    // A group beyond the sixteen slots never reaches the holiday nibble.
    EXPECT_EQ(KeyListEntry({ "iButton", "", "", 1, 17, true })[17] & 0xF0, 0x00);
    EXPECT_EQ(KeyListEntry({ "iButton", "", "", 1, 17, false })[17] & 0xF0, 0xF0);
    // The key's header, and each lock's time-table and key-list sections.
    EXPECT_EQ(slice(MultiLockKeyHeader(24, kSite), 0, 11), (Bytes { 'W', 'R', 'I', 'T', 'E', 0x03, 24, 0x12, 0x34, 0x56, 0xFF }));
    const auto tt = timeTableSectionWrites(2, kSerial, TimeTableImageBytes {});
    ASSERT_EQ(tt.size(), 17u);
    EXPECT_EQ(tt.front().page + 100 * tt.back().page, 121 + 100 * 137);
    EXPECT_EQ(slice(tt.front().image, 0, 19), kRomOrder + Bytes({ 0x10, 0, 0, 0, 0, 0, 0, 0x5A, 0, 0, 0xFF }));
    // No keys: header count 0, 19 pages of FFh and page 60L+41 FFh.
    const auto none = keyListSectionWrites(0, kSerial, {});
    ASSERT_EQ(none.size(), 21u);
    EXPECT_EQ(none[0].page + 100 * none[20].page, 21 + 100 * 41);
    EXPECT_EQ(slice(none[0].image, 8, 10), (Bytes { 0x08, 0, 0, 0, 0x5A, 0, 0, 0, 0, 0 }));
    EXPECT_TRUE(allFF(none[20].image));
    // 58 keys on the eighth page index, three entries to a page: the continued header rewrites
    // page 60L+41 and the second run ends on page 480.
    std::vector<KeyListUser> keys;
    for (int i = 1; i <= 58; ++i)
        keys.push_back({ "KeyCode", "", std::to_string(11 * (i % 9 + 1)), 1, 1, false });
    const auto w = keyListSectionWrites(7, kSerial, keys);
    EXPECT_EQ((Bytes { w[1].image[0], w[1].image[1], w[1].image[21], w[1].image[41], w[2].image[1] }),
              (Bytes { 2, 0x22, 0x33, 0x44, 0x55 }));
    EXPECT_TRUE(allFF(w[1].image, 60));
    ASSERT_EQ(w.size(), 41u);
    EXPECT_EQ(w[0].image[13], 57);
    EXPECT_EQ((std::vector<int> { w[20].page, w[21].page, w[22].page, w.back().page }), (std::vector<int> { 461, 461, 462, 480 }));
    EXPECT_TRUE(allFF(w[20].image));
    EXPECT_EQ(slice(w[21].image, 8, 10), (Bytes { 0x00, 0, 0, 0, 0x00, 1, 0, 0, 0, 0 }));
    EXPECT_EQ(w[22].image[0], 2);
    EXPECT_TRUE(allFF(w[22].image, 20));
    keys.resize(115, keys[0]);
    EXPECT_THROW(keyListSectionWrites(0, kSerial, keys), std::length_error);
    EXPECT_THROW(keyListSectionWrites(8, kSerial, {}), std::out_of_range);
}

TEST(CopySettingsKeyTest, LockListHeaderAndBody)
{
    std::vector<std::string> locks;
    for (int i = 0; i <= 9; ++i)
        locks.push_back("AB0000000000" + std::string(1, char('0' + i)) + "037");
    ASSERT_EQ(LockSerialList({}).size(), 1u);
    EXPECT_TRUE(allFF(LockSerialList({})[0]));
    // Eight make a page and a closing page of FFh; the ninth starts the second page.
    const auto eight = LockSerialList(std::vector<std::string>(locks.begin() + 1, locks.begin() + 9));
    const auto nine = LockSerialList(std::vector<std::string>(locks.begin() + 1, locks.end()));
    ASSERT_EQ(eight.size() + nine.size(), 4u);
    EXPECT_EQ(slice(eight[0], 0, 8) + slice(eight[0], 56, 8) + slice(nine[1], 0, 8),
              Bytes({ 0x37, 0x10, 0, 0, 0, 0, 0, 0xAB, 0x37, 0x80, 0, 0, 0, 0, 0, 0xAB, 0x37, 0x90, 0, 0, 0, 0, 0, 0xAB }));
    EXPECT_TRUE(allFF(eight[1]) && allFF(nine[1], 8));
    // A text that is no ROM id leaves its place blank; the others keep theirs.
    const auto bad = LockSerialList({ "not a serial", locks[2] });
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_TRUE(allFF(bad[0], 0, 8));
    EXPECT_EQ(bad[0][8], 0x37);
    // The list ends at page 510: a full list has no closing page, one more lock is refused.
    std::vector<std::string> full(kMaxListedLocks, locks[1]);
    EXPECT_EQ(LockSerialList(full).size(), 159u);
    full.push_back(locks[1]);
    EXPECT_THROW(LockSerialList(full), std::length_error);
    // The key's header, and its body up to that list.
    EXPECT_EQ(slice(CopySettingsKeyHeader(kSite, 0x0103), 0, 12),
              (Bytes { 'W', 'R', 'I', 'T', 'E', 0x02, 0x12, 0x34, 0x56, 0x01, 0x03, 0xFF }));
    CopySettingsKeyContent c { true, false, false, 6, {}, std::vector<KeyListUser>(6, { "KeyCode", "", "7", 1, 1, false }), {} };
    auto w = copySettingsBodyWrites(c);
    std::vector<int> pages;
    for (const auto& p : w)
        pages.push_back(p.page);
    ASSERT_EQ(pages, (std::vector<int> { 1, 18, 19, 20, 352 })); // six entries, then a page of FFh
    EXPECT_EQ(slice(w[0].image, 0, 7), (Bytes { 0x0C, 0, 0, 0, 0, 6, 0xFF }));
    EXPECT_TRUE(allFF(w[3].image));
    // The key list stops at page 351 even when full.
    c.keyList.assign(kMaxCopiedKeys, c.keyList[0]);
    c.activeKeyCount = static_cast<int>(kMaxCopiedKeys);
    w = copySettingsBodyWrites(c);
    EXPECT_EQ(w[w.size() - 2].page, 351);
    c.keyList.push_back(c.keyList[0]);
    EXPECT_THROW(copySettingsBodyWrites(c), std::length_error);
}

TEST(DeleteCodeKeyTest, HeaderSectionAndEntries)
{
    const MissionKeyPage h = deleteCodeKeyHeader(kSite);
    EXPECT_EQ(slice(h, 0, 10), (Bytes { 'W', 'R', 'I', 'T', 'E', 0x03, 0x01, 0x12, 0x34, 0x56 }));
    EXPECT_TRUE(allFF(h, 10));
    EXPECT_TRUE(MissionKeyHeader::fromPage(h).facilityCodeMatches(h, kSite));

    const RomId lock { 0x37, 0x0C, 0x0B, 0x0A, 0x00, 0x00, 0x00, 0xD4 };
    // Clearing the lock's memory of deleted codes changes bytes 8 and 16 only.
    for (const bool clear : { false, true }) {
        const MissionKeyPage p = deleteCodeSection(lock, clear, 1);
        const uint8_t flags = clear ? 0x60 : 0x40, memory = clear ? 0x5A : 0x00;
        EXPECT_EQ(slice(p, 0, 18), kRomOrder + Bytes({ flags, 0, 0, 0, 0, 0, 0, 0, memory, 0x01 }));
        EXPECT_TRUE(allFF(p, 18));
    }
    EXPECT_EQ(deleteCodeSection(lock, false, 300)[17], 300 & 0xFF);

    auto code = [](int m, int d, int h, const char* type, int lostTimes) {
        return DeletedCode { db::makeDateTime(2026, m, d, h), db::makeDateTime(2027, 1, 2, 8), type, lostTimes };
    };
    EXPECT_EQ(deleteCodeEntry(code(12, 31, 23, "Temp", 3)),
              (DeleteCodeEntry { 0x26, 0x12, 0x31, 0x23, 0x00, 0x27, 0x01, 0x02, 0x08, 0x00, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF }));
    // 'Once' is type 00h, any other type the temporary one.
    const DeleteCodeEntry once = deleteCodeEntry(code(6, 1, 0, "Once", 1)), perm = deleteCodeEntry(code(6, 1, 0, "Perm", 4));
    EXPECT_EQ((Bytes { once[10], once[11], perm[10], perm[11] }), (Bytes { 0, 0, 1, 3 }));
    // Minutes are not carried: codes run in whole hours.
    const DeleteCodeEntry o
        = deleteCodeEntry({ db::makeDateTime(2030, 2, 3, 4, 59, 59), db::makeDateTime(2099, 12, 31, 0), "Temp", 2 });
    EXPECT_EQ((Bytes { o[0], o[3], o[4], o[5] }), (Bytes { 0x30, 0x04, 0x00, 0x99 }));
    // 76 codes fill all 19 pages; slot n at page n/4, byte 16*(n%4). More are not carried.
    std::vector<DeletedCode> many;
    for (int n = 0; n < 80; ++n)
        many.push_back(code(1 + n % 12, 1 + n % 28, n % 24, "Temp", 1 + n % 4));
    const auto full = deleteCodeEntryPages(many);
    for (int n = 0; n < kDeleteCodeSlots; ++n) {
        const DeleteCodeEntry e = deleteCodeEntry(many[static_cast<std::size_t>(n)]);
        EXPECT_EQ(slice(full[static_cast<std::size_t>(n / 4)], 16 * (n % 4), 16), Bytes(e.begin(), e.end())) << n;
    }
    EXPECT_EQ(deleteCodeEntryPages(std::span<const DeletedCode>(many.data(), 76)), full);
    const auto one = deleteCodeEntryPages(std::span<const DeletedCode>(many.data(), 1));
    EXPECT_TRUE(allFF(one[0], 16));
    EXPECT_TRUE(std::all_of(one.begin() + 1, one.end(), [](const MissionKeyPage& p) { return allFF(p); }));
}
