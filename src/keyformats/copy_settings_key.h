#pragma once
// The Multi-Lock Time Table Key (WRITE kind 2) that copies one lock's settings and users to
// other locks: page 0 header, page 1 section header, the time table on pages 2-17, the key
// list from page 18 and the target locks from page 352.
#include "keyformats/key_list_entry.h"
#include "keyformats/multi_lock_key.h"
#include "keyformats/time_table_image.h"

#include <string>
#include <vector>

inline constexpr int kCopyKeyListFirstPage = 18;
inline constexpr int kCopyKeyListLastPage = 351;
inline constexpr std::size_t kMaxCopiedKeys = (kCopyKeyListLastPage - kCopyKeyListFirstPage + 1) * kKeyListEntriesPerPage; // 1,002

// "WRITE", 02h, the facility code at 6-8, the number of marked locks at 9-10 (most
// significant byte first), the rest FFh.
MissionKeyPage CopySettingsKeyHeader(const FacilityCodeBytes& facilityCode, int markedLocks);

struct CopySettingsKeyContent {
    bool copyUserList = false;
    bool copyLockSchedule = true;
    bool modelScheduleIsOne = false; // the model lock's LockStatusID is 1
    int activeKeyCount = 0;          // page 1 bytes 4-5, whatever the check boxes say
    TimeTableImageBytes timeTable {};
    std::vector<KeyListUser> keyList; // written when copyUserList and activeKeyCount > 0
    std::vector<std::string> lockSerials; // the marked locks, in list order
};

// Every page after page 0, in write order: page 1; pages 2-17 with the schedule; the key
// list from page 18 (three entries a page, the page being filled written after the last
// entry, never past page 351); the lock list from page 352. Refuses (std::length_error)
// more than 1,002 keys or 1,272 locks.
std::vector<PageWrite> copySettingsBodyWrites(const CopySettingsKeyContent& content);
