#include "onewire/microlan.h"

#include <algorithm>

namespace onewire {

namespace {
constexpr uint8_t kReadRom = 0x33;
constexpr uint8_t kReadRomLegacy = 0x0F;
constexpr uint8_t kMatchRom = 0x55;
constexpr uint8_t kSkipRom = 0xCC;
constexpr uint8_t kSearchRom = 0xF0;
constexpr uint8_t kAlarmSearch = 0xEC;
constexpr uint8_t kResume = 0xA5;
constexpr uint8_t kOverdriveSkip = 0x3C;
constexpr uint8_t kOverdriveMatch = 0x69;

int romBit(const RomId& rom, int n)
{
    return (rom[n / 8] >> (n % 8)) & 1;
}
} // namespace

MicroLan::MicroLan() = default;
MicroLan::~MicroLan()
{
    for (Slot& s : slots_)
        s.device->pageDone = nullptr;
}

void MicroLan::attach(std::shared_ptr<Device> device)
{
    if (!device)
        return;
    detach(device->rom());
    const RomId rom = device->rom();
    device->pageDone = [this, rom] {
        for (Slot& s : slots_) {
            if (s.device->rom() != rom)
                continue;
            ++s.pagesDone;
            auto it = faults_.removeAfterPages.find(rom);
            if (it != faults_.removeAfterPages.end() && s.pagesDone >= it->second)
                s.removeAtReset = true;
        }
    };
    slots_.push_back(Slot { std::move(device) });
}

bool MicroLan::detach(const RomId& rom)
{
    auto it = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.device->rom() == rom; });
    if (it == slots_.end())
        return false;
    it->device->pageDone = nullptr;
    slots_.erase(it);
    return true;
}

std::shared_ptr<Device> MicroLan::find(const RomId& rom) const
{
    for (const Slot& s : slots_)
        if (s.device->rom() == rom)
            return s.device;
    return nullptr;
}

std::vector<RomId> MicroLan::roms() const
{
    std::vector<RomId> out;
    for (const Slot& s : slots_)
        out.push_back(s.device->rom());
    return out;
}

short MicroLan::reset()
{
    ++stats_.resets;
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (it->removeAtReset) {
            faults_.takenAway.insert(it->device->rom());
            it->device->pageDone = nullptr;
            it = slots_.erase(it);
        } else {
            ++it;
        }
    }
    endPullup();
    pullupPrimedByte_ = pullupPrimedBit_ = false;
    byteSinceReset_ = 0;
    bool alarm = false;
    for (Slot& s : slots_) {
        s.state = RomState::Command;
        s.index = 0;
        s.searchPhase = 0;
        s.device->onReset();
        alarm = alarm || s.device->alarming();
    }
    const short presence = slots_.empty() ? 0 : alarm ? 2 : 1;
    if (tracing_)
        trace_.push_back({ WireEvent::Kind::Reset, 0, static_cast<uint8_t>(presence) });
    return presence;
}

void MicroLan::select(Slot& s)
{
    s.state = RomState::Selected;
    lastSelected_ = s.device->rom();
    s.device->onSelected();
}

uint8_t MicroLan::romLayerByte(Slot& s, uint8_t master)
{
    switch (s.state) {
    case RomState::Idle:
    case RomState::Search:
        return 0xFF;
    case RomState::Command:
        s.index = 0;
        switch (master) {
        case kReadRom:
        case kReadRomLegacy:
            s.state = RomState::ReadRom;
            break;
        case kMatchRom:
        case kOverdriveMatch:
            s.state = RomState::MatchRom;
            break;
        case kSkipRom:
        case kOverdriveSkip:
            select(s);
            break;
        case kSearchRom:
            s.state = RomState::Search;
            s.searchPhase = 0;
            break;
        case kAlarmSearch:
            s.state = s.device->alarming() ? RomState::Search : RomState::Idle;
            s.searchPhase = 0;
            break;
        case kResume:
            if (lastSelected_ && *lastSelected_ == s.device->rom())
                select(s);
            else
                s.state = RomState::Idle;
            break;
        default:
            s.state = RomState::Idle;
        }
        return 0xFF;
    case RomState::MatchRom:
        if (master != s.device->rom()[s.index]) {
            s.state = RomState::Idle;
        } else if (++s.index == 8) {
            select(s);
        }
        return 0xFF;
    case RomState::ReadRom: {
        const uint8_t out = s.device->rom()[s.index];
        if (++s.index == 8)
            select(s);
        return out;
    }
    case RomState::Selected:
        return s.device->touch(master);
    }
    return 0xFF;
}

uint8_t MicroLan::touchByte(uint8_t master)
{
    ++stats_.bytes;
    uint8_t result = master;
    const bool searching = std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.state == RomState::Search; });
    if (searching) {
        result = 0;
        for (int i = 0; i < 8; ++i)
            result |= static_cast<uint8_t>(touchBit((master >> i) & 1) << i);
        stats_.bits -= 8;
    } else {
        // A device selected by this byte (the last ROM byte) must not see the byte itself.
        const std::size_t n = slots_.size();
        for (std::size_t i = 0; i < n; ++i)
            result &= romLayerByte(slots_[i], master);
    }
    for (auto& c : faults_.corruptions) {
        if (c.times > 0 && c.offset == byteSinceReset_) {
            result ^= c.mask;
            --c.times;
        }
    }
    ++byteSinceReset_;
    if (tracing_ && !searching)
        trace_.push_back({ WireEvent::Kind::Byte, master, result });
    if (pullupPrimedByte_)
        applyPrimedPullup();
    return result;
}

int MicroLan::touchBit(int master)
{
    ++stats_.bits;
    int result = master & 1;
    for (Slot& s : slots_) {
        if (s.state != RomState::Search)
            continue;
        const int bit = romBit(s.device->rom(), s.index);
        switch (s.searchPhase) {
        case 0:
            result &= bit;
            s.searchPhase = 1;
            break;
        case 1:
            result &= bit ^ 1;
            s.searchPhase = 2;
            break;
        default:
            s.searchPhase = 0;
            if ((master & 1) != bit) {
                s.state = RomState::Idle;
            } else if (++s.index == 64) {
                select(s);
            }
        }
    }
    if (tracing_)
        trace_.push_back({ WireEvent::Kind::Bit, static_cast<uint8_t>(master & 1), static_cast<uint8_t>(result) });
    if (pullupPrimedBit_)
        applyPrimedPullup();
    return result;
}

void MicroLan::applyPrimedPullup()
{
    pullupPrimedByte_ = pullupPrimedBit_ = false;
    if (level_ != 1)
        heldMs_ = 0;
    level_ = 1;
    for (Slot& s : slots_)
        if (s.state == RomState::Selected)
            s.device->onStrongPullup();
}

short MicroLan::setLevel(short level, short primed)
{
    if (tracing_)
        trace_.push_back({ WireEvent::Kind::PullUp, static_cast<uint8_t>(level), static_cast<uint8_t>(primed) });
    if (level == 0) {
        endPullup();
        pullupPrimedByte_ = pullupPrimedBit_ = false;
        return 0;
    }
    if (level != 1)
        return -3;
    if (primed == 0) {
        applyPrimedPullup();
        return 1;
    }
    if (primed == 2)
        pullupPrimedByte_ = true;
    else if (primed == 1)
        pullupPrimedBit_ = true;
    else
        return -3;
    return level_;
}

void MicroLan::endPullup()
{
    if (level_ == 1 && tracing_)
        pullupHolds_.push_back(heldMs_);
    level_ = 0;
    heldMs_ = 0;
}

void MicroLan::hold(int milliseconds)
{
    if (level_ == 1 && milliseconds > 0)
        heldMs_ += milliseconds;
}

} // namespace onewire
