#pragma once
// The emulated MicroLan: devices on one open-drain line, answering the master byte by
// byte (bit by bit for Search ROM). Every exchange is master AND device outputs; a device
// that is not transmitting contributes FFh. The ROM layer (Read/Match/Skip/Search/Resume)
// is handled here; the function commands by each device model (onewire/devices.h).
#include "bytes/codec.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace onewire {

class Device {
public:
    explicit Device(const RomId& rom) : rom_(rom) { }
    virtual ~Device() = default;
    const RomId& rom() const { return rom_; }

    // A reset pulse: the device drops back to waiting for a ROM command.
    virtual void onReset() { }
    // The device was selected (Match/Skip/Search/Resume): function commands follow.
    virtual void onSelected() { }
    // One byte slot after selection. master is what the master drove (FFh = reading);
    // the result is what this device drives (FFh when silent).
    virtual uint8_t touch(uint8_t master) { return 0xFF; }
    // The master switched the strong pull-up on (after the byte it was primed for).
    virtual void onStrongPullup() { }
    virtual bool alarming() const { return false; }

    // Set by the bus: called by a model when one page has been read or written, so that
    // a test can take the key away after page N.
    std::function<void()> pageDone;

private:
    RomId rom_;
};

// What a test can make the line do. Every fault stays until it is cleared.
struct FaultPlan {
    std::optional<long> startResult;      // session start answers this (0 busy, < 0 error)
    std::optional<short> setupResult;     // TMSetup answers this instead of 1
    std::optional<short> resetResult;     // TMTouchReset answers this (0-5 or < 0)
    std::optional<short> familySearchResult; // TMFamilySearchSetup answers this instead of 1
    // Noise seen by the master: in the next `times` transactions (counted from a reset),
    // the byte at `offset` after the reset comes back XORed with mask.
    struct Corruption {
        int offset = 0;
        uint8_t mask = 0x01;
        int times = 1;
    };
    std::vector<Corruption> corruptions;
    // Keys taken away from the reader after they have had this many pages read or written.
    std::map<RomId, int> removeAfterPages;
    // Keys that were taken away that way; they stay off the bus until removed from here.
    std::set<RomId> takenAway;
};

// Bytes and resets put on the line, for the benchmark.
struct WireStats {
    uint64_t resets = 0;
    uint64_t bytes = 0;   // byte slots (a search bit triplet counts 3/8)
    uint64_t bits = 0;
};

// One event on the line, for tests that check byte sequences.
struct WireEvent {
    enum class Kind { Reset, Byte, Bit, PullUp };
    Kind kind;
    uint8_t sent = 0; // byte/bit the master drove; for PullUp the level asked for
    uint8_t got = 0;  // what the master sampled (after any noise); for Reset the presence result
    bool operator==(const WireEvent&) const = default;
};

class MicroLan {
public:
    MicroLan();
    virtual ~MicroLan();
    MicroLan(const MicroLan&) = delete;
    MicroLan& operator=(const MicroLan&) = delete;

    void attach(std::shared_ptr<Device> device);
    bool detach(const RomId& rom);
    std::shared_ptr<Device> find(const RomId& rom) const;
    std::vector<RomId> roms() const;

    FaultPlan& faults() { return faults_; }
    WireStats& stats() { return stats_; }
    // While tracing, every reset, byte, bit and pull-up request is appended to trace().
    void setTracing(bool on) { tracing_ = on; }
    std::vector<WireEvent>& trace() { return trace_; }

    // Called when a session opens on this port (the emulated reader rescans its folder).
    virtual void beginSession() { }
    virtual void endSession() { }
    virtual short setup() { return faults_.setupResult.value_or(1); }
    // Keys the backend could not put on the bus at the last session, one reason each (the
    // emulated reader: its damaged key files). A real bus has none to tell.
    virtual std::vector<std::string> keysNotLoaded() const { return {}; }

    // Line primitives.
    short reset();                    // presence result as TMTouchReset reports it
    uint8_t touchByte(uint8_t master);
    int touchBit(int master);
    // Strong pull-up: now, or after the next byte (primed). Returns the level now.
    short setLevel(short level, short primed);
    short level() const { return level_; }
    // The master keeps the line as it is for a while (the strong pull-up's hold). The
    // emulated line does not wait: it adds the time to the strong pull-up in force.
    void hold(int milliseconds);
    // While tracing, each strong pull-up that has ended (dropped by the master or cut by a
    // reset), with the milliseconds it was held.
    const std::vector<int>& pullupHolds() const { return pullupHolds_; }

private:
    enum class RomState { Idle, Command, MatchRom, ReadRom, Search, Selected };
    struct Slot {
        std::shared_ptr<Device> device;
        RomState state = RomState::Idle;
        int index = 0;       // byte/bit position inside the ROM command
        int searchPhase = 0; // 0 id bit, 1 complement, 2 direction
        int pagesDone = 0;
        bool removeAtReset = false;
    };

    uint8_t exchange(uint8_t master);
    uint8_t romLayerByte(Slot& s, uint8_t master);
    void select(Slot& s);
    void applyPrimedPullup();
    void endPullup();

    std::vector<Slot> slots_;
    FaultPlan faults_;
    WireStats stats_;
    bool tracing_ = false;
    std::vector<WireEvent> trace_;
    short level_ = 0;
    bool pullupPrimedByte_ = false;
    bool pullupPrimedBit_ = false;
    int heldMs_ = 0;
    std::vector<int> pullupHolds_;
    int byteSinceReset_ = 0;
    std::optional<RomId> lastSelected_;
};

} // namespace onewire
