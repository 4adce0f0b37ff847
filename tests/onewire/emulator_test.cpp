// The emulated line and devices through the driver API, where the key routines do not reach.
#include "bus_test_support.h"

using namespace bus_test;

namespace {

constexpr short kPort = 3, kType = kEmulatedReaderPortType;

// A bus holding the keys given, driven byte by byte below the driver.
struct Line : PortBus {
    explicit Line(std::vector<KeyFile> keys = {}, std::shared_ptr<MicroLan> b = std::make_shared<MicroLan>())
        : PortBus(kPort, std::move(keys), b)
    { }
    Bytes send(const Bytes& bytes)
    {
        Bytes got;
        for (uint8_t x : bytes)
            got.push_back(bus->touchByte(x));
        return got;
    }
    void pullUp(bool on) { bus->setLevel(on ? LEVEL_STRONG_PULL_UP : LEVEL_NORMAL, PRIMED_NONE); }
    // Match ROM, a command, the strong pull-up held if asked, then n bytes read.
    Bytes run(const RomId& rom, const Bytes& command, bool withPullUp, int n)
    {
        EXPECT_EQ(bus->reset(), 1);
        send(concat(concat({ 0x55 }, rom), command));
        if (withPullUp) {
            pullUp(true);
            pullUp(false);
        }
        return send(Bytes(n, 0xFF));
    }
};

// The order a search finds ROM ids in: ascending by their bits taken LSB first.
bool searchOrder(const RomId& a, const RomId& b)
{
    for (int n = 0; n < 64; ++n) {
        const int x = (a[n / 8] >> (n % 8)) & 1, y = (b[n / 8] >> (n % 8)) & 1;
        if (x != y)
            return x < y;
    }
    return false;
}

Bytes cmd(uint8_t c, uint16_t address, const Bytes& tail = {})
{
    return concat({ c, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8) }, tail);
}
// Eight password bytes, after the bytes given.
Bytes pw(uint8_t v, Bytes head = {})
{
    head.resize(head.size() + 8, v);
    return head;
}

} // namespace

namespace {

// A session on a bus of four keys of four families, and the search steps through the driver.
class Search : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& r : roms)
            line.attach(blankKey(r));
        h = TMExtendedStartSession(kPort, kType, nullptr);
        ASSERT_EQ(TMSetup(h), 1);
    }
    void TearDown() override { TMEndSession(h); }
    RomId current()
    {
        short rom[8] = { 0 };
        TMRom(h, sb.data(), rom);
        RomId id;
        std::copy(rom, rom + 8, id.begin());
        return id;
    }
    std::vector<RomId> search()
    {
        std::vector<RomId> found;
        for (short r = TMFirst(h, sb.data()); r == 1 && found.size() < 20; r = TMNext(h, sb.data()))
            found.push_back(current());
        return found;
    }
    uint8_t nextFamily() { return TMNext(h, sb.data()) == 1 ? current()[0] : 0; }
    std::vector<RomId> roms
        = { makeRomId(0x37, 5), makeRomId(0x01, 9), makeRomId(0x24, 2), makeRomId(0x04, 1) };
    Line line;
    long h = 0;
    TMStateBuffer sb {};
};

} // namespace

TEST_F(Search, FindsEveryDeviceOnceInBitOrder)
{
    std::vector<uint8_t> families;
    for (const auto& r : search())
        families.push_back(r[0]);
    EXPECT_EQ(families, (std::vector<uint8_t> { 0x04, 0x24, 0x01, 0x37 }));
    // many keys of one family: every one once, in bit order
    for (uint64_t serial : { 0x10ull, 0x01ull, 0xFF00ull, 0x8000000000ull, 0x3ull, 0x11ull })
        line.attach(blankKey(roms.emplace_back(makeRomId(0x37, serial))));
    line.attach(blankKey(roms.emplace_back(makeRomId(0x04, 7))));
    std::sort(roms.begin(), roms.end(), searchOrder);
    EXPECT_EQ(search(), roms);
}

TEST_F(Search, AFamilySearchStartsAtTheFamilyAsked)
{
    ASSERT_EQ(TMFamilySearchSetup(h, sb.data(), 0x24), 1);
    EXPECT_EQ(nextFamily(), 0x24);
    EXPECT_EQ(nextFamily(), 0x01);
    // no key of the family: the search lands on another family, so callers check it
    line.bus->detach(roms[0]);
    ASSERT_EQ(TMFamilySearchSetup(h, sb.data(), 0x37), 1);
    EXPECT_EQ(nextFamily(), 0x01);
    EXPECT_EQ(TMNext(h, sb.data()), 0) << "and it was the last";
    ASSERT_EQ(TMFamilySearchSetup(h, sb.data(), 0x02), 1);
    EXPECT_EQ(nextFamily(), 0x04);
}

TEST_F(Search, SkipFamilyLandsOnTheNextFamily)
{
    line.attach(blankKey(roms.emplace_back(makeRomId(0x04, 7))));
    ASSERT_EQ(TMFirst(h, sb.data()), 1);
    ASSERT_EQ(TMSkipFamily(h, sb.data()), 1);
    EXPECT_EQ(nextFamily(), 0x24);
    // families that differ in their top bit only: skipping the first lands on the second
    for (const auto& r : roms)
        line.bus->detach(r);
    line.attach(blankKey(makeRomId(0x01, 9)));
    line.attach(blankKey(makeRomId(0x81, 9)));
    ASSERT_EQ(TMFirst(h, sb.data()), 1);
    ASSERT_EQ(current()[0], 0x01);
    ASSERT_EQ(TMSkipFamily(h, sb.data()), 1);
    EXPECT_EQ(nextFamily(), 0x81);
}

TEST(Driver, ResultConventions)
{
    EXPECT_EQ(TMSetup(999999), kTMErrInvalidSession);
    EXPECT_EQ(TMTouchByte(999999, 0xFF), kTMErrInvalidSession);
    EXPECT_EQ(TMEndSession(999999), 0);
    EXPECT_EQ(TMExtendedStartSession(1, 1, nullptr), kTMErrNoDriver);
    EXPECT_EQ(TMExtendedStartSession(1, 16, nullptr), kTMErrNoDriver);
    EXPECT_EQ(TMExtendedStartSession(16, 6, nullptr), kTMErrNoPort);
    // a USB port number with no adapter behind it
    const long none = TMExtendedStartSession(9, 6, nullptr);
    ASSERT_GT(none, 0);
    EXPECT_EQ(TMSetup(none), kTMSetupFailed);
    EXPECT_EQ(TMTouchReset(none), kTMErrPortNotSetUp);
    EXPECT_EQ(TMEndSession(none), 1);
    PortBus line(kPort, {});
    const long h = TMExtendedStartSession(kPort, kType, nullptr);
    ASSERT_GT(h, 0);
    EXPECT_EQ(TMValidSession(h), 1);
    EXPECT_EQ(TMExtendedStartSession(kPort, kType, nullptr), 0) << "port busy";
    EXPECT_EQ(TMTouchReset(h), kTMErrPortNotSetUp) << "before TMSetup";
    ASSERT_EQ(TMSetup(h), 1);
    EXPECT_EQ(TMTouchReset(h), kTMResetNoPresence);
    line.attach(blankKey(makeRomId(0x01, 1)));
    EXPECT_EQ(TMTouchReset(h), kTMResetPresence);
    EXPECT_EQ(TMTouchByte(h, 0x1234), 0x34);
    EXPECT_EQ(TMOneWireLevel(h, LEVEL_SET, LEVEL_PROGRAM, PRIMED_NONE), kTMErrNotSupported);
    EXPECT_EQ(TMOneWireLevel(h, LEVEL_SET, LEVEL_STRONG_PULL_UP, PRIMED_NONE), LEVEL_STRONG_PULL_UP);
    EXPECT_EQ(TMOneWireLevel(h, LEVEL_READ, 0, 0), LEVEL_STRONG_PULL_UP);
    // While tracing, the line records how long the pull-up was held, until a reset cuts it;
    // no hold at the normal level.
    line.bus->setTracing(true);
    EXPECT_EQ(holdLine(h, 5), 1);
    EXPECT_EQ(TMTouchReset(h), kTMResetPresence);
    EXPECT_EQ(holdLine(h, 7), 1);
    EXPECT_EQ(line.bus->pullupHolds(), std::vector<int> { 5 });
    std::vector<uint8_t> big(1024);
    EXPECT_EQ(TMBlockStream(h, big.data(), 1024), kTMErrBlockTooBig);
    EXPECT_EQ(TMAccess(h, nullptr), kTMErrBufferTooSmall);
    TMStateBuffer sb {};
    short in[8] = { 0x37, 1, 2, 3, 4, 5, 6, 0x1FF }, out[8] = { 0 };
    EXPECT_EQ(TMRom(h, sb.data(), in), 1);
    EXPECT_EQ(TMRom(h, sb.data(), out), 1);
    EXPECT_EQ(out[0], 0x37);
    EXPECT_EQ(out[7], 0xFF) << "only the low byte goes in";
    EXPECT_EQ(TMEndSession(h), 1);
    EXPECT_EQ(TMValidSession(h), 0);
    EXPECT_EQ(TMEndSession(h), 0);
}

TEST(Devices, DS1977PasswordsGuardReadCopyAndVerify)
{
    KeyFile k = blankDS1977(makeRomId(0x37, 77));
    setDS1977Page(k, 1, patterned(0x42));
    setDS1977Passwords(k, { 1, 1, 1, 1, 1, 1, 1, 1 }, { 2, 2, 2, 2, 2, 2, 2, 2 }, true);
    Line line;
    auto dev = line.attach(k);
    const RomId rom = dev->rom();
    auto readPage
        = [&](uint8_t password, uint16_t at) { return line.run(rom, cmd(0x69, at, pw(password)), true, 66); };
    auto r = readPage(9, 0x40);
    EXPECT_EQ(std::count(r.begin(), r.end(), 0xFF), 66) << "wrong password: FFh and no CRC";
    for (uint8_t p : { 1, 2 }) { // the read and the full-access password both read
        r = readPage(p, 0x40);
        EXPECT_EQ(r[0], 0x42);
        EXPECT_EQ(crc16(concat(cmd(0x69, 0x40), r)), kCrc16GoodResidue);
    }
    r = readPage(1, 0x7FC0); // the register page: passwords read FFh, the control byte AAh
    EXPECT_EQ(Bytes({ r[0], r[8], r[16] }), Bytes({ 0xFF, 0xFF, 0xAA }));
    EXPECT_EQ(line.run(rom, cmd(0x69, 0x40, pw(1)), false, 1)[0], 0xFF)
        << "nothing without the strong pull-up";
    line.run(rom, cmd(0x0F, 0x40), false, 0); // a write that brings no data leaves PF in E/S
    EXPECT_EQ(line.run(rom, { 0xAA }, false, 3), Bytes({ 0x40, 0x00, 0x40 }));
    line.run(rom, cmd(0x0F, 0x00, Bytes(64, 0x11)), false, 2);
    auto copy = [&](uint8_t p, uint8_t es, bool pullUp) {
        return line.run(rom, cmd(0x99, 0, pw(p, { es })), pullUp, 1)[0];
    };
    EXPECT_EQ(copy(1, 0x3F, true), 0xFF) << "the read password does not authorise a copy";
    EXPECT_EQ(copy(2, 0x3E, true), 0xFF) << "E/S must match";
    EXPECT_EQ(copy(2, 0x3F, false), 0xFF) << "no copy without the strong pull-up";
    EXPECT_EQ(ds1977Page(dev->key(), 0)->at(0), 0xFF);
    EXPECT_EQ(copy(2, 0x3F, true), 0xAA);
    EXPECT_EQ(ds1977Page(dev->key(), 0)->at(0), 0x11);
    // the scratchpad reads without any password, AA now set in E/S
    EXPECT_EQ(line.run(rom, { 0xAA }, false, 4), Bytes({ 0x00, 0x00, 0xBF, 0x11 }));
    // Verify Password
    auto verify = [&](uint16_t at, uint8_t p) { return line.run(rom, cmd(0xC3, at, pw(p)), true, 1)[0]; };
    EXPECT_EQ(
        Bytes({ verify(0x7FC8, 2), verify(0x7FC8, 1), verify(0x7FC0, 1) }), Bytes({ 0xAA, 0xFF, 0xAA }));
}

namespace {
// A DS1994 and a DS1904 on one bus, the host's clock at 1000 s; three seconds pass when asked.
struct ClockKey : ::testing::Test {
    void SetUp() override { setHostClock([] { return int64_t { 1000 }; }); }
    void TearDown() override { setHostClock(nullptr); }
    static void threeSecondsPass() { setHostClock([] { return int64_t { 1003 }; }); }
    const RomId a = makeRomId(0x04, 1), b = makeRomId(0x24, 1);
    Line clocks { { blankDS1994(a), blankDS1904(b) } };
};
} // namespace

TEST_F(ClockKey, DS1994ClockIsCopiedFromItsScratchpadAndStandsWithItsOscillatorOff)
{
    clocks.run(a, { 0x0F, 0x03, 0x02, 0x10, 0x27, 0x00, 0x00 }, false, 0); // seconds 10000
    EXPECT_EQ(clocks.run(a, { 0xAA }, false, 4), Bytes({ 0x03, 0x02, 0x06, 0x10 }));
    EXPECT_EQ(clocks.run(a, { 0x55, 0x03, 0x02, 0x05 }, false, 1)[0], 0xFF) << "wrong E/S";
    EXPECT_EQ(clocks.run(a, { 0x55, 0x03, 0x02, 0x06 }, false, 1)[0], 0x00);
    threeSecondsPass();
    EXPECT_EQ(clocks.run(a, { 0xF0, 0x03, 0x02 }, false, 2), Bytes({ 0x10, 0x27 }));
}

TEST_F(ClockKey, DS1904CountLoadsAtTheNextResetAndRuns)
{
    clocks.run(b, { 0x99, 0x0C, 0x80, 0x51, 0x01, 0x00 }, false, 0); // 86400
    EXPECT_EQ(std::dynamic_pointer_cast<KeyDevice>(clocks.bus->find(b))->key().clockSeconds, 0u)
        << "not before the reset";
    EXPECT_EQ(clocks.run(b, { 0x66 }, false, 7), Bytes({ 0x0C, 0x80, 0x51, 0x01, 0x00, 0x0C, 0x80 }))
        << "five bytes repeat";
    threeSecondsPass();
    EXPECT_EQ(clocks.run(b, { 0x66 }, false, 4), Bytes({ 0x0C, 0x83, 0x51, 0x01 }));
}

namespace {
// The emulated reader's messages, one a line.
struct ReaderFolder : ::testing::Test {
    void SetUp() override
    {
        setReaderDiagnostics([this](const std::string& m) { messages += m + "\n"; });
    }
    void TearDown() override { setReaderDiagnostics(nullptr); }
    long told() const { return std::count(messages.begin(), messages.end(), '\n'); }
    std::string messages;
};
} // namespace

TEST_F(ReaderFolder, KeysComeAndGoWithTheirFiles)
{
    const auto dir = freshDir("reader");
    const RomId a = makeRomId(0x37, 1), b = makeRomId(0x04, 2);
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, a), blankDS1977(a)));
    ASSERT_TRUE(saveKeyFile(dir / "copy-of-a.key", blankDS1977(a)));
    ASSERT_TRUE(saveKeyFile(dir / "reader.key", blankKey(emulatedReaderRomId())));
    std::ofstream(dir / "broken.key") << "ibutton-key 1\nrom 0102030405060708\n";
    std::ofstream(dir / "notes.txt") << "not a key";
    std::ofstream(dir / "empty.key").close();
    auto reader = std::make_shared<EmulatedReader>(dir);
    reader->rescan();
    EXPECT_EQ(reader->roms().size(), 2u) << "id chip and key a";
    EXPECT_TRUE(reader->find(emulatedReaderRomId()) && reader->find(a));
    EXPECT_EQ(reader->skipped().size(), 4u);
    EXPECT_EQ(told(), 4);
    for (const char* what : { "broken.key: line 2: ROM id has a bad CRC-8", "empty.key: not a key file",
             "same ROM id as", "reader's own id chip" })
        EXPECT_NE(messages.find(what), std::string::npos) << what;
    // an unchanged damaged file is not reported again
    reader->rescan();
    EXPECT_EQ(told(), 4);
    // a duplicate is not reported again either, and takes over when the first file goes
    std::filesystem::remove(keyFilePath(dir, a));
    reader->rescan();
    EXPECT_EQ(told(), 4);
    EXPECT_TRUE(reader->find(a)) << "copy-of-a.key now carries the key";
    EXPECT_EQ(reader->skipped().size(), 3u);
    // a second copy sorted first does not knock the key off the bus
    ASSERT_TRUE(saveKeyFile(dir / "0-first.key", blankDS1977(a)));
    reader->rescan();
    EXPECT_TRUE(reader->find(a));
    // a key put in and one taken out
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, b), blankDS1994(b)));
    std::filesystem::remove(dir / "copy-of-a.key");
    std::filesystem::remove(dir / "0-first.key");
    reader->rescan();
    EXPECT_FALSE(reader->find(a));
    EXPECT_TRUE(reader->find(b));
}

TEST_F(ReaderFolder, TheDefaultPortReadsTheFolderNamedInTheEnvironment)
{
    const auto dir = freshDir("reader");
    const RomId b = makeRomId(0x04, 2);
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, b), blankDS1994(b)));
    ASSERT_TRUE(saveKeyFile(dir / "reader.key", blankKey(emulatedReaderRomId())));
    std::ofstream(dir / "broken.key") << "ibutton-key 1\nrom 0102030405060708\n";
    ::setenv(kReaderFolderEnv, dir.c_str(), 1);
    EXPECT_EQ(readerFolder(), std::filesystem::absolute(dir).lexically_normal());
    const long h = TMExtendedStartSession(kEmulatedReaderPortNum, kEmulatedReaderPortType, nullptr);
    ASSERT_GT(h, 0);
    ASSERT_EQ(TMSetup(h), 1);
    TMStateBuffer sb {};
    int count = 0;
    for (short r = TMFirst(h, sb.data()); r == 1 && count < 10; r = TMNext(h, sb.data()))
        ++count;
    EXPECT_EQ(count, 2) << "10: the search does not end";
    TMEndSession(h);
    ::unsetenv(kReaderFolderEnv);
}

TEST_F(ReaderFolder, ACopyReachesTheFileBeforeItIsReported)
{
    const auto durable = freshDir("durable");
    const RomId rom = makeRomId(0x37, 3);
    ASSERT_TRUE(saveKeyFile(keyFilePath(durable, rom), blankDS1977(rom)));
    auto copying = std::make_shared<EmulatedReader>(durable);
    copying->rescan();
    Line line({}, copying);
    // the copy's answer, and page 0 byte 0 as the file holds it when the device answers
    auto writePage0 = [&](uint8_t value) {
        line.run(rom, cmd(0x0F, 0x00, Bytes(64, value)), false, 2);
        line.run(rom, cmd(0x99, 0x00, pw(0, { 0x3F })), false, 0);
        line.pullUp(true);
        auto onDisk = loadKeyFile(keyFilePath(durable, rom));
        const uint8_t answer = line.send({ 0xFF })[0];
        line.pullUp(false);
        return Bytes { answer, onDisk.key ? ds1977Page(*onDisk.key, 0)->at(0) : uint8_t { 0 } };
    };
    EXPECT_EQ(writePage0(0x31), Bytes({ 0xAA, 0x31 }));
    // the folder is gone: the copy cannot be saved, so it is not reported and not kept
    messages.clear();
    std::filesystem::remove_all(durable);
    EXPECT_EQ(writePage0(0x32)[0], 0xFF);
    EXPECT_EQ(told(), 1);
    EXPECT_NE(messages.find("key not saved"), std::string::npos);
    EXPECT_EQ(ds1977Page(std::dynamic_pointer_cast<KeyDevice>(copying->find(rom))->key(), 0)->at(0), 0x31);
}
