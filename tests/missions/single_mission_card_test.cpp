// The Lock Maintenance window's option shortcuts, keystroke filters and one-off code table,
// on a copy of the supplied database.
#include "app/missions/single_mission_card_form.h"
#include "app/shell/db_grid.h"
#include "keyaccess/dialog_layer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class LockMaintenanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder);
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", folder / "db.db", fs::copy_options::overwrite_existing);
        db.Open((folder / "db.db").string());
        db.ExecSQL("UPDATE OneOffCode SET OneOffCode = '1111' WHERE CodeNo = 1");
        db.ExecSQL("UPDATE OneOffCode SET OneOffCode = '2222' WHERE CodeNo = 2");
    }
    void TearDown() override
    {
        db.Close();
        fs::remove_all(folder);
    }
    std::string codeOf(int codeNo)
    {
        TDbQuery q(&db);
        q.SQL.Add("SELECT OneOffCode FROM OneOffCode WHERE CodeNo = :No");
        q.ParamByName("No").AsInteger(codeNo);
        q.Open();
        return q.FieldByName("OneOffCode").AsString();
    }
    // Shortcuts reach the covered buttons only in the active window.
    void activate(QWidget& w)
    {
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    // Alt+key typed at the window, as the operator does; the covered button answers it.
    void alt(QWidget& w, Qt::Key key, QPushButton* button)
    {
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::keyClick(w.windowHandle(), key, Qt::AltModifier);
        EXPECT_TRUE(clicked.count() == 1 || clicked.wait(2000)) << button->text().toStdString();
    }

    fs::path folder = fs::temp_directory_path() / ("lock-maintenance-" + std::to_string(::getpid()));
    TDbConnection db;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(LockMaintenanceTest, HiddenOptionsAppearByTheirShortcuts)
{
    TSingleMissionCard_Form w(&db);
    activate(w);
    EXPECT_EQ(w.windowTitle(), "Lock Maintenance");
    EXPECT_FALSE(w.PageControl1->isTabVisible(w.loadTimeTablePage));
    EXPECT_FALSE(w.PageControl1->isTabVisible(w.systemCodePage));
    EXPECT_FALSE(w.Edit5->isVisible());
    EXPECT_EQ(w.Edit5->text(), "1");

    alt(w, Qt::Key_A, w.BitBtn1);
    EXPECT_TRUE(w.Edit5->isVisible());
    EXPECT_TRUE(w.Label3->isVisible());
    EXPECT_TRUE(w.Label4->isVisible());
    alt(w, Qt::Key_A, w.BitBtn1);
    EXPECT_FALSE(w.Edit5->isVisible());

    EXPECT_TRUE(w.CheckBox1->isVisible());
    EXPECT_FALSE(w.RadioButton7->isVisible());
    w.CheckBox1->setChecked(true);
    EXPECT_TRUE(w.RadioButton7->isVisible());
    EXPECT_TRUE(w.RadioButton7->isChecked());
    w.CheckBox1->setChecked(false);
    EXPECT_FALSE(w.RadioButton8->isVisible());

    alt(w, Qt::Key_S, w.BitBtn7);
    EXPECT_TRUE(w.PageControl1->isTabVisible(w.systemCodePage));
    alt(w, Qt::Key_S, w.BitBtn7);
    EXPECT_FALSE(w.PageControl1->isTabVisible(w.systemCodePage));
}

TEST_F(LockMaintenanceTest, HidingAnOptionAlsoUnchecksIt)
{
    TSingleMissionCard_Form w(&db);
    activate(w);
    alt(w, Qt::Key_R, w.BitBtn4);
    ASSERT_TRUE(w.CheckBox3->isVisible());
    w.CheckBox3->setChecked(true);
    EXPECT_TRUE(w.ComboBox2->isVisible());
    alt(w, Qt::Key_R, w.BitBtn4);
    EXPECT_FALSE(w.CheckBox3->isVisible());
    EXPECT_FALSE(w.CheckBox3->isChecked());
    EXPECT_FALSE(w.ComboBox2->isVisible());
    alt(w, Qt::Key_R, w.BitBtn4);
    EXPECT_TRUE(w.CheckBox3->isVisible());
    EXPECT_FALSE(w.CheckBox3->isChecked());
    EXPECT_FALSE(w.ComboBox2->isVisible());

    alt(w, Qt::Key_M, w.BitBtn5);
    w.CheckBox5->setChecked(true);
    EXPECT_TRUE(w.ComboBox1->isVisible());
    EXPECT_EQ(w.ComboBox1->currentText(), "Low");
    alt(w, Qt::Key_M, w.BitBtn5);
    EXPECT_FALSE(w.CheckBox5->isChecked());
    EXPECT_FALSE(w.ComboBox1->isVisible());
}

TEST_F(LockMaintenanceTest, KeystrokeFilters)
{
    EXPECT_EQ(TSingleMissionCard_Form::ComboBox2KeyPress('a'), 'A');
    EXPECT_EQ(TSingleMissionCard_Form::ComboBox2KeyPress('F'), 'F');
    EXPECT_EQ(TSingleMissionCard_Form::ComboBox2KeyPress(0x08), 0x08);
    EXPECT_EQ(TSingleMissionCard_Form::ComboBox2KeyPress(0x07), 0x07);
    EXPECT_EQ(TSingleMissionCard_Form::ComboBox2KeyPress('g'), 0);
    EXPECT_EQ(TSingleMissionCard_Form::ComboBox2KeyPress('-'), 0);
    EXPECT_EQ(TSingleMissionCard_Form::DBGrid3KeyPress('7'), '7');
    EXPECT_EQ(TSingleMissionCard_Form::DBGrid3KeyPress(0x08), 0x08);
    EXPECT_EQ(TSingleMissionCard_Form::DBGrid3KeyPress('a'), 0);
    EXPECT_EQ(TSingleMissionCard_Form::DBGrid3KeyPress('\r'), 0);

    TSingleMissionCard_Form w(&db);
    activate(w);
    alt(w, Qt::Key_R, w.BitBtn4);
    w.CheckBox3->setChecked(true);
    QTest::keyClicks(w.ComboBox2->lineEdit(), "a1fg-");
    EXPECT_EQ(w.ComboBox2->currentText(), "A1F");
}

TEST_F(LockMaintenanceTest, OneOffCodeGridTakesDigitsOnly)
{
    TSingleMissionCard_Form w(&db);
    activate(w);
    w.PageControl1->setCurrentIndex(7);
    const int column = w.DBGrid3->gridModel()->columnOf("OneOffCode");
    const QModelIndex cell = w.DBGrid3->model()->index(2, column);
    w.DBGrid3->setCurrentIndex(cell);
    w.DBGrid3->edit(cell);
    auto* editor = w.DBGrid3->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "12a4");
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_Return); // discarded: the edit stays open
    EXPECT_EQ(editor->text(), "12");
    EXPECT_NE(w.DBGrid3->findChild<QLineEdit*>(), nullptr);
}

TEST_F(LockMaintenanceTest, SaveAndClearWriteTheCurrentRowAtOnce)
{
    TSingleMissionCard_Form w(&db);
    ASSERT_EQ(w.OneOffCode_Table.RecordCount(), 10);
    w.OneOffCode_Table.SetRecNo(2);
    w.BitBtn6Click();
    EXPECT_EQ(codeOf(2), "");
    EXPECT_EQ(codeOf(1), "1111");
    EXPECT_EQ(w.OneOffCode_Table.RecNo(), 1); // reopened on its first row

    w.OneOffCode_Table.SetRecNo(3);
    w.OneOffCode_Table.Edit();
    w.OneOffCode_Table.FieldByName("OneOffCode").AsString("4321");
    w.BitBtn3Click();
    EXPECT_EQ(codeOf(3), "4321");

    // Save with no change leaves the table as it was.
    w.OneOffCode_Table.SetRecNo(3);
    w.BitBtn3Click();
    EXPECT_EQ(codeOf(3), "4321");
    EXPECT_EQ(codeOf(2), "");
    EXPECT_EQ(w.OneOffCode_Table.RecNo(), 1);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(LockMaintenanceTest, ARefusedWriteKeepsTheDatabaseValue)
{
    db.ExecSQL("CREATE TRIGGER refuse BEFORE UPDATE ON OneOffCode BEGIN SELECT RAISE(ABORT, 'one-off codes are locked'); END");
    TSingleMissionCard_Form w(&db);
    w.OneOffCode_Table.SetRecNo(1);
    w.BitBtn6Click();
    EXPECT_EQ(codeOf(1), "1111");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("one-off codes are locked"), std::string::npos);
    EXPECT_EQ(w.OneOffCode_Table.FieldByName("OneOffCode").AsString(), "1111");
}

TEST_F(LockMaintenanceTest, SaveAndClearOnAnEmptyTableAddNoRow)
{
    db.ExecSQL("DELETE FROM OneOffCode");
    TSingleMissionCard_Form w(&db);
    ASSERT_EQ(w.OneOffCode_Table.RecordCount(), 0);
    w.BitBtn6Click();
    w.BitBtn3Click();
    TDbQuery q(&db);
    q.SQL.Add("SELECT COUNT(*) AS N FROM OneOffCode");
    q.Open();
    EXPECT_EQ(q.FieldByName("N").AsInteger(), 0);
    EXPECT_EQ(w.OneOffCode_Table.RecordCount(), 0);
    EXPECT_TRUE(dialogs.boxes.empty());
}
