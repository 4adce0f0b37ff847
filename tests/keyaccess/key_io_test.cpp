// The key I/O routines driven through the driver API against the device models.
#include "../onewire/bus_test_support.h"
#include "keyaccess/key_io.h"

using namespace bus_test;
using Kind = WireEvent::Kind;

namespace {

constexpr short kTestPortNum = 2;
using Boxes = std::vector<std::pair<BoxType, std::string>>;

// A reader on a bus of the test's own: its id chip and one blank DS1977.
struct Rig : PortBus {
    ScriptedDialogs dialogs;
    KeyIoOptions options;
    RomId idChip = makeRomId(0x01, 0x0A0B0C);
    std::shared_ptr<KeyDevice> key;
    int pendingCalls = 0;
    std::array<uint8_t, 66> buffer {};

    explicit Rig(KeyFile k = blankDS1977(makeRomId(0x37, 0x00C0FFEE)))
        : PortBus(kTestPortNum, {})
    {
        options.port = { kTestPortNum, kEmulatedReaderPortType };
        options.dialogs = &dialogs;
        options.processPendingMessages = [this] { ++pendingCalls; };
        attach(blankKey(idChip));
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

// The events a routine should put on the line.
struct Wire {
    std::vector<WireEvent> ev;
    Wire& reset()
    {
        ev.push_back({ Kind::Reset, 0, 1 });
        return *this;
    }
    Wire& echo(std::span<const uint8_t> bytes)
    {
        for (uint8_t b : bytes)
            ev.push_back({ Kind::Byte, b, b });
        return *this;
    }
    Wire& reads(std::span<const uint8_t> bytes)
    {
        for (uint8_t b : bytes)
            ev.push_back({ Kind::Byte, 0xFF, b });
        return *this;
    }
    Wire& match(const RomId& rom)
    {
        reset().echo(std::array<uint8_t, 1> { 0x55 });
        return echo(rom);
    }
    // The password, the strong pull-up primed on its last byte and dropped after.
    Wire& password()
    {
        const auto pw = keyPassword();
        echo(std::span(pw).first(7));
        ev.push_back({ Kind::PullUp, LEVEL_STRONG_PULL_UP, PRIMED_BYTE });
        echo(std::span(pw).last(1));
        ev.push_back({ Kind::PullUp, LEVEL_NORMAL, PRIMED_NONE });
        return *this;
    }
};

} // namespace

TEST(KeyIo, PageWriteAndReadPutTheDocumentedBytesOnTheWire)
{
    KeyFile k = blankDS1977(makeRomId(0x37, 0x00C0FFEE));
    setDS1977Page(k, 5, patterned(3));
    Rig rig(k);
    rig.bus->setTracing(true);
    const Page data = patterned(9);
    ASSERT_EQ(rig.write(510, data), 1);
    EXPECT_EQ(rig.pageOf(510), data);
    ASSERT_EQ(rig.read(5), 1);
    const Page expected = patterned(3);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), rig.buffer.begin()));

    const RomId rom = rig.key->rom();
    const std::vector<uint8_t> written = concat({ 0x0F, 0x80, 0x7F }, data);
    const uint16_t crc = static_cast<uint16_t>(~crc16(written));
    Wire want;
    want.reset().match(rom).echo(written).reads(std::array<uint8_t, 2> { uint8_t(crc), uint8_t(crc >> 8) });
    want.match(rom).echo(std::array<uint8_t, 1> { 0xAA }).reads(std::array<uint8_t, 3> { 0x80, 0x7F, 0x3F });
    want.match(rom).echo(std::array<uint8_t, 4> { 0x99, 0x80, 0x7F, 0x3F }).password();
    want.reads(std::array<uint8_t, 1> { 0xAA });
    want.reset().match(rom).echo(std::array<uint8_t, 3> { 0x69, 0x40, 0x01 }).password();
    want.reads(expected).reads(std::span(rig.buffer).subspan(64));
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
    rig.bus->stats().resets = 0;
    for (int page : { -1, 511, 0xFFFF }) {
        EXPECT_EQ(rig.read(page), 0) << page;
        EXPECT_EQ(rig.write(page, data), 0) << page;
    }
    EXPECT_TRUE(rig.bus->trace().empty());
    EXPECT_EQ(rig.bus->stats().resets, 0u);
}

TEST(KeyIo, SessionFaultsGiveEachChecksOwnMessage)
{
    struct Profile {
        const KeyCheckProfile& p;
        std::vector<uint8_t> families;
        const char *port, *reader, *plugIn;
    };
    const Profile profiles[] = {
        { kReadKeyCheck, { 0x37, 0x33 }, "Please check your PC iButton Reader is on the right port!",
            "Please Check your PC iButton Reader!", "Please Plug in your DS1977 Key!" },
        { kProgrammingCheck, { 0x37 }, "Please check your PC iButton Reader is on the right port!",
            "Please Check your PC iButton Reader!", "Please Plug in your Key." },
        { kAuditTrailCheck, { 0x37 }, "Please check your PC iButton reader is on the right port!",
            "Please Check your PC iButton reader!", "Please Plug in your iButton Key." },
    };
    Rig rig;
    // Each check fails with one box of this type and the profile's text; the page routines
    // give `flag` and no box.
    auto expect = [&](BoxType type, const char* Profile::*text, uint8_t flag) {
        EXPECT_EQ(rig.read(0), flag);
        EXPECT_EQ(rig.write(0, patterned(1)), flag);
        EXPECT_EQ(rig.take(), Boxes {});
        for (const auto& p : profiles) {
            EXPECT_FALSE(IsOneWirePortOK(rig.options, p.p));
            EXPECT_EQ(rig.take(), (text ? Boxes { { type, p.*text } } : Boxes()));
        }
    };
    rig.bus->faults().startResult = 0; // busy: results left as the caller set them, no box
    expect(BoxType::Information, nullptr, 9);
    rig.bus->faults().startResult = kTMErrAdapterFailure;
    expect(BoxType::Information, &Profile::port, 0);
    std::string serial = "unchanged";
    KeyRom current {};
    EXPECT_EQ(ReadButtonID(rig.options, "", serial, current), 0);
    EXPECT_EQ(serial, "unchanged");
    rig.bus->faults().startResult.reset();
    // set-up failures; the port is free after
    for (short setup : { kTMSetupFailed, kTMSetupShorted, kTMSetupNoNet, kTMSetupNotSupported }) {
        rig.bus->faults().setupResult = setup;
        expect(BoxType::Error, &Profile::reader, 0);
    }
    rig.bus->faults().setupResult.reset();
    rig.bus->faults().familySearchResult = 0;
    for (const auto& p : profiles) {
        EXPECT_EQ(p.p.families, p.families);
        EXPECT_FALSE(IsOneWirePortOK(rig.options, p.p));
        EXPECT_EQ(rig.take(), (Boxes { { BoxType::Error, p.plugIn } }));
    }
    rig.bus->faults().familySearchResult.reset();
    const long h = TMExtendedStartSession(kTestPortNum, 6, nullptr);
    EXPECT_GT(h, 0) << "every routine ended its session";
    EXPECT_EQ(TMEndSession(h), 1);
}

TEST(KeyIo, EachResetResultGivesItsWarning)
{
    Rig rig;
    const std::pair<short, const char*> cases[] = {
        { 0, "No device on MicroLan!" },
        { 2, "Alarming device on MicroLan!" },
        { 3, "MicroLan shorted!" },
        { 4, "MicroLan not setup!" },
        { 5, "TMTouchReset not supported!" },
    };
    for (const auto& [r, text] : cases) {
        rig.bus->faults().resetResult = r;
        EXPECT_EQ(rig.read(1), 0);
        EXPECT_EQ(rig.write(1, patterned(1)), 0);
        EXPECT_EQ(rig.take(), (Boxes { { BoxType::Warning, text }, { BoxType::Warning, text } })) << r;
    }
    rig.bus->faults().resetResult = kTMErrAdapterFailure; // an error, not a reset result: no box
    EXPECT_EQ(rig.read(1), 0);
    EXPECT_TRUE(rig.dialogs.boxes.empty());
    EXPECT_EQ(rig.pageOf(1)[0], 0xFF) << "nothing written";
}

TEST(KeyIo, NoiseOnTheWire)
{
    Rig rig;
    // A data byte of the read hit once: the read is repeated and succeeds.
    rig.bus->faults().corruptions = { { 20 + 10, 0x04, 1 } };
    EXPECT_EQ(rig.read(0), 1);
    EXPECT_EQ(rig.pendingCalls, 1);
    // Hit in every repeat: the read gives up with 0.
    rig.pendingCalls = 0;
    rig.bus->faults().corruptions = { { 20 + 63, 0x80, 100 } };
    EXPECT_EQ(rig.read(0), 0);
    EXPECT_EQ(rig.pendingCalls, kCrcRepeats - 1);

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

TEST(KeyIo, OnlyTheProgramsPasswordReadsAndWrites)
{
    KeyFile k = blankDS1977(makeRomId(0x37, 0x00C0FFEE));
    setDS1977Page(k, 0, patterned(2));
    setDS1977Passwords(k, { 1, 1, 1, 1, 1, 1, 1, 1 }, { 2, 2, 2, 2, 2, 2, 2, 2 }, true);
    {
        Rig rig(k);
        EXPECT_EQ(rig.read(0), 0);
        EXPECT_EQ(rig.buffer[0], 0xFF) << "a refused read gives FFh";
        EXPECT_EQ(rig.write(0, patterned(5)), 0);
        EXPECT_EQ(rig.pageOf(0), patterned(2));
    }
    setDS1977Passwords(k, keyPassword(), keyPassword(), true);
    Rig rig(k);
    EXPECT_EQ(rig.write(0, patterned(5)), 1);
    EXPECT_EQ(rig.read(0), 1);
    EXPECT_TRUE(std::equal(rig.buffer.begin(), rig.buffer.begin() + 64, patterned(5).begin()));
}

TEST(KeyIo, KeyTakenAwayAfterPageN)
{
    Rig rig;
    rig.bus->faults().removeAfterPages[rig.key->rom()] = 3;
    for (int page = 0; page < 3; ++page)
        EXPECT_EQ(rig.write(page, patterned(static_cast<uint8_t>(page))), 1) << page;
    // The id chip still answers the reset: the write fails on the CRC and copies nothing.
    EXPECT_EQ(rig.write(3, patterned(3)), 0);
    EXPECT_EQ(rig.read(0), 0);
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kProgrammingCheck));
    EXPECT_TRUE(rig.dialogs.boxes.empty());
    // With nothing on the bus the reset reports it.
    rig.bus->detach(rig.idChip);
    rig.read(0);
    EXPECT_EQ(rig.take(), (Boxes { { BoxType::Warning, "No device on MicroLan!" } }));
}

TEST(KeyIo, KeyCheckFindsAcceptedFamiliesAndLeavesTheRom)
{
    Rig rig;
    KeyRom found {};
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kProgrammingCheck, &found));
    EXPECT_EQ(found, rig.rom());
    rig.bus->detach(rig.key->rom());
    // a user key and a clock key are not program keys
    const RomId others[] = { makeRomId(0x04, 1), makeRomId(0x0C, 1), makeRomId(0x3F, 1) };
    rig.bus->attach(makeDevice(blankDS1994(others[0])));
    rig.bus->attach(makeDevice(blankKey(others[1])));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kReadKeyCheck, &found));
    EXPECT_TRUE(rig.dialogs.boxes.empty()) << "no key: no message of its own";
    // a family above 37h in search order is stepped over
    rig.bus->attach(makeDevice(blankKey(others[2])));
    auto second = makeDevice(blankDS1977(makeRomId(0x37, 0xFFFFFF)));
    rig.bus->attach(second);
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kAuditTrailCheck, &found));
    EXPECT_EQ(found, keyRomFrom(second->rom()));

    // a 33h key alone in the reader: the Read Key check takes it, the others not
    rig.bus->detach(second->rom());
    for (const auto& r : others)
        rig.bus->detach(r);
    const RomId other = makeRomId(0x33, 5);
    rig.bus->attach(makeDevice(blankKey(other)));
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kReadKeyCheck, &found));
    EXPECT_EQ(found, keyRomFrom(other));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kProgrammingCheck, &found));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kAuditTrailCheck, &found));
    rig.bus->detach(other);

    // Two DS1977s: neither is taken, and the operator is asked to leave one.
    rig.bus->attach(second);
    rig.bus->attach(rig.key);
    found = rig.rom();
    EXPECT_EQ(CheckOneWirePort(rig.options, kProgrammingCheck, &found), KeyCheckResult::SeveralKeys);
    EXPECT_EQ(found, KeyRom {});
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string> { kOneKeyOnlyMessage });
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

TEST(KeyIo, ReadButtonIdSkipsTheReadersIdChip)
{
    Rig rig;
    std::string serial;
    KeyRom current {};
    const std::string reader = romIdText(rig.idChip);
    ASSERT_EQ(ReadButtonID(rig.options, reader, serial, current), 1);
    EXPECT_EQ(serial, romIdText(rig.key->rom()));
    EXPECT_EQ(current, rig.rom());

    rig.bus->detach(rig.key->rom());
    serial = "kept";
    EXPECT_EQ(ReadButtonID(rig.options, reader, serial, current), 0);
    EXPECT_EQ(serial, "kept");
    // no reader id known: an id chip (family 01h) is not taken for a key
    EXPECT_EQ(ReadButtonID(rig.options, "", serial, current), 0);
    // a reader id given in lower case still matches
    std::string lower = reader;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadButtonID(rig.options, lower, serial, current), 0);
    // another reader's id chip is a key to this one
    EXPECT_EQ(ReadButtonID(rig.options, "0000000000000001", serial, current), 1);
    EXPECT_EQ(serial, reader);
    // two keys: neither is read
    rig.bus->attach(rig.key);
    EXPECT_EQ(ReadButtonID(rig.options, "0000000000000001", serial, current), kSeveralKeys);
    EXPECT_EQ(serial, reader);
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string> { kOneKeyOnlyMessage });
}

TEST(KeyIo, ClockKeysAndTheSetTimeKey)
{
    Rig rig;
    setHostClock([] { return int64_t { 1'800'000'000 }; });
    auto ds1994 = makeDevice(blankDS1994(makeRomId(0x04, 0x77)));
    auto ds1904 = makeDevice(blankDS1904(makeRomId(0x24, 0x78)));
    rig.bus->attach(ds1994);
    rig.bus->attach(ds1904);
    const KeyRom rom94 = keyRomFrom(ds1994->rom()), rom04 = keyRomFrom(ds1904->rom());
    auto& buffer = rig.buffer;
    auto seconds = [&](int at) {
        return buffer[at] | buffer[at + 1] << 8 | buffer[at + 2] << 16 | buffer[at + 3] << 24;
    };

    const uint8_t facility[3] = { 0x12, 0x34, 0x56 };
    const TimeKey image = TimeKeyImage(facility, DateTime(std::chrono::seconds(90061)));
    EXPECT_EQ(image.seconds, 90061u);
    EXPECT_EQ(std::vector<uint8_t>(image.page0.begin(), image.page0.begin() + 9),
        (std::vector<uint8_t> { 'R', 'E', 'A', 'D', 0xFD, 0x12, 0x34, 0x56, 0xFF }));

    ASSERT_TRUE(WriteTimeCard(rig.options, rom94, image));
    buffer.fill(0xEE);
    uint8_t ok = 0;
    ReadTimeCard(rig.options, rom94, buffer, ok);
    ASSERT_EQ(ok, 1);
    EXPECT_TRUE(std::equal(image.page0.begin(), image.page0.end(), buffer.begin()));
    EXPECT_EQ(seconds(32), 90061);
    EXPECT_EQ(buffer[36], 0);
    EXPECT_EQ(buffer[63], 0);
    // the clock runs with the host clock
    setHostClock([] { return int64_t { 1'800'000'010 }; });
    ReadTimeCard(rig.options, rom94, buffer, ok);
    EXPECT_EQ(seconds(32), 90071);

    ASSERT_TRUE(WriteTimeCard1(rig.options, rom04, 86400));
    ReadTimeCard1(rig.options, rom04, buffer, ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(buffer[0], 0x0C);
    EXPECT_EQ(seconds(1), 86400);

    // a clock key that is not there
    rig.bus->detach(ds1904->rom());
    ok = 1;
    ReadTimeCard1(rig.options, rom04, buffer, ok);
    EXPECT_EQ(ok, 0);
    ok = 1;
    rig.bus->detach(ds1994->rom());
    ReadTimeCard(rig.options, rom94, buffer, ok);
    EXPECT_EQ(ok, 0);
    setHostClock(nullptr);
}

TEST(KeyIo, StartUpReaderCheckFindsTheReadersIdChipFirst)
{
    {
        Rig rig;
        EXPECT_EQ(FindReaderRomId(rig.options.port), romIdText(rig.idChip));
        rig.bus->detach(rig.idChip);
        EXPECT_EQ(FindReaderRomId(rig.options.port), "");
    }
    EXPECT_EQ(FindReaderRomId({ 1, 6 }), "") << "no adapter";
    EXPECT_EQ(FindReaderRomId({ 1, 5 }), "") << "no driver";
    auto reader
        = std::make_shared<EmulatedReader>(std::filesystem::path(IOS_BINARY_DIR) / "no-such-reader-folder");
    ScopedPort port(kTestPortNum, 6, reader);
    for (uint64_t serial : { 0x1ull, 0x7FFF'FFFF'FFFFull, 0x8000'0000'0001ull })
        reader->attach(makeDevice(blankKey(makeRomId(0x01, serial)))); // user keys of the same family
    EXPECT_EQ(FindReaderRomId({ kTestPortNum, 6 }), "B180000000000001");
    EXPECT_EQ(romIdText(emulatedReaderRomId()), "B180000000000001");
}
