#include "keyformats/lock_serial_list.h"

#include <algorithm>
#include <stdexcept>

std::optional<RomId> lockRomFromSerialText(std::string_view serialId)
{
    if (std::any_of(serialId.begin(), serialId.end(), [](char c) { return c >= 'a' && c <= 'f'; }))
        return std::nullopt;
    return romIdFromText(serialId);
}

std::vector<MissionKeyPage> LockSerialList(const std::vector<std::string>& serialIds)
{
    if (serialIds.size() > kMaxListedLocks)
        throw std::length_error("too many locks for the key's lock list");
    const std::size_t maxPages = kMaxListedLocks / kLocksPerPage;
    std::vector<MissionKeyPage> pages(std::min(serialIds.size() / kLocksPerPage + 1, maxPages), blankMissionKeyPage());
    for (std::size_t i = 0; i < serialIds.size(); ++i)
        if (const auto rom = lockRomFromSerialText(serialIds[i]))
            std::copy(rom->begin(), rom->end(),
                      pages[i / kLocksPerPage].begin() + static_cast<std::ptrdiff_t>(8 * (i % kLocksPerPage)));
    return pages;
}
