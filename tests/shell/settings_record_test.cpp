#include "app/shell/settings_record.h"
#include "test_db.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::vector<uint8_t> fileBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}
} // namespace

TEST(ConfigDat, NineBytesInFileOrderRoundTrip)
{
    const fs::path dir = testdb::freshFolder("config");
    std::ofstream(dir / "Config.dat", std::ios::binary)
        << std::string("\x01\x07\x1E\x02\x06\x01\x12\x34\x56", 9);
    TSettingsRecord s;
    ASSERT_TRUE(shell::readConfigDat(s, dir / "Config.dat"));
    EXPECT_EQ(std::vector<int>(
                  { s.UserType, s.MotorPulseTime, s.LockBackDelay, s.PortNum, s.PortType, s.ScreenMode }),
        std::vector<int>({ 1, 7, 30, 2, 6, 1 }));
    EXPECT_EQ(s.FacilityCode, (std::array<uint8_t, 3> { 0x12, 0x34, 0x56 }));

    s.FacilityCode = { 0x65, 0x43, 0x21 };
    s.ReaderRomId = "0123456789ABCDEF"; // run-time fields are not written
    // A link planted under the fixed name a write once used is not followed.
    std::ofstream(dir / "victim") << "keep";
    fs::create_symlink(dir / "victim", dir / "Config.dat.tmp");
    shell::writeConfigDat(s, dir / "Config.dat");
    EXPECT_EQ(fileBytes(dir / "Config.dat"), (std::vector<uint8_t> { 1, 7, 30, 2, 6, 1, 0x65, 0x43, 0x21 }));
    EXPECT_EQ(fileBytes(dir / "victim"), (std::vector<uint8_t> { 'k', 'e', 'e', 'p' }));
    // A write that cannot replace its target leaves no temporary behind; no folder, a clear error.
    fs::create_directories(dir / "in-the-way" / "Config.dat" / "x");
    EXPECT_THROW(shell::writeConfigDat(s, dir / "in-the-way" / "Config.dat"), std::runtime_error);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "in-the-way"), {}), 1);
    EXPECT_THROW(shell::writeConfigDat(s, "/nonexistent-folder/x/Config.dat"), std::runtime_error);

    // Missing or short: the defaults, and a rewrite gives nine bytes.
    for (const char* bytes : { "", "\x01\x02\x03\x04" }) {
        if (*bytes)
            std::ofstream(dir / "Config.dat", std::ios::binary) << bytes;
        else
            fs::remove(dir / "Config.dat");
        s.PortType = 99;
        s.FacilityCode = { 1, 2, 3 };
        EXPECT_FALSE(shell::readConfigDat(s, dir / "Config.dat"));
        EXPECT_EQ(s.PortType, shell::kDefaultPortType);
        EXPECT_EQ(s.PortNum, shell::kDefaultPortNum);
        EXPECT_EQ(s.MotorPulseTime, shell::kDefaultMotorPulseTime);
        EXPECT_EQ(s.FacilityCode, shell::kFactoryFacilityCode);
    }
    shell::writeConfigDat(s, dir / "Config.dat");
    EXPECT_EQ(fileBytes(dir / "Config.dat").size(), 9u);
    fs::remove_all(dir);
}

TEST(ConfigDat, ResetKeepsTheNineBytesAndClearsRunTimeFields)
{
    TSettingsRecord s;
    s.FacilityCode = { 1, 2, 3 };
    s.PickedLockSerialID = "X";
    s.PickAccessCodeLocksOnly = 1;
    s.NoLogoutStamp = true;
    shell::resetRunTimeFields(s);
    EXPECT_EQ(s.FacilityCode, (std::array<uint8_t, 3> { 1, 2, 3 }));
    EXPECT_TRUE(s.PickedLockSerialID.empty());
    EXPECT_EQ(s.PickAccessCodeLocksOnly, 0);
    EXPECT_FALSE(s.NoLogoutStamp);
}
