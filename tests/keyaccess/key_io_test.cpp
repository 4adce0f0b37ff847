// The key I/O routines driven through the driver API against the device models.
#include "bytes/crc.h"
#include "keyaccess/key_io.h"
#include "onewire/devices.h"
#include "onewire/emulated_reader.h"
#include "onewire/ports.h"
#include "onewire/tmex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace onewire;
using Kind = WireEvent::Kind;

namespace {

constexpr short kTestPortNum = 2;

struct Rig {
    std::shared_ptr<MicroLan> bus = std::make_shared<MicroLan>();
    ScopedPort port { kTestPortNum, kEmulatedReaderPortType, bus };
    ScriptedDialogs dialogs;
    KeyIoOptions options;
    RomId idChip = makeRomId(0x01, 0x0A0B0C);
    std::shared_ptr<DS1977Device> key;
    int pendingCalls = 0;

    Rig()
    {
        options.port = { kTestPortNum, kEmulatedReaderPortType };
        options.dialogs = &dialogs;
        options.processPendingMessages = [this] { ++pendingCalls; };
        bus->attach(makeDevice(blankKey(idChip)));
        key = std::make_shared<DS1977Device>(blankDS1977(makeRomId(0x37, 0x00C0FFEE)));
        bus->attach(key);
    }
    KeyRom rom() const { return keyRomFrom(key->rom()); }
    Page pageOf(int page) const { return *ds1977Page(key->key(), page); }
};

Page patterned(uint8_t seed)
{
    Page p;
    for (int i = 0; i < 64; ++i)
        p[i] = static_cast<uint8_t>(seed + i * 7);
    return p;
}

std::vector<WireEvent> bytes(std::initializer_list<uint8_t> sent, std::initializer_list<uint8_t> got)
{
    std::vector<WireEvent> out;
    auto g = got.begin();
    for (uint8_t s : sent)
        out.push_back({ Kind::Byte, s, *g++ });
    return out;
}

void append(std::vector<WireEvent>& a, const std::vector<WireEvent>& b)
{
    a.insert(a.end(), b.begin(), b.end());
}

std::vector<WireEvent> matchRom(const RomId& rom)
{
    std::vector<WireEvent> out { { Kind::Reset, 0, 1 }, { Kind::Byte, 0x55, 0x55 } };
    for (uint8_t b : rom)
        out.push_back({ Kind::Byte, b, b });
    return out;
}

} // namespace

TEST(Crc, PublicCheckValues)
{
    const uint8_t rom[] = { 0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2 };
    EXPECT_EQ(crc8(std::span<const uint8_t>(rom, 7)), 0xA2);
    EXPECT_EQ(crc8(rom), 0);
    Crc8Accumulator = 0;
    for (uint8_t b : rom)
        Crc8Update(b);
    EXPECT_EQ(Crc8Accumulator, 0);
    const char* digits = "123456789";
    const auto* d = reinterpret_cast<const uint8_t*>(digits);
    EXPECT_EQ(crc8(std::span<const uint8_t>(d, 9)), 0xA1);
    EXPECT_EQ(crc16(std::span<const uint8_t>(d, 9)), 0xBB3D);
    // a frame followed by its inverted CRC, low byte first, leaves the residue B001h
    std::vector<uint8_t> frame(d, d + 9);
    frame.push_back(static_cast<uint8_t>(~0xBB3D & 0xFF));
    frame.push_back(static_cast<uint8_t>((~0xBB3D >> 8) & 0xFF));
    EXPECT_EQ(crc16(frame), kCrc16GoodResidue);
}

TEST(KeyIo, PageReadPutsTheDocumentedBytesOnTheWire)
{
    Rig rig;
    KeyFile k = rig.key->key();
    setDS1977Page(k, 5, patterned(3));
    rig.key = std::make_shared<DS1977Device>(k);
    rig.bus->attach(rig.key);
    rig.bus->setTracing(true);

    std::array<uint8_t, 66> buffer {};
    uint8_t ok = 0;
    ReadDS1977Data(rig.options, rig.rom(), 5, buffer, ok);
    ASSERT_EQ(ok, 1);
    const Page expected = patterned(3);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));

    const auto pw = keyPassword();
    std::vector<WireEvent> want { { Kind::Reset, 0, 1 } };
    append(want, matchRom(rig.key->rom()));
    append(want, bytes({ 0x69, 0x40, 0x01 }, { 0x69, 0x40, 0x01 }));
    for (int i = 0; i < 7; ++i)
        want.push_back({ Kind::Byte, pw[i], pw[i] });
    want.push_back({ Kind::PullUp, LEVEL_STRONG_PULL_UP, PRIMED_BYTE });
    want.push_back({ Kind::Byte, pw[7], pw[7] });
    want.push_back({ Kind::PullUp, LEVEL_NORMAL, PRIMED_NONE });
    for (int i = 0; i < 64; ++i)
        want.push_back({ Kind::Byte, 0xFF, expected[i] });
    want.push_back({ Kind::Byte, 0xFF, buffer[64] });
    want.push_back({ Kind::Byte, 0xFF, buffer[65] });
    EXPECT_EQ(rig.bus->trace(), want);
    // the CRC covers command, address and data, not the password
    std::vector<uint8_t> covered { 0x69, 0x40, 0x01 };
    covered.insert(covered.end(), buffer.begin(), buffer.end());
    EXPECT_EQ(crc16(covered), kCrc16GoodResidue);
}

TEST(KeyIo, PageWritePutsTheDocumentedBytesOnTheWire)
{
    Rig rig;
    rig.bus->setTracing(true);
    const Page data = patterned(9);
    uint8_t result = 0;
    WriteDS1977Data(rig.options, rig.rom(), 510, data, result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(rig.pageOf(510), data);

    const auto pw = keyPassword();
    const RomId rom = rig.key->rom();
    std::vector<WireEvent> want { { Kind::Reset, 0, 1 } };
    append(want, matchRom(rom));
    append(want, bytes({ 0x0F, 0x80, 0x7F }, { 0x0F, 0x80, 0x7F }));
    std::vector<uint8_t> covered { 0x0F, 0x80, 0x7F };
    for (uint8_t b : data) {
        want.push_back({ Kind::Byte, b, b });
        covered.push_back(b);
    }
    const uint16_t crc = static_cast<uint16_t>(~crc16(covered));
    append(want, bytes({ 0xFF, 0xFF }, { static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8) }));
    append(want, matchRom(rom));
    append(want, bytes({ 0xAA, 0xFF, 0xFF, 0xFF }, { 0xAA, 0x80, 0x7F, 0x3F }));
    append(want, matchRom(rom));
    append(want, bytes({ 0x99, 0x80, 0x7F, 0x3F }, { 0x99, 0x80, 0x7F, 0x3F }));
    for (int i = 0; i < 7; ++i)
        want.push_back({ Kind::Byte, pw[i], pw[i] });
    want.push_back({ Kind::PullUp, LEVEL_STRONG_PULL_UP, PRIMED_BYTE });
    want.push_back({ Kind::Byte, pw[7], pw[7] });
    want.push_back({ Kind::PullUp, LEVEL_NORMAL, PRIMED_NONE });
    want.push_back({ Kind::Byte, 0xFF, 0xAA });
    EXPECT_EQ(rig.bus->trace(), want);
    EXPECT_EQ(rig.pendingCalls, 0);
    EXPECT_TRUE(rig.dialogs.boxes.empty());
}

TEST(KeyIo, TheStrongPullupIsHeldAsLongAsTheKeyNeeds)
{
    Rig rig;
    rig.bus->setTracing(true);
    uint8_t result = 0, ok = 0;
    std::array<uint8_t, 66> buffer {};
    WriteDS1977Data(rig.options, rig.rom(), 3, patterned(1), result);
    ReadDS1977Data(rig.options, rig.rom(), 3, buffer, ok);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(rig.bus->pullupHolds().size(), 2u);
    EXPECT_GE(rig.bus->pullupHolds()[0], DS1977Device::kCopyPullupMs);
    EXPECT_GE(rig.bus->pullupHolds()[1], DS1977Device::kReadPullupMs);
}

TEST(KeyIo, PagesOutsideTheKeyAreRefusedBeforeTheBus)
{
    Rig rig;
    rig.bus->setTracing(true);
    std::array<uint8_t, 66> buffer {};
    for (int page : { -1, 511, 0xFFFF }) {
        uint8_t ok = 1, result = 1;
        ReadDS1977Data(rig.options, rig.rom(), page, buffer, ok);
        WriteDS1977Data(rig.options, rig.rom(), page, patterned(1), result);
        EXPECT_EQ(ok, 0) << page;
        EXPECT_EQ(result, 0) << page;
    }
    EXPECT_TRUE(rig.bus->trace().empty());
    EXPECT_EQ(rig.bus->stats().resets, 0u);
}

TEST(KeyIo, SessionFaultsGiveTheDocumentedResults)
{
    Rig rig;
    std::array<uint8_t, 66> buffer {};
    // busy: results left as the caller set them, no box
    rig.bus->faults().startResult = 0;
    uint8_t ok = 7, result = 7;
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    WriteDS1977Data(rig.options, rig.rom(), 0, patterned(1), result);
    EXPECT_EQ(ok, 7);
    EXPECT_EQ(result, 7);
    for (const KeyCheckProfile* p : { &kReadKeyCheck, &kProgrammingCheck, &kAuditTrailCheck })
        EXPECT_FALSE(IsOneWirePortOK(rig.options, *p));
    EXPECT_TRUE(rig.dialogs.boxes.empty());

    // port error: 0, and the key check's port message as an information box
    rig.bus->faults().startResult = kTMErrAdapterFailure;
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    WriteDS1977Data(rig.options, rig.rom(), 0, patterned(1), result);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(rig.dialogs.boxes.empty());
    std::string serial = "unchanged";
    KeyRom current {};
    EXPECT_EQ(ReadButtonID(rig.options, "", serial, current), 0);
    EXPECT_EQ(serial, "unchanged");
    for (const KeyCheckProfile* p : { &kReadKeyCheck, &kProgrammingCheck, &kAuditTrailCheck }) {
        rig.dialogs.boxes.clear();
        EXPECT_FALSE(IsOneWirePortOK(rig.options, *p));
        ASSERT_EQ(rig.dialogs.boxes.size(), 1u);
        EXPECT_EQ(rig.dialogs.boxes[0].type, BoxType::Information);
        EXPECT_EQ(rig.dialogs.boxes[0].text, p->portMessage);
    }
    rig.bus->faults().startResult.reset();

    // set-up failure: 0, and the reader message as an error box; the port is free after
    for (short setup : { kTMSetupFailed, kTMSetupShorted, kTMSetupNoNet, kTMSetupNotSupported }) {
        rig.bus->faults().setupResult = setup;
        ok = result = 1;
        rig.dialogs.boxes.clear();
        ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
        WriteDS1977Data(rig.options, rig.rom(), 0, patterned(1), result);
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(rig.dialogs.boxes.empty());
        for (const KeyCheckProfile* p : { &kReadKeyCheck, &kProgrammingCheck, &kAuditTrailCheck }) {
            rig.dialogs.boxes.clear();
            EXPECT_FALSE(IsOneWirePortOK(rig.options, *p));
            ASSERT_EQ(rig.dialogs.boxes.size(), 1u);
            EXPECT_EQ(rig.dialogs.boxes[0].type, BoxType::Error);
            EXPECT_EQ(rig.dialogs.boxes[0].text, p->readerMessage);
        }
    }
    rig.bus->faults().setupResult.reset();

    // the family search cannot be set up: the plug-in message as an error box
    rig.bus->faults().familySearchResult = 0;
    for (const KeyCheckProfile* p : { &kReadKeyCheck, &kProgrammingCheck, &kAuditTrailCheck }) {
        rig.dialogs.boxes.clear();
        EXPECT_FALSE(IsOneWirePortOK(rig.options, *p));
        ASSERT_EQ(rig.dialogs.boxes.size(), 1u);
        EXPECT_EQ(rig.dialogs.boxes[0].type, BoxType::Error);
        EXPECT_EQ(rig.dialogs.boxes[0].text, p->plugInMessage);
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
        { 0, "No device on MicroLan!" },   { 2, "Alarming device on MicroLan!" }, { 3, "MicroLan shorted!" },
        { 4, "MicroLan not setup!" },      { 5, "TMTouchReset not supported!" },
    };
    std::array<uint8_t, 66> buffer {};
    for (const auto& [r, text] : cases) {
        rig.bus->faults().resetResult = r;
        rig.dialogs.boxes.clear();
        uint8_t ok = 1, result = 1;
        ReadDS1977Data(rig.options, rig.rom(), 1, buffer, ok);
        WriteDS1977Data(rig.options, rig.rom(), 1, patterned(1), result);
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(result, 0);
        ASSERT_EQ(rig.dialogs.boxes.size(), 2u) << r;
        for (const auto& box : rig.dialogs.boxes) {
            EXPECT_EQ(box.type, BoxType::Warning);
            EXPECT_EQ(box.text, text);
        }
    }
    rig.bus->faults().resetResult = kTMErrAdapterFailure; // an error, not a reset result: no box
    rig.dialogs.boxes.clear();
    uint8_t ok = 1;
    ReadDS1977Data(rig.options, rig.rom(), 1, buffer, ok);
    EXPECT_EQ(ok, 0);
    EXPECT_TRUE(rig.dialogs.boxes.empty());
    EXPECT_EQ(rig.pageOf(1)[0], 0xFF) << "nothing written";
}

TEST(KeyIo, NoiseOnTheWire)
{
    Rig rig;
    std::array<uint8_t, 66> buffer {};
    uint8_t ok = 0;
    // A data byte of the read hit once: the read is repeated and succeeds.
    rig.bus->faults().corruptions.push_back({ 20 + 10, 0x04, 1 });
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(rig.pendingCalls, 1);
    // Hit in every repeat: the read gives up with 0.
    rig.pendingCalls = 0;
    rig.bus->faults().corruptions = { { 20 + 63, 0x80, 100 } };
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(rig.pendingCalls, kCrcRepeats - 1);
    rig.bus->faults().corruptions.clear();

    // The echo of a written data byte differs: 0 at once, nothing copied.
    rig.bus->setTracing(true);
    uint8_t result = 1;
    rig.bus->faults().corruptions = { { 12 + 5, 0x01, 1 } };
    WriteDS1977Data(rig.options, rig.rom(), 2, patterned(4), result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rig.pageOf(2)[0], 0xFF);

    // The scratchpad CRC never checks: 0 after the bounded repeats and no Copy Scratchpad.
    rig.bus->trace().clear();
    rig.pendingCalls = 0;
    rig.bus->faults().corruptions = { { 12 + 64, 0x10, 100 } };
    WriteDS1977Data(rig.options, rig.rom(), 2, patterned(4), result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rig.pendingCalls, kCrcRepeats - 1);
    for (const auto& e : rig.bus->trace())
        EXPECT_FALSE(e.kind == Kind::Byte && e.sent == 0x99) << "copy sent";
    EXPECT_EQ(rig.pageOf(2)[0], 0xFF);

    // Hit once: the scratchpad is written again and the page is copied.
    rig.bus->faults().corruptions = { { 12 + 65, 0x10, 1 } };
    WriteDS1977Data(rig.options, rig.rom(), 2, patterned(4), result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(rig.pageOf(2), patterned(4));
}

TEST(KeyIo, WrongPasswordNeitherReadsNorWrites)
{
    Rig rig;
    KeyFile k = rig.key->key();
    setDS1977Page(k, 0, patterned(2));
    setDS1977Passwords(k, { 1, 1, 1, 1, 1, 1, 1, 1 }, { 2, 2, 2, 2, 2, 2, 2, 2 }, true);
    rig.key = std::make_shared<DS1977Device>(k);
    rig.bus->attach(rig.key);
    std::array<uint8_t, 66> buffer {};
    uint8_t ok = 1, result = 1;
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(buffer[0], 0xFF) << "a refused read gives FFh";
    WriteDS1977Data(rig.options, rig.rom(), 0, patterned(5), result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rig.pageOf(0), patterned(2));

    // With the program's password installed both work.
    setDS1977Passwords(k, keyPassword(), keyPassword(), true);
    rig.key = std::make_shared<DS1977Device>(k);
    rig.bus->attach(rig.key);
    WriteDS1977Data(rig.options, rig.rom(), 0, patterned(5), result);
    EXPECT_EQ(result, 1);
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    EXPECT_EQ(ok, 1);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 64, patterned(5).begin()));
}

TEST(KeyIo, KeyTakenAwayAfterPageN)
{
    Rig rig;
    rig.bus->faults().removeAfterPages[rig.key->rom()] = 3;
    uint8_t result = 0;
    for (int page = 0; page < 3; ++page) {
        WriteDS1977Data(rig.options, rig.rom(), page, patterned(static_cast<uint8_t>(page)), result);
        EXPECT_EQ(result, 1) << page;
    }
    // The id chip still answers the reset: the write fails on the CRC and copies nothing.
    WriteDS1977Data(rig.options, rig.rom(), 3, patterned(3), result);
    EXPECT_EQ(result, 0);
    std::array<uint8_t, 66> buffer {};
    uint8_t ok = 1;
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kProgrammingCheck));
    EXPECT_TRUE(rig.dialogs.boxes.empty());

    // With nothing on the bus the reset reports it.
    rig.bus->detach(rig.idChip);
    ReadDS1977Data(rig.options, rig.rom(), 0, buffer, ok);
    ASSERT_EQ(rig.dialogs.texts(), std::vector<std::string> { "No device on MicroLan!" });
}

TEST(KeyIo, KeyCheckFindsAcceptedFamiliesAndLeavesTheRom)
{
    Rig rig;
    KeyRom found {};
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kProgrammingCheck, &found));
    EXPECT_EQ(found, rig.rom());
    rig.bus->detach(rig.key->rom());
    // a user key and a clock key are not program keys
    rig.bus->attach(makeDevice(blankDS1994(makeRomId(0x04, 1))));
    rig.bus->attach(makeDevice(blankKey(makeRomId(0x0C, 1))));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kReadKeyCheck, &found));
    EXPECT_TRUE(rig.dialogs.boxes.empty()) << "no key: no message of its own";
    // a family above 37h in search order is stepped over
    rig.bus->attach(makeDevice(blankKey(makeRomId(0x3F, 1))));
    auto second = makeDevice(blankDS1977(makeRomId(0x37, 0xFFFFFF)));
    rig.bus->attach(second);
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kAuditTrailCheck, &found));
    EXPECT_EQ(found, keyRomFrom(second->rom()));

    // a 33h key alone in the reader: the Read Key check takes it, the programming check not
    rig.bus->detach(second->rom());
    rig.bus->detach(makeRomId(0x04, 1));
    rig.bus->detach(makeRomId(0x0C, 1));
    rig.bus->detach(makeRomId(0x3F, 1));
    const RomId other = makeRomId(0x33, 5);
    rig.bus->attach(makeDevice(blankKey(other)));
    EXPECT_TRUE(IsOneWirePortOK(rig.options, kReadKeyCheck, &found));
    EXPECT_EQ(found, keyRomFrom(other));
    EXPECT_FALSE(IsOneWirePortOK(rig.options, kProgrammingCheck, &found));
    rig.bus->detach(other);
    rig.bus->attach(second);

    // Two DS1977s: neither is taken, and the operator is asked to leave one.
    rig.bus->attach(rig.key);
    rig.dialogs.boxes.clear();
    found = rig.rom();
    EXPECT_EQ(CheckOneWirePort(rig.options, kProgrammingCheck, &found), KeyCheckResult::SeveralKeys);
    EXPECT_EQ(found, KeyRom {});
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string> { kOneKeyOnlyMessage });
    EXPECT_EQ(messageAfterKeyCheck(rig.options.port, KeyCheckResult::SeveralKeys, "Please Plug in your Key."), "");
    rig.bus->detach(rig.key->rom());

    KeyIo io({ kTestPortNum, 6 }, kProgrammingCheck);
    io.options.dialogs = &rig.dialogs;
    ASSERT_TRUE(io.IsOneWirePortOK());
    io.PageBuffer.fill(0x5A);
    io.WriteResult = 0;
    io.WriteDS1977Data(7);
    EXPECT_EQ(io.WriteResult, 1);
    EXPECT_EQ(ds1977Page(std::static_pointer_cast<KeyDevice>(second)->key(), 7)->at(63), 0x5A);
}

TEST(KeyIo, RetryRuleStopsAtTheFirstSuccess)
{
    Rig rig;
    KeyIo io(rig.options.port, kProgrammingCheck);
    io.options = rig.options;
    ASSERT_TRUE(io.IsOneWirePortOK());
    // noise in two whole write calls: the third try writes the page
    rig.bus->faults().corruptions = { { 12 + 64, 0x10, 2 * kCrcRepeats } };
    io.PageBuffer.fill(0x21);
    EXPECT_TRUE(io.writePageWithTries(9));
    EXPECT_EQ(rig.pageOf(9)[0], 0x21);
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

TEST(KeyIo, MessageTables)
{
    EXPECT_EQ(kReadKeyCheck.families, (std::vector<uint8_t> { 0x37, 0x33 }));
    EXPECT_EQ(kReadKeyCheck.portMessage, "Please check your PC iButton Reader is on the right port!");
    EXPECT_EQ(kReadKeyCheck.readerMessage, "Please Check your PC iButton Reader!");
    EXPECT_EQ(kReadKeyCheck.plugInMessage, "Please Plug in your DS1977 Key!");
    EXPECT_EQ(kProgrammingCheck.families, (std::vector<uint8_t> { 0x37 }));
    EXPECT_EQ(kProgrammingCheck.portMessage, "Please check your PC iButton Reader is on the right port!");
    EXPECT_EQ(kProgrammingCheck.readerMessage, "Please Check your PC iButton Reader!");
    EXPECT_EQ(kProgrammingCheck.plugInMessage, "Please Plug in your Key.");
    EXPECT_EQ(kAuditTrailCheck.families, (std::vector<uint8_t> { 0x37 }));
    EXPECT_EQ(kAuditTrailCheck.portMessage, "Please check your PC iButton reader is on the right port!");
    EXPECT_EQ(kAuditTrailCheck.readerMessage, "Please Check your PC iButton reader!");
    EXPECT_EQ(kAuditTrailCheck.plugInMessage, "Please Plug in your iButton Key.");
}

TEST(KeyIo, ReadButtonIdSkipsTheReadersIdChip)
{
    Rig rig;
    std::string serial;
    KeyRom current {};
    const std::string reader = romIdText(rig.idChip);
    ASSERT_EQ(ReadButtonID(rig.options, reader, serial, current), 1);
    EXPECT_EQ(serial, romIdText(rig.key->rom()));
    EXPECT_EQ(serial.substr(14), "37");
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

    const uint8_t facility[3] = { 0x12, 0x34, 0x56 };
    const DateTime when = DateTime(std::chrono::seconds(90061));
    const TimeKey image = TimeKeyImage(facility, when);
    EXPECT_EQ(image.seconds, 90061u);
    EXPECT_EQ(std::string(image.page0.begin(), image.page0.begin() + 4), "READ");
    EXPECT_EQ(image.page0[4], 0xFD);
    EXPECT_EQ(image.page0[5], 0x12);
    EXPECT_EQ(image.page0[7], 0x56);
    EXPECT_EQ(image.page0[8], 0xFF);

    ASSERT_TRUE(WriteTimeCard(rig.options, keyRomFrom(ds1994->rom()), image));
    std::array<uint8_t, 66> buffer;
    buffer.fill(0xEE);
    uint8_t ok = 0;
    ReadTimeCard(rig.options, keyRomFrom(ds1994->rom()), buffer, ok);
    ASSERT_EQ(ok, 1);
    EXPECT_TRUE(std::equal(image.page0.begin(), image.page0.end(), buffer.begin()));
    EXPECT_EQ(buffer[32] | buffer[33] << 8 | buffer[34] << 16 | buffer[35] << 24, 90061);
    EXPECT_EQ(buffer[36], 0);
    EXPECT_EQ(buffer[63], 0);
    // the clock runs with the host clock
    setHostClock([] { return int64_t { 1'800'000'010 }; });
    ReadTimeCard(rig.options, keyRomFrom(ds1994->rom()), buffer, ok);
    EXPECT_EQ(buffer[32] | buffer[33] << 8 | buffer[34] << 16 | buffer[35] << 24, 90071);

    ASSERT_TRUE(WriteTimeCard1(rig.options, keyRomFrom(ds1904->rom()), 86400));
    ReadTimeCard1(rig.options, keyRomFrom(ds1904->rom()), buffer, ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(buffer[0], 0x0C);
    EXPECT_EQ(buffer[1] | buffer[2] << 8 | buffer[3] << 16 | buffer[4] << 24, 86400);

    // a clock key that is not there
    rig.bus->detach(ds1904->rom());
    ok = 1;
    ReadTimeCard1(rig.options, keyRomFrom(ds1904->rom()), buffer, ok);
    EXPECT_EQ(ok, 0);
    ok = 1;
    rig.bus->detach(ds1994->rom());
    ReadTimeCard(rig.options, keyRomFrom(ds1994->rom()), buffer, ok);
    EXPECT_EQ(ok, 0);
    setHostClock(nullptr);
}

TEST(KeyIo, StartUpReaderCheckFindsTheEmulatedReadersIdChipFirst)
{
    auto reader = std::make_shared<EmulatedReader>(std::filesystem::path(IOS_BINARY_DIR) / "no-such-reader-folder");
    ScopedPort port(kTestPortNum, 6, reader);
    for (uint64_t serial : { 0x1ull, 0x7FFF'FFFF'FFFFull, 0x8000'0000'0001ull })
        reader->attach(makeDevice(blankKey(makeRomId(0x01, serial)))); // user keys of the same family
    EXPECT_EQ(FindReaderRomId({ kTestPortNum, 6 }), romIdText(emulatedReaderRomId()));
    EXPECT_EQ(romIdText(emulatedReaderRomId()), "B180000000000001");
}

TEST(KeyIo, StartUpReaderCheck)
{
    Rig rig;
    EXPECT_EQ(FindReaderRomId(rig.options.port), romIdText(rig.idChip));
    rig.bus->detach(rig.idChip);
    EXPECT_EQ(FindReaderRomId(rig.options.port), "");
    EXPECT_EQ(FindReaderRomId({ 1, 6 }), "") << "no adapter";
    EXPECT_EQ(FindReaderRomId({ 1, 5 }), "") << "no driver";
}

TEST(KeyIo, KeyWrittenPageByPageReadsBackFromItsFileAfterARestart)
{
    const auto dir = std::filesystem::path(IOS_BINARY_DIR) / "keyaccess-test" / "reader";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const RomId rom = makeRomId(0x37, 0x00ABCDEF);
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, rom), blankDS1977(rom)));
    KeyIoOptions options;
    options.port = { kTestPortNum, 6 };
    const int pages[] = { 0, 1, 2, 100, 285, 509, 510 };
    {
        ScopedPort port(kTestPortNum, 6, std::make_shared<EmulatedReader>(dir));
        KeyRom found {};
        ASSERT_TRUE(IsOneWirePortOK(options, kProgrammingCheck, &found));
        for (int page : pages) {
            uint8_t result = 0;
            for (int attempt = 0; attempt < 3 && !result; ++attempt)
                WriteDS1977Data(options, found, page, patterned(static_cast<uint8_t>(page)), result);
            ASSERT_EQ(result, 1) << page;
        }
    }
    // The file holds the pages on its own ...
    auto loaded = loadKeyFile(keyFilePath(dir, rom));
    ASSERT_TRUE(loaded.key) << loaded.error;
    for (int page : pages)
        EXPECT_EQ(*ds1977Page(*loaded.key, page), patterned(static_cast<uint8_t>(page)));
    EXPECT_EQ(ds1977Page(*loaded.key, 3)->at(0), 0xFF);
    // ... and a new reader on the same folder reads them.
    ScopedPort port(kTestPortNum, 6, std::make_shared<EmulatedReader>(dir));
    std::string serial;
    KeyRom current {};
    ASSERT_EQ(ReadButtonID(options, romIdText(emulatedReaderRomId()), serial, current), 1);
    EXPECT_EQ(serial, romIdText(rom));
    for (int page : pages) {
        std::array<uint8_t, 66> buffer {};
        uint8_t ok = 0;
        ReadDS1977Data(options, current, page, buffer, ok);
        ASSERT_EQ(ok, 1);
        const Page want = patterned(static_cast<uint8_t>(page));
        EXPECT_TRUE(std::equal(want.begin(), want.end(), buffer.begin())) << page;
    }
}
