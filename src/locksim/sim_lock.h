#pragma once
// The door locks' side, written apart from the program's key formats: a lock keeps its own
// audit log and clock and fills the keys brought to it the way the locks do, so that a
// scenario program -> key -> lock -> key -> program reads the formats twice, independently.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace locksim {

using Page = std::array<uint8_t, 64>;
using Rom = std::array<uint8_t, 8>; // ROM order: family code first, CRC last
using Time = std::chrono::local_seconds;

inline constexpr int kPages = 511; // pages 0-510 of a DS1977

// The memory of a DS1977 as the lock sees it through its reader.
struct Ds1977Memory {
    Rom rom {};
    std::array<Page, kPages> pages {};

    Ds1977Memory() { clear(); }
    void clear()
    {
        for (auto& p : pages)
            p.fill(0xFF);
    }
};

// One event of a lock's audit log, as the lock will write it: 16 bytes.
struct AuditEvent {
    std::array<uint8_t, 8> who {};
    Time time {};
    uint8_t eventCode = 0;
    bool emptySlot = false; // a slot the lock never filled: its time bytes stay FFh

    static AuditEvent withKey(const Rom& key, uint8_t eventCode, Time t);
    // A keypad code: kind is the high nibble of the event byte, event the low nibble.
    static AuditEvent withCode(const std::string& digits, uint8_t kind, uint8_t event, Time t);
    // An event of the lock itself: 1 auto opened, 2 auto closed, 3 closed by push button.
    static AuditEvent ofLock(uint8_t what, Time t);
    static AuditEvent empty();

    std::array<uint8_t, 16> encode() const;
};

// One key or code the lock accepts, as it keeps it.
struct LockKeyEntry {
    std::string code; // keypad digits; empty: none
    std::optional<Rom> key; // the user's iButton; nullopt: none
    int timeShiftGroup = 1; // 1: no limit
    int actExpGroup = 1; // 1: no limit
    bool holidays = false; // the holiday schedule applies
};

// What a lock reports about itself on a Get Information Key.
struct LockState {
    bool keyListEnabled = true;
    bool manualSetupEnabled = true;
    bool daylightSavingFunction = false;
    bool daylightSavingInForce = false;
    bool blink = false;
    bool classroom = false;
    uint16_t hardwareVersion = 0x3000;
    std::string softwareVersion = "2.3"; // three characters
    uint8_t battery = 109; // reading: volts = reading x 4.8 / 109
    uint8_t level = 0; // 0 low, 1 medium, 3 high
    std::array<uint8_t, 1024> settingsImage; // the time table the lock runs on
    std::vector<LockKeyEntry> keys;

    LockState() { settingsImage.fill(0xFF); }
};

// Records a lock holds: the count it reports on a Get Information key reads back unambiguously
// only up to 0D00h.
inline constexpr size_t kLockMemory = 3328;

// Why a lock left a key alone.
enum class VisitResult { Filled, WrongFacility, NotForThisLock, KeyFull, UnknownKey, ProgrammingKey };

const char* visitResultText(VisitResult r);

class SimLock {
public:
    SimLock(Rom serial, std::array<uint8_t, 3> facility, Time clock);

    const Rom& serial() const { return serial_; }
    void setClock(Time t) { clock_ = t; }
    Time clock() const { return clock_; }

    // The lock's own log, oldest first.
    std::vector<AuditEvent>& log() { return log_; }
    const std::vector<AuditEvent>& log() const { return log_; }
    LockState& state() { return state_; }
    const LockState& state() const { return state_; }
    // A lock keeps its latest kLockMemory records; a new one pushes out the oldest.
    void record(const AuditEvent& e)
    {
        if (log_.size() >= kLockMemory)
            log_.erase(log_.begin(), log_.begin() + static_cast<std::ptrdiff_t>(log_.size() - kLockMemory + 1));
        log_.push_back(e);
    }

    // One page the lock writes onto the key, in the order it writes them.
    struct PageWrite {
        int page;
        Page bytes;
    };

    // The lock reads the key's page 0 and answers as its kind asks: the pages it writes, in
    // order. The lock's own state (a pending second key) changes as on a real visit.
    VisitResult answer(const Ds1977Memory& key, std::vector<PageWrite>& writes);

    // answer() and every write applied to the key.
    VisitResult visit(Ds1977Memory& key);

    // What the lock remembers between the two keys of a long trail.
    bool secondKeyPending() const { return pendingSecond_.has_value(); }
    struct Pending {
        size_t from = 0, count = 0;
    };
    const std::optional<Pending>& pendingSecond() const { return pendingSecond_; }
    void setPendingSecond(std::optional<Pending> p) { pendingSecond_ = p; }
    const std::array<uint8_t, 3>& facility() const { return facility_; }

private:
    VisitResult fillSingleTrail(Ds1977Memory& key, uint8_t kind);
    VisitResult fillMultiLockTrail(Ds1977Memory& key);
    VisitResult addToSetupKey(Ds1977Memory& key);
    VisitResult fillInformationKey(Ds1977Memory& key);
    void writeRecords(Ds1977Memory& key, int firstPage, size_t from, size_t count);
    Page& touch(Ds1977Memory& key, int page);
    void writeClock(uint8_t* at) const; // YY MM 00 DD hh mm ss

    Rom serial_;
    std::array<uint8_t, 3> facility_;
    Time clock_;
    std::vector<AuditEvent> log_;
    LockState state_;
    std::optional<Pending> pendingSecond_;
    std::vector<int> touched_;
};

// Records that fit on one key: pages 2-510, four to a page.
inline constexpr int kRecordsPerKey = 509 * 4;

// A Get Information Key: the key list from page 3, two entries a page, up to the settings
// image on pages 285-300.
inline constexpr int kKeyListFirstPage = 3;
inline constexpr int kSettingsImageFirstPage = 285;
inline constexpr int kMaxKeysReported = (kSettingsImageFirstPage - kKeyListFirstPage) * 2;

} // namespace locksim
