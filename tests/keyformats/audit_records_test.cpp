// Audit records: headers, time tests, the four event classes and their texts, and the page
// plans of single-lock and multi-lock keys, with a look-up that stands in for the database.
#include "keyformats/audit_records.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace std::chrono;

namespace {

using Record = std::array<uint8_t, 16>;
using Who = std::array<uint8_t, 8>;

// Time bytes 8-14: 2026-06-15 10:30:45 (byte 10 unused).
constexpr std::array<uint8_t, 7> kTime { 0x26, 0x06, 0x00, 0x15, 0x10, 0x30, 0x45 };

Record makeRecord(Who who, uint8_t event, std::array<uint8_t, 7> time = kTime)
{
    Record r {};
    std::copy(who.begin(), who.end(), r.begin());
    std::copy(time.begin(), time.end(), r.begin() + 8);
    r[15] = event;
    return r;
}

Record codeRecord(uint8_t digits, std::array<uint8_t, 6> packed, uint8_t event)
{
    return makeRecord(
        { 0xFF, digits, packed[0], packed[1], packed[2], packed[3], packed[4], packed[5] }, event);
}

template <class T>
std::optional<T> lookUp(
    const std::map<std::string, T>& m, const std::string& key, std::vector<std::string>* log = nullptr)
{
    if (log)
        log->push_back(key);
    auto it = m.find(key);
    return it == m.end() ? std::nullopt : std::optional(it->second);
}

class FakeLookup : public AuditLookup {
public:
    std::map<std::string, AuditKeyUser> bySerial, byCode;
    std::map<std::string, AuditGuest> guests;
    std::vector<std::string> queries;
    std::optional<AuditKeyUser> userBySerialId(const std::string& s) override { return lookUp(bySerial, s); }
    std::optional<AuditKeyUser> userByKeyCode(const std::string& c) override
    {
        return lookUp(byCode, c, &queries);
    }
    std::optional<AuditGuest> guestByCodeString(const std::string& c) override
    {
        return lookUp(guests, c, &queries);
    }
};

const AuditLockInfo kLock { "Room 101", "North Wing" };
const Who kUserRom { 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77 };
const Who kProgramKeyRom { 0x37, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x5D };

class Audit : public ::testing::Test {
protected:
    FakeLookup lookup;
    AuditRow decode(const Record& r, int no = 1)
    {
        auto row = decodeAuditRecord(AuditRecordBytes(r), no, kLock, lookup);
        if (!row)
            throw std::runtime_error("record skipped");
        return *row;
    }
    bool skipped(const Record& r) { return !decodeAuditRecord(AuditRecordBytes(r), 1, kLock, lookup); }
    // The rows of pages decoded with a plan, numbered on from trailEntryCount.
    std::vector<int> numbers(
        const std::vector<MissionKeyPage>& pages, const RecordPagePlan& plan, int& trailEntryCount)
    {
        std::vector<int> out;
        for (int pi = 0; pi < plan.pageCount(); ++pi)
            for (const auto& row : decodeRecordPage(pages.at(pi), plan, pi, kLock, lookup, trailEntryCount))
                out.push_back(row.No);
        return out;
    }
    // A multi-lock audit key's header, decoded.
    static std::optional<MultiLockAuditHeader> multiLockHeader(uint16_t recordsPerLock)
    {
        return decodeMultiLockAuditHeader(
            auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, recordsPerLock, kMultiLockSite));
    }
    static constexpr FacilityCodeBytes kMultiLockSite { 1, 2, 3 };
};

// Who a row names: "First Last Status Department".
std::string person(const AuditRow& r)
{
    return r.FirstName + " " + r.LastName + " " + r.Status + " " + r.Department;
}

void putRecord(MissionKeyPage& page, int slot, const Record& r)
{
    std::copy(r.begin(), r.end(), page.begin() + 16 * slot);
}

MissionKeyPage page1WithLocks(uint8_t n)
{
    MissionKeyPage p = blankMissionKeyPage();
    p[0] = n;
    return p;
}

} // namespace

TEST(AuditHeaders, Page0CarriesTheKindTheSiteAndTheLockSerial)
{
    MissionKeyPage p = auditTrailHeaderPage(ReadKind::GetAuditTrail, 2000, { 0x12, 0x34, 0x56 });
    auto h = decodeAuditKeyHeader(p);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->kind, 0x01);
    EXPECT_EQ(h->facilityCode, (FacilityCodeBytes { 0x12, 0x34, 0x56 }));
    EXPECT_FALSE(h->lockRom) << "not at a lock yet";
    EXPECT_EQ(h->lockSerialText(), "");
    const RomId lock { 0x37, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xC8 };
    std::copy(lock.begin(), lock.end(), p.begin() + 10);
    h = decodeAuditKeyHeader(p);
    ASSERT_TRUE(h && h->lockRom);
    EXPECT_EQ(h->lockSerialText(), "C806050403020137");
    for (uint8_t kind : { ReadKind::GetInformation, ReadKind::MultiLockAuditTrail, uint8_t(0x04) })
        EXPECT_FALSE(decodeAuditKeyHeader(auditTrailHeaderPage(kind, 0, {})));
    EXPECT_FALSE(decodeAuditKeyHeader(blankMissionKeyPage()));
}

TEST(AuditHeaders, Page1CarriesTheCountsAndTheLockClock)
{
    MissionKeyPage p = blankMissionKeyPage();
    const std::array<uint8_t, 11> head { 0x1F, 0x40, 0x07, 0xD0, 0x26, 0x06, 0xEE, 0x15, 0x00, 0x00, 0x00 };
    std::copy(head.begin(), head.end(), p.begin());
    auto c = decodeAuditKeyCounts(p);
    EXPECT_EQ(c.recordsInLock, 8000);
    EXPECT_EQ(c.recordsOnKey, 2000);
    EXPECT_EQ(c.lockTime, local_days { 2026y / June / 15 }) << "the byte after the month is not looked at";
}

TEST(AuditHeaders, LockClockTimesOffTheCalendarAreRefused)
{
    // YY MM DD hh mm ss: month 00, day 32, hour 24, second 60, a year above 99 (the calendar
    // itself is checked with the packed-BCD conversion)
    const std::array<uint8_t, 6> bad[] = { { 0x26, 0x00, 0x15, 0x10, 0x00, 0x00 },
        { 0x26, 0x06, 0x32, 0x10, 0x00, 0x00 }, { 0x26, 0x06, 0x15, 0x24, 0x00, 0x00 },
        { 0x26, 0x06, 0x15, 0x10, 0x00, 0x60 }, { 0xA0, 0x06, 0x15, 0x10, 0x00, 0x00 } };
    for (const auto& b : bad)
        EXPECT_FALSE(lockClockTime(b[0], b[1], b[2], b[3], b[4], b[5])) << int(b[1]) << " " << int(b[2]);
    EXPECT_EQ(lockClockTime(0x24, 0x02, 0x29, 0x23, 0x59, 0x59),
        local_days { 2024y / February / 29 } + 23h + 59min + 59s);
}

TEST_F(Audit, RecordsWithoutAValidTimeAreSkipped)
{
    const Who lock { 0, 0, 0, 0, 0, 0, 0, 2 };
    for (int b = 8; b <= 14; ++b) {
        Record r = makeRecord(lock, 0);
        r[b] = 0xFF;
        EXPECT_TRUE(skipped(r)) << "FFh at byte " << b;
    }
    EXPECT_TRUE(skipped(makeRecord(lock, 0, { 0x26, 0x06, 0x00, 0x15, 0x24, 0x00, 0x00 }))) << "hour 24h";
    const AuditRow timed = decode(makeRecord(lock, 0, { 0x26, 0x06, 0x77, 0x15, 0x10, 0x30, 0x45 }), 7);
    EXPECT_EQ(timed.OpenLockTime, local_days { 2026y / June / 15 } + 10h + 30min + 45s)
        << "byte 10 is not read";
    EXPECT_EQ(timed.No, 7);
    EXPECT_EQ(timed.LockName + "/" + timed.LockLocation, "Room 101/North Wing");
}

TEST_F(Audit, EachKeyOrLockEventHasItsTextAndHolder)
{
    lookup.bySerial[romIdText(kUserRom)] = { "Ann", "Lee", "Active", std::nullopt };
    const Who autoLock { 0, 0, 0, 0, 0, 0, 0, 0x02 }, otherLock { 0x00, 0x12, 0, 0, 0, 0, 0, 0x02 };
    struct Row {
        const Who& who;
        uint8_t event;
        const char* text;
    };
    // the user's key, then the lock's own events (bytes 0 and 1 zero, the event in byte 7)
    const Row rows[] = { { kUserRom, 0x00, "Open Lock With Key(Storehouse Mode)" },
        { kUserRom, 0x01, "Open Lock With Key(Classroom Mode)" }, { kUserRom, 0x02, "Close Lock With Key" },
        { kUserRom, 0x03, "Unknown Type" }, { kUserRom, 0x04, "Forbidden Key(Access During Lockout Mode)" },
        { kUserRom, 0x05, "Invalid Access(Time Shift Setting)" },
        { kUserRom, 0x06, "Invalid Access(Act/Exp Date Setting)" },
        { kUserRom, 0x07, "Invalid Access(Exception Date Setting)" },
        { kUserRom, 0x60, "iButton Access(Complex Type Step One)" }, { kUserRom, 0xF3, "Unknown Type" },
        { autoLock, 0x55, "Lock Auto Closed" }, { { 0, 0, 0, 0, 0, 0, 0, 0x01 }, 0x00, "Lock Auto Opened" },
        { { 0, 0, 0, 0, 0, 0, 0, 0x03 }, 0x00, "Close Lock By Push Button" },
        { { 0, 0, 0, 0, 0, 0, 0, 0x04 }, 0x03, "Invalid Key" }, { otherLock, 0x03, "Invalid Key" },
        { otherLock, 0x00, "Open Lock With Key(Storehouse Mode)" },
        { otherLock, 0x01, "Open Lock With Key(Classroom Mode)" }, { otherLock, 0x02, "Close Lock With Key" },
        { otherLock, 0x04, "Unknown Type" } };
    for (const auto& r : rows) {
        const AuditRow row = decode(makeRecord(r.who, r.event));
        EXPECT_EQ(row.OpenLockType, r.text) << int(r.event);
        EXPECT_EQ(person(row), &r.who == &kUserRom ? "Ann Lee Active " : "   ") << "null department";
        EXPECT_FALSE(row.CodeType);
    }
    EXPECT_EQ(decode(makeRecord(kUserRom, 0)).SerialID, "7766554433221101");
    EXPECT_EQ(decode(makeRecord(autoLock, 0x55)).SerialID, "0200000000000000");
    lookup.bySerial[romIdText(kUserRom)].Department = "Sales";
    EXPECT_EQ(decode(makeRecord(kUserRom, 0)).Department, "Sales");
}

TEST_F(Audit, ProgramKeyEventsArePermittedOrUnknown)
{
    const std::pair<uint8_t, const char*> permitted[]
        = { { 0xF1, "Setup Key Short Circuit" }, { 0xF2, "Setup Key Open Circuit" },
              { 0xF3, "Download Lock Information" }, { 0xF4, "Download Lock Audit Trial" },
              { 0xF5, "Download Lock Audit Trial" }, { 0xF6, "Initialize Lock" }, { 0xF7, "Key List Enable" },
              { 0xF8, "Single-Lock Programming" }, { 0xFA, "Multi-Lock Programming" },
              { 0xFB, "Set Lock Time" }, { 0xE0, "Set Parameter Key" }, { 0xEF, "Set Parameter Key" } };
    for (const auto& [event, text] : permitted) {
        const AuditRow row = decode(makeRecord(kProgramKeyRom, event));
        EXPECT_EQ(row.OpenLockType, text);
        EXPECT_EQ(person(row), "Admin Admin Permitted ");
        EXPECT_EQ(row.SerialID, "5DF0E0D0C0B0A037");
    }
    for (uint8_t event : { 0x00, 0x02, 0xDF, 0xF0, 0xF9, 0xFC, 0xFD, 0xFE, 0xFF }) {
        const AuditRow row = decode(makeRecord(kProgramKeyRom, event));
        EXPECT_EQ(row.OpenLockType, "Unknown Type") << int(event);
        EXPECT_EQ(person(row), "Unknown Unknown Denied ");
    }
}

TEST_F(Audit, CodeEventsHaveTheirTexts)
{
    lookup.guests["1234567890"] = { "Guy", "Guest" };
    // Ten digits in bytes 2-6; the two digits of byte 7 are not part of the code.
    AuditRow row = decode(codeRecord(10, { 0x12, 0x34, 0x56, 0x78, 0x90, 0x99 }, 0x41));
    EXPECT_EQ(row.SerialID, "1234567890");
    EXPECT_EQ(row.OpenLockType, "Open Lock With Code(Classroom Mode)");
    EXPECT_EQ(row.CodeType, "Once");
    EXPECT_EQ(person(row), "Guy Guest  ");
    const char* texts[] = { "Open Lock With Code(Storehouse Mode)", "Open Lock With Code(Classroom Mode)",
        "Close Lock With Code", "Unknown Type(03)", "Forbidden Code(Access During Lockout Mode)",
        "Invalid Access(Time Shift Setting)", "Invalid Access(Act/Exp Date Setting)",
        "Invalid Access(Exception Date Setting)", "Invalid Code(08)", "Invalid Code(09)", "Invalid Code(0A)",
        "Invalid Code(0B)", "Unknown Type(0C)", "Unknown Type(0D)", "Unknown Type(0E)", "Unknown Type(0F)" };
    for (int e = 0; e < 16; ++e)
        EXPECT_EQ(
            decode(codeRecord(4, { 0x12, 0x34 }, static_cast<uint8_t>(0x40 | e))).OpenLockType, texts[e]);
}

// The code kind decides the code type and who is looked up; codes carry no department.
TEST_F(Audit, TheCodeKindDecidesTheCodeTypeAndWhoIsLookedUp)
{
    lookup.byCode["4321"] = { "Kay", "Coder", "Inactive", std::string("Ops") };
    lookup.guests["4321"] = { "Guy", "Guest" };
    const std::tuple<int, const char*, const char*> kinds[] = { { 0, "Temp", "Guy Guest  " },
        { 1, "Perm.", "Kay Coder Inactive " }, { 2, "OOFF", "Guy Guest  " }, { 3, "TSub", "   " },
        { 4, "Once", "Guy Guest  " }, { 5, "Temp", "Guy Guest  " }, { 6, "Perm.", "Kay Coder Inactive " },
        { 7, "Temp", "Guy Guest  " }, { 15, "Temp", "Guy Guest  " } };
    for (const auto& [k, codeType, who] : kinds) {
        const AuditRow row = decode(codeRecord(4, { 0x43, 0x21 }, static_cast<uint8_t>(k << 4)));
        EXPECT_EQ(row.CodeType, codeType) << k;
        EXPECT_EQ(person(row), who) << k;
        EXPECT_EQ(row.SerialID, "4321");
    }
    EXPECT_EQ(person(decode(codeRecord(4, { 0x99, 0x99 }, 0x10))), "   ") << "not registered";
}

TEST_F(Audit, CodeDigitsFollowTheirCount)
{
    // More digits than the six bytes hold: twelve are taken; nibbles above 9 show as letters.
    EXPECT_EQ(auditCodeDigits(codeRecord(200, { 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC }, 0)), "123456789ABC");
    EXPECT_EQ(auditCodeDigits(codeRecord(3, { 0x12, 0x34 }, 0)), "123");
}

// A code with no digits is not looked up, so it matches nobody with an empty code.
TEST_F(Audit, ACodeWithNoDigitsIsNotLookedUp)
{
    lookup.byCode[""] = { "Empty", "Code", "Active", std::nullopt };
    lookup.guests[""] = { "Empty", "Guest" };
    for (uint8_t event : { 0x10, 0x60, 0x40, 0x20, 0x00 }) {
        const AuditRow row = decode(codeRecord(0, {}, event));
        EXPECT_EQ(row.SerialID, "");
        EXPECT_EQ(person(row), "   ");
    }
    EXPECT_TRUE(lookup.queries.empty());
}

TEST_F(Audit, SingleLockRowsAreNumberedOverEmptySlotsAndOnAcrossKeys)
{
    // 2,000 records on pages 2-501; 37 slots spread over the key still hold FFh time bytes.
    std::set<int> empty;
    for (int i = 0; i < 37; ++i)
        empty.insert((i * 53 + 11) % 2000);
    ASSERT_EQ(empty.size(), 37u);
    const RecordPagePlan single = planSingleLockRecords(2000);
    ASSERT_EQ(single.pageCount(), 500);
    EXPECT_EQ(single.page(499), 501);
    std::vector<MissionKeyPage> pages(500, blankMissionKeyPage());
    for (int i = 0; i < 2000; ++i)
        if (!empty.count(i))
            putRecord(pages.at(single.pageOfRecord(i) - 2), single.slotOfRecord(i),
                makeRecord({ 0, 0, 0, 0, 0, 0, 0, 2 }, 0));
    int trailEntryCount = 0;
    const std::vector<int> no = numbers(pages, single, trailEntryCount);
    ASSERT_EQ(no.size(), 1963u);
    for (size_t i = 0; i < no.size(); ++i)
        ASSERT_EQ(no[i], int(i) + 1);
    EXPECT_EQ(trailEntryCount, 1963);
    // A second key of the trail continues the numbering.
    EXPECT_EQ(numbers({ pages[0] }, planSingleLockRecords(3), trailEntryCount),
        (std::vector<int> { 1964, 1965, 1966 }));
}

TEST_F(Audit, SingleLockPlansAreBoundedByTheKey)
{
    EXPECT_EQ(planSingleLockRecords(0).pageCount(), 0);
    EXPECT_EQ(planSingleLockRecords(-5).recordCount, 0);
    const RecordPagePlan full = planSingleLockRecords(65535);
    EXPECT_EQ(full.recordCount, 2036);
    EXPECT_EQ(full.page(full.pageCount() - 1), 510);
    EXPECT_EQ(full.recordsOnPage(full.pageCount() - 1), 4);
    EXPECT_EQ(full.recordsOnPage(full.pageCount()), 0);
    const RecordPagePlan odd = planSingleLockRecords(7);
    EXPECT_EQ(odd.pageCount(), 2);
    EXPECT_EQ(odd.recordsOnPage(1), 3);
    EXPECT_EQ(odd.pageOfRecord(6), 3);
    EXPECT_EQ(odd.slotOfRecord(6), 2);
    EXPECT_THROW(recordSlot(blankMissionKeyPage(), 4), std::out_of_range);
}

TEST_F(Audit, MultiLockKeysHoldABlockOfWholePagesPerLock)
{
    EXPECT_EQ(multiLockHeader(25).value().facilityCode, kMultiLockSite);
    EXPECT_EQ(multiLockHeader(25)->recordsPerLock, 25);
    auto plan = planMultiLockAudit(*multiLockHeader(25), page1WithLocks(2));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->pagesPerLockBlock, 8);
    EXPECT_EQ(plan->locksToRead, 2);
    EXPECT_EQ(plan->headerPage(0), 2);
    EXPECT_EQ(plan->headerPage(1), 10);
    const RecordPagePlan second = planLockBlockRecords(*plan, 1, 25);
    EXPECT_EQ(second.page(0), 11);
    EXPECT_EQ(second.page(second.pageCount() - 1), 17);
    plan = planMultiLockAudit(*multiLockHeader(1000), page1WithLocks(2));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->headerPage(1), 253);
    EXPECT_EQ(planLockBlockRecords(*plan, 1, 1000).page(249), 503);
}

// A lock count beyond what fits, and a block count beyond the records per lock, are cut.
TEST_F(Audit, MultiLockCountsBeyondTheKeyAreCut)
{
    for (const auto& c : kAuditTrailChoices) {
        if (c.kind != AuditTrailKeyKind::MultiLock)
            continue;
        const auto plan = planMultiLockAudit(*multiLockHeader(c.recordsPerLock), page1WithLocks(255));
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->locksAudited, 255);
        EXPECT_EQ(std::to_string(plan->locksToRead), c.locksPerKeyLabel);
        const RecordPagePlan last = planLockBlockRecords(*plan, plan->locksToRead - 1, 65535);
        EXPECT_EQ(last.recordCount, c.recordsPerLock);
        EXPECT_LE(last.page(last.pageCount() - 1), 510);
        EXPECT_EQ(planLockBlockRecords(*plan, plan->locksToRead, 5).pageCount(), 0) << "block beyond the key";
        EXPECT_EQ(planLockBlockRecords(*plan, -1, 5).pageCount(), 0);
    }
}

// Records per lock that is none of the six: no block size, no choice, refused.
TEST_F(Audit, MultiLockRecordsPerLockOutsideTheChoicesAreRefused)
{
    for (uint16_t n : { 0, 1, 24, 26, 2000, 3000, 0xFFFF }) {
        EXPECT_FALSE(pagesPerLockBlock(n)) << n;
        EXPECT_EQ(multiLockChoice(n), nullptr) << n;
        EXPECT_FALSE(planMultiLockAudit(multiLockHeader(n).value(), page1WithLocks(1))) << n;
    }
    EXPECT_FALSE(pagesPerLockBlock(-25));
    EXPECT_FALSE(decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::GetAuditTrail, 25, kMultiLockSite)));
}

TEST_F(Audit, ALockBlocksRowsSkipEmptySlotsAndEndAtItsCount)
{
    MissionKeyPage h = blankMissionKeyPage();
    const std::array<uint8_t, 12> bytes { 0xAA, 0xBB, 0x00, 0x05, 0x37, 1, 2, 3, 4, 5, 6, 0x9E };
    std::copy(bytes.begin(), bytes.end(), h.begin());
    const AuditLockBlockHeader block = decodeAuditLockBlockHeader(h);
    EXPECT_EQ(block.recordCount, 5);
    EXPECT_EQ(block.lockSerialText(), "9E06050403020137");
    const auto plan = planMultiLockAudit(*multiLockHeader(25), page1WithLocks(1));
    ASSERT_TRUE(plan);
    const RecordPagePlan records = planLockBlockRecords(*plan, 0, block.recordCount);
    ASSERT_EQ(records.pageCount(), 2);
    MissionKeyPage p0 = blankMissionKeyPage(), p1 = blankMissionKeyPage();
    const Record r = makeRecord({ 0, 0, 0, 0, 0, 0, 0, 1 }, 0);
    for (int s : { 0, 2, 3 }) // record 1 is empty
        putRecord(p0, s, r);
    putRecord(p1, 0, r);
    putRecord(p1, 1, r); // beyond the count: not read
    int untouched = 41;
    EXPECT_EQ(numbers({ p0, p1 }, records, untouched), (std::vector<int> { 1, 3, 4, 5 }));
    EXPECT_EQ(untouched, 41);
}
