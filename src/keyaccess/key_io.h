#pragma once
// The key I/O routines every key window calls, written once. What differs between the
// windows is passed in: the accepted families and message wording (KeyCheckProfile), the
// page source of the writer, and the result field the routine sets. Each routine opens its
// own driver session on the reader port and ends it before it returns.
#include "bytes/codec.h"
#include "keyaccess/dialog_layer.h"
#include "onewire/ports.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The reader port of the settings record (SettingsRecord.PortNum / PortType).
// The default is the emulated reader (onewire/ports.h).
struct ReaderPort {
    short PortNum = onewire::kEmulatedReaderPortNum;
    short PortType = onewire::kEmulatedReaderPortType;
};

// The ROM id of the key addressed, as the windows hold it: eight 16-bit values in ROM
// order, family code first.
using KeyRom = std::array<uint16_t, 8>;
KeyRom keyRomFrom(const RomId& rom);
RomId romIdFrom(const KeyRom& rom);

// The wording and families of one window's key check.
struct KeyCheckProfile {
    std::vector<uint8_t> families;
    std::string portMessage;   // negative session handle (information box)
    std::string readerMessage; // TMSetup failed (error box)
    std::string plugInMessage; // family search could not be set up (error box)
};
// Read Key and Copy Lock Settings: DS1977 (37h) or 33h keys.
extern const KeyCheckProfile kReadKeyCheck;
// Remote Code and Multi-Lock Programming: DS1977 only.
extern const KeyCheckProfile kProgrammingCheck;
// Multi-Lock Audit Trail: DS1977 only, its own wording.
extern const KeyCheckProfile kAuditTrailCheck;

// The warning shown for a reset that did not report presence; empty for other results.
std::string resetResultMessage(short result);

// How often a frame whose CRC-16 does not check is tried again within one call.
inline constexpr int kCrcRepeats = 4;

struct KeyIoOptions {
    ReaderPort port;
    DialogLayer* dialogs = nullptr; // nullptr: appDialogs()
    // Lets the application process pending window messages between repeats (Qt sets it).
    std::function<void()> processPendingMessages;
    int crcRepeats = kCrcRepeats;
};

// The 8-byte password the program reads and copies DS1977 pages with (read and
// full-access). Built at run time; locks install the same on their keys.
std::array<uint8_t, 8> keyPassword();

// Two keys in the reader: which one a window would write or read is left to the bus, so no
// key is written or read and the operator is told this (by the routines below, once).
inline constexpr const char* kOneKeyOnlyMessage = "More than one key in the PC iButton Reader, please leave only one key.";

// What the key check found.
enum class KeyCheckResult {
    Found,       // one key of an accepted family
    NoKey,       // none (the caller shows its own message)
    SeveralKeys, // more than one: kOneKeyOnlyMessage has been shown
    Fault,       // no session, no reader, no search: the port's own message has been shown
};
KeyCheckResult CheckOneWirePort(const KeyIoOptions& options, const KeyCheckProfile& profile, KeyRom* found = nullptr);
// True when exactly one key of an accepted family answers on the reader's bus; leaves its ROM
// id in *found (the key the writer then addresses), and clears *found otherwise, so that
// nothing addresses a key the check did not accept.
bool IsOneWirePortOK(const KeyIoOptions& options, const KeyCheckProfile& profile, KeyRom* found = nullptr);

// The reasons the reader gives for keys it could not put on its bus (the emulated reader's
// damaged key files), one a line; empty when it gives none.
std::string keysNotLoaded(const ReaderPort& port);
// A window's own message after a key check that gave `result`: text with those reasons
// below it, or empty when the check has already said everything (several keys).
std::string messageAfterKeyCheck(const ReaderPort& port, KeyCheckResult result, const std::string& text);

// 1 when one device other than the reader's own id chip answers; its ROM id text goes to
// keySerialId and its ROM id to currentKeyRom. 0 when none does (also without a session).
// kSeveralKeys when more than one does: kOneKeyOnlyMessage has been shown and neither output
// is touched. While readerRomId is empty, family-01h devices (id chips) are not taken for keys.
inline constexpr int kSeveralKeys = 2;
int ReadButtonID(const KeyIoOptions& options, const std::string& readerRomId, std::string& keySerialId,
                 KeyRom& currentKeyRom);

// Reads DS1977 page 0..510 of the key currentKeyRom into pageBuffer (64 data bytes, then
// the two CRC-16 bytes when the buffer has room) and sets pageReadOk: 1 when the CRC-16
// checks, 0 on failure; a busy port (handle 0) leaves it as the caller set it.
void ReadDS1977Data(const KeyIoOptions& options, const KeyRom& currentKeyRom, int page,
                    std::span<uint8_t> pageBuffer, uint8_t& pageReadOk);

// Writes the 64 bytes of source to DS1977 page 0..510 of the key currentKeyRom and sets
// result: 1 when the copy answered AAh, 0 on failure; a busy port leaves it unchanged.
void WriteDS1977Data(const KeyIoOptions& options, const KeyRom& currentKeyRom, int page,
                     std::span<const uint8_t, 64> source, uint8_t& result);

// DS1994 clock key: memory bytes 0-31 into pageBuffer 0-31, the clock seconds (LSB first)
// into 32-35, the rest of the 64 bytes zero.
void ReadTimeCard(const KeyIoOptions& options, const KeyRom& currentKeyRom, std::span<uint8_t> pageBuffer,
                  uint8_t& pageReadOk);
// DS1904 clock key: control byte into pageBuffer 0, the seconds (LSB first) into 1-4.
void ReadTimeCard1(const KeyIoOptions& options, const KeyRom& currentKeyRom, std::span<uint8_t> pageBuffer,
                   uint8_t& pageReadOk);

// The Set Time Key: DS1994 memory page 0 ("READ", FDh, the facility code, the rest FFh)
// and the clock seconds since 1970-01-01 00:00 of the local time given.
struct TimeKey {
    std::array<uint8_t, 32> page0 {};
    uint32_t seconds = 0;
};
TimeKey TimeKeyImage(std::span<const uint8_t, 3> facilityCode, DateTime localTime);
DateTime localNow();
// Writes a Set Time Key: on a DS1994 page 0 and the clock (started); on a DS1904 the clock
// only (started). True when the key read back what was written.
bool WriteTimeCard(const KeyIoOptions& options, const KeyRom& currentKeyRom, const TimeKey& image);
bool WriteTimeCard1(const KeyIoOptions& options, const KeyRom& currentKeyRom, uint32_t seconds);

// The callers' retry rule: each page read or write is tried up to this many times, the
// result cleared before each try, stopping at the first success.
inline constexpr int kPageTries = 3;
inline constexpr int kFirmwarePageTries = 5;

// The state one window keeps for these routines, with the routines bound to it.
class KeyIo {
public:
    KeyIo(ReaderPort port, const KeyCheckProfile& profile) : profile(&profile) { options.port = port; }

    KeyIoOptions options;
    const KeyCheckProfile* profile;
    std::array<uint8_t, 66> PageBuffer {};
    uint8_t PageReadOk = 0;
    uint8_t WriteResult = 0;
    KeyRom CurrentKeyRom {};
    KeyCheckResult LastKeyCheck = KeyCheckResult::NoKey;

    bool IsOneWirePortOK()
    {
        LastKeyCheck = CheckOneWirePort(options, *profile, &CurrentKeyRom);
        return LastKeyCheck == KeyCheckResult::Found;
    }
    int ReadButtonID(const std::string& readerRomId, std::string& keySerialId)
    {
        return ::ReadButtonID(options, readerRomId, keySerialId, CurrentKeyRom);
    }
    void ReadDS1977Data(int page) { ::ReadDS1977Data(options, CurrentKeyRom, page, PageBuffer, PageReadOk); }
    void WriteDS1977Data(int page)
    {
        ::WriteDS1977Data(options, CurrentKeyRom, page, std::span<const uint8_t, 64>(PageBuffer.data(), 64), WriteResult);
    }
    void WriteDS1977Data(int page, std::span<const uint8_t, 64> source)
    {
        ::WriteDS1977Data(options, CurrentKeyRom, page, source, WriteResult);
    }
    // The retry rule around the page routines; true when the page was read / written.
    bool readPageWithTries(int page, int tries = kPageTries)
    {
        for (int i = 0; i < tries; ++i) {
            PageReadOk = 0;
            ReadDS1977Data(page);
            if (PageReadOk == 1)
                return true;
        }
        return false;
    }
    bool writePageWithTries(int page, int tries = kPageTries)
    {
        return writePageWithTries(page, std::span<const uint8_t, 64>(PageBuffer.data(), 64), tries);
    }
    bool writePageWithTries(int page, std::span<const uint8_t, 64> source, int tries = kPageTries)
    {
        for (int i = 0; i < tries; ++i) {
            WriteResult = 0;
            WriteDS1977Data(page, source);
            if (WriteResult == 1)
                return true;
        }
        return false;
    }
    void ReadTimeCard() { ::ReadTimeCard(options, CurrentKeyRom, PageBuffer, PageReadOk); }
    void ReadTimeCard1() { ::ReadTimeCard1(options, CurrentKeyRom, PageBuffer, PageReadOk); }
};
