// The Multi-Lock Audit Trail window writing real key files in the emulated reader, and the Lock
// Maintenance window's option shortcuts, keystroke filters and one-off code table.
#include "app/missions/multi_audit_trail_form.h"
#include "app/missions/single_mission_card_form.h"
#include "app/shell/db_grid.h"
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
    Texts issue(TMultiAuditTrail_Form& w, const char* item)
    {
        w.ComboBox1->setCurrentText(item);
        return boxesOf([&] { w.sbMakeCardClick(); });
    }
    static std::vector<std::vector<AuditKeyPageWrite>> writesOf(const char* item)
    {
        const auto choice = std::ranges::find(kAuditTrailChoices, std::string_view(item), &AuditTrailChoice::itemText);
        return auditTrailKeyWrites(*choice, kSite);
    }
};

class LockMaintenanceTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        db.ExecSQL("UPDATE OneOffCode SET OneOffCode = '1111' WHERE CodeNo = 1;"
                   "UPDATE OneOffCode SET OneOffCode = '2222' WHERE CodeNo = 2");
    }
    std::string codes() { return rows("SELECT GROUP_CONCAT(OneOffCode, '|') FROM OneOffCode WHERE CodeNo <= 4")[0][0]; }
    // Alt+key typed at the window, as the operator does; the covered button answers it.
    void alt(QWidget& w, Qt::Key key, QPushButton* button)
    {
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::keyClick(w.windowHandle(), key, Qt::AltModifier);
        EXPECT_TRUE(clicked.count() == 1 || clicked.wait(2000)) << button->text().toStdString();
    }
    // Typed where the operator's keys go: to the widget with the focus.
    static void type(const char* text)
    {
        for (; *text; ++text)
            QTest::keyClick(QApplication::focusWidget(), *text);
    }
};

} // namespace

// The choice shows its locks per key; the key gets its pages, which a lock then fills.
TEST_F(AuditTrailWindowTest, WritesTheChosenKey)
{
    TMultiAuditTrail_Form w;
    EXPECT_EQ(w.ComboBox1->currentText() + " " + w.Label3->text(), "25 63");
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

TEST_F(AuditTrailWindowTest, TwoKeysOrFailedWritesReportTheKindsError)
{
    TMultiAuditTrail_Form w;
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

// Who may open it is the main window's rule, tested there.
TEST_F(AuditTrailWindowTest, OpensFromTheMenuAndIsFreedWhenClosed)
{
    clearChildWindowRegistry();
    registerChildWindow(kGetAuditTrailItem, [] { return new TMultiAuditTrail_Form; });
    TMain_Form main;
    main.show();
    TLogin_Form::OperatorLevel = 2;
    main.menuAction(kGetAuditTrailItem)->trigger();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(MultiAuditTrail_Form, qobject_cast<TMultiAuditTrail_Form*>(main.openChild()));
    EXPECT_NE(MultiAuditTrail_Form, nullptr);
    main.CloseMyMDI();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(MultiAuditTrail_Form, nullptr);
    TLogin_Form::OperatorLevel = 0;
    clearChildWindowRegistry();
}

// Hidden options appear by their shortcuts typed at the window; hiding one also unchecks it.
TEST_F(LockMaintenanceTest, HiddenOptionsAreReachedByTheirShortcuts)
{
    TSingleMissionCard_Form w(&db);
    activate(w); // shortcuts reach the covered buttons only in the active window
    EXPECT_EQ(w.windowTitle() + " " + w.Edit5->text(), "Lock Maintenance 1");
    EXPECT_FALSE(w.PageControl1->isTabVisible(w.loadTimeTablePage) || w.PageControl1->isTabVisible(w.systemCodePage)
                 || w.Edit5->isVisible());
    alt(w, Qt::Key_A, w.BitBtn1);
    EXPECT_TRUE(w.Edit5->isVisible() && w.Label3->isVisible() && w.Label4->isVisible());
    alt(w, Qt::Key_A, w.BitBtn1);
    alt(w, Qt::Key_S, w.BitBtn7);
    EXPECT_FALSE(w.Edit5->isVisible());
    EXPECT_TRUE(w.PageControl1->isTabVisible(w.systemCodePage));
    alt(w, Qt::Key_S, w.BitBtn7);
    EXPECT_FALSE(w.PageControl1->isTabVisible(w.systemCodePage) || w.RadioButton7->isVisible());
    w.CheckBox1->setChecked(true);
    EXPECT_TRUE(w.CheckBox1->isVisible() && w.RadioButton7->isVisible() && w.RadioButton7->isChecked());
    w.CheckBox1->setChecked(false);
    EXPECT_FALSE(w.RadioButton8->isVisible());

    alt(w, Qt::Key_R, w.BitBtn4);
    w.CheckBox3->setChecked(true);
    ASSERT_TRUE(w.CheckBox3->isVisible() && w.ComboBox2->isVisible());
    QTest::keyClicks(w.ComboBox2->lineEdit(), "a1fg-"); // hex digits only, upper-cased
    EXPECT_EQ(w.ComboBox2->currentText(), "A1F");
    alt(w, Qt::Key_R, w.BitBtn4);
    EXPECT_FALSE(w.CheckBox3->isVisible() || w.CheckBox3->isChecked() || w.ComboBox2->isVisible());
    alt(w, Qt::Key_R, w.BitBtn4);
    EXPECT_TRUE(w.CheckBox3->isVisible());
    EXPECT_FALSE(w.CheckBox3->isChecked() || w.ComboBox2->isVisible());
    alt(w, Qt::Key_M, w.BitBtn5);
    w.CheckBox5->setChecked(true);
    EXPECT_EQ(w.ComboBox1->currentText() + (w.ComboBox1->isVisible() ? " shown" : ""), "Low shown");
    alt(w, Qt::Key_M, w.BitBtn5);
    EXPECT_FALSE(w.CheckBox5->isChecked() || w.ComboBox1->isVisible());
}

// The operator's path: a digit, F2 or a double click opens a "One-off Code" cell's editor,
// only digits and backspace get in (Delete and Escape keep their meaning), and Save and
// Clear write what was typed, or keep what the database refuses.
TEST_F(LockMaintenanceTest, OneOffCodesAreTypedSavedAndClearedByTheOperator)
{
    TSingleMissionCard_Form w(&db);
    activate(w);
    QTabBar* tabs = w.PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(7).center());
    TDBGrid* grid = w.DBGrid3;
    const int column = grid->gridModel()->columnOf("OneOffCode");
    auto cell = [&](int row) { return grid->visualRect(grid->model()->index(row, column)).center(); };
    auto editorText = [] {
        QCoreApplication::processEvents();
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor ? editor->text().toStdString() : std::string("<no editor>");
    };

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(2));
    type("a");
    EXPECT_EQ(editorText(), "<no editor>"); // a letter opens nothing
    type("712a4");
    for (Qt::Key k : { Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Home, Qt::Key_Delete })
        QTest::keyClick(QApplication::focusWidget(), k);
    EXPECT_EQ(editorText(), "12"); // Enter is discarded too: the edit goes on
    QTest::mouseClick(w.BitBtn3, Qt::LeftButton);
    EXPECT_EQ(codes(), "1111|2222|12|");
    EXPECT_EQ(w.OneOffCode_Table.RecNo(), 1); // reopened on its first row
    // F2 on row 1; the double click on row 2 ends that edit and writes it.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(0));
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    EXPECT_EQ(editorText(), "111");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(1));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell(1));
    EXPECT_EQ(codes(), "111|2222|12|");
    type("5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // drops the edit
    EXPECT_EQ(editorText(), "<no editor>");
    QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(codes(), "111||12|");
    EXPECT_EQ(w.OneOffCode_Table.FieldByName("CodeNo").AsInteger(), 1);
    // Save by its handler alone, the editor still open (as a shortcut does): what is typed counts.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(3));
    type("4321");
    w.BitBtn3Click();
    EXPECT_EQ(codes(), "111||12|4321");
    // A write the database refuses keeps its value and is told.
    db.ExecSQL("CREATE TRIGGER refuse BEFORE UPDATE ON OneOffCode BEGIN SELECT RAISE(ABORT, 'one-off codes are locked'); END");
    w.BitBtn6Click();
    EXPECT_EQ(codes(), "111||12|4321");
    EXPECT_EQ(w.OneOffCode_Table.FieldByName("OneOffCode").AsString(), "111");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("one-off codes are locked"), std::string::npos);
    // On an empty table Save and Clear add no row.
    db.ExecSQL("DELETE FROM OneOffCode");
    TSingleMissionCard_Form empty(&db);
    empty.BitBtn6Click();
    empty.BitBtn3Click();
    EXPECT_EQ(count("SELECT * FROM OneOffCode") + empty.OneOffCode_Table.RecordCount(), 0);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}
