// The Copy Lock Settings window on a real database file and key files in the emulated reader.
#include "app/missions/multi_time_assignment_form.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace mltest;

namespace {

class CopyWindow : public TMultiTimeAssignment_Form {
public:
    using TMultiTimeAssignment_Form::TMultiTimeAssignment_Form;
    std::string nextLock;

protected:
    void runLockPicker() override { SettingsRecord.PickedLockSerialID = nextLock; }
};

class CopySettingsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // The model lock 2 (schedule 3) accepts users 1, 4 (holiday, groups 3/2) and 6
        // (inactive); lock 5 has a list of its own.
        listUser(2, 1, 1, 1, false);
        listUser(2, 4, 3, 2, true);
        listUser(2, 6, 1, 1, false);
        listUser(5, 3, 2, 1, false);
    }
    void chooseModel(CopyWindow& w, int lock)
    {
        w.nextLock = lock ? lockSerial(lock) : std::string();
        w.Edit1DblClick();
    }
    void mark(CopyWindow& w, std::initializer_list<int> lockIds)
    {
        for (int id : lockIds) {
            ASSERT_TRUE(w.LockList_Query.Locate("LockID", DbVariant(id)));
            w.DBGrid2CellClick(w.DBGrid2->gridModel()->columnOf("Used"));
        }
    }
    std::vector<std::vector<std::string>> lists()
    {
        return rows("SELECT LockID, KeyID, TimeShiftID, ActExpDateID, ExpDateID, ExpDate, Status, KeyCode FROM LockKeyManagement"
                    " ORDER BY LockID, KeyID");
    }
    std::vector<std::vector<std::string>> schedules() { return rows("SELECT LockID, LockStatusID FROM LockManagement ORDER BY LockID"); }
};

} // namespace

TEST_F(CopySettingsTest, OpensWithEveryLockUnmarked)
{
    CopyWindow w(nullptr, &db);
    EXPECT_EQ(w.windowTitle(), "Copy Lock Settings");
    EXPECT_FALSE(w.CheckBox1->isChecked());
    EXPECT_TRUE(w.CheckBox2->isChecked());
    EXPECT_FALSE(w.sbMakeCard->isEnabled());
    EXPECT_EQ(w.LockList_Query.RecordCount(), 9);
    EXPECT_EQ(count("SELECT * FROM TempLock1 WHERE Used = 0"), 9);
    EXPECT_EQ(w.DBGrid2->gridModel()->columnCount(), 4);
}

TEST_F(CopySettingsTest, ModelLockAndMarks)
{
    CopyWindow w(nullptr, &db);
    chooseModel(w, 2);
    EXPECT_EQ(w.Edit1->text().toStdString(), lockSerial(2));
    EXPECT_TRUE(w.sbMakeCard->isEnabled());
    mark(w, { 3, 4 });
    EXPECT_EQ(rows("SELECT LockID FROM TempLock1 WHERE Used = 1 ORDER BY LockID"),
              (std::vector<std::vector<std::string>> { { "3" }, { "4" } }));
    mark(w, { 4 });
    EXPECT_EQ(count("SELECT * FROM TempLock1 WHERE Used = 1"), 1);
    chooseModel(w, 2); // the same model: marks stay
    EXPECT_EQ(count("SELECT * FROM TempLock1 WHERE Used = 1"), 1);
    chooseModel(w, 3); // another: marks cleared
    EXPECT_EQ(count("SELECT * FROM TempLock1 WHERE Used = 1"), 0);
    chooseModel(w, 0); // the picker closed
    EXPECT_TRUE(w.Edit1->text().isEmpty());
    EXPECT_FALSE(w.sbMakeCard->isEnabled());
}

// The operator's path in the lock list: a click on a "Selected" cell or the space bar on that
// column marks a lock; the space bar elsewhere does nothing, and the arrows move as usual.
TEST_F(CopySettingsTest, MarksByClickAndSpaceBar)
{
    CopyWindow w(nullptr, &db);
    w.show();
    auto* grid = w.DBGrid2;
    const int used = grid->gridModel()->columnOf("Used");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(2, used)).center());
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Space);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(grid->currentIndex().row(), 4);
    EXPECT_EQ(rows("SELECT LockID FROM TempLock1 WHERE Used = 1 ORDER BY LockID"),
              (std::vector<std::vector<std::string>> { { "3" }, { "4" } }));
}

TEST_F(CopySettingsTest, CopiesScheduleAndUsers)
{
    const RomId key = putUsedKey(1);
    CopyWindow w(nullptr, &db);
    chooseModel(w, 2);
    w.CheckBox1->setChecked(true);
    mark(w, { 2, 3, 5 }); // the model itself is listed on the key but not copied onto
    const auto before = lists();
    db.ExecSQL("UPDATE LockKeyManagement SET SerialID = NULL, KeyCode = NULL, UserType = NULL, FirstName = NULL"
               " WHERE LockID = 2 AND KeyID = 6");
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Time Table Key OK." });
    EXPECT_EQ(w.ProgressBar1->value(), 0);

    std::vector<int> expected;
    for (int p = 0; p <= 18; ++p)
        expected.push_back(p);
    expected.push_back(352);
    EXPECT_EQ(writtenPages(key), expected);
    EXPECT_EQ(slice(page(key, 0), 0, 12), (std::vector<uint8_t> { 'W', 'R', 'I', 'T', 'E', 0x02, 0x12, 0x34, 0x56, 0x00, 0x03, 0xFF }));
    EXPECT_EQ(slice(page(key, 1), 0, 7), (std::vector<uint8_t> { 0x1C, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFF }));
    EXPECT_EQ(slice(page(key, 2), 35, 5), (std::vector<uint8_t> { 0x08, 0x00, 0x17, 0x30, 0x02 }));
    EXPECT_EQ(slice(page(key, 2 + 8), 48, 5), (std::vector<uint8_t> { 0x08, 0x15, 0x3E, 0x01, 0xFF }));
    // Active users 1 and 4 of the model's list; 6 is inactive.
    const auto e = page(key, 18);
    const RomId u1 = *romIdFromText(userSerial(1));
    EXPECT_TRUE(std::equal(u1.begin(), u1.end(), e.begin() + 8));
    EXPECT_EQ(slice(e, 20, 6), (std::vector<uint8_t> { 0x04, 0x12, 0x34, 0x00, 0x00, 0x00 }));
    EXPECT_EQ(slice(e, 36, 4), (std::vector<uint8_t> { 0x02, 0x01, 0xFF, 0xFF }));
    EXPECT_EQ(slice(e, 40, 24), std::vector<uint8_t>(24, 0xFF));
    const auto l = page(key, 352);
    for (int i = 0; i < 3; ++i) {
        const RomId r = *romIdFromText(lockSerial(i == 0 ? 2 : i == 1 ? 3 : 5));
        EXPECT_TRUE(std::equal(r.begin(), r.end(), l.begin() + 8 * i)) << i;
    }
    EXPECT_EQ(slice(l, 24, 40), std::vector<uint8_t>(40, 0xFF));

    // Targets 3 and 5 take schedule 3 and the model's whole list (the inactive user too).
    EXPECT_EQ(rows("SELECT LockStatusID FROM LockManagement WHERE LockID IN (3, 4, 5) ORDER BY LockID"),
              (Rows { { "3" }, { "1" }, { "3" } }));
    const auto after = lists();
    std::vector<std::vector<std::string>> modelRows;
    for (const auto& r : before)
        if (r[0] == "2")
            modelRows.push_back(r);
    EXPECT_EQ(modelRows.size(), 3u);
    for (const char* target : { "3", "5" }) {
        std::vector<std::vector<std::string>> got;
        for (auto r : after)
            if (r[0] == target) {
                r[0] = "2";
                got.push_back(r);
            }
        EXPECT_EQ(got, modelRows) << target;
    }
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 5 AND LastSetupTime = '2025-05-06 07:08:09'"), 0);
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 2 AND LastSetupTime = '2025-05-06 07:08:09'"), 3);
    // Id, code and contact fields that are null become empty text; type, names and status are copied as they are.
    EXPECT_EQ(rows("SELECT SerialID, KeyCode, Department, Title, Address, ContactInfor, UserType, FirstName, LastName, Status"
                   " FROM LockKeyManagement WHERE LockID = 3 AND KeyID = 6"),
              (Rows { { "", "", "", "", "", "", "<null>", "<null>", "Frost", "Inactive" } }));
}

TEST_F(CopySettingsTest, NeitherBoxKeepsTheDatabase)
{
    const RomId key = putUsedKey(2);
    CopyWindow w(nullptr, &db);
    chooseModel(w, 1); // schedule 1: flag 5Ah
    w.CheckBox2->setChecked(false);
    const auto before = lists();
    const auto plans = schedules();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Time Table Key OK." });
    EXPECT_EQ(writtenPages(key), (std::vector<int> { 0, 1, 352 }));
    EXPECT_EQ(slice(page(key, 0), 9, 2), (std::vector<uint8_t> { 0x00, 0x00 }));
    EXPECT_EQ(slice(page(key, 1), 0, 6), (std::vector<uint8_t> { 0x04, 0x00, 0x00, 0x5A, 0x00, 0x00 }));
    EXPECT_TRUE(allFF(page(key, 352)));
    EXPECT_EQ(lists(), before);
    EXPECT_EQ(schedules(), plans);
}

TEST_F(CopySettingsTest, KeyListPagesAndAModelWithoutActiveKeys)
{
    listUser(2, 2, 1, 1, false);
    listUser(2, 3, 1, 1, false); // three active keys now
    const RomId key = putUsedKey(3);
    CopyWindow w(nullptr, &db);
    chooseModel(w, 2);
    w.CheckBox1->setChecked(true);
    w.CheckBox2->setChecked(false);
    w.sbMakeCardClick();
    EXPECT_EQ(writtenPages(key), (std::vector<int> { 0, 1, 18, 19, 352 }));
    EXPECT_EQ(page(key, 1)[0], 0x0C);
    EXPECT_EQ(page(key, 1)[5], 4);
    EXPECT_NE(page(key, 19)[0], 0xFF); // the fourth entry
    EXPECT_EQ(page(key, 19)[20], 0xFF);

    // A model whose only users are inactive: no key list, and its (inactive) list is still copied.
    const RomId other = putUsedKey(4);
    fs::remove(onewire::keyFilePath(keys, key));
    listUser(7, 6, 1, 1, false);
    chooseModel(w, 7);
    mark(w, { 5 });
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Time Table Key OK." });
    EXPECT_EQ(writtenPages(other), (std::vector<int> { 0, 1, 352 }));
    EXPECT_EQ(slice(page(other, 1), 0, 6), (std::vector<uint8_t> { 0x0C, 0x00, 0x00, 0x5A, 0x00, 0x00 }));
    EXPECT_EQ(rows("SELECT KeyID FROM LockKeyManagement WHERE LockID = 5"), (std::vector<std::vector<std::string>> { { "6" } }));
}

TEST_F(CopySettingsTest, AFailedWriteCopiesNothing)
{
    const RomId key = putUsedKey(5);
    CopyWindow w(nullptr, &db);
    chooseModel(w, 2);
    w.CheckBox1->setChecked(true);
    mark(w, { 3, 5 });
    const auto before = lists();
    const auto plans = schedules();
    reader->faults().removeAfterPages[key] = 6;
    w.sbMakeCardClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Write Multi-Lock Time Table Key Error.");
    EXPECT_EQ(dialogs.boxes.back().type, BoxType::Error);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    reader->faults().removeAfterPages.clear();
    reader->faults().takenAway.clear();
    EXPECT_TRUE(allFF(page(key, 0))); // blanked, never the old header over half a key
    EXPECT_EQ(lists(), before);
    EXPECT_EQ(schedules(), plans);
}

TEST_F(CopySettingsTest, NoKeyInTheReader)
{
    CopyWindow w(nullptr, &db);
    chooseModel(w, 2);
    mark(w, { 3 });
    const auto plans = schedules();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Please Plug in your program Key." });
    EXPECT_EQ(schedules(), plans);
}

TEST_F(CopySettingsTest, ADatabaseErrorUndoesTheWholeCopyAndTheKey)
{
    const RomId key = putKey(6);
    CopyWindow w(nullptr, &db);
    chooseModel(w, 2);
    w.CheckBox1->setChecked(true);
    mark(w, { 3, 5 });
    const auto before = lists();
    const auto plans = schedules();
    db.ExecSQL("CREATE TRIGGER refuse_copy BEFORE INSERT ON LockKeyManagement WHEN NEW.LockID = 5"
               " BEGIN SELECT RAISE(ABORT, 'copy refused'); END");
    w.sbMakeCardClick();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("copy refused"), std::string::npos);
    EXPECT_EQ(dialogs.boxes[1].text, "Write Multi-Lock Time Table Key Error.");
    EXPECT_EQ(page(key, 1)[0], 0x1C); // the pages went on, page 0 did not
    EXPECT_TRUE(allFF(page(key, 0)));
    EXPECT_EQ(lists(), before); // lock 3's list and both schedules untouched
    EXPECT_EQ(schedules(), plans);
}
