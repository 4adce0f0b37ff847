#include "locksim/mission_headers.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace locksim {

namespace {
struct KindInfo {
    MissionKind kind;
    const char* name;
};

constexpr KindInfo kKinds[] = {
    { MissionKind::NewLockSetup, "new-lock-setup" },
    { MissionKind::Lockout, "lockout" },
    { MissionKind::KeyManagement, "key-management" },
    { MissionKind::MultiLock, "multi-lock" },
    { MissionKind::SetTimeTable, "set-time-table" },
    { MissionKind::GetInformation, "get-information" },
    { MissionKind::GetAuditTrail, "get-audit-trail" },
    { MissionKind::TrailFirst, "trail-first" },
    { MissionKind::TrailSecond, "trail-second" },
    { MissionKind::MultiLockAuditTrail, "multi-lock-audit-trail" },
    { MissionKind::SetParameter, "set-parameter" },
    { MissionKind::IrStarter, "ir-starter" },
};

uint8_t bcd(int v) { return static_cast<uint8_t>(((v / 10) % 10) * 16 + v % 10); }

void writeMarker(Page& p, const char* marker) { std::memcpy(p.data(), marker, std::strlen(marker)); }

void putFacility(Page& p, int at, const std::array<uint8_t, 3>& fc) { std::copy(fc.begin(), fc.end(), p.begin() + at); }

Page readHeader(uint8_t kind, const std::array<uint8_t, 3>& fc, int recordsPerLock)
{
    Page p;
    p.fill(0xFF);
    writeMarker(p, "READ");
    p[4] = kind;
    putFacility(p, 5, fc);
    if (kind == 0x01 || kind == 0x02 || kind == 0x03 || kind == 0xFB) {
        p[8] = static_cast<uint8_t>(recordsPerLock >> 8);
        p[9] = static_cast<uint8_t>(recordsPerLock);
    }
    return p;
}

Page writeHeader(uint8_t kind, int fcAt, const std::array<uint8_t, 3>& fc)
{
    Page p;
    p.fill(0xFF);
    writeMarker(p, "WRITE");
    p[5] = kind;
    putFacility(p, fcAt, fc);
    return p;
}
} // namespace

Page missionHeader(MissionKind kind, const std::array<uint8_t, 3>& fc, int recordsPerLock, const SetupOptions& setup)
{
    switch (kind) {
    case MissionKind::NewLockSetup: {
        Page p = writeHeader(0, 8, fc);
        p[6] = setup.motorPulse;
        p[7] = setup.lockBack;
        p[19] = setup.daylightSaving ? 'Z' : 0x00;
        using namespace std::chrono;
        const auto days = floor<std::chrono::days>(setup.written);
        const year_month_day ymd { days };
        const hh_mm_ss hms { setup.written - days };
        p[20] = bcd(int(ymd.year()) - 2000);
        p[21] = bcd(int(unsigned(ymd.month())));
        p[22] = 0x00;
        p[23] = bcd(int(unsigned(ymd.day())));
        p[24] = bcd(int(hms.hours().count()));
        p[25] = bcd(int(hms.minutes().count()));
        p[26] = bcd(int(hms.seconds().count()));
        p[27] = setup.blink ? 'Z' : 0x00;
        p[28] = setup.classroom ? 'Z' : 0x00;
        return p;
    }
    case MissionKind::Lockout: return writeHeader(1, 6, fc);
    case MissionKind::KeyManagement: return writeHeader(2, 6, fc);
    case MissionKind::MultiLock: return writeHeader(3, 7, fc);
    case MissionKind::SetTimeTable: {
        Page p = writeHeader(3, 7, fc);
        p[63] = 0xAA;
        return p;
    }
    case MissionKind::GetInformation: return readHeader(0x00, fc, 0);
    case MissionKind::GetAuditTrail: return readHeader(0x01, fc, recordsPerLock ? recordsPerLock : 2000);
    case MissionKind::TrailFirst: return readHeader(0x02, fc, 0);
    case MissionKind::TrailSecond: return readHeader(0x03, fc, 0);
    case MissionKind::MultiLockAuditTrail: return readHeader(0xFB, fc, recordsPerLock ? recordsPerLock : 25);
    case MissionKind::SetParameter: return readHeader(0xFE, fc, 0);
    case MissionKind::IrStarter: return readHeader(0xFF, fc, 0);
    }
    return {};
}

std::optional<Page> missionPage1(MissionKind kind)
{
    Page p;
    p.fill(0xFF);
    switch (kind) {
    case MissionKind::MultiLockAuditTrail:
    case MissionKind::NewLockSetup: // the locks count themselves in from zero
        p[0] = 0x00;
        return p;
    default: return std::nullopt;
    }
}

std::optional<MissionKind> missionKindByName(std::string_view name)
{
    for (const auto& k : kKinds)
        if (name == k.name)
            return k.kind;
    return std::nullopt;
}

std::vector<std::string> missionKindNames()
{
    std::vector<std::string> names;
    for (const auto& k : kKinds)
        names.emplace_back(k.name);
    return names;
}

std::optional<std::array<uint8_t, 3>> facilityFromText(std::string_view digits)
{
    auto value = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    if (digits.size() != 6 || !std::all_of(digits.begin(), digits.end(), [&](char c) { return value(c) >= 0; }))
        return std::nullopt;
    std::array<uint8_t, 3> fc {};
    for (int i = 0; i < 3; ++i)
        fc[i] = static_cast<uint8_t>((value(digits[2 * i]) << 4) | value(digits[2 * i + 1]));
    return fc;
}

} // namespace locksim
