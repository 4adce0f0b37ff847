#pragma once
// What the window tests share: a copy of the supplied database, the emulated reader on a temp
// folder, scripted boxes, and key files put in the reader and read back.
#include "app/shell/settings_record.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/mission_key.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace wintest {
namespace fs = std::filesystem;

inline const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

inline bool allBytes(const onewire::Page& p, uint8_t v) { return std::all_of(p.begin(), p.end(), [v](uint8_t b) { return b == v; }); }

// Answers as the scripted boxes do, and lets a test act when a box is shown (an operator
// swapping keys before pressing OK).
class ActingDialogs : public ScriptedDialogs {
public:
    std::function<void(const std::string&)> onBox;
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        if (onBox)
            onBox(text);
        return ScriptedDialogs::show(type, text, buttons);
    }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(folder);
        fs::create_directories(keys);
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", folder / "iOstrivaneDB.db");
        db.Open((folder / "iOstrivaneDB.db").string());
        SettingsRecord = TSettingsRecord {};
        SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
        SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
        SettingsRecord.FacilityCode = kSite;
    }
    // After the windows a test keeps as members, which go first.
    ~WindowTest() override
    {
        db.Close();
        fs::remove_all(folder);
    }
    // A key in the reader whose every page holds fill: with EEh, the pages written show.
    RomId putKey(uint64_t serial, uint8_t fill = 0xFF)
    {
        const RomId rom = onewire::makeRomId(onewire::kFamilyDS1977, serial);
        auto k = onewire::blankDS1977(rom);
        onewire::Page bytes;
        bytes.fill(fill);
        for (int p = 0; fill != 0xFF && p <= kLastKeyPage; ++p)
            onewire::setDS1977Page(k, p, bytes);
        EXPECT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(keys, rom), k));
        return rom;
    }
    RomId putUsedKey(uint64_t serial) { return putKey(serial, 0xEE); }
    onewire::KeyFile keyFile(const RomId& rom)
    {
        auto k = onewire::loadKeyFile(onewire::keyFilePath(keys, rom));
        EXPECT_TRUE(k.key) << k.error;
        return k.key ? *k.key : onewire::blankDS1977(rom);
    }
    onewire::Page page(const RomId& rom, int p) { return onewire::ds1977Page(keyFile(rom), p).value_or(onewire::Page {}); }
    // Pages holding anything but the EEh of a used key.
    std::vector<int> writtenPages(const RomId& rom)
    {
        std::vector<int> out;
        const auto k = keyFile(rom);
        for (int p = 0; p <= kLastKeyPage; ++p)
            if (!allBytes(*onewire::ds1977Page(k, p), 0xEE))
                out.push_back(p);
        return out;
    }
    // Every row a statement selects, as text, "<null>" for a Null field.
    // Shown and active, as a window is when the operator types at it.
    static void activate(QWidget& w)
    {
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    Rows rows(const std::string& sql)
    {
        TDbQuery q(&db);
        q.SQL = sql;
        q.Open();
        Rows out;
        for (q.First(); !q.Eof(); q.Next()) {
            out.emplace_back();
            for (int i = 0; i < q.FieldCount(); ++i)
                out.back().push_back(q.Fields[i].IsNull() ? "<null>" : q.Fields[i].AsString());
        }
        return out;
    }
    int count(const std::string& sql) { return static_cast<int>(rows(sql).size()); }

    fs::path folder = fs::temp_directory_path() / ("ios_window_" + std::to_string(::getpid()));
    fs::path keys = folder / "Reader";
    TDbConnection db;
    std::shared_ptr<onewire::EmulatedReader> reader = std::make_shared<onewire::EmulatedReader>(keys);
    onewire::ScopedPort port { onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, reader };
    ActingDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace wintest
