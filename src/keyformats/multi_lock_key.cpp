#include "keyformats/multi_lock_key.h"

#include "keyformats/lock_serial_list.h"

#include <cstring>
#include <stdexcept>

using namespace multilock;

MissionKeyPage LockSectionHeader(const std::string& lockSerialId, LockSection section, int keys)
{
    MissionKeyPage p = blankMissionKeyPage();
    if (const auto rom = lockRomFromSerialText(lockSerialId))
        std::copy(rom->begin(), rom->end(), p.begin());
    std::fill(p.begin() + 8, p.begin() + 18, 0x00);
    switch (section) {
    case LockSection::TimeTable:
        p[8] = kTimeTableTag;
        p[15] = 0x5A;
        break;
    case LockSection::FirstKeyList:
        p[8] = kFirstKeyListTag;
        p[12] = 0x5A;
        p[13] = static_cast<uint8_t>(keys);
        break;
    case LockSection::ContinuedKeyList:
        p[8] = kContinuedKeyListTag;
        p[13] = static_cast<uint8_t>(keys);
        break;
    }
    return p;
}

MissionKeyPage MultiLockKeyHeader(int sectionCount, const FacilityCodeBytes& facilityCode)
{
    MissionKeyPage p = blankMissionKeyPage();
    std::memcpy(p.data(), "WRITE", 5);
    p[5] = WriteKind::MultiLock;
    p[6] = static_cast<uint8_t>(sectionCount);
    std::copy(facilityCode.begin(), facilityCode.end(), p.begin() + 7);
    return p;
}

std::vector<PageWrite> timeTableSectionWrites(int L, const std::string& lockSerialId, const TimeTableImageBytes& image)
{
    if (L < 0 || L >= kLockPages)
        throw std::out_of_range("lock page index out of range");
    std::vector<PageWrite> w;
    w.push_back({ blockStart(L), LockSectionHeader(lockSerialId, LockSection::TimeTable, 0) });
    for (std::size_t j = 0; j < timetable::kPages; ++j)
        w.push_back({ blockStart(L) + 1 + static_cast<int>(j), timeTablePage(image, j) });
    return w;
}

std::vector<PageWrite> keyListSectionWrites(int L, const std::string& lockSerialId, const std::vector<KeyListUser>& keys)
{
    if (L < 0 || L >= kLockPages)
        throw std::out_of_range("lock page index out of range");
    const int n = static_cast<int>(keys.size());
    if (n > kMaxKeysPerLock)
        throw std::length_error("more keys than a lock block holds");
    const int first = blockStart(L) + 20; // 60L+21
    const auto runs = keyListPages(keys, 2 * kRunPages);
    std::vector<PageWrite> w;
    w.push_back({ first, LockSectionHeader(lockSerialId, LockSection::FirstKeyList, std::min(n, kKeysPerRun)) });
    for (int j = 0; j < kRunPages; ++j)
        w.push_back({ first + 1 + j, runs[static_cast<std::size_t>(j)] });
    w.push_back({ first + 20, blankMissionKeyPage() });
    if (n > kKeysPerRun) {
        w.push_back({ first + 20, LockSectionHeader(lockSerialId, LockSection::ContinuedKeyList, n - kKeysPerRun) });
        for (int j = 0; j < kRunPages; ++j)
            w.push_back({ first + 21 + j, runs[static_cast<std::size_t>(kRunPages + j)] });
    }
    return w;
}
