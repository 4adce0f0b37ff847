// The emulated line and devices through the driver API, where the key routines do not reach.
#include "bytes/crc.h"
#include "fresh_dir.h"
#include "onewire/devices.h"
#include "onewire/emulated_reader.h"
#include "onewire/ports.h"
#include "onewire/tmex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace onewire;

namespace {

constexpr short kPort = 3;
constexpr short kType = 6;

// One open, set-up session on a fresh in-memory bus.
struct Line {
    std::shared_ptr<MicroLan> bus = std::make_shared<MicroLan>();
    ScopedPort port { kPort, kType, bus };
    TMStateBuffer sb {};
    long h = 0;

    Line() = default;
    ~Line() { close(); }
    void open()
    {
        h = TMExtendedStartSession(kPort, kType, nullptr);
        ASSERT_GT(h, 0);
        ASSERT_EQ(TMSetup(h), 1);
    }
    void close()
    {
        if (h > 0)
            TMEndSession(h);
        h = 0;
    }
    std::vector<RomId> search()
    {
        std::vector<RomId> found;
        for (short r = TMFirst(h, sb.data()); r == 1 && found.size() < 20; r = TMNext(h, sb.data()))
            found.push_back(current());
        return found;
    }
    RomId current()
    {
        short rom[8] = { 0 };
        TMRom(h, sb.data(), rom);
        RomId id;
        for (int i = 0; i < 8; ++i)
            id[i] = static_cast<uint8_t>(rom[i]);
        return id;
    }
    void select(const RomId& rom)
    {
        short words[8];
        for (int i = 0; i < 8; ++i)
            words[i] = rom[i];
        ASSERT_EQ(TMRom(h, sb.data(), words), 1);
        ASSERT_EQ(TMAccess(h, sb.data()), 1);
    }
    std::vector<uint8_t> send(std::vector<uint8_t> bytes)
    {
        EXPECT_EQ(TMBlockStream(h, bytes.data(), static_cast<short>(bytes.size())), static_cast<short>(bytes.size()));
        return bytes;
    }
    std::vector<uint8_t> read(int n) { return send(std::vector<uint8_t>(n, 0xFF)); }
    void pullUp() { ASSERT_EQ(TMOneWireLevel(h, LEVEL_SET, LEVEL_STRONG_PULL_UP, PRIMED_NONE), 1); }
    void normal() { TMOneWireLevel(h, LEVEL_SET, LEVEL_NORMAL, PRIMED_NONE); }
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

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> pw(uint8_t v)
{
    return std::vector<uint8_t>(8, v);
}

} // namespace

using onewire_test::freshDir;

TEST(Search, FindsEveryDeviceInBitOrder)
{
    Line line;
    std::vector<RomId> roms = { makeRomId(0x37, 5), makeRomId(0x01, 9), makeRomId(0x24, 2), makeRomId(0x04, 1) };
    for (const auto& r : roms)
        line.bus->attach(makeDevice(blankKey(r)));
    line.open();
    auto found = line.search();
    std::vector<uint8_t> families;
    for (const auto& r : found)
        families.push_back(r[0]);
    EXPECT_EQ(families, (std::vector<uint8_t> { 0x04, 0x24, 0x01, 0x37 }));

    // many keys of one family: every one once, in bit order
    for (uint64_t serial : { 0x10ull, 0x01ull, 0xFF00ull, 0x8000000000ull, 0x3ull, 0x11ull })
        roms.push_back(makeRomId(0x37, serial));
    for (const auto& r : roms)
        line.bus->attach(makeDevice(blankKey(r)));
    found = line.search();
    std::sort(roms.begin(), roms.end(), searchOrder);
    EXPECT_EQ(found, roms);
}

TEST(Search, FamilySearchStartsAtTheFamilyOrAfterIt)
{
    Line line;
    for (const auto& r : { makeRomId(0x04, 1), makeRomId(0x24, 2), makeRomId(0x01, 3), makeRomId(0x37, 4) })
        line.bus->attach(makeDevice(blankKey(r)));
    line.open();
    ASSERT_EQ(TMFamilySearchSetup(line.h, line.sb.data(), 0x24), 1);
    ASSERT_EQ(TMNext(line.h, line.sb.data()), 1);
    EXPECT_EQ(line.current()[0], 0x24);
    ASSERT_EQ(TMNext(line.h, line.sb.data()), 1);
    EXPECT_EQ(line.current()[0], 0x01);
    // no key of the family: the search lands on another family, so callers check it
    line.bus->detach(makeRomId(0x37, 4));
    ASSERT_EQ(TMFamilySearchSetup(line.h, line.sb.data(), 0x37), 1);
    ASSERT_EQ(TMNext(line.h, line.sb.data()), 1);
    EXPECT_EQ(line.current()[0], 0x01);
    EXPECT_EQ(TMNext(line.h, line.sb.data()), 0) << "and it was the last";
    ASSERT_EQ(TMFamilySearchSetup(line.h, line.sb.data(), 0x02), 1);
    ASSERT_EQ(TMNext(line.h, line.sb.data()), 1);
    EXPECT_EQ(line.current()[0], 0x04);
    // skip the rest of a family
    line.bus->attach(makeDevice(blankKey(makeRomId(0x04, 7))));
    ASSERT_EQ(TMFirst(line.h, line.sb.data()), 1);
    EXPECT_EQ(line.current()[0], 0x04);
    ASSERT_EQ(TMSkipFamily(line.h, line.sb.data()), 1);
    ASSERT_EQ(TMNext(line.h, line.sb.data()), 1);
    EXPECT_EQ(line.current()[0], 0x24);
}

TEST(Driver, ResultConventions)
{
    Line line;
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

    const long h = TMExtendedStartSession(kPort, kType, nullptr);
    ASSERT_GT(h, 0);
    EXPECT_EQ(TMValidSession(h), 1);
    EXPECT_EQ(TMExtendedStartSession(kPort, kType, nullptr), 0) << "port busy";
    EXPECT_EQ(TMTouchReset(h), kTMErrPortNotSetUp) << "before TMSetup";
    ASSERT_EQ(TMSetup(h), 1);
    EXPECT_EQ(TMTouchReset(h), kTMResetNoPresence);
    line.bus->attach(makeDevice(blankKey(makeRomId(0x01, 1))));
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
    short in[8] = { 0x37, 1, 2, 3, 4, 5, 6, 0x1FF };
    EXPECT_EQ(TMRom(h, sb.data(), in), 1);
    short out[8] = { 0 };
    EXPECT_EQ(TMRom(h, sb.data(), out), 1);
    EXPECT_EQ(out[0], 0x37);
    EXPECT_EQ(out[7], 0xFF) << "only the low byte goes in";
    EXPECT_EQ(TMEndSession(h), 1);
    EXPECT_EQ(TMValidSession(h), 0);
    EXPECT_EQ(TMEndSession(h), 0);
}

TEST(Rom, ReadMatchSkipAndResume)
{
    Line line;
    const RomId rom = makeRomId(0x37, 0x123456);
    line.bus->attach(makeDevice(blankDS1977(rom)));
    line.open();
    ASSERT_EQ(TMTouchReset(line.h), 1);
    auto r = line.send({ 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF });
    EXPECT_TRUE(std::equal(rom.begin(), rom.end(), r.begin() + 1));
    // Skip ROM, then a version read
    ASSERT_EQ(TMTouchReset(line.h), 1);
    r = line.send({ 0xCC, 0xCC, 0x00, 0x00, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[4], DS1977Device::kVersion);
    EXPECT_EQ(r[6], 0xFF);
    // a Match ROM for another id leaves the device silent
    line.bus->attach(makeDevice(blankKey(makeRomId(0x01, 5))));
    line.select(makeRomId(0x37, 0x999));
    r = line.send({ 0xAA, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[1], 0xFF);
    // Resume re-selects the last device selected
    line.select(rom);
    ASSERT_EQ(TMTouchReset(line.h), 1);
    r = line.send({ 0xA5, 0xAA, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[4] & 0x40, 0x40) << "E/S of a scratchpad never written shows PF";
}

TEST(DS1977, PasswordsGuardReadAndCopy)
{
    Line line;
    KeyFile k = blankDS1977(makeRomId(0x37, 77));
    Page data;
    data.fill(0x42);
    setDS1977Page(k, 1, data);
    setDS1977Passwords(k, { 1, 1, 1, 1, 1, 1, 1, 1 }, { 2, 2, 2, 2, 2, 2, 2, 2 }, true);
    auto dev = std::make_shared<DS1977Device>(k);
    line.bus->attach(dev);
    line.open();
    const RomId rom = dev->rom();

    auto readPage = [&](uint8_t password, uint16_t address) {
        line.select(rom);
        line.send(concat({ 0x69, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8) }, pw(password)));
        line.pullUp();
        line.normal();
        return line.read(66);
    };
    // wrong password: FFh and no CRC
    auto r = readPage(9, 0x40);
    EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](uint8_t b) { return b == 0xFF; }));
    // the read password and the full-access password both read
    for (uint8_t p : { 1, 2 }) {
        r = readPage(p, 0x40);
        EXPECT_EQ(r[0], 0x42);
        std::vector<uint8_t> covered = concat({ 0x69, 0x40, 0x00 }, r);
        EXPECT_EQ(crc16(covered), kCrc16GoodResidue);
    }
    // the register page: passwords read FFh, the control byte shows AAh
    r = readPage(1, 0x7FC0);
    EXPECT_EQ(r[0], 0xFF);
    EXPECT_EQ(r[8], 0xFF);
    EXPECT_EQ(r[16], 0xAA);
    // no strong pull-up: nothing comes
    line.select(rom);
    line.send(concat({ 0x69, 0x40, 0x00 }, pw(1)));
    EXPECT_EQ(line.read(1)[0], 0xFF);

    auto fillScratchpad = [&](uint8_t value) {
        line.select(rom);
        line.send(concat({ 0x0F, 0x00, 0x00 }, std::vector<uint8_t>(64, value)));
        line.read(2);
    };
    auto copy = [&](uint8_t password, uint8_t es, bool pullUp) {
        line.select(rom);
        line.send(concat({ 0x99, 0x00, 0x00, es }, pw(password)));
        if (pullUp)
            line.pullUp();
        line.normal();
        return line.read(1)[0];
    };
    fillScratchpad(0x11);
    EXPECT_EQ(copy(1, 0x3F, true), 0xFF) << "the read password does not authorise a copy";
    EXPECT_EQ(copy(2, 0x3E, true), 0xFF) << "E/S must match";
    EXPECT_EQ(copy(2, 0x3F, false), 0xFF) << "no copy without the strong pull-up";
    EXPECT_EQ(ds1977Page(dev->key(), 0)->at(0), 0xFF);
    EXPECT_EQ(copy(2, 0x3F, true), 0xAA);
    EXPECT_EQ(ds1977Page(dev->key(), 0)->at(0), 0x11);
    // the scratchpad reads without any password, AA now set in E/S
    line.select(rom);
    r = line.send({ 0xAA, 0xFF, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[3], 0xBF);
    EXPECT_EQ(r[4], 0x11);

    // Verify Password
    auto verify = [&](uint16_t address, uint8_t password) {
        line.select(rom);
        line.send(concat({ 0xC3, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8) }, pw(password)));
        line.pullUp();
        line.normal();
        return line.read(1)[0];
    };
    EXPECT_EQ(verify(0x7FC8, 2), 0xAA);
    EXPECT_EQ(verify(0x7FC8, 1), 0xFF);
    EXPECT_EQ(verify(0x7FC0, 1), 0xAA);
}

TEST(DS1977, NewKeyCopiesWithAnyPasswordAndReadsOnAcrossPages)
{
    Line line;
    auto dev = std::make_shared<DS1977Device>(blankDS1977(makeRomId(0x37, 78)));
    line.bus->attach(dev);
    line.open();
    // a partial write at 00A0h: ending offset 29h, copied with dummy password bytes
    line.select(dev->rom());
    line.send({ 0x0F, 0xA0, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 });
    line.select(dev->rom());
    auto r = line.send({ 0xAA, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[3], 0x29);
    line.select(dev->rom());
    line.send(concat({ 0x99, 0xA0, 0x00, 0x29 }, pw(0)));
    line.pullUp();
    EXPECT_EQ(line.read(1)[0], 0xAA);
    line.normal();
    EXPECT_EQ(dev->key().memory[0xA0], 1);
    EXPECT_EQ(dev->key().memory[0xA9], 10);
    EXPECT_EQ(dev->key().memory[0xAA], 0xFF);

    // read from the middle of page 2 on into page 3: the second CRC covers data only
    line.select(dev->rom());
    line.send(concat({ 0x69, 0xA0, 0x00 }, pw(0)));
    line.pullUp();
    line.normal();
    auto first = line.read(32 + 2);
    EXPECT_EQ(crc16(concat({ 0x69, 0xA0, 0x00 }, first)), kCrc16GoodResidue);
    line.pullUp();
    line.normal();
    auto second = line.read(64 + 2);
    EXPECT_EQ(crc16(second), kCrc16GoodResidue);
}

TEST(DS1994, ScratchpadCopyAndReadMemory)
{
    Line line;
    setHostClock([] { return int64_t { 1000 }; });
    auto dev = std::make_shared<DS1994Device>(blankDS1994(makeRomId(0x04, 1)));
    line.bus->attach(dev);
    line.open();
    line.select(dev->rom());
    line.send({ 0x0F, 0x03, 0x02, 0x10, 0x27, 0x00, 0x00 }); // seconds 10000
    line.select(dev->rom());
    auto r = line.send({ 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[3], 0x06);
    EXPECT_EQ(r[4], 0x10);
    line.select(dev->rom());
    r = line.send({ 0x55, 0x03, 0x02, 0x05, 0xFF }); // wrong E/S
    EXPECT_EQ(r[4], 0xFF);
    line.select(dev->rom());
    r = line.send({ 0x55, 0x03, 0x02, 0x06, 0xFF });
    EXPECT_EQ(r[4], 0x00);
    EXPECT_EQ(dev->key().clockSeconds, 10000u);
    line.select(dev->rom());
    r = line.send({ 0xF0, 0x03, 0x02, 0xFF, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[3] | r[4] << 8, 10000);
    // the oscillator is off: the clock stays
    setHostClock([] { return int64_t { 2000 }; });
    line.select(dev->rom());
    r = line.send({ 0xF0, 0x03, 0x02, 0xFF, 0xFF });
    EXPECT_EQ(r[3] | r[4] << 8, 10000);
    setHostClock(nullptr);
}

TEST(DS1904, WrittenCountLoadsAtTheNextReset)
{
    Line line;
    setHostClock([] { return int64_t { 500 }; });
    auto dev = std::make_shared<DS1904Device>(blankDS1904(makeRomId(0x24, 1)));
    line.bus->attach(dev);
    line.open();
    line.select(dev->rom());
    line.send({ 0x99, 0x0C, 0x80, 0x51, 0x01, 0x00 }); // 86400
    EXPECT_EQ(dev->key().clockSeconds, 0u) << "not before the reset";
    line.select(dev->rom());
    auto r = line.send({ 0x66, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[1], 0x0C);
    EXPECT_EQ(r[2] | r[3] << 8 | r[4] << 16, 86400);
    EXPECT_EQ(r[6], r[1]) << "the five bytes repeat";
    setHostClock([] { return int64_t { 503 }; });
    line.select(dev->rom());
    r = line.send({ 0x66, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF });
    EXPECT_EQ(r[2] | r[3] << 8 | r[4] << 16, 86403);
    setHostClock(nullptr);
}

TEST(Reader, KeysComeAndGoWithTheirFiles)
{
    const auto dir = freshDir("reader");
    std::vector<std::string> messages;
    setReaderDiagnostics([&](const std::string& m) { messages.push_back(m); });
    const RomId a = makeRomId(0x37, 1), b = makeRomId(0x04, 2);
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, a), blankDS1977(a)));
    ASSERT_TRUE(saveKeyFile(dir / "copy-of-a.key", blankDS1977(a)));
    ASSERT_TRUE(saveKeyFile(dir / "reader.key", blankKey(emulatedReaderRomId())));
    { std::ofstream(dir / "broken.key") << "ibutton-key 1\nrom 0102030405060708\n"; }
    { std::ofstream(dir / "notes.txt") << "not a key"; }
    { std::ofstream(dir / "empty.key"); }

    auto reader = std::make_shared<EmulatedReader>(dir);
    reader->rescan();
    auto roms = reader->roms();
    EXPECT_EQ(roms.size(), 2u) << "id chip and key a";
    EXPECT_TRUE(reader->find(emulatedReaderRomId()));
    EXPECT_TRUE(reader->find(a));
    EXPECT_EQ(reader->skipped().size(), 4u);
    EXPECT_EQ(messages.size(), 4u);
    auto mentions = [&](const std::string& what) {
        return std::any_of(messages.begin(), messages.end(), [&](const std::string& m) { return m.find(what) != std::string::npos; });
    };
    EXPECT_TRUE(mentions("broken.key: line 2: ROM id has a bad CRC-8"));
    EXPECT_TRUE(mentions("empty.key: not a key file"));
    EXPECT_TRUE(mentions("same ROM id as"));
    EXPECT_TRUE(mentions("reader's own id chip"));

    // an unchanged damaged file is not reported again
    reader->rescan();
    EXPECT_EQ(messages.size(), 4u);

    // a duplicate is not reported again either, and takes over when the first file goes
    std::filesystem::remove(keyFilePath(dir, a));
    reader->rescan();
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_TRUE(reader->find(a)) << "copy-of-a.key now carries the key";
    EXPECT_EQ(reader->skipped().size(), 3u);
    // a second copy sorted first does not knock the key off the bus
    ASSERT_TRUE(saveKeyFile(dir / "0-first.key", blankDS1977(a)));
    reader->rescan();
    EXPECT_TRUE(reader->find(a));
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, a), blankDS1977(a)));

    // a key put in and one taken out
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, b), blankDS1994(b)));
    std::filesystem::remove(keyFilePath(dir, a));
    std::filesystem::remove(dir / "copy-of-a.key");
    std::filesystem::remove(dir / "0-first.key");
    reader->rescan();
    EXPECT_FALSE(reader->find(a));
    EXPECT_TRUE(reader->find(b));

    // through the default port, folder from the environment
    ::setenv(kReaderFolderEnv, dir.c_str(), 1);
    EXPECT_EQ(readerFolder(), std::filesystem::absolute(dir).lexically_normal());
    const long h = TMExtendedStartSession(kEmulatedReaderPortNum, kEmulatedReaderPortType, nullptr);
    ASSERT_GT(h, 0);
    ASSERT_EQ(TMSetup(h), 1);
    TMStateBuffer sb {};
    int count = 0;
    for (short r = TMFirst(h, sb.data()); r == 1; r = TMNext(h, sb.data()))
        ++count;
    EXPECT_EQ(count, 2);
    TMEndSession(h);
    ::unsetenv(kReaderFolderEnv);
    setReaderDiagnostics(nullptr);
}

TEST(Reader, ACopyReachesTheFileBeforeItIsReported)
{
    const auto dir = freshDir("durable");
    const RomId rom = makeRomId(0x37, 3);
    ASSERT_TRUE(saveKeyFile(keyFilePath(dir, rom), blankDS1977(rom)));
    auto reader = std::make_shared<EmulatedReader>(dir);
    Line line;
    line.bus = reader;
    ScopedPort port(kPort, kType, reader);
    line.open();

    auto writePage0 = [&](uint8_t value) {
        line.select(rom);
        line.send(concat({ 0x0F, 0x00, 0x00 }, std::vector<uint8_t>(64, value)));
        line.read(2);
        line.select(rom);
        line.send(concat({ 0x99, 0x00, 0x00, 0x3F }, pw(0)));
        line.pullUp();
        // the file already holds the page when the device answers
        auto onDisk = loadKeyFile(keyFilePath(dir, rom));
        const uint8_t answer = line.read(1)[0];
        line.normal();
        return std::make_pair(answer, onDisk.key ? ds1977Page(*onDisk.key, 0)->at(0) : 0);
    };
    auto [answer, onDisk] = writePage0(0x31);
    EXPECT_EQ(answer, 0xAA);
    EXPECT_EQ(onDisk, 0x31);

    // the folder is gone: the copy cannot be saved, so it is not reported and not kept
    std::vector<std::string> messages;
    setReaderDiagnostics([&](const std::string& m) { messages.push_back(m); });
    std::filesystem::remove_all(dir);
    std::tie(answer, onDisk) = writePage0(0x32);
    EXPECT_EQ(answer, 0xFF);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("key not saved"), std::string::npos);
    auto dev = std::dynamic_pointer_cast<KeyDevice>(reader->find(rom));
    ASSERT_TRUE(dev);
    EXPECT_EQ(ds1977Page(dev->key(), 0)->at(0), 0x31);
    setReaderDiagnostics(nullptr);
}
