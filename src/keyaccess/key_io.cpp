#include "keyaccess/key_io.h"

#include "bytes/crc.h"
#include "onewire/ports.h"
#include "onewire/tmex.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace {

constexpr uint8_t kFamilyDS1977 = 0x37;
constexpr uint8_t kFamilyIdChip = 0x01;
constexpr int kLastPage = 510;
constexpr int kMaxDevices = 64; // bounds every bus enumeration

// DS1977 commands.
constexpr uint8_t kWriteScratchpad = 0x0F;
constexpr uint8_t kReadScratchpad = 0xAA;
constexpr uint8_t kCopyScratchpadPw = 0x99;
constexpr uint8_t kReadMemoryPw = 0x69;
constexpr uint8_t kCopyDone = 0xAA;
// DS1994 and DS1904 commands.
constexpr uint8_t kDS1994WriteScratchpad = 0x0F;
constexpr uint8_t kDS1994ReadScratchpad = 0xAA;
constexpr uint8_t kDS1994CopyScratchpad = 0x55;
constexpr uint8_t kDS1994ReadMemory = 0xF0;
constexpr uint8_t kDS1904ReadClock = 0x66;
constexpr uint8_t kDS1904WriteClock = 0x99;

// How long the strong pull-up is held: the datasheet's 22.46 ms for a copy and 2.64 ms for
// the password of a read, rounded up.
constexpr int kCopyPullupMs = 23;
constexpr int kReadPullupMs = 3;

DialogLayer& dialogsOf(const KeyIoOptions& o)
{
    return o.dialogs ? *o.dialogs : appDialogs();
}

void pending(const KeyIoOptions& o)
{
    if (o.processPendingMessages)
        o.processPendingMessages();
}

int repeatsOf(const KeyIoOptions& o)
{
    return std::clamp(o.crcRepeats, 1, 64);
}

// Ends the session on every way out.
class Session {
public:
    explicit Session(const ReaderPort& port) : handle(TMExtendedStartSession(port.PortNum, port.PortType, nullptr)) { }
    ~Session() { end(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    void end()
    {
        if (handle > 0)
            TMEndSession(handle);
        handle = 0;
    }
    long handle;
    TMStateBuffer state {};
};

enum class Opened { Ok, Busy, Failed };

// Session, set-up, reset (with the warning box for no presence) and the ROM id put into
// the state buffer for TMAccess.
Opened openKey(const KeyIoOptions& o, Session& s, const KeyRom& rom, bool resetMessages)
{
    if (s.handle == 0)
        return Opened::Busy;
    if (s.handle < 0)
        return Opened::Failed;
    if (TMSetup(s.handle) != kTMSetupOk)
        return Opened::Failed;
    const short r = TMTouchReset(s.handle);
    if (r != kTMResetPresence) {
        const std::string text = resetResultMessage(r);
        if (resetMessages && !text.empty())
            dialogsOf(o).warning(text);
        return Opened::Failed;
    }
    short romWords[8];
    for (int i = 0; i < 8; ++i)
        romWords[i] = static_cast<short>(rom[i] & 0xFF);
    if (romWords[0] == 0) // would read the buffer out instead of setting it
        return Opened::Failed;
    if (TMRom(s.handle, s.state.data(), romWords) != 1)
        return Opened::Failed;
    return Opened::Ok;
}

// Whether the key is on the bus now: parts without a CRC (the clock keys) would otherwise
// read as FFh from an empty reader.
bool keyPresent(Session& s, const KeyRom& rom)
{
    TMStateBuffer search {};
    if (TMFamilySearchSetup(s.handle, search.data(), static_cast<short>(rom[0] & 0xFF)) != 1)
        return false;
    for (int i = 0; i < kMaxDevices && TMNext(s.handle, search.data()) == 1; ++i) {
        short found[8] = { 0 };
        if (TMRom(s.handle, search.data(), found) != 1 || (found[0] & 0xFF) != (rom[0] & 0xFF))
            return false;
        bool same = true;
        for (int b = 0; b < 8; ++b)
            same = same && (found[b] & 0xFF) == (rom[b] & 0xFF);
        if (same)
            return true;
    }
    return false;
}

// Opens a clock key for a read, without the reset warnings: false when it cannot be read now.
// pageReadOk is then cleared, except while another session holds the port (it stays as it was).
bool openPresentKey(const KeyIoOptions& o, Session& s, const KeyRom& rom, uint8_t& pageReadOk)
{
    const Opened opened = openKey(o, s, rom, false);
    if (opened == Opened::Busy)
        return false;
    pageReadOk = 0;
    return opened == Opened::Ok && keyPresent(s, rom);
}

bool stream(long h, uint8_t* buffer, int len)
{
    return TMBlockStream(h, buffer, static_cast<short>(len)) == len;
}

// Sends the last byte with the strong pull-up primed behind it, holds it, and drops it.
bool sendWithPullup(long h, uint8_t last, int ms)
{
    if (TMOneWireLevel(h, LEVEL_SET, LEVEL_STRONG_PULL_UP, PRIMED_BYTE) < 0)
        return false;
    if (TMTouchByte(h, last) < 0)
        return false;
    if (onewire::holdLine(h, ms) != 1)
        return false;
    return TMOneWireLevel(h, LEVEL_SET, LEVEL_NORMAL, PRIMED_NONE) == LEVEL_NORMAL;
}

RomId romOf(const short (&words)[8])
{
    RomId r {};
    for (int i = 0; i < 8; ++i)
        r[i] = static_cast<uint8_t>(words[i] & 0xFF);
    return r;
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y)); });
}

} // namespace

const KeyCheckProfile kReadKeyCheck { { 0x37, 0x33 },
                                      "Please check your PC iButton Reader is on the right port!",
                                      "Please Check your PC iButton Reader!",
                                      "Please Plug in your DS1977 Key!" };
const KeyCheckProfile kProgrammingCheck { { 0x37 },
                                          "Please check your PC iButton Reader is on the right port!",
                                          "Please Check your PC iButton Reader!",
                                          "Please Plug in your Key." };
const KeyCheckProfile kAuditTrailCheck { { 0x37 },
                                         "Please check your PC iButton reader is on the right port!",
                                         "Please Check your PC iButton reader!",
                                         "Please Plug in your iButton Key." };

KeyRom keyRomFrom(const RomId& rom)
{
    KeyRom k {};
    for (int i = 0; i < 8; ++i)
        k[i] = rom[i];
    return k;
}

RomId romIdFrom(const KeyRom& rom)
{
    RomId r {};
    for (int i = 0; i < 8; ++i)
        r[i] = static_cast<uint8_t>(rom[i] & 0xFF);
    return r;
}

std::string resetResultMessage(short result)
{
    switch (result) {
    case kTMResetNoPresence:
        return "No device on MicroLan!";
    case kTMResetAlarming:
        return "Alarming device on MicroLan!";
    case kTMResetShorted:
        return "MicroLan shorted!";
    case kTMResetNotSetUp:
        return "MicroLan not setup!";
    case kTMResetNotSupported:
        return "TMTouchReset not supported!";
    default:
        return {};
    }
}

std::array<uint8_t, 8> keyPassword()
{
    // Not kept as one literal: each byte is a step of a small generator.
    std::array<uint8_t, 8> pw {};
    uint32_t x = 0x1D6B;
    for (auto& b : pw) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return pw;
}

KeyCheckResult CheckOneWirePort(const KeyIoOptions& o, const KeyCheckProfile& profile, KeyRom* found)
{
    if (found)
        *found = {};
    Session s(o.port);
    if (s.handle < 0) {
        dialogsOf(o).information(profile.portMessage);
        return KeyCheckResult::Fault;
    }
    if (s.handle == 0)
        return KeyCheckResult::Fault;
    if (TMSetup(s.handle) != kTMSetupOk) {
        s.end();
        dialogsOf(o).error(profile.readerMessage);
        return KeyCheckResult::Fault;
    }
    if (TMFamilySearchSetup(s.handle, s.state.data(), kFamilyDS1977) != 1) {
        s.end();
        dialogsOf(o).error(profile.plugInMessage);
        return KeyCheckResult::Fault;
    }
    int accepted = 0;
    KeyRom first {};
    for (int i = 0; i < kMaxDevices && TMNext(s.handle, s.state.data()) == 1; ++i) {
        short rom[8] = { 0 };
        if (TMRom(s.handle, s.state.data(), rom) != 1)
            break;
        const uint8_t family = static_cast<uint8_t>(rom[0] & 0xFF);
        if (std::find(profile.families.begin(), profile.families.end(), family) != profile.families.end()
            && ++accepted == 1)
            first = keyRomFrom(romOf(rom));
    }
    if (accepted == 0)
        return KeyCheckResult::NoKey;
    if (accepted > 1) {
        s.end();
        dialogsOf(o).error(kOneKeyOnlyMessage);
        return KeyCheckResult::SeveralKeys;
    }
    if (found)
        *found = first;
    return KeyCheckResult::Found;
}

bool IsOneWirePortOK(const KeyIoOptions& o, const KeyCheckProfile& profile, KeyRom* found)
{
    return CheckOneWirePort(o, profile, found) == KeyCheckResult::Found;
}

std::string keysNotLoaded(const ReaderPort& port)
{
    std::string text;
    if (const auto bus = onewire::portBus(port.PortNum, port.PortType))
        for (const std::string& reason : bus->keysNotLoaded())
            text += (text.empty() ? "" : "\n") + reason;
    return text;
}

std::string messageAfterKeyCheck(const ReaderPort& port, KeyCheckResult result, const std::string& text)
{
    if (result == KeyCheckResult::SeveralKeys)
        return {};
    const std::string reasons = result == KeyCheckResult::NoKey ? keysNotLoaded(port) : std::string();
    return reasons.empty() ? text : text + "\n" + reasons;
}

int ReadButtonID(const KeyIoOptions& o, const std::string& readerRomId, std::string& keySerialId, KeyRom& currentKeyRom)
{
    Session s(o.port);
    if (s.handle <= 0 || TMSetup(s.handle) != kTMSetupOk)
        return 0;
    int keys = 0;
    RomId key {};
    short r = TMFirst(s.handle, s.state.data());
    for (int i = 0; i < kMaxDevices && r == 1; ++i, r = TMNext(s.handle, s.state.data())) {
        short rom[8] = { 0 };
        if (TMRom(s.handle, s.state.data(), rom) != 1)
            return 0;
        const RomId id = romOf(rom);
        if (readerRomId.empty() ? id[0] == kFamilyIdChip : sameText(romIdText(id), readerRomId))
            continue;
        if (++keys == 1)
            key = id;
    }
    if (keys == 0)
        return 0;
    if (keys > 1) {
        s.end();
        dialogsOf(o).information(kOneKeyOnlyMessage);
        return kSeveralKeys;
    }
    keySerialId = romIdText(key);
    currentKeyRom = keyRomFrom(key);
    return 1;
}

void ReadDS1977Data(const KeyIoOptions& o, const KeyRom& currentKeyRom, int page, std::span<uint8_t> pageBuffer,
                    uint8_t& pageReadOk)
{
    if (page < 0 || page > kLastPage || pageBuffer.size() < 64) {
        pageReadOk = 0; // refused before anything goes on the bus
        return;
    }
    Session s(o.port);
    const Opened opened = openKey(o, s, currentKeyRom, true);
    if (opened == Opened::Busy)
        return;
    if (opened == Opened::Failed) {
        pageReadOk = 0;
        return;
    }
    const uint16_t address = static_cast<uint16_t>(page * 64);
    const auto pw = keyPassword();
    for (int attempt = 0; attempt < repeatsOf(o); ++attempt) {
        if (attempt > 0)
            pending(o);
        if (TMAccess(s.handle, s.state.data()) != 1)
            break;
        std::array<uint8_t, 10> cmd { kReadMemoryPw, static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8),
                                      pw[0], pw[1], pw[2], pw[3], pw[4], pw[5], pw[6] };
        if (!stream(s.handle, cmd.data(), 10) || !sendWithPullup(s.handle, pw[7], kReadPullupMs))
            break;
        std::array<uint8_t, 66> data;
        data.fill(0xFF);
        if (!stream(s.handle, data.data(), 66))
            break;
        std::copy_n(data.begin(), std::min<std::size_t>(66, pageBuffer.size()), pageBuffer.begin());
        const uint8_t head[3] = { kReadMemoryPw, static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8) };
        if (crc16(data, crc16(head)) == kCrc16GoodResidue) {
            pageReadOk = 1;
            return;
        }
    }
    pageReadOk = 0;
}

void WriteDS1977Data(const KeyIoOptions& o, const KeyRom& currentKeyRom, int page, std::span<const uint8_t, 64> source,
                     uint8_t& result)
{
    if (page < 0 || page > kLastPage) {
        result = 0; // refused before anything goes on the bus
        return;
    }
    Session s(o.port);
    const Opened opened = openKey(o, s, currentKeyRom, true);
    if (opened == Opened::Busy)
        return;
    result = 0;
    if (opened == Opened::Failed)
        return;
    const uint16_t address = static_cast<uint16_t>(page * 64);
    const uint8_t ta1 = static_cast<uint8_t>(address & 0xFF), ta2 = static_cast<uint8_t>(address >> 8);

    // Write Scratchpad until its CRC-16 checks; a scratchpad that never checks is not copied.
    std::array<uint8_t, 67> sent;
    sent[0] = kWriteScratchpad;
    sent[1] = ta1;
    sent[2] = ta2;
    std::copy(source.begin(), source.end(), sent.begin() + 3);
    bool scratchpadOk = false;
    for (int attempt = 0; attempt < repeatsOf(o) && !scratchpadOk; ++attempt) {
        if (attempt > 0)
            pending(o);
        if (TMAccess(s.handle, s.state.data()) != 1)
            return;
        std::array<uint8_t, 67> echo = sent;
        if (!stream(s.handle, echo.data(), 67) || echo != sent)
            return;
        std::array<uint8_t, 2> crc { 0xFF, 0xFF };
        if (!stream(s.handle, crc.data(), 2))
            return;
        scratchpadOk = crc16(crc, crc16(sent)) == kCrc16GoodResidue;
    }
    if (!scratchpadOk)
        return;

    // Read Scratchpad for the ending-offset byte; the address must be ours and the page whole.
    if (TMAccess(s.handle, s.state.data()) != 1)
        return;
    std::array<uint8_t, 4> regs { kReadScratchpad, 0xFF, 0xFF, 0xFF };
    if (!stream(s.handle, regs.data(), 4) || regs[1] != ta1 || regs[2] != ta2 || (regs[3] & 0x7F) != 0x3F)
        return;
    const uint8_t es = regs[3];

    // Copy Scratchpad with the password under the strong pull-up.
    if (TMAccess(s.handle, s.state.data()) != 1)
        return;
    const auto pw = keyPassword();
    std::array<uint8_t, 11> copy { kCopyScratchpadPw, ta1, ta2, es, pw[0], pw[1], pw[2], pw[3], pw[4], pw[5], pw[6] };
    if (!stream(s.handle, copy.data(), 11) || !sendWithPullup(s.handle, pw[7], kCopyPullupMs))
        return;
    result = TMTouchByte(s.handle, 0xFF) == kCopyDone ? 1 : 0;
}

void ReadTimeCard(const KeyIoOptions& o, const KeyRom& currentKeyRom, std::span<uint8_t> pageBuffer, uint8_t& pageReadOk)
{
    if (pageBuffer.size() < 64) {
        pageReadOk = 0;
        return;
    }
    Session s(o.port);
    if (!openPresentKey(o, s, currentKeyRom, pageReadOk))
        return;
    // The part sends no CRC: page 0 is read twice and must agree.
    auto readAt = [&](uint16_t address, uint8_t* out, int len) {
        if (TMAccess(s.handle, s.state.data()) != 1)
            return false;
        std::array<uint8_t, 3> cmd { kDS1994ReadMemory, static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8) };
        if (!stream(s.handle, cmd.data(), 3))
            return false;
        std::fill_n(out, len, 0xFF);
        return stream(s.handle, out, len);
    };
    for (int attempt = 0; attempt < repeatsOf(o); ++attempt) {
        if (attempt > 0)
            pending(o);
        std::array<uint8_t, 32> a, b;
        std::array<uint8_t, 4> clock;
        if (!readAt(0x0000, a.data(), 32) || !readAt(0x0000, b.data(), 32))
            return;
        if (a != b)
            continue;
        if (!readAt(0x0203, clock.data(), 4))
            return;
        std::fill(pageBuffer.begin(), pageBuffer.end(), 0);
        std::copy(a.begin(), a.end(), pageBuffer.begin());
        std::copy(clock.begin(), clock.end(), pageBuffer.begin() + 32);
        pageReadOk = 1;
        return;
    }
}

void ReadTimeCard1(const KeyIoOptions& o, const KeyRom& currentKeyRom, std::span<uint8_t> pageBuffer, uint8_t& pageReadOk)
{
    if (pageBuffer.size() < 5) {
        pageReadOk = 0;
        return;
    }
    Session s(o.port);
    if (!openPresentKey(o, s, currentKeyRom, pageReadOk))
        return;
    // The part repeats its five clock bytes: two rounds must agree.
    for (int attempt = 0; attempt < repeatsOf(o); ++attempt) {
        if (attempt > 0)
            pending(o);
        if (TMAccess(s.handle, s.state.data()) != 1)
            return;
        std::array<uint8_t, 11> buf;
        buf.fill(0xFF);
        buf[0] = kDS1904ReadClock;
        if (!stream(s.handle, buf.data(), 11))
            return;
        if (!std::equal(buf.begin() + 1, buf.begin() + 6, buf.begin() + 6))
            continue;
        std::copy(buf.begin() + 1, buf.begin() + 6, pageBuffer.begin());
        pageReadOk = 1;
        return;
    }
}

TimeKey TimeKeyImage(std::span<const uint8_t, 3> facilityCode, DateTime localTime)
{
    TimeKey k;
    k.page0.fill(0xFF);
    k.page0[0] = 'R';
    k.page0[1] = 'E';
    k.page0[2] = 'A';
    k.page0[3] = 'D';
    k.page0[4] = 0xFD;
    std::copy(facilityCode.begin(), facilityCode.end(), k.page0.begin() + 5);
    const auto s = localTime.time_since_epoch().count();
    k.seconds = static_cast<uint32_t>(s < 0 ? 0 : s);
    return k;
}

DateTime localNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    return DateTime(std::chrono::seconds(timegm(&tm)));
}

namespace {
// DS1994: Write Scratchpad, check it by Read Scratchpad, Copy Scratchpad.
bool writeDS1994(const KeyIoOptions& o, Session& s, uint16_t address, std::span<const uint8_t> bytes)
{
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(32 - (address & 0x1F)))
        return false;
    const uint8_t ta1 = static_cast<uint8_t>(address & 0xFF), ta2 = static_cast<uint8_t>(address >> 8);
    for (int attempt = 0; attempt < repeatsOf(o); ++attempt) {
        if (attempt > 0)
            pending(o);
        if (TMAccess(s.handle, s.state.data()) != 1)
            return false;
        std::vector<uint8_t> w { kDS1994WriteScratchpad, ta1, ta2 };
        w.insert(w.end(), bytes.begin(), bytes.end());
        const std::vector<uint8_t> sent = w;
        if (!stream(s.handle, w.data(), static_cast<int>(w.size())) || w != sent)
            return false;
        if (TMAccess(s.handle, s.state.data()) != 1)
            return false;
        std::vector<uint8_t> r(4 + bytes.size(), 0xFF);
        r[0] = kDS1994ReadScratchpad;
        if (!stream(s.handle, r.data(), static_cast<int>(r.size())))
            return false;
        const uint8_t es = r[3];
        if (r[1] != ta1 || r[2] != ta2 || !std::equal(bytes.begin(), bytes.end(), r.begin() + 4))
            continue;
        if (TMAccess(s.handle, s.state.data()) != 1)
            return false;
        std::array<uint8_t, 5> c { kDS1994CopyScratchpad, ta1, ta2, es, 0xFF };
        if (!stream(s.handle, c.data(), 5))
            return false;
        return c[4] == 0x00;
    }
    return false;
}
} // namespace

bool WriteTimeCard(const KeyIoOptions& o, const KeyRom& currentKeyRom, const TimeKey& image)
{
    {
        Session s(o.port);
        if (openKey(o, s, currentKeyRom, true) != Opened::Ok)
            return false;
        if (!writeDS1994(o, s, 0x0000, image.page0))
            return false;
        // Control with the oscillator on, then the clock: fraction 0 and the seconds.
        const uint8_t clock[6] = { 0x10, 0x00, static_cast<uint8_t>(image.seconds), static_cast<uint8_t>(image.seconds >> 8),
                                   static_cast<uint8_t>(image.seconds >> 16), static_cast<uint8_t>(image.seconds >> 24) };
        if (!writeDS1994(o, s, 0x0201, clock))
            return false;
    }
    std::array<uint8_t, 66> back {};
    uint8_t ok = 0;
    ReadTimeCard(o, currentKeyRom, back, ok);
    if (!ok || !std::equal(image.page0.begin(), image.page0.end(), back.begin()))
        return false;
    const uint32_t got = back[32] | back[33] << 8 | back[34] << 16 | static_cast<uint32_t>(back[35]) << 24;
    return got - image.seconds < 60; // the clock runs
}

bool WriteTimeCard1(const KeyIoOptions& o, const KeyRom& currentKeyRom, uint32_t seconds)
{
    {
        Session s(o.port);
        if (openKey(o, s, currentKeyRom, true) != Opened::Ok)
            return false;
        if (TMAccess(s.handle, s.state.data()) != 1)
            return false;
        std::array<uint8_t, 6> w { kDS1904WriteClock, 0x0C, static_cast<uint8_t>(seconds), static_cast<uint8_t>(seconds >> 8),
                                   static_cast<uint8_t>(seconds >> 16), static_cast<uint8_t>(seconds >> 24) };
        const auto sent = w;
        if (!stream(s.handle, w.data(), 6) || w != sent)
            return false;
        TMTouchReset(s.handle); // the count loads at the reset pulse
    }
    std::array<uint8_t, 66> back {};
    uint8_t ok = 0;
    ReadTimeCard1(o, currentKeyRom, back, ok);
    const uint32_t got = back[1] | back[2] << 8 | back[3] << 16 | static_cast<uint32_t>(back[4]) << 24;
    return ok && (back[0] & 0x0C) == 0x0C && got - seconds < 60;
}
