// The Get Information decoders over any bytes a lock (or a damaged key) may leave: page 1,
// page 2, the settings image and key-list entries. Nothing may crash, every count stays
// within the key, every decoded time and date is real, and no key-list page lies past the
// key list area.
#include "keyformats/get_information.h"

#include <algorithm>
#include <cstdlib>

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool realTime(TimeOfDay t)
{
    return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59;
}
} // namespace

// Input: page 1 (64 bytes), page 2 (64), the settings image (1,024), then key-list pages;
// missing bytes are FFh, as on a key nobody wrote.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto take = [&](size_t from, uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i)
            out[i] = from + i < size ? data[from + i] : 0xFF;
    };
    MissionKeyPage page1, page2;
    take(0, page1.data(), 64);
    take(64, page2.data(), 64);
    SettingsImageBytes image;
    take(128, image.data(), image.size());

    const LockInformationPage info = decodeLockInformationPage(page1);
    check(info.lockSerialText().size() == 16);
    check(info.hardwareVersionText().size() == 4);
    check(info.softwareVersionText().size() == 3);
    const KeyListPlan plan = planKeyList(info.userCount);
    check(plan.firstPage == getinfo::kKeyListFirstPage);
    check(plan.lastPage <= getinfo::kKeyListLastPage && plan.lastPage >= plan.firstPage);
    check(plan.entries >= 0 && plan.entries <= std::min<int>(info.userCount, getinfo::kMaxKeyListEntries));

    const LockVersionPage version = decodeLockVersionPage(page2);
    check(version.auditRecordCount >= 0 && version.auditRecordCount <= 0xFFFF);
    check(version.batteryText().size() <= 5);
    if (const auto level = version.lockLevelText())
        check(*level == "Low" || *level == "Midium" || *level == "High");

    const DecodedSettingsImage d = decodeSettingsImage(image);
    check(d.timeShifts.size() <= 16 * 7);
    for (const auto& t : d.timeShifts)
        check(t.groupId >= 1 && t.groupId <= 16 && realTime(t.begin) && realTime(t.end));
    check(d.schedules.size() <= 32);
    for (const auto& s : d.schedules)
        check(realTime(s.begin));
    check(d.actExpGroups.size() <= 16 && d.holidayGroups.size() <= 16);
    for (const auto* groups : { &d.actExpGroups, &d.holidayGroups })
        for (const auto& g : *groups)
            check(g.groupId >= 1 && g.groupId <= 16 && g.from.has_value() == g.to.has_value());

    std::vector<ModeRow> rows;
    for (const auto& s : d.schedules)
        rows.push_back({ s.begin.hour * 3600 + s.begin.minute * 60, s.lockStatus.value_or("") });
    if (info.lockTime) {
        const auto t = *info.lockTime - std::chrono::floor<std::chrono::days>(*info.lockTime);
        (void)modeInForce(rows, int(t.count()));
    }

    // Key-list entries from whatever follows, on the pages the plan reads.
    for (size_t at = 128 + image.size(); at < size; at += getinfo::kKeyListEntrySize) {
        std::array<uint8_t, getinfo::kKeyListEntrySize> e;
        take(at, e.data(), e.size());
        const LockKeyListEntry entry = decodeLockKeyListEntry(e);
        check(entry.keyCode.size() <= getinfo::kMaxKeyCodeDigits);
        check(entry.serialText.size() == (entry.hasIButton() ? 14u : 0u));
        check(entry.timeShiftId >= 1 && entry.timeShiftId <= 256);
        check(entry.actExpDateId >= 1 && entry.actExpDateId <= 16);
    }
    return 0;
}
