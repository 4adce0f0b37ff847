#pragma once
// The Multi-Lock Key (WRITE kind 3): up to eight lock blocks of 60 pages, each a time-table
// section and one or two key-list runs, and page 0 written last.
#include "keyformats/key_list_entry.h"
#include "keyformats/mission_key.h"
#include "keyformats/time_table_image.h"

#include <string>
#include <vector>

struct PageWrite {
    int page;
    MissionKeyPage image;
};

namespace multilock {
inline constexpr int kLockPages = 8;         // page indexes 0..7 of the window
inline constexpr int kBlockPages = 60;       // lock block of page index L: pages 60L+1 .. 60L+60
inline constexpr int kKeysPerRun = 57;
inline constexpr int kMaxKeysPerLock = 2 * kKeysPerRun; // 114
inline constexpr int kRunPages = 19;
inline constexpr int kSectionsPerLock = 3;
inline constexpr uint8_t kTimeTableTag = 0x10, kFirstKeyListTag = 0x08, kContinuedKeyListTag = 0x00;
inline constexpr int blockStart(int L) { return kBlockPages * L + 1; }
} // namespace multilock

enum class LockSection { TimeTable, FirstKeyList, ContinuedKeyList };

// Bytes 0-7 the lock's serial in ROM order (FFh when the text is no ROM id), byte 8 the
// section tag, 9-11 00h, 12 5Ah on the first key-list section, 13 the key count of the
// run, 14 00h, 15 5Ah on the time-table section, 16-17 00h, the rest FFh.
MissionKeyPage LockSectionHeader(const std::string& lockSerialId, LockSection section, int keys);

// "WRITE", 03h, the section count, the facility code, the rest FFh.
MissionKeyPage MultiLockKeyHeader(int sectionCount, const FacilityCodeBytes& facilityCode);

// Pages 60L+1 .. 60L+17 in write order.
std::vector<PageWrite> timeTableSectionWrites(int L, const std::string& lockSerialId, const TimeTableImageBytes& image);

// Pages 60L+21 .. 60L+41, and with more than 57 keys page 60L+41 again (the continued
// header) and 60L+42 .. 60L+60, in write order. More than 114 keys: std::length_error.
std::vector<PageWrite> keyListSectionWrites(int L, const std::string& lockSerialId, const std::vector<KeyListUser>& keys);
