#include "onewire/devices.h"

#include "bytes/crc.h"
#include "onewire/ports.h"

#include <algorithm>

namespace onewire {

namespace {
uint16_t crcStep(uint16_t crc, uint8_t b)
{
    return crc16(std::span<const uint8_t>(&b, 1), crc);
}
std::array<uint8_t, 2> invertedCrc(uint16_t crc)
{
    const uint16_t c = static_cast<uint16_t>(~crc);
    return { static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8) };
}
} // namespace

// ---------------------------------------------------------------------------------- DS1977

DS1977Device::DS1977Device(KeyFile key) : KeyDevice(std::move(key))
{
    key_.memory.resize(kDS1977MemorySize, 0xFF);
    scratch_.fill(0xFF);
}

void DS1977Device::onReset()
{
    step_ = Step::Silent;
}

void DS1977Device::onSelected()
{
    step_ = Step::Command;
    count_ = 0;
}

uint8_t DS1977Device::memoryByte(uint16_t address) const
{
    if (address >= kDS1977ReadPasswordAddress && address < kDS1977PasswordControlAddress)
        return 0xFF; // passwords never read back
    if (address == kDS1977PasswordControlAddress)
        return key_.memory[address];
    if (address > kDS1977PasswordControlAddress)
        return 0xFF;
    return key_.memory[address];
}

bool DS1977Device::passwordMatches(uint16_t address) const
{
    return std::equal(password_.begin(), password_.end(), key_.memory.begin() + address);
}

void DS1977Device::doCopy()
{
    const uint16_t base = ta_ & 0x7FC0;
    const int first = ta_ & 0x3F;
    const int last = es_ & 0x3F;
    const Bytes before = key_.memory;
    bool userPage = false;
    for (int i = first; i <= last; ++i) {
        const int address = base + i;
        if (address > kDS1977PasswordControlAddress)
            continue; // no function there
        key_.memory[address] = scratch_[i];
        userPage = userPage || address < kDS1977ReadPasswordAddress;
    }
    if (!persist()) {
        key_.memory = before;
        copyOk_ = false;
        return;
    }
    es_ |= 0x80;
    copyOk_ = true;
    if (userPage)
        notifyPageDone();
}

uint8_t DS1977Device::touch(uint8_t m)
{
    switch (step_) {
    case Step::Silent:
        return 0xFF;
    case Step::Command:
        command_ = m;
        count_ = 0;
        crc_ = crcStep(0, m);
        switch (m) {
        case kWriteScratchpad:
        case kReadMemory:
            step_ = Step::Address1;
            break;
        case kReadScratchpad:
            step_ = Step::ReadScratchHeader;
            break;
        case kCopyScratchpad:
            step_ = Step::CopyAddress;
            break;
        case kVerifyPassword:
            step_ = Step::VerifyAddress;
            break;
        case kReadVersion:
            step_ = Step::VersionOut;
            break;
        default:
            step_ = Step::Silent;
        }
        return 0xFF;
    case Step::Address1:
        ta_ = m;
        crc_ = crcStep(crc_, m);
        step_ = Step::Address2;
        return 0xFF;
    case Step::Address2:
        ta_ = static_cast<uint16_t>(ta_ | (m << 8)) & 0x7FFF;
        crc_ = crcStep(crc_, m);
        if (command_ == kWriteScratchpad) {
            count_ = ta_ & 0x3F;
            es_ = static_cast<uint8_t>(0x40 | (ta_ & 0x3F)); // PF until a byte arrives
            scratchValid_ = false;
            step_ = Step::WriteData;
        } else {
            readAddress_ = ta_;
            readAuthorised_ = false;
            count_ = 0;
            step_ = Step::ReadPassword;
        }
        return 0xFF;
    case Step::WriteData:
        scratch_[count_] = m;
        crc_ = crcStep(crc_, m);
        es_ = static_cast<uint8_t>(count_ & 0x3F); // AA and PF cleared
        scratchValid_ = true;
        if (++count_ == 64) {
            crcOut_ = invertedCrc(crc_);
            count_ = 0;
            step_ = Step::WriteCrc;
        }
        return 0xFF;
    case Step::WriteCrc:
    case Step::ReadScratchCrc:
    case Step::ReadCrc: {
        const uint8_t out = crcOut_[count_++];
        if (count_ == 2) {
            if (step_ == Step::ReadCrc && readAddress_ < kDS1977MemorySize) {
                crc_ = 0; // later pages: CRC over the data only
                command_ = kReadMemory;
                step_ = Step::WaitPullup;
            } else {
                step_ = Step::Silent;
            }
        }
        return out;
    }
    case Step::ReadScratchHeader: {
        const uint8_t header[3] = { static_cast<uint8_t>(ta_ & 0xFF), static_cast<uint8_t>(ta_ >> 8), es_ };
        const uint8_t out = header[count_++];
        crc_ = crcStep(crc_, out);
        if (count_ == 3) {
            count_ = ta_ & 0x3F;
            step_ = Step::ReadScratchData;
        }
        return out;
    }
    case Step::ReadScratchData: {
        const uint8_t out = scratch_[count_];
        crc_ = crcStep(crc_, out);
        if (++count_ == 64) {
            crcOut_ = invertedCrc(crc_);
            count_ = 0;
            step_ = Step::ReadScratchCrc;
        }
        return out;
    }
    case Step::CopyAddress:
        copyRegs_[count_++] = m;
        if (count_ == 3) {
            count_ = 0;
            step_ = Step::CopyPassword;
        }
        return 0xFF;
    case Step::CopyPassword:
    case Step::ReadPassword:
    case Step::VerifyPassword:
        password_[count_++] = m;
        if (count_ == 8)
            step_ = Step::WaitPullup;
        return 0xFF;
    case Step::VerifyAddress:
        if (count_ == 0)
            ta_ = m;
        else
            ta_ = static_cast<uint16_t>(ta_ | (m << 8));
        if (++count_ == 2) {
            count_ = 0;
            step_ = Step::VerifyPassword;
        }
        return 0xFF;
    case Step::WaitPullup:
        return 0xFF; // nothing happens without the strong pull-up
    case Step::CopyResult:
        return outByte_;
    case Step::ReadData: {
        const uint8_t out = memoryByte(readAddress_);
        crc_ = crcStep(crc_, out);
        ++readAddress_;
        if (readAddress_ % kDS1977PageSize == 0) {
            crcOut_ = invertedCrc(crc_);
            count_ = 0;
            step_ = Step::ReadCrc;
            if (readAddress_ <= kDS1977ReadPasswordAddress)
                notifyPageDone();
        }
        return out;
    }
    case Step::VersionOut: {
        const uint8_t seq[4] = { 0x00, 0x00, kVersion, kVersion };
        return count_ < 4 ? seq[count_++] : 0xFF;
    }
    }
    return 0xFF;
}

void DS1977Device::onStrongPullup()
{
    if (step_ != Step::WaitPullup)
        return;
    const bool enabled = ds1977PasswordsEnabled(key_);
    switch (command_) {
    case kCopyScratchpad: {
        const std::array<uint8_t, 3> regs { static_cast<uint8_t>(ta_ & 0xFF), static_cast<uint8_t>(ta_ >> 8), es_ };
        const bool authorised = scratchValid_ && copyRegs_ == regs && (es_ & 0x40) == 0
            && (!enabled || passwordMatches(kDS1977FullPasswordAddress));
        copyOk_ = false;
        if (authorised)
            doCopy();
        outByte_ = copyOk_ ? 0xAA : 0xFF;
        step_ = Step::CopyResult;
        break;
    }
    case kReadMemory:
        if (!readAuthorised_) {
            // first page: the password is checked now; later pages go on without it
            readAuthorised_ = !enabled || passwordMatches(kDS1977ReadPasswordAddress)
                || passwordMatches(kDS1977FullPasswordAddress);
        }
        step_ = readAuthorised_ ? Step::ReadData : Step::Silent;
        break;
    case kVerifyPassword: {
        const bool ok = (ta_ == kDS1977ReadPasswordAddress || ta_ == kDS1977FullPasswordAddress) && passwordMatches(ta_);
        outByte_ = ok ? 0xAA : 0xFF;
        step_ = Step::CopyResult;
        break;
    }
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------- DS1994

DS1994Device::DS1994Device(KeyFile key) : KeyDevice(std::move(key))
{
    key_.memory.resize(kDS1994MemorySize, 0x00);
    scratch_.fill(0xFF);
}

void DS1994Device::onReset()
{
    step_ = Step::Silent;
}

void DS1994Device::onSelected()
{
    step_ = Step::Command;
    count_ = 0;
}

uint8_t DS1994Device::memoryByte(uint16_t address) const
{
    if (address >= kDS1994MemorySize)
        return 0xFF;
    if (address >= kDS1994ClockAddress && address < kDS1994ClockAddress + 5) {
        if (address == kDS1994ClockAddress)
            return 0x00; // fraction
        const uint32_t s = clockAt(key_, hostNow());
        return static_cast<uint8_t>(s >> (8 * (address - kDS1994ClockAddress - 1)));
    }
    return key_.memory[address];
}

void DS1994Device::doCopy()
{
    const int64_t now = hostNow();
    const KeyFile before = key_;
    const uint32_t current = clockAt(key_, now);
    std::array<uint8_t, 4> clock {};
    for (int i = 0; i < 4; ++i)
        clock[i] = static_cast<uint8_t>(current >> (8 * i));
    const uint16_t base = ta_ & 0xFFE0;
    const int first = ta_ & 0x1F;
    const int last = es_ & 0x1F;
    bool userPage = false;
    for (int i = first; i <= last; ++i) {
        const int address = base + i;
        if (address >= static_cast<int>(kDS1994MemorySize))
            break;
        if (address > kDS1994ClockAddress && address < kDS1994ClockAddress + 5)
            clock[address - kDS1994ClockAddress - 1] = scratch_[i];
        else if (address != kDS1994ClockAddress)
            key_.memory[address] = scratch_[i];
        userPage = userPage || address < kDS1994StatusAddress;
    }
    key_.clockSeconds = static_cast<uint32_t>(clock[0] | clock[1] << 8 | clock[2] << 16 | static_cast<uint32_t>(clock[3]) << 24);
    key_.clockSetAt = now;
    if (!persist()) {
        key_ = before;
        copyAnswer_ = 0xFF;
        return;
    }
    es_ |= 0x80;
    copyAnswer_ = 0x00;
    if (userPage)
        notifyPageDone();
}

uint8_t DS1994Device::touch(uint8_t m)
{
    switch (step_) {
    case Step::Silent:
        return 0xFF;
    case Step::Command:
        command_ = m;
        count_ = 0;
        switch (m) {
        case kWriteScratchpad:
        case kReadMemory:
            step_ = Step::Address1;
            break;
        case kReadScratchpad:
            step_ = Step::ReadHeader;
            break;
        case kCopyScratchpad:
            step_ = Step::CopyRegs;
            break;
        default:
            step_ = Step::Silent;
        }
        return 0xFF;
    case Step::Address1:
        ta_ = m;
        step_ = Step::Address2;
        return 0xFF;
    case Step::Address2:
        ta_ = static_cast<uint16_t>(ta_ | (m << 8));
        if (command_ == kWriteScratchpad) {
            count_ = ta_ & 0x1F;
            es_ = static_cast<uint8_t>(0x20 | (ta_ & 0x1F));
            step_ = Step::WriteData;
        } else {
            readAddress_ = ta_;
            step_ = Step::ReadMemory;
        }
        return 0xFF;
    case Step::WriteData:
        if (count_ > 31) {
            es_ |= 0x40; // overflow
            return 0xFF;
        }
        scratch_[count_] = m;
        es_ = static_cast<uint8_t>(count_ & 0x1F);
        ++count_;
        return 0xFF;
    case Step::ReadHeader: {
        const uint8_t header[3] = { static_cast<uint8_t>(ta_ & 0xFF), static_cast<uint8_t>(ta_ >> 8), es_ };
        const uint8_t out = header[count_++];
        if (count_ == 3) {
            count_ = ta_ & 0x1F;
            step_ = Step::ReadScratch;
        }
        return out;
    }
    case Step::ReadScratch:
        if (count_ > 31)
            return 0xFF;
        return scratch_[count_++];
    case Step::CopyRegs:
        copyRegs_[count_++] = m;
        if (count_ == 3) {
            const std::array<uint8_t, 3> regs { static_cast<uint8_t>(ta_ & 0xFF), static_cast<uint8_t>(ta_ >> 8), es_ };
            copyAnswer_ = 0xFF;
            if (copyRegs_ == regs && (es_ & 0x60) == 0)
                doCopy();
            step_ = Step::CopyDone;
        }
        return 0xFF;
    case Step::CopyDone:
        return copyAnswer_;
    case Step::ReadMemory:
        return memoryByte(readAddress_++);
    }
    return 0xFF;
}

// ---------------------------------------------------------------------------------- DS1904

DS1904Device::DS1904Device(KeyFile key) : KeyDevice(std::move(key)) { }

void DS1904Device::onReset()
{
    step_ = Step::Silent;
    if (!pendingLoad_)
        return;
    pendingLoad_ = false;
    // The written count loads into the counter at the reset pulse.
    const KeyFile before = key_;
    key_.clockSeconds = static_cast<uint32_t>(written_[1] | written_[2] << 8 | written_[3] << 16
                                              | static_cast<uint32_t>(written_[4]) << 24);
    key_.clockSetAt = hostNow();
    if (!persist())
        key_ = before;
    else
        notifyPageDone();
}

void DS1904Device::onSelected()
{
    step_ = Step::Command;
    count_ = 0;
}

uint8_t DS1904Device::touch(uint8_t m)
{
    switch (step_) {
    case Step::Silent:
        return 0xFF;
    case Step::Command:
        count_ = 0;
        if (m == kReadClock) {
            const uint32_t s = clockAt(key_, hostNow());
            snapshot_ = { key_.control, static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8),
                          static_cast<uint8_t>(s >> 16), static_cast<uint8_t>(s >> 24) };
            step_ = Step::ReadClock;
        } else if (m == kWriteClock) {
            step_ = Step::WriteClock;
        } else {
            step_ = Step::Silent;
        }
        return 0xFF;
    case Step::ReadClock:
        return snapshot_[count_++ % 5];
    case Step::WriteClock:
        written_[count_++] = m;
        if (count_ == 1) {
            // The control byte acts at once; bit 3 wins over bit 2.
            const int64_t now = hostNow();
            const uint32_t current = clockAt(key_, now);
            const uint8_t osc = (m & 0x08) ? 0x0C : 0x00;
            key_.control = static_cast<uint8_t>((m & 0xF0) | osc);
            key_.clockSeconds = current;
            key_.clockSetAt = now;
        }
        if (count_ == 5) {
            pendingLoad_ = true;
            step_ = Step::Silent;
        }
        return 0xFF;
    }
    return 0xFF;
}

std::shared_ptr<KeyDevice> makeDevice(KeyFile key)
{
    switch (key.family()) {
    case kFamilyDS1977:
        return std::make_shared<DS1977Device>(std::move(key));
    case kFamilyDS1994:
        return std::make_shared<DS1994Device>(std::move(key));
    case kFamilyDS1904:
        return std::make_shared<DS1904Device>(std::move(key));
    default:
        return std::make_shared<SerialNumberDevice>(std::move(key));
    }
}

} // namespace onewire
