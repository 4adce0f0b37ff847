#pragma once
// The program keys on which locks deposit their audit trails: the records-per-lock choices and
// the header pages the program writes. The multi-lock decoder takes its block size from here.
#include "keyformats/mission_key.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

enum class AuditTrailKeyKind {
    MultiLock, // one Multi-Lock Audit Trail Key (FBh), pages 0 and 1
    GetAuditTrail, // one Get Audit Trail Key (01h), page 0
    TwoKeyTrail, // first key (02h) then second key (03h), page 0 of each
};

struct AuditTrailChoice {
    std::string_view itemText; // the choice list's item
    uint16_t recordsPerLock; // page 0 bytes 8-9
    AuditTrailKeyKind kind;
    std::string_view locksPerKeyLabel; // "Number of locks will be audited up to " value
};

inline constexpr std::array<AuditTrailChoice, 8> kAuditTrailChoices { {
    { "25", 25, AuditTrailKeyKind::MultiLock, "63" },
    { "50", 50, AuditTrailKeyKind::MultiLock, "36" },
    { "100", 100, AuditTrailKeyKind::MultiLock, "19" },
    { "200", 200, AuditTrailKeyKind::MultiLock, "9" },
    { "400", 400, AuditTrailKeyKind::MultiLock, "5" },
    { "1000", 1000, AuditTrailKeyKind::MultiLock, "2" },
    { "2000", 2000, AuditTrailKeyKind::GetAuditTrail, "1" },
    { "3000+", 0, AuditTrailKeyKind::TwoKeyTrail, "1" },
} };

inline constexpr int kRecordsPerPage = 4;
inline constexpr int kFirstRecordPage = 2;
inline constexpr int kRecordPagesOnKey = kLastKeyPage - kFirstRecordPage + 1; // 509

// The multi-lock choice for a key's records per lock; nullptr when it is none of the six.
const AuditTrailChoice* multiLockChoice(int recordsPerLock);

// One header page plus a page per four records, for the six multi-lock choices only.
std::optional<int> pagesPerLockBlock(int recordsPerLock);

// Whole lock blocks of that size in pages 2-510.
int lockBlocksThatFit(int pagesPerLockBlock);

// Page 0 of every audit-trail program key: "READ", kind, facility code, records per lock (MSB
// first), FFh after.
MissionKeyPage auditTrailHeaderPage(uint8_t kind, uint16_t recordsPerLock, const FacilityCodeBytes& facilityCode);
// Page 1 of a Multi-Lock Audit Trail Key: no lock blocks yet.
MissionKeyPage multiLockAuditTrailPage1();

struct AuditKeyPageWrite {
    int page;
    MissionKeyPage image;
};

// The pages of one choice, one list per physical key, each in write order. A multi-lock key
// gets page 1 before page 0, so a failed write never leaves a valid header over a stale
// lock count.
std::vector<std::vector<AuditKeyPageWrite>> auditTrailKeyWrites(const AuditTrailChoice& choice,
                                                               const FacilityCodeBytes& facilityCode);
