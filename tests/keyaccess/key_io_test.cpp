// The key I/O routines driven through the driver API against the device models.
#include "../onewire/bus_test_support.h"
#include "keyaccess/key_io.h"

using namespace bus_test;
using Kind = WireEvent::Kind;

namespace {

constexpr short kTestPortNum = 2;
// The password of every key the program has issued: a change would lock them all out.
constexpr std::array<uint8_t, 8> kKeyPassword { 0xC5, 0x50, 0xF2, 0x81, 0x42, 0x2F, 0x5E, 0x20 };
using Boxes = std::vector<std::pair<BoxType, std::string>>;

// A reader on a bus of the test's own: its id chip and one DS1977.
struct Rig : PortBus {
    ScriptedDialogs dialogs;
    KeyIoOptions options;
    RomId idChip = makeRomId(0x01, 0x0A0B0C);
    std::shared_ptr<KeyDevice> key;
    int pendingCalls = 0;
    std::array<uint8_t, 66> buffer {};
    explicit Rig(KeyFile k = blankDS1977(makeRomId(0x37, 0x00C0FFEE)))
        : PortBus(kTestPortNum, { blankKey(makeRomId(0x01, 0x0A0B0C)) })
    {
        options.port = { kTestPortNum, kEmulatedReaderPortType };
        options.dialogs = &dialogs;
        options.processPendingMessages = [this] { ++pendingCalls; };
        key = attach(std::move(k));
    }
    KeyRom rom() const { return keyRomFrom(key->rom()); }
    Page pageOf(int page) const { return *ds1977Page(key->key(), page); }
    // The routines' result flags, starting from a value they must overwrite or leave.
    uint8_t read(int page, uint8_t ok = 9)
    {
        ReadDS1977Data(options, rom(), page, buffer, ok);
        return ok;
    }
    uint8_t write(int page, const Page& data, uint8_t result = 9)
    {
        WriteDS1977Data(options, rom(), page, data, result);
        return result;
    }
    Boxes take()
    {
        Boxes out;
        for (const auto& b : dialogs.boxes)
            out.emplace_back(b.type, b.text);
        dialogs.boxes.clear();
        return out;
    }
};

// A DS1977 whose scratchpad reports a partial last byte (PF, bit 6 of E/S), as after a write
// cut short.
struct PartialFlagDS1977 : DS1977Device {
    using DS1977Device::DS1977Device;
    int at = 0;
    bool readingScratchpad = false;
    void onSelected() override
    {
        DS1977Device::onSelected();
        at = 0;
    }
    uint8_t touch(uint8_t master) override
    {
        const uint8_t got = DS1977Device::touch(master);
        const int n = at++;
        if (n == 0)
            readingScratchpad = master == kReadScratchpad;
        return readingScratchpad && n == 3 ? uint8_t(got | 0x40) : got; // byte 3: E/S
    }
};

// The events a routine should put on the line: resets, bytes written (and read back as
// written), bytes read, the strong pull-up primed on a password's last byte and dropped after.
struct Wire {
    std::vector<WireEvent> ev;
    Wire& match(const RomId& rom)
    {
        return put(Kind::Reset, { 0 }, 1).put(Kind::Byte, concat({ 0x55 }, rom));
    }
    Wire& put(Kind kind, const Bytes& bytes, int got = -1)
    {
        for (uint8_t b : bytes)
            ev.push_back(
                { kind, kind == Kind::Byte && got == -2 ? uint8_t(0xFF) : b, got >= 0 ? uint8_t(got) : b });
        return *this;
    }
    Wire& reads(const Bytes& bytes) { return put(Kind::Byte, bytes, -2); }
    Wire& password()
    {
        const auto pw = kKeyPassword;
        put(Kind::Byte, Bytes(pw.begin(), pw.end() - 1))
            .put(Kind::PullUp, { LEVEL_STRONG_PULL_UP }, PRIMED_BYTE);
        return put(Kind::Byte, { pw[7] }).put(Kind::PullUp, { LEVEL_NORMAL }, PRIMED_NONE);
    }
};

} // namespace

TEST(KeyIo, PageWriteAndReadPutTheDocumentedBytesOnTheWire)
{
    KeyFile k = blankDS1977(makeRomId(0x37, 0x00C0FFEE));
    setDS1977Page(k, 5, patterned(3));
    Rig rig(k);
    rig.bus->setTracing(true);
    const Page data = patterned(9), expected = patterned(3);
    ASSERT_EQ(rig.write(510, data), 1);
    EXPECT_EQ(rig.pageOf(510), data);
    ASSERT_EQ(rig.read(5), 1);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), rig.buffer.begin()));
    const RomId rom = rig.key->rom();
    const Bytes written = concat({ 0x0F, 0x80, 0x7F }, data);
    const uint16_t crc = static_cast<uint16_t>(~crc16(written));
    Wire want;
    want.put(Kind::Reset, { 0 }, 1)
        .match(rom)
        .put(Kind::Byte, written)
        .reads({ uint8_t(crc), uint8_t(crc >> 8) });
    want.match(rom).put(Kind::Byte, { 0xAA }).reads({ 0x80, 0x7F, 0x3F });
    want.match(rom).put(Kind::Byte, { 0x99, 0x80, 0x7F, 0x3F }).password().reads({ 0xAA });
    want.put(Kind::Reset, { 0 }, 1).match(rom).put(Kind::Byte, { 0x69, 0x40, 0x01 }).password();
    want.reads(Bytes(rig.buffer.begin(), rig.buffer.end()));
    EXPECT_EQ(rig.bus->trace(), want.ev);
    // the read's CRC covers command, address and data, not the password
    EXPECT_EQ(crc16(concat({ 0x69, 0x40, 0x01 }, rig.buffer)), kCrc16GoodResidue);
    // the strong pull-up is held as long as the key needs
    ASSERT_EQ(rig.bus->pullupHolds().size(), 2u);
    EXPECT_GE(rig.bus->pullupHolds()[0], DS1977Device::kCopyPullupMs);
    EXPECT_GE(rig.bus->pullupHolds()[1], DS1977Device::kReadPullupMs);
    EXPECT_EQ(rig.pendingCalls, 0);
    EXPECT_TRUE(rig.dialogs.boxes.empty());
    // pages outside the key are refused before the bus
    rig.bus->trace().clear();
    for (int page : { -1, 511, 0xFFFF }) {
        EXPECT_EQ(rig.read(page), 0) << page;
        EXPECT_EQ(rig.write(page, data), 0) << page;
    }
    EXPECT_TRUE(rig.bus->trace().empty());
}

TEST(KeyIo, SessionFaultsGiveEachChecksOwnMessage)
{
    struct Profile {
        const KeyCheckProfile& p;
        const char *port, *reader, *plugIn;
    };
    const Profile profiles[] = {
        { kReadKeyCheck, "Please check your PC iButton Reader is on the right port!",
            "Please Check your PC iButton Reader!", "Please Plug in your DS1977 Key!" },
        { kProgrammingCheck, "Please check your PC iButton Reader is on the right port!",
            "Please Check your PC iButton Reader!", "Please Plug in your Key." },
        { kAuditTrailCheck, "Please check your PC iButton reader is on the right port!",
            "Please Check your PC iButton reader!", "Please Plug in your iButton Key." },
    };
    Rig rig;
    // Each check fails with one box of this type and the profile's text (none without a
    // text); the page routines give `flag` and no box.
    auto expect = [&](BoxType type, const char* Profile::*text, uint8_t flag) {
        EXPECT_EQ(rig.read(0), flag);
        EXPECT_EQ(rig.write(0, patterned(1)), flag);
        EXPECT_EQ(rig.take(), Boxes {});
        for (const auto& p : profiles) {
            EXPECT_FALSE(IsOneWirePortOK(rig.options, p.p));
            EXPECT_EQ(rig.take(), (text ? Boxes { { type, p.*text } } : Boxes()));
        }
    };
    rig.bus->faults().startResult = 0; // busy: results left as the caller set them
    expect(BoxType::Information, nullptr, 9);
    rig.bus->faults().startResult = kTMErrAdapterFailure;
    expect(BoxType::Information, &Profile::port, 0);
    std::string serial = "unchanged";
    KeyRom current {};
    EXPECT_EQ(ReadButtonID(rig.options, "", serial, current), 0);
    EXPECT_EQ(serial, "unchanged");
    rig.bus->faults().startResult.reset();
    for (short setup : { kTMSetupFailed, kTMSetupShorted, kTMSetupNoNet, kTMSetupNotSupported }) {
        rig.bus->faults().setupResult = setup;
        expect(BoxType::Error, &Profile::reader, 0);
    }
    rig.bus->faults().setupResult.reset();
    rig.bus->faults().familySearchResult = 0;
    for (const auto& p : profiles) {
        EXPECT_FALSE(IsOneWirePortOK(rig.options, p.p));
        EXPECT_EQ(rig.take(), (Boxes { { BoxType::Error, p.plugIn } }));
    }
    rig.bus->faults().familySearchResult.reset();
    const long h = TMExtendedStartSession(kTestPortNum, 6, nullptr);
    EXPECT_GT(h, 0) << "every routine ended its session";
    EXPECT_EQ(TMEndSession(h), 1);
    // Each reset result but presence gives its warning; an error, not a reset result, none.
    const std::pair<short, const char*> resets[] = { { 0, "No device on MicroLan!" },
        { 2, "Alarming device on MicroLan!" }, { 3, "MicroLan shorted!" }, { 4, "MicroLan not setup!" },
        { 5, "TMTouchReset not supported!" }, { kTMErrAdapterFailure, nullptr } };
    for (const auto& [r, text] : resets) {
        rig.bus->faults().resetResult = r;
        EXPECT_EQ(rig.read(1), 0);
        EXPECT_EQ(rig.write(1, patterned(1)), 0);
        EXPECT_EQ(
            rig.take(), (text ? Boxes { { BoxType::Warning, text }, { BoxType::Warning, text } } : Boxes()));
    }
    EXPECT_EQ(rig.pageOf(1)[0], 0xFF) << "nothing written";
}

// Passwords other than the program's neither read nor write; the program's do both.
TEST(KeyIo, OnlyTheProgramsPasswordsReadAndWrite)
{
    KeyFile k = blankDS1977(makeRomId(0x37, 0x00C0FFEE));
    setDS1977Page(k, 0, patterned(2));
    for (auto [password, ok] : { std::pair { std::array<uint8_t, 8> { 1, 1, 1, 1, 1, 1, 1, 1 }, 0 },
             std::pair { kKeyPassword, 1 } }) {
        setDS1977Passwords(k, password, password, true);
        Rig locked(k);
        EXPECT_EQ(locked.write(0, patterned(5)), ok);
        EXPECT_EQ(locked.pageOf(0), patterned(ok ? 5 : 2));
        EXPECT_EQ(locked.read(0), ok);
        EXPECT_EQ(locked.buffer[0], ok ? patterned(5)[0] : 0xFF) << "a refused read gives FFh";
    }
}

TEST(KeyIo, NoiseIsReadOrWrittenAgainWithinBounds)
{
    Rig rig;
    // A data byte of the read hit once: the read is repeated and succeeds; hit in every
    // repeat: the read gives up with 0.
    rig.bus->faults().corruptions = { { 20 + 10, 0x04, 1 } };
    EXPECT_EQ(rig.read(0), 1);
    EXPECT_EQ(rig.pendingCalls, 1);
    rig.bus->faults().corruptions = { { 20 + 63, 0x80, 100 } };
    EXPECT_EQ(rig.read(0), 0);
    EXPECT_EQ(rig.pendingCalls, kCrcRepeats);
    // The echo of a written data byte differs: 0 at once, nothing copied.
    rig.bus->faults().corruptions = { { 12 + 5, 0x01, 1 } };
    EXPECT_EQ(rig.write(2, patterned(4)), 0);
    EXPECT_EQ(rig.pageOf(2)[0], 0xFF);
    // The scratchpad CRC never checks: 0 after the bounded repeats and no Copy Scratchpad.
    rig.bus->setTracing(true);
    rig.pendingCalls = 0;
    rig.bus->faults().corruptions = { { 12 + 64, 0x10, 100 } };
    EXPECT_EQ(rig.write(2, patterned(4)), 0);
    EXPECT_EQ(rig.pendingCalls, kCrcRepeats - 1);
    for (const auto& e : rig.bus->trace())
        EXPECT_FALSE(e.kind == Kind::Byte && e.sent == 0x99) << "copy sent";
    EXPECT_EQ(rig.pageOf(2)[0], 0xFF);
    // Hit once: the scratchpad is written again and the page is copied.
    rig.bus->faults().corruptions = { { 12 + 65, 0x10, 1 } };
    EXPECT_EQ(rig.write(2, patterned(4)), 1);
    EXPECT_EQ(rig.pageOf(2), patterned(4));
}

// The scratchpad reports a partial byte: no Copy Scratchpad.
TEST(KeyIo, APartialScratchpadIsNotCopied)
{
    Rig rig;
    rig.bus->setTracing(true);
    rig.bus->attach(std::make_shared<PartialFlagDS1977>(rig.key->key()));
    EXPECT_EQ(rig.write(6, patterned(6)), 0);
    Wire last; // the scratchpad read (page 6: TA 80h 01h) ends the write
    last.put(Kind::Byte, { 0xAA }).reads({ 0x80, 0x01, 0x7F });
    EXPECT_EQ(std::vector(rig.bus->trace().end() - 4, rig.bus->trace().end()), last.ev);
}

// The key taken away after its next two pages: the id chip still answers the reset, so the
// write fails on the CRC and copies nothing; with nothing on the bus the reset says so.
TEST(KeyIo, AKeyTakenAwayFailsWithoutCopying)
{
    Rig rig;
    rig.bus->faults().removeAfterPages[rig.key->rom()] = 2;
    rig.key = rig.attach(rig.key->key()); // put in afresh: no pages done yet
    EXPECT_EQ(rig.write(3, patterned(3)), 1);
    EXPECT_EQ(rig.write(4, patterned(4)), 1);
    EXPECT_EQ(rig.write(5, patterned(5)), 0);
    EXPECT_EQ(rig.pageOf(5)[0], 0xFF);
    EXPECT_EQ(rig.read(0), 0);
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kProgrammingCheck));
    EXPECT_TRUE(rig.dialogs.boxes.empty());
    rig.bus->detach(rig.idChip);
    rig.read(0);
    EXPECT_EQ(rig.take(), (Boxes { { BoxType::Warning, "No device on MicroLan!" } }));
}

TEST(KeyIo, KeyCheckAndReadButtonIdTakeOneKeyOfTheirFamilies)
{
    Rig rig;
    KeyRom found {};
    for (const auto* check : { &kReadKeyCheck, &kAuditTrailCheck, &kProgrammingCheck })
        EXPECT_TRUE(IsOneWirePortOK(rig.options, *check, &found));
    EXPECT_EQ(found, rig.rom());
    std::string serial;
    const std::string reader = romIdText(rig.idChip);
    ASSERT_EQ(ReadButtonID(rig.options, reader, serial, found), 1);
    EXPECT_EQ(serial, romIdText(rig.key->rom()));
    EXPECT_EQ(found, rig.rom());
    rig.bus->detach(rig.key->rom());
    // a user key and a clock key are not program keys
    const RomId others[] = { makeRomId(0x04, 1), makeRomId(0x0C, 1), makeRomId(0x3F, 1) };
    rig.attach(blankDS1994(others[0]));
    rig.attach(blankKey(others[1]));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kReadKeyCheck, &found));
    EXPECT_TRUE(rig.dialogs.boxes.empty()) << "no key: no message of its own";
    // a family above 37h in search order is stepped over
    rig.attach(blankKey(others[2]));
    auto second = rig.attach(blankDS1977(makeRomId(0x37, 0xFFFFFF)));
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kAuditTrailCheck, &found));
    EXPECT_EQ(found, keyRomFrom(second->rom()));
    // a 33h key alone in the reader: the Read Key check takes it, the others not
    for (const auto& r : { others[0], others[1], others[2], second->rom() })
        rig.bus->detach(r);
    const RomId other = makeRomId(0x33, 5);
    rig.attach(blankKey(other));
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kReadKeyCheck, &found));
    EXPECT_EQ(found, keyRomFrom(other));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kProgrammingCheck, &found));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kAuditTrailCheck, &found));
    // ReadButtonID: no key but the id chip; no reader id known (an id chip is not taken for a
    // key); the reader's id in lower case; another reader's id chip is a key to this one.
    rig.bus->detach(other);
    serial = "kept";
    std::string lower = reader;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    for (const std::string& id : { reader, std::string(), lower })
        EXPECT_EQ(ReadButtonID(rig.options, id, serial, found), 0) << id;
    EXPECT_EQ(serial, "kept");
    EXPECT_EQ(ReadButtonID(rig.options, "0000000000000001", serial, found), 1);
    EXPECT_EQ(serial, reader);
    // Two keys: neither is taken, and the operator is asked to leave one.
    rig.bus->attach(second);
    rig.bus->attach(rig.key);
    found = rig.rom();
    EXPECT_EQ(CheckOneWirePort(rig.options, kProgrammingCheck, &found), KeyCheckResult::SeveralKeys);
    EXPECT_EQ(found, KeyRom {});
    EXPECT_EQ(ReadButtonID(rig.options, reader, serial, found), kSeveralKeys);
    EXPECT_EQ(serial, reader);
    EXPECT_EQ(rig.dialogs.texts(), (std::vector<std::string>(2, kOneKeyOnlyMessage)));
    EXPECT_EQ(
        messageAfterKeyCheck(rig.options.port, KeyCheckResult::SeveralKeys, "Please Plug in your Key."), "");
    rig.bus->detach(rig.key->rom());
    // The window's state: the key the check found is the one written; the retry rule stops
    // at the first success (noise in two whole write calls: the third try writes the page).
    KeyIo io({ kTestPortNum, 6 }, kProgrammingCheck);
    io.options = rig.options;
    ASSERT_TRUE(io.IsOneWirePortOK());
    io.PageBuffer.fill(0x5A);
    io.WriteResult = 0;
    io.WriteDS1977Data(7);
    EXPECT_EQ(io.WriteResult, 1);
    EXPECT_EQ(ds1977Page(second->key(), 7)->at(63), 0x5A);
    rig.bus->faults().corruptions = { { 12 + 64, 0x10, 2 * kCrcRepeats } };
    io.PageBuffer.fill(0x21);
    EXPECT_TRUE(io.writePageWithTries(9));
    EXPECT_EQ(ds1977Page(second->key(), 9)->at(0), 0x21);
    rig.bus->faults().corruptions = { { 12 + 64, 0x10, 3 * kCrcRepeats } };
    EXPECT_FALSE(io.writePageWithTries(10));
    EXPECT_EQ(io.WriteResult, 0);
    rig.bus->faults().corruptions = { { 30, 0x10, 3 * kCrcRepeats } };
    EXPECT_FALSE(io.readPageWithTries(9));
    EXPECT_EQ(io.PageReadOk, 0);
    rig.bus->faults().corruptions.clear();
    EXPECT_TRUE(io.readPageWithTries(9));
    EXPECT_EQ(io.PageBuffer[63], 0x21);
}

namespace {
// A DS1994 and a DS1904 in the reader, the host's clock standing still until moved.
struct ClockKeys : ::testing::Test {
    void SetUp() override
    {
        setHostClock([] { return int64_t { 1'800'000'000 }; });
        rig.attach(blankDS1994(a));
        rig.attach(blankDS1904(b));
    }
    void TearDown() override { setHostClock(nullptr); }
    // The little-endian count at a byte of the buffer.
    int seconds(int at) const
    {
        const auto& buffer = rig.buffer;
        return buffer[at] | buffer[at + 1] << 8 | buffer[at + 2] << 16 | buffer[at + 3] << 24;
    }
    Rig rig;
    const RomId a = makeRomId(0x04, 0x77), b = makeRomId(0x24, 0x78);
};
} // namespace

TEST_F(ClockKeys, TheSetTimeKeyIsWrittenAndReadBackRunning)
{
    auto& buffer = rig.buffer;
    const uint8_t facility[3] = { 0x12, 0x34, 0x56 };
    const TimeKey image = TimeKeyImage(facility, DateTime(std::chrono::seconds(90061)));
    EXPECT_EQ(image.seconds, 90061u);
    EXPECT_EQ(Bytes(image.page0.begin(), image.page0.begin() + 9),
        Bytes({ 'R', 'E', 'A', 'D', 0xFD, 0x12, 0x34, 0x56, 0xFF }));
    ASSERT_TRUE(WriteTimeCard(rig.options, keyRomFrom(a), image));
    buffer.fill(0xEE);
    uint8_t ok = 0;
    ReadTimeCard(rig.options, keyRomFrom(a), buffer, ok);
    ASSERT_EQ(ok, 1);
    EXPECT_TRUE(std::equal(image.page0.begin(), image.page0.end(), buffer.begin()));
    EXPECT_EQ(seconds(32), 90061);
    EXPECT_EQ(buffer[36] | buffer[63], 0);
    setHostClock([] { return int64_t { 1'800'000'010 }; }); // the clock runs with the host clock
    ReadTimeCard(rig.options, keyRomFrom(a), buffer, ok);
    EXPECT_EQ(seconds(32), 90071);
}

TEST_F(ClockKeys, ADS1904ClockIsWrittenAndReadBack)
{
    auto& buffer = rig.buffer;
    uint8_t ok = 0;
    ASSERT_TRUE(WriteTimeCard1(rig.options, keyRomFrom(b), 86400));
    ReadTimeCard1(rig.options, keyRomFrom(b), buffer, ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(buffer[0], 0x0C);
    EXPECT_EQ(seconds(1), 86400);
}

TEST_F(ClockKeys, KeysThatAreNotThereReadNothing)
{
    auto& buffer = rig.buffer;
    rig.bus->detach(a);
    rig.bus->detach(b);
    uint8_t ok = 1;
    ReadTimeCard(rig.options, keyRomFrom(a), buffer, ok);
    EXPECT_EQ(ok, 0);
    ok = 1;
    ReadTimeCard1(rig.options, keyRomFrom(b), buffer, ok);
    EXPECT_EQ(ok, 0);
}
