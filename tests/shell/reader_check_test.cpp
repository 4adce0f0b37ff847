#include "app/shell/key_io_options.h"
#include "app/shell/reader_check.h"
#include "app/shell/settings_record.h"
#include "onewire/devices.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <gtest/gtest.h>

TEST(ReaderCheck, FindsTheReadersIdChipAmongTheKeys)
{
    using namespace onewire;
    constexpr short kPort = 9, kType = 6;
    auto text = [](uint64_t serial) { return romIdText(makeRomId(0x01, serial)); };
    auto bus = std::make_shared<MicroLan>();
    ScopedPort port(kPort, kType, bus);
    bus->attach(makeDevice(blankKey(makeRomId(0x37, 0x77))));
    EXPECT_EQ(findReaderRomId(kPort, kType), "") << "no id chip";
    bus->attach(makeDevice(blankKey(makeRomId(0x01, 0xD00D))));
    bus->attach(makeDevice(blankKey(makeRomId(0x24, 0x5))));
    EXPECT_EQ(findReaderRomId(kPort, kType), text(0xD00D));
    // A user's key of the same family sorts first: nothing known about the keys, the first chip
    // as the reader reports it; else the first that is no user's key.
    bus->attach(makeDevice(blankKey(makeRomId(0x01, 0x01))));
    EXPECT_EQ(findIdChips(kPort, kType), (std::vector<std::string> { text(0x01), text(0xD00D) }));
    EXPECT_EQ(findReaderRomId(kPort, kType), text(0x01));
    EXPECT_EQ(
        findReaderRomId(kPort, kType, [&](const std::string& id) { return id == text(0x01); }), text(0xD00D));
    EXPECT_EQ(findReaderRomId(3, 6), ""); // no adapter on that number: set-up fails
    EXPECT_EQ(findReaderRomId(0, 2), ""); // no driver for that type
}

TEST(ReaderCheck, TheKeyWindowsUseTheSettingsRecordsPort)
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
