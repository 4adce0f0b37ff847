// The Multi-Lock Audit Trail window writing real key files in the emulated reader.
#include "app/missions/multi_audit_trail_form.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_record.h"
#include "app/shell/window_registry.h"
#include "locksim/sim_lock.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };

// Answers from a queue like ScriptedDialogs, and lets a test act when a box is shown (an
// operator swapping keys before pressing OK).
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

class AuditTrailWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder);
        SettingsRecord = TSettingsRecord {};
        SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
        SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
        SettingsRecord.FacilityCode = kSite;
    }
    void TearDown() override { fs::remove_all(folder); }

    RomId putKey(uint64_t serial)
    {
        const RomId rom = onewire::makeRomId(onewire::kFamilyDS1977, serial);
        EXPECT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(folder, rom), onewire::blankDS1977(rom)));
        return rom;
    }
    void takeKeyOut(const RomId& rom, const fs::path& to)
    {
        fs::rename(onewire::keyFilePath(folder, rom), to);
    }
    onewire::Page page(const RomId& rom, int p)
    {
        auto k = onewire::loadKeyFile(onewire::keyFilePath(folder, rom));
        EXPECT_TRUE(k.key) << k.error;
        return onewire::ds1977Page(*k.key, p).value_or(onewire::Page {});
    }
    void choose(TMultiAuditTrail_Form& w, const char* item) { w.ComboBox1->setCurrentText(item); }

    fs::path folder = fs::temp_directory_path() / ("audit-window-" + std::to_string(::getpid()));
    std::shared_ptr<onewire::EmulatedReader> reader = std::make_shared<onewire::EmulatedReader>(folder);
    onewire::ScopedPort port { onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, reader };
    ActingDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(AuditTrailWindowTest, ChoiceListShowsLocksPerKey)
{
    TMultiAuditTrail_Form w;
    EXPECT_EQ(w.windowTitle(), "Multi-Lock Audit Trail");
    EXPECT_EQ(w.ComboBox1->count(), 8);
    EXPECT_EQ(w.ComboBox1->currentText(), "25");
    EXPECT_EQ(w.Label3->text(), "63");
    const std::vector<std::pair<const char*, const char*>> expected {
        { "50", "36" }, { "100", "19" }, { "200", "9" }, { "400", "5" }, { "1000", "2" }, { "2000", "1" }, { "3000+", "1" }, { "25", "63" }
    };
    for (const auto& [item, label] : expected) {
        choose(w, item);
        EXPECT_EQ(w.Label3->text(), label) << item;
    }
}

TEST_F(AuditTrailWindowTest, WritesEachMultiLockChoiceOntoTheKey)
{
    const RomId key = putKey(1);
    TMultiAuditTrail_Form w;
    choose(w, "400");
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Audit Trail Key OK." });
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    const auto p0 = page(key, 0);
    const uint8_t head[] = { 0x52, 0x45, 0x41, 0x44, 0xFB, 0x12, 0x34, 0x56, 0x01, 0x90, 0xFF };
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), p0.begin()));
    const auto p1 = page(key, 1);
    EXPECT_EQ(p1[0], 0x00);
    EXPECT_TRUE(std::all_of(p1.begin() + 1, p1.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(AuditTrailWindowTest, GetAuditTrailKeyIsPageZeroOnly)
{
    const RomId key = putKey(2);
    TMultiAuditTrail_Form w;
    choose(w, "2000");
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Get Audit Trail Key OK." });
    const auto p0 = page(key, 0);
    const uint8_t head[] = { 0x52, 0x45, 0x41, 0x44, 0x01, 0x12, 0x34, 0x56, 0x07, 0xD0 };
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), p0.begin()));
    EXPECT_TRUE(std::all_of(p0.begin() + 10, p0.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(page(key, 1)[0], 0xFF);
}

TEST_F(AuditTrailWindowTest, NoKeyADamagedKeyFileOrTwoKeysInTheReader)
{
    TMultiAuditTrail_Form w;
    choose(w, "2000");
    w.sbMakeCardClick();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Please Plug in your program Key.");

    // The key's file is damaged: the operator is told why it is not in the reader.
    std::ofstream(folder / "mine.key") << "ibutton-key 1\nrom 0000000000000037\n";
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Please Plug in your program Key.\nReader: key file skipped: "
                                   + (folder / "mine.key").string() + ": line 2: ROM id has a bad CRC-8" });

    // A key filled at a lock and a blank one: neither is written.
    fs::remove(folder / "mine.key");
    const RomId filled = putKey(1), blank = putKey(2);
    auto file = onewire::loadKeyFile(onewire::keyFilePath(folder, filled));
    onewire::Page header {};
    header.fill(0x5A);
    onewire::setDS1977Page(*file.key, 0, header);
    ASSERT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(folder, filled), *file.key));
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { kOneKeyOnlyMessage });
    EXPECT_EQ(page(filled, 0), header);
    EXPECT_EQ(page(blank, 0)[0], 0xFF);
}

TEST_F(AuditTrailWindowTest, FailedWritesReportTheKindsError)
{
    // Page 1 goes first on a multi-lock key: noise on every write leaves the key untouched.
    const RomId key = putKey(3);
    reader->faults().corruptions.push_back({ 12, 0x01, 1000 });
    TMultiAuditTrail_Form w;
    w.sbMakeCardClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes.back().type, BoxType::Error);
    EXPECT_EQ(dialogs.boxes.back().text, "Write Multi-Lock Audit Trail Key Error.");
    EXPECT_EQ(page(key, 0)[0], 0xFF);
    EXPECT_EQ(page(key, 1)[0], 0xFF);
    EXPECT_EQ(w.ProgressBar1->value(), 0);

    // The key pulled after page 1: page 0 never gets a header over the fresh count.
    reader->faults().corruptions.clear();
    reader->faults().removeAfterPages[key] = 1;
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Write Multi-Lock Audit Trail Key Error.");
    EXPECT_EQ(page(key, 1)[0], 0x00);
    EXPECT_EQ(page(key, 0)[0], 0xFF);

    // A one-page key that cannot be written.
    const RomId other = putKey(4);
    fs::remove(onewire::keyFilePath(folder, key));
    reader->faults().corruptions.push_back({ 12, 0x01, 1000 });
    dialogs.boxes.clear();
    choose(w, "2000");
    w.sbMakeCardClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Write Get Audit Trail Key Error.");
    EXPECT_EQ(page(other, 0)[0], 0xFF);
}

TEST_F(AuditTrailWindowTest, TwoKeyTrailNeverOverwritesTheFirstKey)
{
    const RomId first = putKey(5);
    const fs::path aside = folder.parent_path() / ("second-key-" + std::to_string(::getpid()) + ".key");
    const RomId second = onewire::makeRomId(onewire::kFamilyDS1977, 6);
    ASSERT_TRUE(onewire::saveKeyFile(aside, onewire::blankDS1977(second)));

    TMultiAuditTrail_Form w;
    choose(w, "3000+");
    // The operator presses OK with the first key still in the reader, is told so, then swaps.
    int prompts = 0;
    dialogs.onBox = [&](const std::string& text) {
        if (text.rfind("This is the first program key.", 0) == 0 && ++prompts == 1) {
            takeKeyOut(first, folder.parent_path() / "first-aside.key");
            fs::rename(aside, onewire::keyFilePath(folder, second));
        }
    };
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(),
              (std::vector<std::string> { "Complete the first program key. Please plug in the second program key and press ok.",
                                          "This is the first program key. Please plug in the second program key and press ok.",
                                          "Write Get Audit Trail Key OK." }));
    fs::rename(folder.parent_path() / "first-aside.key", onewire::keyFilePath(folder, first));
    EXPECT_EQ(page(first, 0)[4], 0x02);
    EXPECT_EQ(page(second, 0)[4], 0x03);
    EXPECT_EQ(page(second, 0)[8], 0x00);
    EXPECT_EQ(page(second, 0)[9], 0x00);
}

TEST_F(AuditTrailWindowTest, TwoKeyTrailGivenUpLeavesTheFirstKeyUsable)
{
    const RomId first = putKey(7);
    TMultiAuditTrail_Form w;
    choose(w, "3000+");
    dialogs.answers = { BoxResult::Ok, BoxResult::Cancel };
    w.sbMakeCardClick();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].type, BoxType::Error);
    EXPECT_EQ(dialogs.boxes[2].text, "Write Get Audit Trail Key Error.");
    EXPECT_EQ(page(first, 0)[4], 0x02);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
}

TEST_F(AuditTrailWindowTest, KeysWrittenAreFilledByALock)
{
    const RomId key = putKey(8);
    TMultiAuditTrail_Form w;
    choose(w, "25");
    w.sbMakeCardClick();

    locksim::Rom serial { 0x37, 9, 9, 9, 0, 0, 0, 0x11 };
    locksim::SimLock lock(serial, kSite, std::chrono::local_days { std::chrono::year { 2026 } / 3 / 1 });
    lock.record(locksim::AuditEvent::ofLock(1, lock.clock()));
    auto file = onewire::loadKeyFile(onewire::keyFilePath(folder, key));
    ASSERT_TRUE(file.key);
    locksim::Ds1977Memory memory;
    for (int p = 0; p < locksim::kPages; ++p)
        memory.pages[p] = *onewire::ds1977Page(*file.key, p);
    EXPECT_EQ(lock.visit(memory), locksim::VisitResult::Filled);
    EXPECT_EQ(memory.pages[1][0], 1);
}

TEST_F(AuditTrailWindowTest, OnlyAnAdministratorOpensIt)
{
    clearChildWindowRegistry();
    registerChildWindow(kGetAuditTrailItem, [] { return new TMultiAuditTrail_Form; });
    TMain_Form main;
    main.show();
    TLogin_Form::OperatorLevel = 1;
    main.menuAction(kGetAuditTrailItem)->trigger();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "This funtion need higher user level." });
    EXPECT_EQ(main.openChild(), nullptr);
    TLogin_Form::OperatorLevel = 2;
    main.menuAction(kGetAuditTrailItem)->trigger();
    EXPECT_NE(qobject_cast<TMultiAuditTrail_Form*>(main.openChild()), nullptr);
    EXPECT_EQ(MultiAuditTrail_Form, main.openChild());
    main.CloseMyMDI();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(MultiAuditTrail_Form, nullptr);
    TLogin_Form::OperatorLevel = 0;
    clearChildWindowRegistry();
}
