#include "keyformats/audit_records.h"

#include <algorithm>
#include <stdexcept>

namespace {

uint16_t be16(const MissionKeyPage& p, std::size_t at) { return static_cast<uint16_t>((p[at] << 8) | p[at + 1]); }

RomId romAt(const MissionKeyPage& p, std::size_t at)
{
    RomId rom {};
    std::copy_n(p.begin() + static_cast<std::ptrdiff_t>(at), rom.size(), rom.begin());
    return rom;
}

std::string twoHexDigits(int v) { return hexByte(static_cast<uint8_t>(v)); }

// Event of a registered key, by the whole event byte.
std::string_view keyEventText(uint8_t event)
{
    switch (event) {
    case 0x00: return "Open Lock With Key(Storehouse Mode)";
    case 0x01: return "Open Lock With Key(Classroom Mode)";
    case 0x02: return "Close Lock With Key";
    case 0x04: return "Forbidden Key(Access During Lockout Mode)";
    case 0x05: return "Invalid Access(Time Shift Setting)";
    case 0x06: return "Invalid Access(Act/Exp Date Setting)";
    case 0x07: return "Invalid Access(Exception Date Setting)";
    case 0x60: return "iButton Access(Complex Type Step One)";
    default: return "Unknown Type";
    }
}

// Event of a keypad code, by the low nibble of the event byte.
std::string codeEventText(int e)
{
    switch (e) {
    case 0: return "Open Lock With Code(Storehouse Mode)";
    case 1: return "Open Lock With Code(Classroom Mode)";
    case 2: return "Close Lock With Code";
    case 4: return "Forbidden Code(Access During Lockout Mode)";
    case 5: return "Invalid Access(Time Shift Setting)";
    case 6: return "Invalid Access(Act/Exp Date Setting)";
    case 7: return "Invalid Access(Exception Date Setting)";
    case 8: case 9: case 10: case 11: return "Invalid Code(" + twoHexDigits(e) + ")";
    default: return "Unknown Type(" + twoHexDigits(e) + ")";
    }
}

// Event recorded without a key or code (byte 0 = 00h).
std::string_view lockEventText(AuditRecordBytes r)
{
    const bool noId = std::all_of(r.begin(), r.begin() + 7, [](uint8_t b) { return b == 0; });
    if (noId) {
        switch (r[7]) {
        case 0x01: return "Lock Auto Opened";
        case 0x02: return "Lock Auto Closed";
        case 0x03: return "Close Lock By Push Button";
        default: break;
        }
    }
    switch (r[15]) {
    case 0x03: return "Invalid Key";
    case 0x00: return "Open Lock With Key(Storehouse Mode)";
    case 0x01: return "Open Lock With Key(Classroom Mode)";
    case 0x02: return "Close Lock With Key";
    default: return "Unknown Type";
    }
}

// Event of a key that is not registered as a user (the program's own keys); empty: unknown.
std::string_view programKeyEventText(uint8_t event)
{
    if (event >= 0xE0 && event <= 0xEF)
        return "Set Parameter Key";
    switch (event) {
    case 0xF1: return "Setup Key Short Circuit";
    case 0xF2: return "Setup Key Open Circuit";
    case 0xF3: return "Download Lock Information";
    case 0xF4: case 0xF5: return "Download Lock Audit Trial";
    case 0xF6: return "Initialize Lock";
    case 0xF7: return "Key List Enable";
    case 0xF8: return "Single-Lock Programming";
    case 0xFA: return "Multi-Lock Programming";
    case 0xFB: return "Set Lock Time";
    default: return {};
    }
}

void decodeCodeEvent(AuditRecordBytes r, AuditRow& row, AuditLookup& lookup)
{
    const std::string digits = auditCodeDigits(r);
    row.SerialID = digits;
    row.OpenLockType = codeEventText(r[15] & 0x0F);
    const int k = r[15] >> 4;
    // No digits, no look-up: an empty code must not match a user or guest with an empty code.
    auto guest = [&] {
        if (digits.empty())
            return;
        if (auto g = lookup.guestByCodeString(digits)) {
            row.FirstName = g->GuestFirstName;
            row.LastName = g->GuestLastName;
        }
    };
    switch (k) {
    case 1:
    case 6:
        row.CodeType = std::string(AuditCodeType::Permanent);
        if (!digits.empty())
            if (auto u = lookup.userByKeyCode(digits)) {
                row.FirstName = u->FirstName;
                row.LastName = u->LastName;
                row.Status = u->Status;
            }
        break;
    case 3:
        row.CodeType = std::string(AuditCodeType::TimeSub);
        break;
    case 4:
        row.CodeType = std::string(AuditCodeType::Once);
        guest();
        break;
    case 2:
        row.CodeType = std::string(AuditCodeType::OneOff);
        guest();
        break;
    default:
        row.CodeType = std::string(AuditCodeType::Temporary);
        guest();
        break;
    }
}

} // namespace

// ---- Single-lock headers ----

std::string AuditKeyHeader::lockSerialText() const { return lockRom ? romIdText(*lockRom) : std::string(); }

std::optional<AuditKeyHeader> decodeAuditKeyHeader(const MissionKeyPage& page0)
{
    const auto h = MissionKeyHeader::fromPage(page0);
    if (h.marker != MissionKeyMarker::Read
        || (h.kind != ReadKind::GetAuditTrail && h.kind != ReadKind::AuditTrailFirstKey
            && h.kind != ReadKind::AuditTrailSecondKey))
        return std::nullopt;
    AuditKeyHeader out;
    out.kind = h.kind;
    std::copy_n(page0.begin() + 5, 3, out.facilityCode.begin());
    out.capacity = be16(page0, 8);
    const RomId rom = romAt(page0, 10);
    if (!std::all_of(rom.begin(), rom.end(), [](uint8_t b) { return b == 0xFF; }))
        out.lockRom = rom;
    return out;
}

AuditKeyCounts decodeAuditKeyCounts(const MissionKeyPage& page1)
{
    AuditKeyCounts c;
    c.recordsInLock = be16(page1, 0);
    c.recordsOnKey = be16(page1, 2);
    c.lockTime = lockClockTime(page1[4], page1[5], page1[7], page1[8], page1[9], page1[10]);
    return c;
}

std::optional<DateTime> lockClockTime(uint8_t yy, uint8_t mm, uint8_t dd, uint8_t hh, uint8_t mi, uint8_t ss)
{
    if (yy > 0x99 || mm < 0x01 || mm > 0x12 || dd < 0x01 || dd > 0x31 || hh > 0x24 || mi > 0x60 || ss > 0x60)
        return std::nullopt;
    return tryCreateDateTime(yy, mm, dd, hh, mi, ss);
}

std::optional<DateTime> auditRecordTime(AuditRecordBytes r)
{
    if (std::any_of(r.begin() + 8, r.begin() + 15, [](uint8_t b) { return b == 0xFF; }))
        return std::nullopt;
    return lockClockTime(r[8], r[9], r[11], r[12], r[13], r[14]);
}

// ---- Multi-lock headers ----

std::optional<MultiLockAuditHeader> decodeMultiLockAuditHeader(const MissionKeyPage& page0)
{
    const auto h = MissionKeyHeader::fromPage(page0);
    if (h.marker != MissionKeyMarker::Read || h.kind != ReadKind::MultiLockAuditTrail)
        return std::nullopt;
    MultiLockAuditHeader out;
    std::copy_n(page0.begin() + 5, 3, out.facilityCode.begin());
    out.recordsPerLock = be16(page0, 8);
    out.pagesPerLockBlock = pagesPerLockBlock(out.recordsPerLock);
    return out;
}

std::optional<MultiLockAuditPlan> planMultiLockAudit(const MultiLockAuditHeader& header, const MissionKeyPage& page1)
{
    if (!header.pagesPerLockBlock)
        return std::nullopt;
    MultiLockAuditPlan plan;
    plan.recordsPerLock = header.recordsPerLock;
    plan.pagesPerLockBlock = *header.pagesPerLockBlock;
    plan.locksAudited = page1[0];
    plan.locksToRead = std::min(plan.locksAudited, lockBlocksThatFit(plan.pagesPerLockBlock));
    return plan;
}

AuditLockBlockHeader decodeAuditLockBlockHeader(const MissionKeyPage& page)
{
    AuditLockBlockHeader h;
    h.recordCount = be16(page, 2);
    h.lockRom = romAt(page, 4);
    return h;
}

// ---- Page plans ----

int RecordPagePlan::recordsOnPage(int pageIndex) const
{
    if (pageIndex < 0 || pageIndex >= pageCount())
        return 0;
    return std::min(kRecordsPerPage, recordCount - pageIndex * kRecordsPerPage);
}

namespace {
// Records that fit between firstPage and page 510.
int recordsThatFit(int firstPage)
{
    return firstPage > kLastKeyPage ? 0 : (kLastKeyPage - firstPage + 1) * kRecordsPerPage;
}
} // namespace

RecordPagePlan planSingleLockRecords(int recordsOnKey)
{
    RecordPagePlan p;
    p.firstPage = kFirstRecordPage;
    p.recordCount = std::clamp(recordsOnKey, 0, kMaxRecordsOnKey);
    p.numbering = AuditNumbering::Trail;
    return p;
}

RecordPagePlan planLockBlockRecords(const MultiLockAuditPlan& plan, int block, int blockRecordCount)
{
    RecordPagePlan p;
    p.numbering = AuditNumbering::RecordIndex;
    if (block < 0 || block >= plan.locksToRead || plan.pagesPerLockBlock <= 0) {
        p.firstPage = kLastKeyPage + 1;
        return p;
    }
    p.firstPage = plan.headerPage(block) + 1;
    p.recordCount = std::clamp(blockRecordCount, 0, plan.recordsPerLock);
    p.recordCount = std::min(p.recordCount, recordsThatFit(p.firstPage));
    return p;
}

AuditRecordBytes recordSlot(const MissionKeyPage& page, int slot)
{
    if (slot < 0 || slot >= kRecordsPerPage)
        throw std::out_of_range("audit record slot");
    return AuditRecordBytes(page.data() + 16 * slot, 16);
}

// ---- Records ----

std::string auditRecordIdText(AuditRecordBytes r)
{
    std::string s;
    for (int i = 7; i >= 0; --i)
        s += hexByte(r[static_cast<std::size_t>(i)]);
    return s;
}

std::string auditCodeDigits(AuditRecordBytes r)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    const int n = std::min<int>(r[1], 12);
    std::string digits;
    for (int i = 0; i < n; ++i) {
        const uint8_t b = r[static_cast<std::size_t>(2 + i / 2)];
        digits += hex[(i % 2 == 0) ? (b >> 4) : (b & 0x0F)];
    }
    return digits;
}

std::optional<AuditRow> decodeAuditRecord(AuditRecordBytes r, int no, const AuditLockInfo& lock, AuditLookup& lookup)
{
    const auto time = auditRecordTime(r);
    if (!time)
        return std::nullopt;
    AuditRow row;
    row.No = no;
    row.LockName = lock.LockName;
    row.LockLocation = lock.LockLocation;
    row.OpenLockTime = *time;
    const std::string id = auditRecordIdText(r);

    if (auto user = lookup.userBySerialId(id)) {
        row.SerialID = id;
        row.FirstName = user->FirstName;
        row.LastName = user->LastName;
        row.Status = user->Status;
        row.Department = user->Department.value_or(std::string());
        row.OpenLockType = keyEventText(r[15]);
    } else if (r[0] == 0xFF) {
        decodeCodeEvent(r, row, lookup);
    } else if (r[0] == 0x00) {
        row.SerialID = id;
        row.OpenLockType = lockEventText(r);
    } else {
        row.SerialID = id;
        const std::string_view text = programKeyEventText(r[15]);
        if (text.empty()) {
            row.OpenLockType = "Unknown Type";
            row.FirstName = row.LastName = "Unknown";
            row.Status = "Denied";
        } else {
            row.OpenLockType = text;
            row.FirstName = row.LastName = "Admin";
            row.Status = "Permitted";
        }
    }
    return row;
}

std::vector<AuditRow> decodeRecordPage(const MissionKeyPage& page, const RecordPagePlan& plan, int pageIndex,
                                       const AuditLockInfo& lock, AuditLookup& lookup, int& trailEntryCount)
{
    std::vector<AuditRow> rows;
    const int n = plan.recordsOnPage(pageIndex);
    for (int s = 0; s < n; ++s) {
        const int j = plan.firstRecordOnPage(pageIndex) + s;
        const int no = plan.numbering == AuditNumbering::Trail ? trailEntryCount + 1 : j + 1;
        if (auto row = decodeAuditRecord(recordSlot(page, s), no, lock, lookup)) {
            rows.push_back(std::move(*row));
            if (plan.numbering == AuditNumbering::Trail)
                ++trailEntryCount;
        }
    }
    return rows;
}

const std::vector<std::string_view>& openLockTypeVocabulary()
{
    static const std::vector<std::string_view> texts {
        "Open Lock With Key(Storehouse Mode)",
        "Open Lock With Key(Classroom Mode)",
        "Close Lock With Key",
        "Forbidden Key(Access During Lockout Mode)",
        "Invalid Access(Time Shift Setting)",
        "Invalid Access(Act/Exp Date Setting)",
        "Invalid Access(Exception Date Setting)",
        "iButton Access(Complex Type Step One)",
        "Unknown Type",
        "Open Lock With Code(Storehouse Mode)",
        "Open Lock With Code(Classroom Mode)",
        "Close Lock With Code",
        "Forbidden Code(Access During Lockout Mode)",
        "Invalid Code(08)",
        "Invalid Code(09)",
        "Invalid Code(0A)",
        "Invalid Code(0B)",
        "Unknown Type(03)",
        "Unknown Type(0C)",
        "Unknown Type(0D)",
        "Unknown Type(0E)",
        "Unknown Type(0F)",
        "Lock Auto Opened",
        "Lock Auto Closed",
        "Close Lock By Push Button",
        "Invalid Key",
        "Setup Key Short Circuit",
        "Setup Key Open Circuit",
        "Download Lock Information",
        "Download Lock Audit Trial",
        "Initialize Lock",
        "Key List Enable",
        "Single-Lock Programming",
        "Multi-Lock Programming",
        "Set Lock Time",
        "Set Parameter Key",
    };
    return texts;
}
