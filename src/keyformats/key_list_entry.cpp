#include "keyformats/key_list_entry.h"

#include "bytes/codec.h"

#include <algorithm>

namespace {
bool isKeyCode(const std::string& code)
{
    return !code.empty() && code.size() <= kMaxKeyCodeDigits
        && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The low nibble of byte 16/17 for a group id: id - 1, or Fh for group 1 ("No Limit"). Ids
// the key has no slot for are kept inside the nibble so they never reach the flag bits.
uint8_t groupIndex(int id) { return id == 1 ? 0xFF : static_cast<uint8_t>((id - 1) & 0x0F); }
} // namespace

KeyListEntryBytes KeyListEntry(const KeyListUser& user)
{
    KeyListEntryBytes e;
    e.fill(0xFF);
    const bool carriesCode = user.userType != "iButton";
    const bool carriesRom = user.userType != "KeyCode";
    if (carriesCode && isKeyCode(user.keyCode)) {
        e[0] = static_cast<uint8_t>(user.keyCode.size());
        std::string digits = user.keyCode;
        digits.resize(kMaxKeyCodeDigits, '0');
        for (std::size_t i = 0; i < 5; ++i)
            e[1 + i] = static_cast<uint8_t>(Change(digits[2 * i]) << 4 | Change(digits[2 * i + 1]));
    }
    if (carriesRom) {
        // Upper-case hex only, as the ROM id text is stored.
        const bool upper = std::none_of(user.serialId.begin(), user.serialId.end(),
                                        [](char c) { return c >= 'a' && c <= 'f'; });
        if (const auto rom = romIdFromText(user.serialId); rom && upper)
            std::copy(rom->begin(), rom->end(), e.begin() + 8);
    }
    e[16] = user.timeShiftId == 1 ? 0xFF : static_cast<uint8_t>(user.timeShiftId - 1);
    e[17] = static_cast<uint8_t>((user.expDate ? 0x00 : 0xF0) | (groupIndex(user.actExpDateId) & 0x0F));
    return e;
}

std::vector<MissionKeyPage> keyListPages(const std::vector<KeyListUser>& users, std::size_t pagesAtLeast)
{
    const std::size_t needed = (users.size() + kKeyListEntriesPerPage - 1) / kKeyListEntriesPerPage;
    std::vector<MissionKeyPage> pages(std::max(needed, pagesAtLeast), blankMissionKeyPage());
    for (std::size_t n = 0; n < users.size(); ++n) {
        const auto e = KeyListEntry(users[n]);
        std::copy(e.begin(), e.end(),
                  pages[n / kKeyListEntriesPerPage].begin()
                      + static_cast<std::ptrdiff_t>(kKeyListEntrySize * (n % kKeyListEntriesPerPage)));
    }
    return pages;
}
