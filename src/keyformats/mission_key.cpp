#include "keyformats/mission_key.h"

#include <algorithm>
#include <cstring>

MissionKeyPage blankMissionKeyPage()
{
    MissionKeyPage p;
    p.fill(0xFF);
    return p;
}

MissionKeyHeader MissionKeyHeader::fromPage(const MissionKeyPage& page0)
{
    MissionKeyHeader h;
    if (std::memcmp(page0.data(), "WRITE", 5) == 0) {
        h.marker = MissionKeyMarker::Write;
        h.kind = page0[5];
    } else if (std::memcmp(page0.data(), "READ", 4) == 0) {
        h.marker = MissionKeyMarker::Read;
        h.kind = page0[4];
    }
    return h;
}

std::optional<std::size_t> MissionKeyHeader::facilityCodeOffset() const
{
    switch (marker) {
    case MissionKeyMarker::Read:
        return 5;
    case MissionKeyMarker::Write:
        switch (kind) {
        case WriteKind::NewLockSetup:
            return 8;
        case WriteKind::Lockout:
        case WriteKind::KeyManagement:
            return 6;
        case WriteKind::MultiLock:
            return 7;
        default:
            return std::nullopt;
        }
    case MissionKeyMarker::None:
        break;
    }
    return std::nullopt;
}

bool MissionKeyHeader::facilityCodeMatches(const MissionKeyPage& page0, const FacilityCodeBytes& site) const
{
    const auto at = facilityCodeOffset();
    return at && std::equal(site.begin(), site.end(), page0.begin() + static_cast<std::ptrdiff_t>(*at));
}

void putReadHeader(MissionKeyPage& page, uint8_t kind, const FacilityCodeBytes& facilityCode)
{
    std::memcpy(page.data(), "READ", 4);
    page[4] = kind;
    std::copy(facilityCode.begin(), facilityCode.end(), page.begin() + 5);
}

MissionKeyIdentity identifyMissionKey(const MissionKeyPage& page0)
{
    MissionKeyIdentity id;
    id.header = MissionKeyHeader::fromPage(page0);
    auto named = [&](MissionKeyType t, std::string_view title) {
        id.type = t;
        id.title = title;
        id.facilityCodeOffset = id.header.facilityCodeOffset();
    };
    if (id.header.marker == MissionKeyMarker::None)
        return id;
    id.type = MissionKeyType::Unnamed;
    if (id.header.marker == MissionKeyMarker::Write) {
        switch (id.header.kind) {
        case WriteKind::NewLockSetup:
            named(MissionKeyType::NewLockSetup, "New Lock Setup Mission Key");
            break;
        case WriteKind::Lockout:
            named(MissionKeyType::Lockout, "Lockout Key");
            break;
        case WriteKind::KeyManagement:
            named(MissionKeyType::KeyManagement, "Key Management Mission Key");
            break;
        case WriteKind::MultiLock:
            if (page0[63] == 0xAA)
                named(MissionKeyType::SetTimeTable, "Set Time Table Key");
            else
                named(MissionKeyType::MultiLock, "Multi-Lock Key");
            break;
        default:
            break;
        }
        return id;
    }
    switch (id.header.kind) {
    case ReadKind::GetInformation:
        named(MissionKeyType::GetInformation, "Get Information Key");
        break;
    case ReadKind::GetAuditTrail:
    case ReadKind::AuditTrailFirstKey:
    case ReadKind::AuditTrailSecondKey:
        named(MissionKeyType::GetAuditTrail, "Get Audit Trail Key");
        break;
    case ReadKind::MultiLockAuditTrail:
        named(MissionKeyType::MultiLockAuditTrail, "Multi-Lock Audit Trail Key");
        break;
    case ReadKind::SetParameter:
        named(MissionKeyType::SetParameter, "Set Parameter Key");
        break;
    case ReadKind::IRStarter:
        named(MissionKeyType::IRStarter, "IR Starter Key");
        break;
    default:
        break;
    }
    return id;
}
