// Key files: ROM ids, blank keys, the text form and saving.
#include "bus_test_support.h"
#include "fileio/atomic_file.h"

using namespace bus_test;

TEST(KeyFile, MadeRomIdsAreValidOnlyWithTheirCrc8)
{
    const RomId id = makeRomId(0x37, 0x0000'00A1'B2C3);
    EXPECT_EQ(id, (RomId { 0x37, 0xC3, 0xB2, 0xA1, 0, 0, 0, crc8(std::span(id).first(7)) }));
    EXPECT_TRUE(romIdValid(id));
    RomId bad = id;
    bad[2] ^= 1;
    EXPECT_FALSE(romIdValid(bad));
}

TEST(KeyFile, BlankKeysHoldTheirFamilysMemory)
{
    const KeyFile a = blankDS1977(makeRomId(0x37, 0x0000'00A1'B2C3));
    EXPECT_EQ(a.memory.size(), kDS1977MemorySize);
    EXPECT_FALSE(ds1977PasswordsEnabled(a));
    EXPECT_EQ(ds1977Page(a, 510)->at(63), 0xFF);
    EXPECT_FALSE(ds1977Page(a, 511));
    EXPECT_FALSE(ds1977Page(a, -1));
    KeyFile b = blankDS1994(makeRomId(0x04, 2));
    EXPECT_EQ(b.memory.size(), kDS1994MemorySize);
    EXPECT_FALSE(clockRunning(b));
    const uint8_t page[32] = {};
    EXPECT_TRUE(setDS1994Page(b, 15, page));
    EXPECT_FALSE(setDS1994Page(b, 16, page));
    const KeyFile ds1904 = blankDS1904(makeRomId(0x24, 3));
    EXPECT_TRUE(ds1904.memory.empty());
    EXPECT_EQ(clockAt(ds1904, 1000), 0u);
    // blankDS1977 gives the family even when handed another one, with a fresh CRC
    const KeyFile d = blankDS1977(makeRomId(0x01, 4));
    EXPECT_EQ(d.family(), 0x37);
    EXPECT_TRUE(romIdValid(d.rom));
}

TEST(KeyFile, TheTextFormKeepsEveryByteAndTheClock)
{
    KeyFile k = blankDS1977(makeRomId(0x37, 0x1234));
    const Page p = patterned(3);
    ASSERT_TRUE(setDS1977Page(k, 0, p));
    ASSERT_TRUE(setDS1977Page(k, 510, p));
    setDS1977Passwords(k, { 1, 2, 3, 4, 5, 6, 7, 8 }, { 9, 10, 11, 12, 13, 14, 15, 16 }, true);
    const std::string text = formatKeyFile(k);
    auto r = parseKeyFile(text);
    ASSERT_TRUE(r.key) << r.error;
    EXPECT_EQ(r.key->rom, k.rom);
    EXPECT_EQ(r.key->memory, k.memory);
    EXPECT_TRUE(ds1977PasswordsEnabled(*r.key));
    EXPECT_LT(text.size(), 600u) << "blank pages are not written out";
    KeyFile t = blankDS1994(makeRomId(0x04, 0x55));
    setClock(t, 90061, true, 1'700'000'000);
    const uint8_t bytes[] = { 'R', 'E', 'A', 'D', 0xFD, 0x12, 0x34, 0x56 };
    ASSERT_TRUE(setDS1994Page(t, 0, bytes));
    r = parseKeyFile(formatKeyFile(t));
    ASSERT_TRUE(r.key) << r.error;
    EXPECT_EQ(r.key->memory, t.memory);
    EXPECT_TRUE(clockRunning(*r.key));
    EXPECT_EQ(clockAt(*r.key, 1'700'000'010), 90071u);
    KeyFile c = blankDS1904(makeRomId(0x24, 0x66));
    setClock(c, 86400, false, 5);
    r = parseKeyFile(formatKeyFile(c));
    ASSERT_TRUE(r.key) << r.error;
    EXPECT_EQ(r.key->control, 0x00);
    EXPECT_EQ(clockAt(*r.key, 999999), 86400u);
    // Any reference time reads without overflow; the counter wraps at 32 bits as the part's.
    r = parseKeyFile(
        "ibutton-key 1\nrom " + romIdText(c.rom) + "\nclock 5 at -9223372036854775808\ncontrol 0C\n");
    ASSERT_TRUE(r.key) << r.error;
    EXPECT_EQ(clockAt(*r.key, 1), 6u);
    // made by hand: comments, blank lines, CR LF, grouped bytes, lower case
    r = parseKeyFile("# made by hand\r\n\n  ibutton-key 1\nrom " + romIdText(k.rom)
        + "\nmem 0040 57524954 45\nmem 7FD0 aa\n");
    ASSERT_TRUE(r.key) << r.error;
    EXPECT_EQ(std::vector<uint8_t>(&r.key->memory[0x40], &r.key->memory[0x46]),
        (std::vector<uint8_t> { 0x57, 0x52, 0x49, 0x54, 0x45, 0xFF }));
    EXPECT_TRUE(ds1977PasswordsEnabled(*r.key));
}

TEST(KeyFile, DamagedOrForeignTextsAreRefusedWithAReason)
{
    const std::string rom = romIdText(makeRomId(0x37, 7));
    const std::string head = "ibutton-key 1\nrom " + rom + "\n";
    const std::pair<std::string, std::string> cases[] = {
        { "", "empty" },
        { "GIF89a....", "not a key file" },
        { "ibutton-key 2\nrom " + rom + "\n", "unsupported key file version 2" },
        { "ibutton-key 1\n", "no rom line" },
        { "ibutton-key 1\nrom 0000000000000037\n", "bad CRC-8" },
        { "ibutton-key 1\nrom XYZ\n", "16 hexadecimal digits" },
        { head + "rom " + rom + "\n", "one \"rom" },
        { head + "mem 7FF0 " + std::string(64, 'F') + "\n", "beyond the end" },
        { head + "mem 0000 " + std::string(130, 'F') + "\n", "1 to 64 bytes" },
        { head + "mem 0000 F\n", "1 to 64 bytes" },
        { head + "mem 000G FF\n", "4 hex digit address" },
        { head + "clock 5\n", "without a clock" },
        { head + "control 0C\n", "family 24" },
        { head + "colour blue\n", "unknown entry" },
        { head + std::string(5000, 'x') + "\n", "line too long" },
        { "ibutton-key 1\nrom " + romIdText(makeRomId(0x01, 7)) + "\nmem 0000 FF\n", "without memory" },
        { "ibutton-key 1\nrom " + romIdText(makeRomId(0x04, 7)) + "\nclock -5\n", "clock <seconds>" },
    };
    for (const auto& [text, reason] : cases) {
        auto r = parseKeyFile(text);
        EXPECT_FALSE(r.key) << text.substr(0, 60);
        EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
    }
}

TEST(KeyFile, SaveReplacesTheFileAndLeavesNoTemporary)
{
    const auto dir = freshDir("save");
    KeyFile k = blankDS1977(makeRomId(0x37, 42));
    const auto path = keyFilePath(dir, k.rom);
    EXPECT_EQ(path.filename().string(), romIdText(k.rom) + ".key");
    std::string error;
    ASSERT_TRUE(saveKeyFile(path, k, &error)) << error;
    setDS1977Page(k, 3, patterned(0x11));
    ASSERT_TRUE(saveKeyFile(path, k, &error)) << error;
    auto pageOnDisk = [&] { return ds1977Page(*loadKeyFile(path).key, 3)->at(0); };
    EXPECT_EQ(pageOnDisk(), 0x11);
    KeyFile shortKey = k, badRom = k;
    shortKey.memory.resize(100);
    EXPECT_FALSE(saveKeyFile(path, shortKey, &error));
    EXPECT_NE(error.find("does not fit"), std::string::npos);
    badRom.rom[3] ^= 1;
    EXPECT_FALSE(saveKeyFile(path, badRom, &error));
    EXPECT_NE(error.find("CRC-8"), std::string::npos);
    EXPECT_EQ(pageOnDisk(), 0x11) << "refused saves leave the file";
    // A link planted under the name the save's temporary is to take is neither followed nor
    // removed: the save takes another name. A save that cannot replace its target leaves no
    // temporary.
    std::ofstream(dir / "victim") << "keep";
    int names = 0;
    const fileio::TemporaryNamePart countedNames([&] { return std::to_string(names++); });
    const auto planted = dir / ("." + path.filename().string() + ".0.tmp");
    std::filesystem::create_symlink(dir / "victim", planted);
    ASSERT_TRUE(saveKeyFile(path, k, &error)) << error;
    EXPECT_EQ(names, 2);
    std::filesystem::create_directories(dir / "in-the-way.key" / "x");
    EXPECT_FALSE(saveKeyFile(dir / "in-the-way.key", k, &error));
    EXPECT_NE(error.find("in-the-way.key"), std::string::npos) << error;
    EXPECT_EQ(bytesOf(dir / "victim"), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 4)
        << "the key, the link, the victim, the folder";
    EXPECT_FALSE(saveKeyFile(dir / "missing-folder" / "x.key", k, &error));
    EXPECT_NE(error.find("missing-folder"), std::string::npos);
    auto missing = loadKeyFile(dir / "nope.key");
    EXPECT_FALSE(missing.key);
    EXPECT_NE(missing.error.find("cannot open"), std::string::npos);
}
