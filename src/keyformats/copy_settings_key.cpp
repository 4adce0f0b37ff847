#include "keyformats/copy_settings_key.h"

#include "keyformats/lock_serial_list.h"
#include "keyformats/mission_section_header.h"

#include <cstring>
#include <stdexcept>

MissionKeyPage CopySettingsKeyHeader(const FacilityCodeBytes& facilityCode, int markedLocks)
{
    MissionKeyPage p = blankMissionKeyPage();
    std::memcpy(p.data(), "WRITE", 5);
    p[5] = WriteKind::KeyManagement;
    std::copy(facilityCode.begin(), facilityCode.end(), p.begin() + 6);
    p[9] = static_cast<uint8_t>(markedLocks >> 8);
    p[10] = static_cast<uint8_t>(markedLocks & 0xFF);
    return p;
}

std::vector<PageWrite> copySettingsBodyWrites(const CopySettingsKeyContent& c)
{
    const bool withKeys = c.copyUserList && c.activeKeyCount > 0;
    if (withKeys && c.keyList.size() > kMaxCopiedKeys)
        throw std::length_error("more keys than the key list holds");
    std::vector<PageWrite> w;
    uint8_t sections = SectionBit::Always;
    if (c.copyUserList)
        sections |= SectionBit::KeyList;
    if (c.copyLockSchedule)
        sections |= SectionBit::TimeTable;
    w.push_back({ 1, MissionSectionHeader(sections, c.modelScheduleIsOne, c.activeKeyCount) });
    if (c.copyLockSchedule)
        for (std::size_t j = 0; j < timetable::kPages; ++j)
            w.push_back({ 2 + static_cast<int>(j), timeTablePage(c.timeTable, j) });
    if (withKeys) {
        const auto pages = keyListPages(c.keyList, c.keyList.size() / kKeyListEntriesPerPage + 1);
        for (std::size_t j = 0; j < pages.size() && kCopyKeyListFirstPage + static_cast<int>(j) <= kCopyKeyListLastPage; ++j)
            w.push_back({ kCopyKeyListFirstPage + static_cast<int>(j), pages[j] });
    }
    const auto locks = LockSerialList(c.lockSerials);
    for (std::size_t j = 0; j < locks.size(); ++j)
        w.push_back({ kLockSerialListFirstPage + static_cast<int>(j), locks[j] });
    return w;
}
