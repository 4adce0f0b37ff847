#pragma once
// Audit trails as locks leave them on keys: the header pages, the 16-byte records, their time
// tests and event texts, and which pages hold which records. The Read Key window reads the
// pages and stores the rows; users and codes are looked up through AuditLookup.
#include "keyformats/audit_trail_keys.h"
#include "keyformats/mission_key.h"

#include "bytes/codec.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using AuditRecordBytes = std::span<const uint8_t, 16>;

// Pages 2-510 hold at most this many records; counts read from a key are cut to it.
inline constexpr int kMaxRecordsOnKey = kRecordPagesOnKey * kRecordsPerPage; // 2036

// ---- Single-lock keys (kinds 01h, 02h, 03h) ----

// Page 0 as the lock leaves it.
struct AuditKeyHeader {
    uint8_t kind = 0;
    FacilityCodeBytes facilityCode {};
    uint16_t capacity = 0; // bytes 8-9, not used by the reader
    std::optional<RomId> lockRom; // bytes 10-17; nullopt while all FFh (not at a lock yet)

    std::string lockSerialText() const; // 16 hex digits, byte 17 first; empty without a lock
};
// nullopt unless page 0 is "READ" with kind 01h, 02h or 03h.
std::optional<AuditKeyHeader> decodeAuditKeyHeader(const MissionKeyPage& page0);

// Page 1 as the lock leaves it.
struct AuditKeyCounts {
    uint16_t recordsInLock = 0; // bytes 0-1
    uint16_t recordsOnKey = 0; // bytes 2-3, as the lock wrote it
    std::optional<DateTime> lockTime; // bytes 4-10; nullopt: "Lock Time Is Invalid value"
};
AuditKeyCounts decodeAuditKeyCounts(const MissionKeyPage& page1);

inline constexpr std::string_view kInvalidLockTimeText = "Lock Time Is Invalid value";

// The lock-time rule: raw-byte bounds, then a real date and time (hour 24, minute or second
// 60 refused). Year 2000 + yy.
std::optional<DateTime> lockClockTime(uint8_t yy, uint8_t mm, uint8_t dd, uint8_t hh, uint8_t mi, uint8_t ss);

// A record's time: nullopt (the record is skipped) when any of bytes 8-14 is FFh or the
// lock-time rule fails on bytes 8, 9, 11, 12, 13, 14.
std::optional<DateTime> auditRecordTime(AuditRecordBytes record);

// ---- Multi-lock keys (kind FBh) ----

struct MultiLockAuditHeader {
    FacilityCodeBytes facilityCode {};
    uint16_t recordsPerLock = 0; // bytes 8-9
    std::optional<int> pagesPerLockBlock; // nullopt: none of the six choices, refuse the key
};
// nullopt unless page 0 is "READ" with kind FBh.
std::optional<MultiLockAuditHeader> decodeMultiLockAuditHeader(const MissionKeyPage& page0);

struct MultiLockAuditPlan {
    int recordsPerLock = 0;
    int pagesPerLockBlock = 0;
    int locksAudited = 0; // page 1 byte 0, as the locks left it
    int locksToRead = 0; // the blocks that fit in pages 2-510

    int headerPage(int block) const { return kFirstRecordPage + block * pagesPerLockBlock; }
};
// nullopt when the records per lock are none of the six choices.
std::optional<MultiLockAuditPlan> planMultiLockAudit(const MultiLockAuditHeader& header, const MissionKeyPage& page1);

// First page of a lock block.
struct AuditLockBlockHeader {
    uint16_t recordCount = 0; // bytes 2-3, as the lock wrote it
    RomId lockRom {}; // bytes 4-11

    std::string lockSerialText() const { return romIdText(lockRom); }
};
AuditLockBlockHeader decodeAuditLockBlockHeader(const MissionKeyPage& page);

// ---- Which pages hold which records ----

enum class AuditNumbering {
    Trail, // No = TrailEntryCount + 1, counting decoded rows across the key(s)
    RecordIndex, // No = the record's index in its lock block + 1; skipped records leave gaps
};

struct RecordPagePlan {
    int firstPage = kFirstRecordPage;
    int recordCount = 0; // already bounded: no record beyond page 510
    AuditNumbering numbering = AuditNumbering::Trail;

    int pageCount() const { return (recordCount + kRecordsPerPage - 1) / kRecordsPerPage; }
    int page(int pageIndex) const { return firstPage + pageIndex; }
    int firstRecordOnPage(int pageIndex) const { return pageIndex * kRecordsPerPage; }
    int recordsOnPage(int pageIndex) const;
    int pageOfRecord(int record) const { return firstPage + record / kRecordsPerPage; }
    int slotOfRecord(int record) const { return record % kRecordsPerPage; }
};

// Records of a single-lock key from page 2, at most 2,036.
RecordPagePlan planSingleLockRecords(int recordsOnKey);
// Records of lock block k: from the page after its header, at most RecordsPerLock, never
// beyond page 510. An empty plan for a block outside the plan.
RecordPagePlan planLockBlockRecords(const MultiLockAuditPlan& plan, int block, int blockRecordCount);

// Record slot 0-3 of a page.
AuditRecordBytes recordSlot(const MissionKeyPage& page, int slot);

// ---- Decoding records into rows ----

struct AuditKeyUser { // a KeyManagement row
    std::string FirstName, LastName, Status;
    std::optional<std::string> Department; // null column
};
struct AuditGuest { // an AccessCode row
    std::string GuestFirstName, GuestLastName;
};

// The decoder's window on the database; the first matching row of each query.
class AuditLookup {
public:
    virtual ~AuditLookup() = default;
    virtual std::optional<AuditKeyUser> userBySerialId(const std::string& serialId) = 0;
    virtual std::optional<AuditKeyUser> userByKeyCode(const std::string& keyCode) = 0;
    virtual std::optional<AuditGuest> guestByCodeString(const std::string& codeString) = 0;
};

struct AuditLockInfo {
    std::string LockName, LockLocation;
};

// One TempRecord row.
struct AuditRow {
    int No = 0;
    std::string SerialID, FirstName, LastName, Status, Department, LockName, LockLocation, OpenLockType;
    DateTime OpenLockTime {};
    std::optional<std::string> CodeType; // code events only
};

// The record's id text: 16 hex digits of bytes 7 down to 0.
std::string auditRecordIdText(AuditRecordBytes record);
// A code record's digits: the first byte-1 hex digits of bytes 2-7, at most 12.
std::string auditCodeDigits(AuditRecordBytes record);

// nullopt when the time tests skip the record.
std::optional<AuditRow> decodeAuditRecord(AuditRecordBytes record, int no, const AuditLockInfo& lock,
                                          AuditLookup& lookup);

// The rows of one page of a plan. With AuditNumbering::Trail each row takes
// trailEntryCount + 1 and advances it; otherwise trailEntryCount is left alone.
std::vector<AuditRow> decodeRecordPage(const MissionKeyPage& page, const RecordPagePlan& plan, int pageIndex,
                                       const AuditLockInfo& lock, AuditLookup& lookup, int& trailEntryCount);

// ---- Texts ----

namespace AuditCodeType {
inline constexpr std::string_view Permanent = "Perm.";
inline constexpr std::string_view TimeSub = "TSub";
inline constexpr std::string_view Once = "Once";
inline constexpr std::string_view OneOff = "OOFF";
inline constexpr std::string_view Temporary = "Temp";
} // namespace AuditCodeType

// Every text the decoders write into OpenLockType.
const std::vector<std::string_view>& openLockTypeVocabulary();
