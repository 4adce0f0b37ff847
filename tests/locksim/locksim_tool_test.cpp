// The command-line tool on key files: the road a person takes in the demo workspace.
#include "keyformats/copy_settings_key.h"
#include "keyformats/delete_code_key.h"
#include "keyformats/firmware_key.h"
#include "onewire/key_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {
struct Tool {
    fs::path dir = fs::temp_directory_path() / ("locksim-tool-" + std::to_string(::getpid()));
    std::string out; // the first line the last run printed: the file it made

    Tool() { fs::create_directories(dir); }
    ~Tool() { fs::remove_all(dir); }

    int run(const std::string& args)
    {
        const std::string cmd = "cd '" + dir.string() + "' && timeout 20 '" LOCKSIM_TOOL "' " + args + " > out.txt 2> err.txt";
        const int status = WEXITSTATUS(std::system(cmd.c_str()));
        out = text("out.txt").substr(0, text("out.txt").find('\n'));
        return status;
    }
    std::string text(const std::string& relative) const
    {
        std::ifstream in(dir / relative);
        return { std::istreambuf_iterator<char>(in), {} };
    }
    onewire::KeyFile key(const std::string& relative) const
    {
        auto r = onewire::loadKeyFile(dir / relative);
        EXPECT_TRUE(r.key) << r.error;
        return r.key.value_or(onewire::KeyFile {});
    }
    onewire::Page page(const std::string& relative, int n) const
    {
        return onewire::ds1977Page(key(relative), n).value_or(onewire::Page {});
    }
    // lock.txt: a lock of site 123456 with nine events in its log.
    int newLock()
    {
        return run("lock new lock.txt --serial 00000000000737 --facility 123456 --events 9 "
                   "--user 0100000000000A01 --code 2468 --clock \"2026-12-06 08:00:00\"");
    }
};
} // namespace

TEST(LocksimTool, ALockFillsAnAuditKeyOfItsSiteOnly)
{
    Tool t;
    ASSERT_EQ(t.run("mission get-audit-trail --facility 123456 --serial 7 --reader Reader"), 0);
    const std::string keyPath = t.out;
    ASSERT_EQ(t.newLock(), 0);
    ASSERT_EQ(t.run("visit lock.txt " + keyPath), 0);
    const auto p0 = t.page(keyPath, 0);
    const auto p1 = t.page(keyPath, 1);
    EXPECT_EQ(p0[10], 0x37);
    EXPECT_EQ(p0[17], 0x22); // the check byte the tool computed for the 14 digits given
    EXPECT_EQ((p1[2] << 8) | p1[3], 9);
    EXPECT_EQ(p1[4], 0x26);
    EXPECT_EQ(p1[8], 0x08);

    // A lock of another site refuses a key and leaves it as it was.
    ASSERT_EQ(t.run("mission multi-lock-audit-trail --records 50 --facility 111111 --serial 8 --reader Reader"), 0);
    const std::string otherSite = t.out;
    EXPECT_EQ(t.run("visit lock.txt " + otherSite), 3);
    EXPECT_EQ(t.page(otherSite, 1)[0], 0x00);
}

// A run's exit status and part of what it prints, for each of a table's rows.
struct Row {
    std::string args;
    int status;
    std::string says;
};
void expectRuns(Tool& t, std::initializer_list<Row> rows)
{
    for (const Row& r : rows) {
        EXPECT_EQ(t.run(r.args), r.status) << r.args;
        const std::string printed = t.text("out.txt") + t.text("err.txt");
        EXPECT_NE(printed.find(r.says), std::string::npos) << r.args << ": " << printed;
    }
}

// Programming keys as the program writes them are named, not loaded.
TEST(LocksimTool, ProgrammingKeysAreNamedNotLoaded)
{
    Tool t;
    ASSERT_EQ(t.newLock(), 0);
    const std::string kept = t.text("lock.txt");
    auto programKey = [&](const char* name, const onewire::Page& page0) {
        auto key = onewire::blankDS1977(onewire::makeRomId(0x37, 0x50));
        onewire::setDS1977Page(key, 0, page0);
        EXPECT_TRUE(onewire::saveKeyFile(t.dir / name, key));
        return std::string("visit lock.txt ") + name;
    };
    const FacilityCodeBytes site { 0x12, 0x34, 0x56 };
    const std::array<uint8_t, 12> fileBytes { 0x02, 0x08, 0x00 };
    const std::string programming = "a programming key: the simulator does not load it";
    expectRuns(t,
        { { programKey("multi.key", MultiLockKeyHeader(2, site)), 3, programming },
            { programKey("copy.key", CopySettingsKeyHeader(site, 1)), 3, programming },
            { programKey("delete.key", deleteCodeKeyHeader(site)), 3, programming },
            { programKey("firmware.key", firmwareKeyHeader(fileBytes, 0x5A, "3.3", 0x3D80)), 3, programming } });
    EXPECT_EQ(t.text("lock.txt"), kept);
}

// A wrong check byte is refused, an existing lock kept without --force.
TEST(LocksimTool, ANewLockNeedsItsCheckByteAndForceToReplaceAnother)
{
    Tool t;
    ASSERT_EQ(t.newLock(), 0);
    const std::string kept = t.text("lock.txt");
    expectRuns(t,
        { { "lock new wrong.txt --serial AA00000000000737 --facility 123456", 1, "check byte" },
            { "lock new lock.txt --serial 2200000000000737 --facility 654321", 1, "--force" } });
    EXPECT_FALSE(fs::exists(t.dir / "wrong.txt"));
    EXPECT_EQ(t.text("lock.txt"), kept);
    expectRuns(t, { { "lock new lock.txt --force --serial 2200000000000737 --facility 654321", 0, "" } });
    EXPECT_NE(t.text("lock.txt"), kept);
    EXPECT_NE(t.text("lock.txt").find("facility 654321"), std::string::npos);
}

TEST(LocksimTool, MakesClockKeysSetToTheTimeGiven)
{
    Tool t;
    ASSERT_EQ(t.run("clock 24 --time \"1970-01-02 01:01:01\" --serial 4 --reader Reader"), 0);
    const auto ds1904 = t.key(t.out);
    EXPECT_EQ(ds1904.family(), 0x24);
    EXPECT_EQ(onewire::clockAt(ds1904, 0), 90061u);

    EXPECT_NE(t.run("clock 04 --time \"2026-01-01 00:00:00\" --serial 5 --reader Reader"), 0); // needs a site
    ASSERT_EQ(t.run("clock 04 --time \"2026-01-01 00:00:00\" --facility 123456 --serial 5 --reader Reader"), 0);
    const auto ds1994 = t.key(t.out);
    EXPECT_EQ(ds1994.memory[4], 0xFD);
    EXPECT_EQ(ds1994.memory[5], 0x12);
}

TEST(LocksimTool, MakesBlankKeysOfTheFamilyAskedAndRefusesUnknownKinds)
{
    Tool t;
    ASSERT_EQ(t.run("blank 33 --serial 9 --reader Reader"), 0);
    EXPECT_EQ(t.key(t.out).family(), 0x33);
    EXPECT_EQ(t.run("blank zz"), 1);
    EXPECT_EQ(t.run("mission nonsense --facility 123456"), 1);
}
