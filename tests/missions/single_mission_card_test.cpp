// The Lock Maintenance window's option shortcuts, keystroke filters and one-off code table,
// on a copy of the supplied database.
#include "app/missions/single_mission_card_form.h"
#include "app/shell/db_grid.h"
#include "missions/window_fixture.h"

using namespace wintest;

namespace {

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

// Hidden options appear by their shortcuts typed at the window; hiding one also unchecks it.
TEST_F(LockMaintenanceTest, HiddenOptionsAppearByTheirShortcuts)
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
// only digits and backspace get in (Delete and Escape keep their meaning), and Save and Clear
// write what was typed.
TEST_F(LockMaintenanceTest, OneOffCodesAreTypedIntoTheGrid)
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
    EXPECT_TRUE(dialogs.boxes.empty());
}

// A write the database refuses keeps its value and is told; on an empty table Save and Clear
// add no row.
TEST_F(LockMaintenanceTest, RefusedWritesAndAnEmptyTable)
{
    db.ExecSQL("CREATE TRIGGER refuse BEFORE UPDATE ON OneOffCode BEGIN SELECT RAISE(ABORT, 'one-off codes are locked'); END");
    auto w = std::make_unique<TSingleMissionCard_Form>(&db);
    w->OneOffCode_Table.SetRecNo(1);
    w->BitBtn6Click();
    EXPECT_EQ(codes(), "1111|2222||");
    EXPECT_EQ(w->OneOffCode_Table.FieldByName("OneOffCode").AsString(), "1111");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("one-off codes are locked"), std::string::npos);

    db.ExecSQL("DELETE FROM OneOffCode");
    w = std::make_unique<TSingleMissionCard_Form>(&db);
    w->BitBtn6Click();
    w->BitBtn3Click();
    EXPECT_EQ(count("SELECT * FROM OneOffCode") + w->OneOffCode_Table.RecordCount(), 0);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}
