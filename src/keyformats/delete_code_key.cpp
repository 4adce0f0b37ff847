#include "keyformats/delete_code_key.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr uint8_t kSectionCount = 1;
constexpr uint8_t kZMarker = 0x5A;

// Key offsets of the header and the section page.
constexpr std::size_t kKindByte = 5;
constexpr std::size_t kSectionCountByte = 6;
constexpr std::size_t kFacilityCodeByte = 7;
constexpr std::size_t kTagByte = 8;
constexpr std::size_t kMarkerByte = 16;
constexpr std::size_t kCountByte = 17;

struct CodeTime {
    int year, month, day, hour;
};

CodeTime codeTime(DateTime t)
{
    using namespace std::chrono;
    const auto dayPoint = floor<days>(t);
    const year_month_day ymd { dayPoint };
    const auto hour = duration_cast<hours>(t - dayPoint).count();
    return { static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
             static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(hour) };
}

// The key has two BCD digits for the year: years outside 2000-2099 keep their last two.
uint8_t yearByte(int year) { return ByteToBCD(((year - 2000) % 100 + 100) % 100); }

void putTime(DeleteCodeEntry& e, std::size_t at, DateTime t)
{
    const CodeTime c = codeTime(t);
    e[at] = yearByte(c.year);
    e[at + 1] = ByteToBCD(c.month);
    e[at + 2] = ByteToBCD(c.day);
    e[at + 3] = ByteToBCD(c.hour);
    e[at + 4] = 0x00;
}

} // namespace

MissionKeyPage deleteCodeKeyHeader(const FacilityCodeBytes& facilityCode)
{
    MissionKeyPage p = blankMissionKeyPage();
    const char marker[] = "WRITE";
    std::copy(marker, marker + 5, p.begin());
    p[kKindByte] = WriteKind::MultiLock;
    p[kSectionCountByte] = kSectionCount;
    std::copy(facilityCode.begin(), facilityCode.end(), p.begin() + kFacilityCodeByte);
    return p;
}

MissionKeyPage deleteCodeSection(const RomId& lock, bool clearDeletedCodeMemory, int codeCount)
{
    MissionKeyPage p = blankMissionKeyPage();
    std::copy(lock.begin(), lock.end(), p.begin());
    p[kTagByte] = clearDeletedCodeMemory ? kDeleteCodeTagClearMemory : kDeleteCodeTag;
    std::fill(p.begin() + kTagByte + 1, p.begin() + kMarkerByte, uint8_t { 0x00 });
    p[kMarkerByte] = clearDeletedCodeMemory ? kZMarker : 0x00;
    p[kCountByte] = static_cast<uint8_t>(codeCount & 0xFF);
    return p;
}

DeleteCodeEntry deleteCodeEntry(const DeletedCode& code)
{
    DeleteCodeEntry e;
    e.fill(0xFF);
    putTime(e, 0, code.start);
    putTime(e, 5, code.end);
    e[10] = code.codeType == "Once" ? 0x00 : 0x01;
    e[11] = static_cast<uint8_t>((code.lostTimes - 1) & 0xFF);
    return e;
}

std::array<MissionKeyPage, kDeleteCodeEntryPages> deleteCodeEntryPages(std::span<const DeletedCode> codes)
{
    std::array<MissionKeyPage, kDeleteCodeEntryPages> pages;
    for (auto& p : pages)
        p = blankMissionKeyPage();
    const std::size_t n = std::min(codes.size(), static_cast<std::size_t>(kDeleteCodeSlots));
    for (std::size_t slot = 0; slot < n; ++slot) {
        const DeleteCodeEntry e = deleteCodeEntry(codes[slot]);
        auto& page = pages[slot / kDeleteCodeEntriesPerPage];
        std::copy(e.begin(), e.end(), page.begin() + kDeleteCodeEntrySize * (slot % kDeleteCodeEntriesPerPage));
    }
    return pages;
}
