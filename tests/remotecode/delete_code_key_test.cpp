// The Delete Code Key pages, byte by byte.
#include "keyformats/delete_code_key.h"

#include "dataaccess/db_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

bool allFF(const uint8_t* from, const uint8_t* to) { return std::all_of(from, to, [](uint8_t b) { return b == 0xFF; }); }

DeletedCode code(int y1, int m1, int d1, int h1, int y2, int m2, int d2, int h2, const char* type, int lostTimes)
{
    return { db::makeDateTime(y1, m1, d1, h1), db::makeDateTime(y2, m2, d2, h2), type, lostTimes };
}

const RomId kLock { 0x37, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xA5 }; // text "A566554433221137"

} // namespace

TEST(DeleteCodeKey, HeaderIsWriteKindThreeWithOneSection)
{
    const MissionKeyPage p = deleteCodeKeyHeader({ 0x12, 0x34, 0x56 });
    const uint8_t head[] = { 'W', 'R', 'I', 'T', 'E', 0x03, 0x01, 0x12, 0x34, 0x56 };
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), p.begin()));
    EXPECT_TRUE(allFF(p.data() + 10, p.data() + 64));
    // The reader names it as the kind-3 key it shares its header with.
    EXPECT_EQ(identifyMissionKey(p).type, MissionKeyType::MultiLock);
    EXPECT_TRUE(MissionKeyHeader::fromPage(p).facilityCodeMatches(p, { 0x12, 0x34, 0x56 }));
}

TEST(DeleteCodeKey, SectionNamesTheLockAndTheCount)
{
    const MissionKeyPage p = deleteCodeSection(kLock, false, 1);
    EXPECT_TRUE(std::equal(kLock.begin(), kLock.end(), p.begin()));
    EXPECT_EQ(p[8], 0x40);
    EXPECT_TRUE(std::all_of(p.begin() + 9, p.begin() + 17, [](uint8_t b) { return b == 0x00; }));
    EXPECT_EQ(p[17], 0x01);
    EXPECT_TRUE(allFF(p.data() + 18, p.data() + 64));

    // Clearing the lock's memory of deleted codes changes bytes 8 and 16 only.
    const MissionKeyPage c = deleteCodeSection(kLock, true, 1);
    for (std::size_t i = 0; i < 64; ++i) {
        if (i == 8)
            EXPECT_EQ(c[i], 0x60);
        else if (i == 16)
            EXPECT_EQ(c[i], 0x5A);
        else
            EXPECT_EQ(c[i], p[i]) << i;
    }
    EXPECT_EQ(deleteCodeSection(kLock, false, 76)[17], 76);
    EXPECT_EQ(deleteCodeSection(kLock, false, 300)[17], 300 & 0xFF);
}

TEST(DeleteCodeKey, EntryCarriesPeriodTypeAndVersion)
{
    const DeleteCodeEntry e = deleteCodeEntry(code(2026, 12, 31, 23, 2027, 1, 2, 8, "Temp", 3));
    const DeleteCodeEntry expected
        = { 0x26, 0x12, 0x31, 0x23, 0x00, 0x27, 0x01, 0x02, 0x08, 0x00, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF };
    EXPECT_EQ(e, expected);
    EXPECT_EQ(deleteCodeEntry(code(2026, 6, 1, 0, 2026, 6, 1, 0, "Once", 1))[10], 0x00);
    EXPECT_EQ(deleteCodeEntry(code(2026, 6, 1, 0, 2026, 6, 1, 0, "Once", 1))[11], 0x00);
    // Any type other than 'Once' is the temporary type.
    EXPECT_EQ(deleteCodeEntry(code(2026, 6, 1, 0, 2026, 6, 1, 0, "Perm", 4))[10], 0x01);
    EXPECT_EQ(deleteCodeEntry(code(2026, 6, 1, 0, 2026, 6, 1, 0, "Perm", 4))[11], 0x03);
    // Minutes are not carried: codes run in whole hours.
    const DeletedCode odd { db::makeDateTime(2030, 2, 3, 4, 59, 59), db::makeDateTime(2099, 12, 31, 0), "Temp", 2 };
    const DeleteCodeEntry o = deleteCodeEntry(odd);
    EXPECT_EQ(o[0], 0x30);
    EXPECT_EQ(o[3], 0x04);
    EXPECT_EQ(o[5], 0x99);
}

TEST(DeleteCodeKey, EntryPagesFillSlotsInOrder)
{
    const std::vector<DeletedCode> one { code(2026, 12, 31, 23, 2027, 1, 1, 1, "Once", 1) };
    const auto pages = deleteCodeEntryPages(one);
    EXPECT_EQ(pages[0][0], 0x26);
    EXPECT_EQ(pages[0][10], 0x00);
    EXPECT_TRUE(allFF(pages[0].data() + 12, pages[0].data() + 64));
    for (std::size_t p = 1; p < pages.size(); ++p)
        EXPECT_TRUE(allFF(pages[p].data(), pages[p].data() + 64)) << p;

    // 76 codes fill all 19 pages; slot n at page n/4, byte 16*(n%4). More are not carried.
    std::vector<DeletedCode> many;
    for (int n = 0; n < 80; ++n)
        many.push_back(code(2026, 1 + n % 12, 1 + n % 28, n % 24, 2026, 12, 31, 23, "Temp", 1 + n % 4));
    const auto full = deleteCodeEntryPages(many);
    for (int n = 0; n < kDeleteCodeSlots; ++n) {
        const auto& page = full[static_cast<std::size_t>(n / 4)];
        const DeleteCodeEntry e = deleteCodeEntry(many[static_cast<std::size_t>(n)]);
        EXPECT_TRUE(std::equal(e.begin(), e.end(), page.begin() + 16 * (n % 4))) << n;
    }
    EXPECT_EQ(full[18][48], 0x26);
    EXPECT_EQ(deleteCodeEntryPages(std::span<const DeletedCode>(many.data(), 76)), full);
}
