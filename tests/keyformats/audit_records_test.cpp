// Audit records: headers, time tests, the four event classes and their texts, and the page
// plans of single-lock and multi-lock keys, with a look-up that stands in for the database.
#include "keyformats/audit_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace std::chrono;

namespace {

using Record = std::array<uint8_t, 16>;

// Time bytes 8-14: 2026-06-15 10:30:45 (byte 10 unused).
constexpr std::array<uint8_t, 7> kTime { 0x26, 0x06, 0x00, 0x15, 0x10, 0x30, 0x45 };
const DateTime kTimeValue = local_days { 2026y / June / 15 } + 10h + 30min + 45s;

Record makeRecord(std::array<uint8_t, 8> who, uint8_t event, std::array<uint8_t, 7> time = kTime)
{
    Record r {};
    std::copy(who.begin(), who.end(), r.begin());
    std::copy(time.begin(), time.end(), r.begin() + 8);
    r[15] = event;
    return r;
}

Record codeRecord(uint8_t digits, std::array<uint8_t, 6> packed, uint8_t event)
{
    return makeRecord({ 0xFF, digits, packed[0], packed[1], packed[2], packed[3], packed[4], packed[5] }, event);
}

class FakeLookup : public AuditLookup {
public:
    std::map<std::string, AuditKeyUser> bySerial, byCode;
    std::map<std::string, AuditGuest> guests;
    std::vector<std::string> codeQueries, guestQueries;

    std::optional<AuditKeyUser> userBySerialId(const std::string& s) override
    {
        auto it = bySerial.find(s);
        return it == bySerial.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<AuditKeyUser> userByKeyCode(const std::string& c) override
    {
        codeQueries.push_back(c);
        auto it = byCode.find(c);
        return it == byCode.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<AuditGuest> guestByCodeString(const std::string& c) override
    {
        guestQueries.push_back(c);
        auto it = guests.find(c);
        return it == guests.end() ? std::nullopt : std::optional(it->second);
    }
};

const AuditLockInfo kLock { "Room 101", "North Wing" };
const RomId kUserRom { 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77 };
const RomId kProgramKeyRom { 0x37, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x5D };

AuditRow decode(const Record& r, FakeLookup& lookup, int no = 1)
{
    auto row = decodeAuditRecord(AuditRecordBytes(r), no, kLock, lookup);
    if (!row)
        throw std::runtime_error("record skipped");
    return *row;
}

void putRecord(MissionKeyPage& page, int slot, const Record& r) { std::copy(r.begin(), r.end(), page.begin() + 16 * slot); }

} // namespace

TEST(AuditHeaders, SingleLockPage0)
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

TEST(AuditHeaders, Page1CountsAndLockClock)
{
    MissionKeyPage p = blankMissionKeyPage();
    const std::array<uint8_t, 11> head { 0x1F, 0x40, 0x07, 0xD0, 0x26, 0x06, 0xEE, 0x15, 0x00, 0x00, 0x00 };
    std::copy(head.begin(), head.end(), p.begin());
    auto c = decodeAuditKeyCounts(p);
    EXPECT_EQ(c.recordsInLock, 8000);
    EXPECT_EQ(c.recordsOnKey, 2000);
    EXPECT_EQ(c.lockTime, local_days { 2026y / June / 15 }) << "the byte after the month is not looked at";

    struct Bad {
        std::array<uint8_t, 6> t; // YY MM DD hh mm ss
        const char* why;
    };
    const Bad bad[] = { { { 0x26, 0x00, 0x15, 0x10, 0x00, 0x00 }, "month 00" },
                        { { 0x26, 0x13, 0x15, 0x10, 0x00, 0x00 }, "month 13" },
                        { { 0x26, 0x06, 0x32, 0x10, 0x00, 0x00 }, "day 32" },
                        { { 0x26, 0x04, 0x31, 0x10, 0x00, 0x00 }, "31 April" },
                        { { 0x26, 0x02, 0x29, 0x10, 0x00, 0x00 }, "29 February 2026" },
                        { { 0x26, 0x06, 0x15, 0x24, 0x00, 0x00 }, "hour 24" },
                        { { 0x26, 0x06, 0x15, 0x10, 0x60, 0x00 }, "minute 60" },
                        { { 0x26, 0x06, 0x15, 0x10, 0x00, 0x60 }, "second 60" },
                        { { 0x1A, 0x06, 0x15, 0x10, 0x00, 0x00 }, "digit above 9" },
                        { { 0xA0, 0x06, 0x15, 0x10, 0x00, 0x00 }, "year above 99" } };
    for (const auto& b : bad)
        EXPECT_FALSE(lockClockTime(b.t[0], b.t[1], b.t[2], b.t[3], b.t[4], b.t[5])) << b.why;
    EXPECT_EQ(lockClockTime(0x24, 0x02, 0x29, 0x23, 0x59, 0x59),
              local_days { 2024y / February / 29 } + 23h + 59min + 59s);
}

TEST(AuditRecords, TimeTests)
{
    FakeLookup lookup;
    for (int b = 8; b <= 14; ++b) {
        Record r = makeRecord({ 0, 0, 0, 0, 0, 0, 0, 2 }, 0);
        r[b] = 0xFF;
        EXPECT_FALSE(decodeAuditRecord(AuditRecordBytes(r), 1, kLock, lookup)) << "FFh at byte " << b;
    }
    Record r = makeRecord({ 0, 0, 0, 0, 0, 0, 0, 2 }, 0, { 0x26, 0x06, 0x00, 0x15, 0x24, 0x00, 0x00 });
    EXPECT_FALSE(decodeAuditRecord(AuditRecordBytes(r), 1, kLock, lookup)) << "hour 24h";
    r = makeRecord({ 0, 0, 0, 0, 0, 0, 0, 2 }, 0, { 0x26, 0x06, 0x77, 0x15, 0x10, 0x30, 0x45 });
    auto row = decodeAuditRecord(AuditRecordBytes(r), 7, kLock, lookup);
    ASSERT_TRUE(row) << "byte 10 carries nothing but the FFh test";
    EXPECT_EQ(row->OpenLockTime, kTimeValue);
    EXPECT_EQ(row->No, 7);
    EXPECT_EQ(row->LockName, "Room 101");
    EXPECT_EQ(row->LockLocation, "North Wing");
}

TEST(AuditRecords, RegisteredKeyEvents)
{
    FakeLookup lookup;
    lookup.bySerial[romIdText(kUserRom)] = { "Ann", "Lee", "Active", std::nullopt };
    const std::pair<uint8_t, const char*> table[] = {
        { 0x00, "Open Lock With Key(Storehouse Mode)" },
        { 0x01, "Open Lock With Key(Classroom Mode)" },
        { 0x02, "Close Lock With Key" },
        { 0x03, "Unknown Type" },
        { 0x04, "Forbidden Key(Access During Lockout Mode)" },
        { 0x05, "Invalid Access(Time Shift Setting)" },
        { 0x06, "Invalid Access(Act/Exp Date Setting)" },
        { 0x07, "Invalid Access(Exception Date Setting)" },
        { 0x60, "iButton Access(Complex Type Step One)" },
        { 0xF3, "Unknown Type" },
    };
    for (const auto& [event, text] : table) {
        const Record r = makeRecord(kUserRom, event);
        const AuditRow row = decode(r, lookup);
        EXPECT_EQ(row.OpenLockType, text) << int(event);
        EXPECT_EQ(row.SerialID, "7766554433221101");
        EXPECT_EQ(row.FirstName, "Ann");
        EXPECT_EQ(row.LastName, "Lee");
        EXPECT_EQ(row.Status, "Active");
        EXPECT_EQ(row.Department, "") << "null department";
        EXPECT_FALSE(row.CodeType);
    }
    lookup.bySerial[romIdText(kUserRom)].Department = "Sales";
    EXPECT_EQ(decode(makeRecord(kUserRom, 0), lookup).Department, "Sales");
}

TEST(AuditRecords, CodeRecordWithByte15Of41h)
{
    FakeLookup lookup;
    lookup.guests["1234567890"] = { "Guy", "Guest" };
    // Ten digits in bytes 2-6; the two digits of byte 7 are not part of the code.
    const Record r = codeRecord(10, { 0x12, 0x34, 0x56, 0x78, 0x90, 0x99 }, 0x41);
    const AuditRow row = decode(r, lookup);
    EXPECT_EQ(row.SerialID, "1234567890");
    EXPECT_EQ(row.OpenLockType, "Open Lock With Code(Classroom Mode)");
    EXPECT_EQ(row.CodeType, "Once");
    EXPECT_EQ(row.FirstName, "Guy");
    EXPECT_EQ(row.LastName, "Guest");
    EXPECT_EQ(row.Status, "");
    EXPECT_EQ(row.Department, "");
}

TEST(AuditRecords, CodeEventTexts)
{
    FakeLookup lookup;
    const std::pair<int, const char*> table[] = {
        { 0, "Open Lock With Code(Storehouse Mode)" },
        { 1, "Open Lock With Code(Classroom Mode)" },
        { 2, "Close Lock With Code" },
        { 3, "Unknown Type(03)" },
        { 4, "Forbidden Code(Access During Lockout Mode)" },
        { 5, "Invalid Access(Time Shift Setting)" },
        { 6, "Invalid Access(Act/Exp Date Setting)" },
        { 7, "Invalid Access(Exception Date Setting)" },
        { 8, "Invalid Code(08)" },
        { 9, "Invalid Code(09)" },
        { 10, "Invalid Code(0A)" },
        { 11, "Invalid Code(0B)" },
        { 12, "Unknown Type(0C)" },
        { 13, "Unknown Type(0D)" },
        { 14, "Unknown Type(0E)" },
        { 15, "Unknown Type(0F)" },
    };
    for (const auto& [e, text] : table)
        EXPECT_EQ(decode(codeRecord(4, { 0x12, 0x34 }, static_cast<uint8_t>(0x40 | e)), lookup).OpenLockType, text);
}

TEST(AuditRecords, CodeKindsDecideWhoAndCodeType)
{
    FakeLookup lookup;
    lookup.byCode["4321"] = { "Kay", "Coder", "Inactive", std::string("Ops") };
    lookup.guests["4321"] = { "Guy", "Guest" };
    struct Row {
        int k;
        const char* codeType;
        const char* first;
        const char* status;
    };
    const Row rows[] = {
        { 0, "Temp", "Guy", "" },   { 1, "Perm.", "Kay", "Inactive" }, { 2, "OOFF", "Guy", "" },
        { 3, "TSub", "", "" },      { 4, "Once", "Guy", "" },          { 5, "Temp", "Guy", "" },
        { 6, "Perm.", "Kay", "Inactive" }, { 7, "Temp", "Guy", "" },   { 15, "Temp", "Guy", "" },
    };
    for (const auto& r : rows) {
        const AuditRow row = decode(codeRecord(4, { 0x43, 0x21 }, static_cast<uint8_t>(r.k << 4)), lookup);
        EXPECT_EQ(row.CodeType, r.codeType) << r.k;
        EXPECT_EQ(row.FirstName, r.first) << r.k;
        EXPECT_EQ(row.Status, r.status) << r.k;
        EXPECT_EQ(row.Department, "") << "codes never carry a department";
        EXPECT_EQ(row.SerialID, "4321");
    }
    // Not registered: empty names.
    const AuditRow none = decode(codeRecord(4, { 0x99, 0x99 }, 0x10), lookup);
    EXPECT_EQ(none.FirstName, "");
    EXPECT_EQ(none.LastName, "");
    EXPECT_EQ(none.Status, "");
}

TEST(AuditRecords, CodeDigits)
{
    FakeLookup lookup;
    // More digits than the six bytes hold: twelve are taken; nibbles above 9 show as letters.
    EXPECT_EQ(auditCodeDigits(codeRecord(200, { 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC }, 0)), "123456789ABC");
    EXPECT_EQ(auditCodeDigits(codeRecord(3, { 0x12, 0x34 }, 0)), "123");
    EXPECT_EQ(auditCodeDigits(codeRecord(0, { 0x12, 0x34 }, 0)), "");

    // A code with no digits is not looked up, so it matches nobody with an empty code.
    lookup.byCode[""] = { "Empty", "Code", "Active", std::nullopt };
    lookup.guests[""] = { "Empty", "Guest" };
    for (uint8_t event : { 0x10, 0x60, 0x40, 0x20, 0x00 }) {
        const AuditRow row = decode(codeRecord(0, {}, event), lookup);
        EXPECT_EQ(row.SerialID, "");
        EXPECT_EQ(row.FirstName, "");
        EXPECT_EQ(row.Status, "");
    }
    EXPECT_TRUE(lookup.codeQueries.empty());
    EXPECT_TRUE(lookup.guestQueries.empty());
}

TEST(AuditRecords, LockEventsWithoutKeyOrCode)
{
    FakeLookup lookup;
    const AuditRow closed = decode(makeRecord({ 0, 0, 0, 0, 0, 0, 0, 0x02 }, 0x55), lookup);
    EXPECT_EQ(closed.OpenLockType, "Lock Auto Closed");
    EXPECT_EQ(closed.SerialID, "0200000000000000");
    EXPECT_EQ(closed.FirstName, "");
    EXPECT_EQ(closed.LastName, "");
    EXPECT_EQ(closed.Status, "");
    EXPECT_FALSE(closed.CodeType);
    EXPECT_EQ(decode(makeRecord({ 0, 0, 0, 0, 0, 0, 0, 0x01 }, 0), lookup).OpenLockType, "Lock Auto Opened");
    EXPECT_EQ(decode(makeRecord({ 0, 0, 0, 0, 0, 0, 0, 0x03 }, 0), lookup).OpenLockType, "Close Lock By Push Button");

    const std::array<uint8_t, 8> other { 0x00, 0x12, 0, 0, 0, 0, 0, 0x02 };
    const std::pair<uint8_t, const char*> table[] = { { 0x03, "Invalid Key" },
                                                      { 0x00, "Open Lock With Key(Storehouse Mode)" },
                                                      { 0x01, "Open Lock With Key(Classroom Mode)" },
                                                      { 0x02, "Close Lock With Key" },
                                                      { 0x04, "Unknown Type" } };
    for (const auto& [event, text] : table)
        EXPECT_EQ(decode(makeRecord(other, event), lookup).OpenLockType, text) << int(event);
    EXPECT_EQ(decode(makeRecord({ 0, 0, 0, 0, 0, 0, 0, 0x04 }, 0x03), lookup).OpenLockType, "Invalid Key");
}

TEST(AuditRecords, UnregisteredKeyTexts)
{
    FakeLookup lookup;
    const std::pair<uint8_t, const char*> permitted[] = {
        { 0xF1, "Setup Key Short Circuit" },   { 0xF2, "Setup Key Open Circuit" },
        { 0xF3, "Download Lock Information" }, { 0xF4, "Download Lock Audit Trial" },
        { 0xF5, "Download Lock Audit Trial" }, { 0xF6, "Initialize Lock" },
        { 0xF7, "Key List Enable" },           { 0xF8, "Single-Lock Programming" },
        { 0xFA, "Multi-Lock Programming" },    { 0xFB, "Set Lock Time" },
        { 0xE0, "Set Parameter Key" },         { 0xEF, "Set Parameter Key" },
    };
    for (const auto& [event, text] : permitted) {
        const AuditRow row = decode(makeRecord(kProgramKeyRom, event), lookup);
        EXPECT_EQ(row.OpenLockType, text);
        EXPECT_EQ(row.FirstName, "Admin");
        EXPECT_EQ(row.LastName, "Admin");
        EXPECT_EQ(row.Status, "Permitted");
        EXPECT_EQ(row.SerialID, "5DF0E0D0C0B0A037");
    }
    for (uint8_t event : { 0x00, 0x02, 0xDF, 0xF0, 0xF9, 0xFC, 0xFD, 0xFE, 0xFF }) {
        const AuditRow row = decode(makeRecord(kProgramKeyRom, event), lookup);
        EXPECT_EQ(row.OpenLockType, "Unknown Type") << int(event);
        EXPECT_EQ(row.FirstName, "Unknown");
        EXPECT_EQ(row.LastName, "Unknown");
        EXPECT_EQ(row.Status, "Denied");
    }
}

TEST(AuditRecords, EveryTextIsInTheVocabulary)
{
    FakeLookup lookup;
    lookup.bySerial[romIdText(kUserRom)] = { "Ann", "Lee", "Active", std::nullopt };
    const auto& vocab = openLockTypeVocabulary();
    const std::set<std::string_view> known(vocab.begin(), vocab.end());
    EXPECT_EQ(known.size(), vocab.size()) << "no duplicates";
    std::set<std::string> seen;
    const std::array<std::array<uint8_t, 8>, 5> whos { { kUserRom, kProgramKeyRom, { 0xFF, 4, 0x12, 0x34 },
                                                         { 0, 0, 0, 0, 0, 0, 0, 1 }, { 0, 9, 0, 0, 0, 0, 0, 0 } } };
    for (const auto& who : whos)
        for (int e = 0; e < 256; ++e) {
            const std::string text = decode(makeRecord(who, static_cast<uint8_t>(e)), lookup).OpenLockType;
            EXPECT_TRUE(known.count(text)) << text;
            seen.insert(text);
        }
    EXPECT_EQ(seen.size(), vocab.size() - 2) << "all but Auto Closed and Push Button come up here";
}

TEST(AuditPlans, SingleLockKeyOf2000SlotsWith37Empty)
{
    // 2,000 records on pages 2-501; 37 slots spread over the key still hold FFh time bytes.
    std::map<int, MissionKeyPage> key;
    std::set<int> empty;
    for (int i = 0; i < 37; ++i)
        empty.insert((i * 53 + 11) % 2000);
    ASSERT_EQ(empty.size(), 37u);
    const RecordPagePlan plan = planSingleLockRecords(2000);
    EXPECT_EQ(plan.pageCount(), 500);
    for (int i = 0; i < 2000; ++i) {
        auto& page = key.try_emplace(plan.pageOfRecord(i), blankMissionKeyPage()).first->second;
        if (!empty.count(i))
            putRecord(page, plan.slotOfRecord(i), makeRecord({ 0, 0, 0, 0, 0, 0, 0, 0x02 }, 0));
    }
    EXPECT_EQ(key.begin()->first, 2);
    EXPECT_EQ(key.rbegin()->first, 501);

    FakeLookup lookup;
    int trailEntryCount = 0;
    std::vector<AuditRow> rows;
    for (int pi = 0; pi < plan.pageCount(); ++pi) {
        auto got = decodeRecordPage(key.at(plan.page(pi)), plan, pi, kLock, lookup, trailEntryCount);
        rows.insert(rows.end(), got.begin(), got.end());
    }
    ASSERT_EQ(rows.size(), 1963u);
    EXPECT_EQ(trailEntryCount, 1963);
    for (size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].No, static_cast<int>(i) + 1);

    // A second key of the trail continues the numbering.
    const RecordPagePlan second = planSingleLockRecords(3);
    MissionKeyPage page = blankMissionKeyPage();
    for (int s = 0; s < 3; ++s)
        putRecord(page, s, makeRecord({ 0, 0, 0, 0, 0, 0, 0, 0x01 }, 0));
    const auto more = decodeRecordPage(page, second, 0, kLock, lookup, trailEntryCount);
    ASSERT_EQ(more.size(), 3u);
    EXPECT_EQ(more.front().No, 1964);
    EXPECT_EQ(more.back().No, 1966);
}

TEST(AuditPlans, SingleLockCountsAreBounded)
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

namespace {
MissionKeyPage page1WithLocks(uint8_t n)
{
    MissionKeyPage p = blankMissionKeyPage();
    p[0] = n;
    return p;
}
} // namespace

TEST(AuditPlans, MultiLockBlocks)
{
    const FacilityCodeBytes site { 1, 2, 3 };
    auto header = decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, 25, site));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->facilityCode, site);
    EXPECT_EQ(header->recordsPerLock, 25);
    auto plan = planMultiLockAudit(*header, page1WithLocks(2));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->pagesPerLockBlock, 8);
    EXPECT_EQ(plan->locksToRead, 2);
    EXPECT_EQ(plan->headerPage(0), 2);
    EXPECT_EQ(plan->headerPage(1), 10);
    const RecordPagePlan second = planLockBlockRecords(*plan, 1, 25);
    EXPECT_EQ(second.page(0), 11);
    EXPECT_EQ(second.page(second.pageCount() - 1), 17);

    header = decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, 1000, site));
    plan = planMultiLockAudit(*header, page1WithLocks(2));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->headerPage(1), 253);
    EXPECT_EQ(planLockBlockRecords(*plan, 1, 1000).page(249), 503);

    // A lock count beyond what fits, and a block count beyond the records per lock, are cut.
    for (const auto& c : kAuditTrailChoices) {
        if (c.kind != AuditTrailKeyKind::MultiLock)
            continue;
        header = decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, c.recordsPerLock, site));
        plan = planMultiLockAudit(*header, page1WithLocks(255));
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->locksAudited, 255);
        EXPECT_EQ(std::to_string(plan->locksToRead), c.locksPerKeyLabel);
        const RecordPagePlan last = planLockBlockRecords(*plan, plan->locksToRead - 1, 65535);
        EXPECT_EQ(last.recordCount, c.recordsPerLock);
        EXPECT_LE(last.page(last.pageCount() - 1), 510);
        EXPECT_EQ(planLockBlockRecords(*plan, plan->locksToRead, 5).pageCount(), 0) << "block beyond the key";
        EXPECT_EQ(planLockBlockRecords(*plan, -1, 5).pageCount(), 0);
    }

    // Records per lock that is none of the six: refused.
    for (uint16_t n : { 0, 24, 2000, 0xFFFF }) {
        header = decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, n, site));
        ASSERT_TRUE(header);
        EXPECT_FALSE(header->pagesPerLockBlock);
        EXPECT_FALSE(planMultiLockAudit(*header, page1WithLocks(1)));
    }
    EXPECT_FALSE(decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::GetAuditTrail, 25, site)));
}

TEST(AuditPlans, LockBlockHeaderAndNumberingByRecordIndex)
{
    MissionKeyPage h = blankMissionKeyPage();
    const std::array<uint8_t, 12> bytes { 0xAA, 0xBB, 0x00, 0x05, 0x37, 1, 2, 3, 4, 5, 6, 0x9E };
    std::copy(bytes.begin(), bytes.end(), h.begin());
    const AuditLockBlockHeader block = decodeAuditLockBlockHeader(h);
    EXPECT_EQ(block.recordCount, 5);
    EXPECT_EQ(block.lockSerialText(), "9E06050403020137");

    const FacilityCodeBytes site { 1, 2, 3 };
    const auto plan = planMultiLockAudit(
        *decodeMultiLockAuditHeader(auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, 25, site)), page1WithLocks(1));
    const RecordPagePlan records = planLockBlockRecords(*plan, 0, block.recordCount);
    ASSERT_EQ(records.pageCount(), 2);
    MissionKeyPage p0 = blankMissionKeyPage(), p1 = blankMissionKeyPage();
    for (int s = 0; s < 4; ++s)
        if (s != 1) // record 1 is empty
            putRecord(p0, s, makeRecord({ 0, 0, 0, 0, 0, 0, 0, 1 }, 0));
    putRecord(p1, 0, makeRecord({ 0, 0, 0, 0, 0, 0, 0, 1 }, 0));
    putRecord(p1, 1, makeRecord({ 0, 0, 0, 0, 0, 0, 0, 1 }, 0)); // beyond the count: not read

    FakeLookup lookup;
    int untouched = 41;
    std::vector<int> numbers;
    for (int pi = 0; pi < records.pageCount(); ++pi)
        for (const auto& row : decodeRecordPage(pi == 0 ? p0 : p1, records, pi, kLock, lookup, untouched))
            numbers.push_back(row.No);
    EXPECT_EQ(numbers, (std::vector<int> { 1, 3, 4, 5 }));
    EXPECT_EQ(untouched, 41);
}
