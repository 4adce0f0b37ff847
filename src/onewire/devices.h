#pragma once
// Device models: each answers the function commands of the real part, byte by byte.
// Their state is a KeyFile; a model that changes it calls persist() before it tells the
// master the change was made (the emulated reader saves the file there).
#include "onewire/key_file.h"
#include "onewire/microlan.h"

#include <functional>
#include <memory>

namespace onewire {

// Saves the key; false when it could not be saved (the change is then undone).
using PersistFn = std::function<bool(const KeyFile&)>;

class KeyDevice : public Device {
public:
    explicit KeyDevice(KeyFile key) : Device(key.rom), key_(std::move(key)) { }
    const KeyFile& key() const { return key_; }
    void setPersist(PersistFn fn) { persist_ = std::move(fn); }

protected:
    bool persist() { return !persist_ || persist_(key_); }
    void notifyPageDone()
    {
        if (pageDone)
            pageDone();
    }
    KeyFile key_;
    PersistFn persist_;
};

// Family 01h and any family without a model: ROM layer only; reads give FFh.
class SerialNumberDevice : public KeyDevice {
public:
    using KeyDevice::KeyDevice;
};

// DS1977: 32 KB EEPROM in 64-byte pages, 64-byte scratchpad, read/full-access passwords.
class DS1977Device : public KeyDevice {
public:
    static constexpr uint8_t kWriteScratchpad = 0x0F;
    static constexpr uint8_t kReadScratchpad = 0xAA;
    static constexpr uint8_t kCopyScratchpad = 0x99;
    static constexpr uint8_t kReadMemory = 0x69;
    static constexpr uint8_t kVerifyPassword = 0xC3;
    static constexpr uint8_t kReadVersion = 0xCC;
    static constexpr uint8_t kVersion = 0x00;
    // How long the master must hold the strong pull-up after a copy and after the password
    // of a memory read (tSPUW, tSPUR).
    static constexpr double kCopyPullupMs = 22.46;
    static constexpr double kReadPullupMs = 2.64;

    explicit DS1977Device(KeyFile key);
    void onReset() override;
    void onSelected() override;
    uint8_t touch(uint8_t master) override;
    void onStrongPullup() override;

    const std::array<uint8_t, 64>& scratchpad() const { return scratch_; }
    uint8_t endingStatus() const { return es_; }

private:
    enum class Step {
        Command, Address1, Address2, WriteData, WriteCrc, ReadScratchHeader, ReadScratchData,
        ReadScratchCrc, CopyAddress, CopyPassword, WaitPullup, CopyResult, ReadPassword,
        ReadData, ReadCrc, VerifyAddress, VerifyPassword, VersionOut, Silent
    };
    uint8_t memoryByte(uint16_t address) const;
    bool passwordMatches(uint16_t address) const;
    void doCopy();

    Step step_ = Step::Silent;
    uint8_t command_ = 0;
    uint16_t ta_ = 0;
    uint8_t es_ = 0x40; // PF: the scratchpad holds nothing valid after power-up
    bool scratchValid_ = false;
    std::array<uint8_t, 64> scratch_ {};
    std::array<uint8_t, 3> copyRegs_ {};
    std::array<uint8_t, 8> password_ {};
    int count_ = 0;
    uint16_t crc_ = 0;
    uint16_t readAddress_ = 0;
    bool readAuthorised_ = false;
    bool copyOk_ = false;
    uint8_t outByte_ = 0xFF;
    std::array<uint8_t, 2> crcOut_ {};
};

// DS1994: 512 bytes NVRAM in 32-byte pages plus clock registers, 32-byte scratchpad.
class DS1994Device : public KeyDevice {
public:
    static constexpr uint8_t kWriteScratchpad = 0x0F;
    static constexpr uint8_t kReadScratchpad = 0xAA;
    static constexpr uint8_t kCopyScratchpad = 0x55;
    static constexpr uint8_t kReadMemory = 0xF0;

    explicit DS1994Device(KeyFile key);
    void onReset() override;
    void onSelected() override;
    uint8_t touch(uint8_t master) override;

private:
    enum class Step { Command, Address1, Address2, WriteData, ReadHeader, ReadScratch, CopyRegs,
                      CopyDone, ReadMemory, Silent };
    uint8_t memoryByte(uint16_t address) const;
    void doCopy();

    Step step_ = Step::Silent;
    uint8_t command_ = 0;
    uint16_t ta_ = 0;
    uint8_t es_ = 0;
    std::array<uint8_t, 32> scratch_ {};
    std::array<uint8_t, 3> copyRegs_ {};
    int count_ = 0;
    uint16_t readAddress_ = 0;
    uint8_t copyAnswer_ = 0xFF;
};

// DS1904: a 32-bit seconds counter and a control byte.
class DS1904Device : public KeyDevice {
public:
    static constexpr uint8_t kReadClock = 0x66;
    static constexpr uint8_t kWriteClock = 0x99;

    explicit DS1904Device(KeyFile key);
    void onReset() override;
    void onSelected() override;
    uint8_t touch(uint8_t master) override;

private:
    enum class Step { Command, ReadClock, WriteClock, Silent };
    Step step_ = Step::Silent;
    std::array<uint8_t, 5> snapshot_ {};
    std::array<uint8_t, 5> written_ {};
    int count_ = 0;
    bool pendingLoad_ = false;
};

// The model for a key file's family.
std::shared_ptr<KeyDevice> makeDevice(KeyFile key);

} // namespace onewire
