// The Multi-Lock Audit Trail window writing real key files in the emulated reader.
#include "app/missions/multi_audit_trail_form.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/window_registry.h"
#include "keyformats/audit_trail_keys.h"
#include "locksim/sim_lock.h"
#include "missions/window_fixture.h"

using namespace wintest;

namespace {

class AuditTrailWindowTest : public WindowTest {
protected:
    // The choice made and OK pressed; the boxes shown.
    Texts issue(TMultiAuditTrail_Form& w, const char* item)
    {
        w.ComboBox1->setCurrentText(item);
        dialogs.boxes.clear();
        w.sbMakeCardClick();
        return dialogs.texts();
    }
    static std::vector<std::vector<AuditKeyPageWrite>> writesOf(const char* item)
    {
        for (const auto& c : kAuditTrailChoices)
            if (c.itemText == item)
                return auditTrailKeyWrites(c, kSite);
        return {};
    }
};

} // namespace

// The choice shows its locks per key; the key gets its pages, which a lock then fills.
TEST_F(AuditTrailWindowTest, WritesTheChosenKey)
{
    TMultiAuditTrail_Form w;
    EXPECT_EQ(w.ComboBox1->currentText() + " " + w.Label3->text(), "25 63");
    ASSERT_EQ(w.ComboBox1->count(), int(kAuditTrailChoices.size()));
    for (const char* item : { "2000", "400" }) {
        const RomId key = putUsedKey(item[0]);
        const bool multiLock = item[0] == '4';
        EXPECT_EQ(issue(w, item), Texts { multiLock ? "Write Multi-Lock Audit Trail Key OK." : "Write Get Audit Trail Key OK." });
        EXPECT_EQ(std::tuple(w.Label3->text(), w.ProgressBar1->value(), writtenPages(key).size()),
                  std::tuple(QString(multiLock ? "5" : "1"), 0, multiLock ? 2u : 1u));
        for (const auto& writes = writesOf(item); const auto& write : writes[0])
            EXPECT_EQ(page(key, write.page), write.image) << item << " page " << write.page;
        if (!multiLock)
            fs::remove(onewire::keyFilePath(keys, key));
    }
    locksim::SimLock lock({ 0x37, 9, 9, 9, 0, 0, 0, 0x11 }, kSite, std::chrono::local_days { std::chrono::year { 2026 } / 3 / 1 });
    lock.record(locksim::AuditEvent::ofLock(1, lock.clock()));
    locksim::Ds1977Memory memory;
    for (int p = 0; p < locksim::kPages; ++p)
        memory.pages[p] = page(onewire::makeRomId(onewire::kFamilyDS1977, '4'), p);
    EXPECT_EQ(lock.visit(memory), locksim::VisitResult::Filled);
    EXPECT_EQ(memory.pages[1][0], 1);
}

TEST_F(AuditTrailWindowTest, NoKeyTwoKeysOrFailedWritesReportTheKindsError)
{
    TMultiAuditTrail_Form w;
    ASSERT_EQ(issue(w, "2000"), Texts { "Please Plug in your program Key." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    // A key filled at a lock and a blank one: neither is written.
    const RomId filled = putKey(1, 0x5A), key = putKey(3);
    EXPECT_EQ(issue(w, "2000"), Texts { kOneKeyOnlyMessage });
    EXPECT_TRUE(allBytes(page(filled, 0), 0x5A) && allBytes(page(key, 0), 0xFF));
    fs::remove(onewire::keyFilePath(keys, filled));
    const Texts multiLockError { "Write Multi-Lock Audit Trail Key Error." };
    // Page 1 goes first on a multi-lock key: noise on every write leaves the key untouched.
    reader->faults().corruptions.push_back({ 12, 0x01, 1000 });
    EXPECT_EQ(issue(w, "25"), multiLockError);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_EQ(issue(w, "2000"), Texts { "Write Get Audit Trail Key Error." });
    EXPECT_TRUE(allBytes(page(key, 0), 0xFF) && allBytes(page(key, 1), 0xFF));
    // The key pulled after page 1: page 0 never gets a header over the fresh count.
    reader->faults().corruptions.clear();
    reader->faults().removeAfterPages[key] = 1;
    EXPECT_EQ(issue(w, "25"), multiLockError);
    EXPECT_EQ(page(key, 1)[0], 0x00);
    EXPECT_EQ(page(key, 0)[0], 0xFF);
}

TEST_F(AuditTrailWindowTest, TwoKeyTrailNeverOverwritesTheFirstKey)
{
    const RomId first = putKey(5), second = onewire::makeRomId(onewire::kFamilyDS1977, 6);
    const fs::path aside = folder / "second.key", firstAside = folder / "first.key";
    ASSERT_TRUE(onewire::saveKeyFile(aside, onewire::blankDS1977(second)));
    TMultiAuditTrail_Form w;
    // The operator presses OK with the first key still in the reader, is told so, then swaps.
    int prompts = 0;
    dialogs.onBox = [&](const std::string& text) {
        if (text.rfind("This is the first program key.", 0) == 0 && ++prompts == 1) {
            fs::rename(onewire::keyFilePath(keys, first), firstAside);
            fs::rename(aside, onewire::keyFilePath(keys, second));
        }
    };
    EXPECT_EQ(issue(w, "3000+"), (Texts { "Complete the first program key. Please plug in the second program key and press ok.",
                                          "This is the first program key. Please plug in the second program key and press ok.",
                                          "Write Get Audit Trail Key OK." }));
    fs::rename(firstAside, onewire::keyFilePath(keys, first));
    const auto writes = writesOf("3000+");
    EXPECT_EQ(std::tuple(page(first, 0), page(second, 0)), std::tuple(writes[0][0].image, writes[1][0].image));
    // Given up at the second key: an error, and the first key stays usable.
    dialogs.onBox = {};
    dialogs.answers = { BoxResult::Ok, BoxResult::Cancel };
    fs::remove(onewire::keyFilePath(keys, second));
    EXPECT_EQ(issue(w, "3000+").back(), "Write Get Audit Trail Key Error.");
    EXPECT_TRUE(dialogs.boxes.size() == 3 && dialogs.boxes[2].type == BoxType::Error);
    EXPECT_EQ(page(first, 0), writes[0][0].image);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
}

TEST_F(AuditTrailWindowTest, OnlyAnAdministratorOpensIt)
{
    clearChildWindowRegistry();
    registerChildWindow(kGetAuditTrailItem, [] { return new TMultiAuditTrail_Form; });
    TMain_Form main;
    main.show();
    for (int level : { 1, 2 }) {
        TLogin_Form::OperatorLevel = level;
        main.menuAction(kGetAuditTrailItem)->trigger();
    }
    EXPECT_EQ(dialogs.texts(), Texts { "This funtion need higher user level." });
    EXPECT_EQ(MultiAuditTrail_Form, qobject_cast<TMultiAuditTrail_Form*>(main.openChild()));
    EXPECT_NE(MultiAuditTrail_Form, nullptr);
    main.CloseMyMDI();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(MultiAuditTrail_Form, nullptr);
    TLogin_Form::OperatorLevel = 0;
    clearChildWindowRegistry();
}
