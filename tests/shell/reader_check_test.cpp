#include "app/shell/key_io_options.h"
#include "app/shell/reader_check.h"
#include "app/shell/settings_record.h"

#include "onewire/devices.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <gtest/gtest.h>

namespace {
constexpr short kTestPortNum = 9;
constexpr short kTestPortType = 6;

std::string text(uint8_t family, uint64_t serial) { return romIdText(onewire::makeRomId(family, serial)); }

std::shared_ptr<onewire::MicroLan> busWith(std::initializer_list<std::pair<uint8_t, uint64_t>> devices)
{
    auto bus = std::make_shared<onewire::MicroLan>();
    for (auto [family, serial] : devices)
        bus->attach(onewire::makeDevice(onewire::blankKey(onewire::makeRomId(family, serial))));
    return bus;
}
} // namespace

TEST(ReaderCheck, FindsTheIdChipAmongTheKeys)
{
    onewire::ScopedPort port(kTestPortNum, kTestPortType, busWith({ { 0x37, 0x77 }, { 0x01, 0xD00D }, { 0x24, 0x5 } }));
    EXPECT_EQ(findReaderRomId(kTestPortNum, kTestPortType), text(0x01, 0xD00D));
}

TEST(ReaderCheck, AUserKeyInTheReaderIsNotTakenForTheReader)
{
    // Serial 0x01 sorts before 0xD00D in search order, so the user's key is found first.
    onewire::ScopedPort port(kTestPortNum, kTestPortType, busWith({ { 0x01, 0xD00D }, { 0x01, 0x01 } }));
    const auto chips = findIdChips(kTestPortNum, kTestPortType);
    ASSERT_EQ(chips.size(), 2u);
    const std::string user = text(0x01, 0x01);
    EXPECT_EQ(chips.front(), user);
    EXPECT_EQ(findReaderRomId(kTestPortNum, kTestPortType, [&](const std::string& id) { return id == user; }),
        text(0x01, 0xD00D));
    // Nothing known about the keys: the first chip, as the reader reports it.
    EXPECT_EQ(findReaderRomId(kTestPortNum, kTestPortType), chips.front());
}

TEST(ReaderCheck, NoReaderGivesEmpty)
{
    EXPECT_EQ(findReaderRomId(3, 6), "");  // no adapter on that number: set-up fails
    EXPECT_EQ(findReaderRomId(0, 2), "");  // no driver for that type
    onewire::ScopedPort port(kTestPortNum, kTestPortType, busWith({ { 0x37, 0x77 } }));
    EXPECT_EQ(findReaderRomId(kTestPortNum, kTestPortType), "");
}

TEST(KeyIoOptionsTest, TheKeyWindowsUseTheSettingsRecordsPort)
{
    SettingsRecord.PortNum = 4;
    SettingsRecord.PortType = 5;
    const KeyIoOptions o = shellKeyIoOptions();
    EXPECT_EQ(o.port.PortNum, 4);
    EXPECT_EQ(o.port.PortType, 5);
    EXPECT_EQ(o.dialogs, nullptr);
    ASSERT_TRUE(o.processPendingMessages);
    o.processPendingMessages();
    SettingsRecord = TSettingsRecord {};
}
