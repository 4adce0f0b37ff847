// Sessions, ports and the driver calls over the emulated line.
#include "onewire/tmex.h"

#include "bytes/crc.h"
#include "onewire/emulated_reader.h"
#include "onewire/ports.h"

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>

using onewire::MicroLan;

namespace {

struct Session {
    short portNum = 0;
    short portType = 0;
    std::shared_ptr<MicroLan> bus; // nullptr: no adapter on that port
    bool setUp = false;
};

// The search state kept in the caller's state buffer.
struct SearchState {
    uint8_t rom[8];
    int32_t lastDiscrepancy;
    int32_t lastFamilyDiscrepancy;
    uint8_t lastDevice;
};
static_assert(sizeof(SearchState) <= kTMStateBufferSize);

std::recursive_mutex& lock()
{
    static std::recursive_mutex m;
    return m;
}
std::map<std::pair<short, short>, std::shared_ptr<MicroLan>>& attached()
{
    static std::map<std::pair<short, short>, std::shared_ptr<MicroLan>> m;
    return m;
}
std::map<long, Session>& sessions()
{
    static std::map<long, Session> m;
    return m;
}
long nextHandle = 1;

std::shared_ptr<onewire::EmulatedReader>& defaultReader()
{
    static std::shared_ptr<onewire::EmulatedReader> r;
    return r;
}

std::function<int64_t()>& hostClock()
{
    static std::function<int64_t()> c;
    return c;
}

SearchState loadState(const void* sb)
{
    SearchState s;
    std::memcpy(&s, sb, sizeof s);
    if (s.lastDiscrepancy < 0 || s.lastDiscrepancy > 64)
        s.lastDiscrepancy = 0;
    if (s.lastFamilyDiscrepancy < 0 || s.lastFamilyDiscrepancy > 64)
        s.lastFamilyDiscrepancy = 0;
    return s;
}
void storeState(void* sb, const SearchState& s)
{
    std::memcpy(sb, &s, sizeof s);
}

// The session's bus when it may be used now, else the error to return.
short usable(long h, Session*& out)
{
    auto it = sessions().find(h);
    if (it == sessions().end())
        return kTMErrInvalidSession;
    if (!it->second.setUp || !it->second.bus)
        return kTMErrPortNotSetUp;
    out = &it->second;
    return 1;
}

// A usable session and a search state buffer to work on: 1, else the error code.
short usableWithState(long h, const void* stateBuffer, Session*& out)
{
    if (short e = usable(h, out); e != 1)
        return e;
    return stateBuffer ? 1 : kTMErrBufferTooSmall;
}

void resetSearch(SearchState& s)
{
    s.lastDiscrepancy = 0;
    s.lastFamilyDiscrepancy = 0;
    s.lastDevice = 0;
}

} // namespace

namespace onewire {

void attachPort(short portNum, short portType, std::shared_ptr<MicroLan> bus)
{
    std::lock_guard g(lock());
    attached()[{ portNum, portType }] = std::move(bus);
}

void detachPort(short portNum, short portType)
{
    std::lock_guard g(lock());
    attached().erase({ portNum, portType });
}

std::shared_ptr<MicroLan> portBus(short portNum, short portType)
{
    std::lock_guard g(lock());
    auto it = attached().find({ portNum, portType });
    if (it != attached().end())
        return it->second;
    if (portNum == kEmulatedReaderPortNum && portType == kEmulatedReaderPortType) {
        auto& r = defaultReader();
        const auto folder = readerFolder();
        if (!r || r->folder() != folder)
            r = std::make_shared<EmulatedReader>(folder);
        return r;
    }
    return nullptr;
}

ScopedPort::ScopedPort(short portNum, short portType, std::shared_ptr<MicroLan> bus) : num_(portNum), type_(portType)
{
    attachPort(portNum, portType, std::move(bus));
}

ScopedPort::~ScopedPort()
{
    detachPort(num_, type_);
}

int64_t hostNow()
{
    if (hostClock())
        return hostClock()();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void setHostClock(std::function<int64_t()> clock)
{
    hostClock() = std::move(clock);
}

} // namespace onewire

long TMExtendedStartSession(short PortNum, short PortType, void* /*EnhancedOptions*/)
{
    std::lock_guard g(lock());
    if (PortType < 0 || PortType > 15)
        return kTMErrNoDriver;
    if (PortNum < 0 || PortNum > 15)
        return kTMErrNoPort;
    auto bus = onewire::portBus(PortNum, PortType);
    if (bus && bus->faults().startResult)
        return *bus->faults().startResult;
    if (!bus && PortType != onewire::kEmulatedReaderPortType)
        return kTMErrNoDriver;
    for (const auto& [h, s] : sessions())
        if (s.portNum == PortNum && s.portType == PortType)
            return 0; // another session holds the port
    const long h = nextHandle++;
    sessions()[h] = Session { PortNum, PortType, bus, false };
    if (bus)
        bus->beginSession();
    return h;
}

short TMValidSession(long session)
{
    std::lock_guard g(lock());
    return sessions().count(session) ? 1 : 0;
}

short TMEndSession(long session)
{
    std::lock_guard g(lock());
    auto it = sessions().find(session);
    if (it == sessions().end())
        return 0;
    if (it->second.bus)
        it->second.bus->endSession();
    sessions().erase(it);
    return 1;
}

short TMSetup(long session)
{
    std::lock_guard g(lock());
    auto it = sessions().find(session);
    if (it == sessions().end())
        return kTMErrInvalidSession;
    if (!it->second.bus)
        return kTMSetupFailed;
    const short r = it->second.bus->setup();
    it->second.setUp = r == kTMSetupOk;
    return r;
}

short TMTouchReset(long session)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usable(session, s); e != 1)
        return e;
    if (s->bus->faults().resetResult)
        return *s->bus->faults().resetResult;
    return s->bus->reset();
}

short TMTouchByte(long session, short byte)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usable(session, s); e != 1)
        return e;
    return s->bus->touchByte(static_cast<uint8_t>(byte & 0xFF));
}

short TMTouchBit(long session, short bit)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usable(session, s); e != 1)
        return e;
    return static_cast<short>(s->bus->touchBit(bit & 1));
}

short TMBlockStream(long session, unsigned char* buffer, short len)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usable(session, s); e != 1)
        return e;
    if (len < 0 || (len > 0 && !buffer))
        return kTMErrBufferTooSmall;
    if (len > 1023)
        return kTMErrBlockTooBig;
    for (short i = 0; i < len; ++i)
        buffer[i] = s->bus->touchByte(buffer[i]);
    return len;
}

short TMAccess(long session, void* stateBuffer)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usableWithState(session, stateBuffer, s); e != 1)
        return e;
    const SearchState st = loadState(stateBuffer);
    const short r = s->bus->reset();
    if (r != kTMResetPresence && r != kTMResetAlarming)
        return 0;
    s->bus->touchByte(0x55);
    for (uint8_t b : st.rom)
        s->bus->touchByte(b);
    return 1;
}

short TMNext(long session, void* stateBuffer)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usableWithState(session, stateBuffer, s); e != 1)
        return e;
    SearchState st = loadState(stateBuffer);
    // No device this time; the next call starts the search over.
    auto searchEnds = [&] {
        resetSearch(st);
        storeState(stateBuffer, st);
        return short(0);
    };
    if (st.lastDevice)
        return searchEnds();
    const short presence = s->bus->reset();
    if (presence != kTMResetPresence && presence != kTMResetAlarming)
        return searchEnds();
    MicroLan& bus = *s->bus;
    bus.touchByte(0xF0);
    int lastZero = 0;
    uint8_t rom[8];
    std::memcpy(rom, st.rom, 8);
    for (int n = 1; n <= 64; ++n) {
        const int byteIndex = (n - 1) / 8;
        const uint8_t mask = static_cast<uint8_t>(1u << ((n - 1) % 8));
        const int idBit = bus.touchBit(1);
        const int cmpBit = bus.touchBit(1);
        if (idBit && cmpBit)
            return searchEnds(); // nobody answered: the device left during the search
        int direction;
        if (idBit != cmpBit) {
            direction = idBit;
        } else {
            if (n < st.lastDiscrepancy)
                direction = (rom[byteIndex] & mask) ? 1 : 0;
            else
                direction = n == st.lastDiscrepancy ? 1 : 0;
            if (!direction) {
                lastZero = n;
                if (lastZero < 9)
                    st.lastFamilyDiscrepancy = lastZero;
            }
        }
        if (direction)
            rom[byteIndex] |= mask;
        else
            rom[byteIndex] &= static_cast<uint8_t>(~mask);
        bus.touchBit(direction);
    }
    std::memcpy(st.rom, rom, 8);
    st.lastDiscrepancy = lastZero;
    st.lastDevice = lastZero == 0;
    storeState(stateBuffer, st);
    if (crc8(std::span<const uint8_t>(rom, 8)) != 0)
        return kTMErrReadWrite;
    return 1;
}

short TMFirst(long session, void* stateBuffer)
{
    {
        std::lock_guard g(lock());
        if (!stateBuffer)
            return kTMErrBufferTooSmall;
        SearchState st = loadState(stateBuffer);
        resetSearch(st);
        storeState(stateBuffer, st);
    }
    return TMNext(session, stateBuffer);
}

short TMRom(long session, void* stateBuffer, short* ROM)
{
    std::lock_guard g(lock());
    if (!sessions().count(session))
        return kTMErrInvalidSession;
    if (!stateBuffer || !ROM)
        return kTMErrBufferTooSmall;
    SearchState st = loadState(stateBuffer);
    if (ROM[0] == 0) {
        for (int i = 0; i < 8; ++i)
            ROM[i] = st.rom[i];
    } else {
        for (int i = 0; i < 8; ++i)
            st.rom[i] = static_cast<uint8_t>(ROM[i] & 0xFF);
        storeState(stateBuffer, st);
    }
    return 1;
}

short TMFamilySearchSetup(long session, void* stateBuffer, short family)
{
    std::lock_guard g(lock());
    auto it = sessions().find(session);
    if (it == sessions().end())
        return kTMErrInvalidSession;
    if (!stateBuffer)
        return kTMErrBufferTooSmall;
    if (it->second.bus && it->second.bus->faults().familySearchResult)
        return *it->second.bus->faults().familySearchResult;
    SearchState st = loadState(stateBuffer);
    std::memset(st.rom, 0, 8);
    st.rom[0] = static_cast<uint8_t>(family & 0xFF);
    st.lastDiscrepancy = 64;
    st.lastFamilyDiscrepancy = 0;
    st.lastDevice = 0;
    storeState(stateBuffer, st);
    return 1;
}

short TMSkipFamily(long session, void* stateBuffer)
{
    std::lock_guard g(lock());
    if (!sessions().count(session))
        return kTMErrInvalidSession;
    if (!stateBuffer)
        return kTMErrBufferTooSmall;
    SearchState st = loadState(stateBuffer);
    st.lastDiscrepancy = st.lastFamilyDiscrepancy;
    st.lastFamilyDiscrepancy = 0;
    if (st.lastDiscrepancy == 0)
        st.lastDevice = 1;
    storeState(stateBuffer, st);
    return 1;
}

short TMOneWireLevel(long session, short operation, short levelMode, short primed)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usable(session, s); e != 1)
        return e;
    if (operation == LEVEL_READ)
        return s->bus->level();
    if (operation != LEVEL_SET)
        return kTMErrNotSupported;
    return s->bus->setLevel(levelMode, primed);
}

short onewire::holdLine(long session, int milliseconds)
{
    std::lock_guard g(lock());
    Session* s = nullptr;
    if (short e = usable(session, s); e != 1)
        return e;
    s->bus->hold(milliseconds);
    return 1;
}
