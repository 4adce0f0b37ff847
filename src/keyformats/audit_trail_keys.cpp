#include "keyformats/audit_trail_keys.h"

const AuditTrailChoice* multiLockChoice(int recordsPerLock)
{
    for (const auto& c : kAuditTrailChoices)
        if (c.kind == AuditTrailKeyKind::MultiLock && c.recordsPerLock == recordsPerLock)
            return &c;
    return nullptr;
}

std::optional<int> pagesPerLockBlock(int recordsPerLock)
{
    if (!multiLockChoice(recordsPerLock))
        return std::nullopt;
    return 1 + (recordsPerLock + kRecordsPerPage - 1) / kRecordsPerPage;
}

int lockBlocksThatFit(int pages) { return pages > 0 ? kRecordPagesOnKey / pages : 0; }

MissionKeyPage auditTrailHeaderPage(uint8_t kind, uint16_t recordsPerLock, const FacilityCodeBytes& facilityCode)
{
    MissionKeyPage p = blankMissionKeyPage();
    putReadHeader(p, kind, facilityCode);
    p[8] = static_cast<uint8_t>(recordsPerLock >> 8);
    p[9] = static_cast<uint8_t>(recordsPerLock & 0xFF);
    return p;
}

MissionKeyPage multiLockAuditTrailPage1()
{
    MissionKeyPage p = blankMissionKeyPage();
    p[0] = 0x00;
    return p;
}

std::vector<std::vector<AuditKeyPageWrite>> auditTrailKeyWrites(const AuditTrailChoice& choice,
                                                               const FacilityCodeBytes& facilityCode)
{
    switch (choice.kind) {
    case AuditTrailKeyKind::MultiLock:
        return { { { 1, multiLockAuditTrailPage1() },
                   { 0, auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, choice.recordsPerLock, facilityCode) } } };
    case AuditTrailKeyKind::GetAuditTrail:
        return { { { 0, auditTrailHeaderPage(ReadKind::GetAuditTrail, choice.recordsPerLock, facilityCode) } } };
    case AuditTrailKeyKind::TwoKeyTrail:
        return { { { 0, auditTrailHeaderPage(ReadKind::AuditTrailFirstKey, 0, facilityCode) } },
                 { { 0, auditTrailHeaderPage(ReadKind::AuditTrailSecondKey, 0, facilityCode) } } };
    }
    return {};
}
