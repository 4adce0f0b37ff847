#include "app/shell/reader_check.h"

#include "bytes/codec.h"
#include "bytes/crc.h"
#include "onewire/tmex.h"

namespace {
constexpr uint8_t kFamilyReaderIdChip = 0x01;
constexpr int kMaxDevices = 256; // a bus that never ends its search is not followed for ever
} // namespace

std::vector<std::string> findIdChips(uint8_t portNum, uint8_t portType)
{
    const long session = TMExtendedStartSession(portNum, portType, nullptr);
    if (session <= 0)
        return {};
    std::vector<std::string> found;
    TMStateBuffer state {};
    if (TMSetup(session) == kTMSetupOk) {
        short r = TMFirst(session, state.data());
        for (int n = 0; r == 1 && n < kMaxDevices; ++n) {
            short rom[8] = { 0 };
            if (TMRom(session, state.data(), rom) == 1) {
                RomId id {};
                for (int i = 0; i < 8; ++i)
                    id[static_cast<size_t>(i)] = static_cast<uint8_t>(rom[i] & 0xFF);
                if (id[0] == kFamilyReaderIdChip && crc8(id) == 0)
                    found.push_back(romIdText(id));
            }
            r = TMNext(session, state.data());
        }
    }
    TMEndSession(session);
    return found;
}

std::string findReaderRomId(uint8_t portNum, uint8_t portType, const std::function<bool(const std::string&)>& isUserKey)
{
    const std::vector<std::string> chips = findIdChips(portNum, portType);
    if (chips.empty())
        return {};
    if (isUserKey)
        for (const std::string& chip : chips)
            if (!isUserKey(chip))
                return chip;
    return chips.front();
}
