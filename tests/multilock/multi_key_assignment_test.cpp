// The Multi-Lock Programming window on a real database file and key files in the emulated
// reader.
#include "app/missions/multi_key_assignment_form.h"
#include "window_test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QApplication>
#include <QHeaderView>
#include <QTabBar>
#include <QTest>

using namespace mltest;

namespace {

// The pickers answer what the test queued (an empty serial or 0: the picker was closed).
class MultiLockWindow : public TMultiKeyAssignment_Form {
public:
    using TMultiKeyAssignment_Form::TMultiKeyAssignment_Form;
    std::string nextLock;
    int nextGroup = 0;
    int lockPickerRuns = 0;

protected:
    void runLockPicker() override
    {
        ++lockPickerRuns;
        SettingsRecord.PickedLockSerialID = nextLock;
    }
    void runTimeShiftPicker() override
    {
        SettingsRecord.PickedTimeGroupID = static_cast<uint8_t>(nextGroup);
        SettingsRecord.PickTimeShiftMode = 0;
    }
    void runActExpPicker() override
    {
        SettingsRecord.PickedActExpGroupID = static_cast<uint8_t>(nextGroup);
        SettingsRecord.PickActExpMode = 0;
    }
};

class MultiLockTest : public WindowTest {
protected:
    void pick(MultiLockWindow& w, int tab, int lock)
    {
        w.TabControl1->setCurrentIndex(tab);
        w.nextLock = lock ? lockSerial(lock) : std::string();
        w.Edit1Enter();
    }
    int column(MultiLockWindow& w, const char* field) { return w.DBGrid2->gridModel()->columnOf(field); }
    // Moves the grid to the user's row and clicks or double-clicks a column.
    void onRow(MultiLockWindow& w, int keyId)
    {
        ASSERT_TRUE(w.KeyList_Query.Locate("KeyID", DbVariant(keyId)));
    }
    void select(MultiLockWindow& w, std::initializer_list<int> keyIds)
    {
        for (int id : keyIds) {
            onRow(w, id);
            w.DBGrid2CellClick(column(w, "Used"));
        }
    }
};

} // namespace

TEST_F(MultiLockTest, OpensOnAnEmptyFirstPage)
{
    db.ExecSQL("INSERT INTO TempLock1 (LockID, SerialID, TabPageID, Used) VALUES (1, 'X', 0, 1);"
               "INSERT INTO TempLockKey (LockID, KeyID, Used) VALUES (1, 1, 1)");
    MultiLockWindow w(nullptr, &db);
    EXPECT_EQ(w.windowTitle(), "Multi-Lock Programming");
    EXPECT_EQ(w.TabControl1->count(), 8);
    EXPECT_EQ(w.TabControl1->tabText(0), "Lock 1");
    EXPECT_EQ(w.TabControl1->currentIndex(), 0);
    EXPECT_TRUE(w.Edit1->text().isEmpty());
    EXPECT_FALSE(w.DBGrid2->isEnabled());
    EXPECT_EQ(w.KeyList_Query.RecordCount(), 0);
    EXPECT_EQ(count("SELECT * FROM TempLock1") + count("SELECT * FROM TempLockKey"), 0);
    EXPECT_EQ(w.Label4->text(), "1");
    EXPECT_EQ(w.ProgressBar1->maximum(), 480);
}

TEST_F(MultiLockTest, ChoosingLocksForPages)
{
    listUser(1, 2, 2, 2, true);
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 1);
    EXPECT_EQ(w.Edit1->text().toStdString(), lockSerial(1));
    EXPECT_EQ(w.Edit2->text(), "Room 101");
    EXPECT_EQ(w.Edit3->text(), "Floor 1");
    EXPECT_EQ(w.CurrentLockID, 1);
    EXPECT_TRUE(w.DBGrid2->isEnabled());
    EXPECT_EQ(rows("SELECT LockID, TabPageID, Used, LockStatusID FROM TempLock1"),
              (std::vector<std::vector<std::string>> { { "1", "0", "True", "1" } }));
    // Every user, of every status; the lock's list comes selected with its groups.
    EXPECT_EQ(w.KeyList_Query.RecordCount(), 6);
    EXPECT_EQ(rows("SELECT KeyID, Used, TimeShiftID, ActExpDateID, ExpDate, LastSetupTime, SerialID, KeyCode FROM TempLockKey"
                   " WHERE KeyID IN (2, 4) ORDER BY KeyID"),
              (std::vector<std::vector<std::string>> { { "2", "True", "2", "2", "True", "2025-05-06 07:08:09", userSerial(2), "" },
                                                       { "4", "False", "1", "1", "False", "<null>", "", "1234" } }));

    // The same lock again: nothing changes.
    dialogs.boxes.clear();
    pick(w, 0, 1);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(count("SELECT * FROM TempLockKey"), 6);

    // A lock already on page 1 is refused on page 2 ...
    pick(w, 1, 1);
    ASSERT_EQ(dialogs.texts(), std::vector<std::string> { "This lock has been selected, please select another lock." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
    pick(w, 1, 2);
    EXPECT_EQ(w.Edit2->text(), "Room 102");
    // ... and a page that holds a lock keeps it when given one from another page.
    pick(w, 1, 1);
    EXPECT_EQ(w.Edit2->text(), "Room 102");
    EXPECT_EQ(count("SELECT * FROM TempLock1 WHERE LockID = 2"), 1);
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 2"), 6);

    // Replacing a page's lock, then freeing the page by closing the picker.
    pick(w, 1, 3);
    EXPECT_EQ(rows("SELECT LockID, TabPageID FROM TempLock1 ORDER BY LockID"),
              (std::vector<std::vector<std::string>> { { "1", "0" }, { "3", "1" } }));
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 2"), 0);
    pick(w, 1, 0);
    EXPECT_TRUE(w.Edit1->text().isEmpty());
    EXPECT_EQ(w.CurrentLockID, 0);
    EXPECT_FALSE(w.DBGrid2->isEnabled());
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 3"), 0);

    // Switching tabs only redisplays.
    w.TabControl1->setCurrentIndex(0);
    EXPECT_EQ(w.Edit2->text(), "Room 101");
}

TEST_F(MultiLockTest, SelectionHolidayAndGroupsAreSavedAtOnce)
{
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 1);
    select(w, { 3 });
    EXPECT_EQ(rows("SELECT Used FROM TempLockKey WHERE KeyID = 3"), (Rows { { "True" } }));
    onRow(w, 3);
    w.DBGrid2CellClick(column(w, "ExpDate"));
    EXPECT_EQ(rows("SELECT ExpDate FROM TempLockKey WHERE KeyID = 3"), (Rows { { "True" } }));
    onRow(w, 3);
    w.DBGrid2CellClick(column(w, "FirstName")); // not a check box
    EXPECT_EQ(rows("SELECT Used, ExpDate FROM TempLockKey WHERE KeyID = 3"), (Rows { { "True", "True" } }));

    // Time shift: the picker closed gives the last group picked here (1 at first).
    onRow(w, 3);
    w.nextGroup = 3;
    w.DBGrid2DblClick(column(w, "GroupName"));
    EXPECT_EQ(w.Label4->text(), "3");
    EXPECT_EQ(rows("SELECT TimeShiftID FROM TempLockKey WHERE KeyID = 3"), (Rows { { "3" } }));
    onRow(w, 4);
    w.nextGroup = 0;
    w.DBGrid2DblClick(column(w, "GroupName"));
    EXPECT_EQ(rows("SELECT TimeShiftID FROM TempLockKey WHERE KeyID = 4"), (Rows { { "3" } }));
    // Activation/expiration through either date column.
    onRow(w, 4);
    w.nextGroup = 2;
    w.DBGrid2DblClick(column(w, "ExpirationDate"));
    EXPECT_EQ(rows("SELECT ActExpDateID FROM TempLockKey WHERE KeyID = 4"), (Rows { { "2" } }));
    onRow(w, 4);
    w.nextGroup = 0;
    w.DBGrid2DblClick(column(w, "UserType")); // no group column: nothing
    EXPECT_EQ(rows("SELECT TimeShiftID, ActExpDateID FROM TempLockKey WHERE KeyID = 4"), (Rows { { "3", "2" } }));
}

TEST_F(MultiLockTest, IssuesOneLockOnPageThree)
{
    const RomId key = putUsedKey(1);
    listUser(2, 6, 1, 1, false); // lock 2's old list: replaced
    db.ExecSQL("UPDATE KeyManagement SET Department = NULL, Address = NULL, ContactInfor = NULL, UserType = NULL,"
               " FirstName = NULL, LastName = NULL, Status = NULL WHERE KeyID = 2");
    MultiLockWindow w(nullptr, &db);
    pick(w, 2, 2);
    select(w, { 1, 2, 5 });
    onRow(w, 5);
    w.nextGroup = 3;
    w.DBGrid2DblClick(column(w, "GroupName"));
    onRow(w, 5);
    w.nextGroup = 2;
    w.DBGrid2DblClick(column(w, "ActivationDate"));
    onRow(w, 5);
    w.DBGrid2CellClick(column(w, "ExpDate"));
    select(w, { 6 }); // inactive user 6 was already selected (old list): now off

    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key OK." });
    EXPECT_EQ(w.ProgressBar1->value(), 0);

    std::vector<int> expected { 0 };
    for (int p = 121; p <= 137; ++p)
        expected.push_back(p);
    for (int p = 141; p <= 161; ++p) // header, the first run (FFh past entry 3), page 161 FFh
        expected.push_back(p);
    EXPECT_EQ(writtenPages(key), expected);
    EXPECT_EQ(slice(page(key, 0), 0, 11), (std::vector<uint8_t> { 'W', 'R', 'I', 'T', 'E', 0x03, 0x03, 0x12, 0x34, 0x56, 0xFF }));
    const RomId lock = *romIdFromText(lockSerial(2));
    const auto tt = page(key, 121);
    EXPECT_TRUE(std::equal(lock.begin(), lock.end(), tt.begin()));
    EXPECT_EQ(slice(tt, 8, 11), (std::vector<uint8_t> { 0x10, 0, 0, 0, 0, 0, 0, 0x5A, 0, 0, 0xFF }));
    // Time table of lock 2's schedule 3: group 2 at byte 35, group 3 by begin time at 70.
    const auto t0 = page(key, 122);
    EXPECT_EQ(slice(t0, 35, 5), (std::vector<uint8_t> { 0x08, 0x00, 0x17, 0x30, 0x02 }));
    const auto t1 = page(key, 123);
    EXPECT_EQ(slice(t1, 6, 10), (std::vector<uint8_t> { 0x20, 0x00, 0x21, 0x00, 0x04, 0x22, 0x00, 0x23, 0x59, 0x40 }));
    const auto t8 = page(key, 122 + 8); // image 512-575: first schedule at 560
    EXPECT_EQ(slice(t8, 48, 5), (std::vector<uint8_t> { 0x08, 0x15, 0x3E, 0x01, 0xFF }));
    const auto t9 = page(key, 122 + 9); // 576-639: second schedule at 624
    EXPECT_EQ(slice(t9, 48, 5), (std::vector<uint8_t> { 0x22, 0x00, 0x7F, 0x02, 0xFF }));
    const auto t10 = page(key, 122 + 10); // 640-703: act/exp slot 1 at 698
    EXPECT_EQ(slice(t10, 58, 6), (std::vector<uint8_t> { 0x26, 0x01, 0x02, 0x03, 0x04, 0x27 }));
    const auto t13 = page(key, 122 + 13); // 832-895: holiday slot 0 at 848
    EXPECT_EQ(slice(t13, 16, 10), (std::vector<uint8_t> { 0x26, 0x12, 0x24, 0, 0, 0x26, 0x12, 0x26, 0x23, 0x59 }));

    const auto kh = page(key, 141);
    EXPECT_EQ(slice(kh, 8, 11), (std::vector<uint8_t> { 0x08, 0, 0, 0, 0x5A, 3, 0, 0, 0, 0, 0xFF }));
    const auto e = page(key, 142);
    const RomId u1 = *romIdFromText(userSerial(1));
    EXPECT_EQ(slice(e, 0, 8), std::vector<uint8_t>(8, 0xFF));
    EXPECT_TRUE(std::equal(u1.begin(), u1.end(), e.begin() + 8));
    EXPECT_EQ(slice(e, 16, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(slice(e, 40, 6), (std::vector<uint8_t> { 0x05, 0x98, 0x76, 0x50, 0x00, 0x00 })); // Complex user 5
    EXPECT_EQ(slice(e, 56, 8), (std::vector<uint8_t> { 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF }));

    // The lock's list is now exactly the selected users, stamped.
    const auto list = rows("SELECT KeyID, TimeShiftID, ActExpDateID, ExpDateID, ExpDate, KeyCode, LastSetupTime"
                           " FROM LockKeyManagement WHERE LockID = 2 ORDER BY KeyID");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0][0], "1");
    EXPECT_EQ(list[2], (std::vector<std::string> { "5", "3", "2", "1", "True", "98765", list[2][6] }));
    EXPECT_EQ(list[0][5], "");
    EXPECT_NE(list[0][6], "<null>");
    EXPECT_NE(list[0][6], "2025-05-06 07:08:09");
    // Contact fields that are null become empty text; type, names and status are copied as they are.
    EXPECT_EQ(rows("SELECT SerialID, Department, Title, Address, ContactInfor, UserType, FirstName, LastName, Status"
                   " FROM LockKeyManagement WHERE LockID = 2 AND KeyID = 2"),
              (Rows { { userSerial(2), "", "", "", "", "<null>", "<null>", "<null>", "<null>" } }));
}

TEST_F(MultiLockTest, KeyListRunsOf57)
{
    for (int id = 7; id <= 120; ++id)
        addUser(id, "KeyCode", "", std::to_string(100000 + id), "U", "User" + std::to_string(id), "Active");
    db.ExecSQL("UPDATE KeyManagement SET Status = 'Inactive' WHERE KeyID <= 6");
    const RomId key = putKey(2);
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 1);
    db.ExecSQL("UPDATE TempLockKey SET Used = 1 WHERE KeyID BETWEEN 7 AND 64"); // 58 keys
    w.sbMakeCardClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Write Multi-Lock Key OK.");
    EXPECT_EQ(page(key, 21)[13], 57);
    const auto cont = page(key, 41);
    EXPECT_EQ(slice(cont, 8, 11), (std::vector<uint8_t> { 0x00, 0, 0, 0, 0x00, 1, 0, 0, 0, 0, 0xFF }));
    EXPECT_EQ(page(key, 42)[0], 6);
    EXPECT_EQ(page(key, 42)[20], 0xFF);
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 58);

    // 115 selected: refused with the lock's name, the key untouched.
    db.ExecSQL("UPDATE TempLockKey SET Used = 1");
    setPage(key, 0, 0xEE);
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Room 101: The keys selected should less than 114. " });
    EXPECT_EQ(page(key, 0)[0], 0xEE);
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 58);

    // 114 fill both runs.
    db.ExecSQL("UPDATE TempLockKey SET Used = 0 WHERE KeyID <= 6");
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key OK." });
    EXPECT_EQ(page(key, 41)[13], 57);
    EXPECT_NE(page(key, 60)[40], 0xFF);
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 114);
}

TEST_F(MultiLockTest, DuplicatesStopTheMissionBeforeAnyPage)
{
    addUser(7, "iButton", userSerial(1), "", "Gus", "Grey", "Active"); // same iButton as user 1
    addUser(8, "iButton", userSerial(6), "", "Hal", "Hart", "Inactive"); // same as inactive user 6
    const RomId key = putUsedKey(3);
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 3);
    select(w, { 2, 4 });
    pick(w, 1, 1);
    select(w, { 1, 7 });
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { "Found duplicated Key SerialID,Mission terminated.", "Write Multi-Lock Key Error." }));
    EXPECT_EQ(writtenPages(key), std::vector<int> {}); // not even the first lock's block
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement"), 0);

    // Inactive duplicates, and users with no serial (key-code users), pass.
    onRow(w, 7);
    w.DBGrid2CellClick(column(w, "Used"));
    select(w, { 4, 6, 8 });
    addUser(9, "KeyCode", "", "1234", "Ike", "Irons", "Active");
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key OK." });
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 4);
    EXPECT_EQ(page(key, 0)[6], 6);

    // Two active users with one key code.
    db.ExecSQL("UPDATE TempLockKey SET Used = 1 WHERE KeyID = 5");
    db.ExecSQL("UPDATE TempLockKey SET KeyCode = '1234' WHERE KeyID = 5");
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { "Found duplicated KeyCode,Mission terminated.", "Write Multi-Lock Key Error." }));
}

TEST_F(MultiLockTest, AFailedWriteLeavesTheDatabaseAndNoUsableKey)
{
    const RomId key = putKey(4);
    listUser(1, 3, 1, 1, false);
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 1);
    select(w, { 1, 3 }); // user 3 off, user 1 on
    setPage(key, 0, 0x57); // what the key held before
    reader->faults().removeAfterPages[key] = 10;
    w.sbMakeCardClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Write Multi-Lock Key Error.");
    EXPECT_EQ(dialogs.boxes.back().type, BoxType::Error);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    reader->faults().removeAfterPages.clear();
    reader->faults().takenAway.clear();
    // Page 0 was blanked first, so no lock takes the half-written key.
    EXPECT_TRUE(allFF(page(key, 0)));
    EXPECT_EQ(rows("SELECT KeyID, LastSetupTime FROM LockKeyManagement"),
              (std::vector<std::vector<std::string>> { { "3", "2025-05-06 07:08:09" } }));
}

TEST_F(MultiLockTest, NothingToWrite)
{
    MultiLockWindow w(nullptr, &db);
    w.sbMakeCardClick();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string> { "Please Plug in your program Key." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    const RomId key = putUsedKey(5);
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string> { "There are no mission to download." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Information);
    EXPECT_TRUE(writtenPages(key).empty());
}

TEST_F(MultiLockTest, GridShowsTheNineColumnsInOrder)
{
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 1);
    auto* grid = w.DBGrid2;
    ASSERT_EQ(grid->gridModel()->columnCount(), 9);
    std::vector<std::string> titles;
    std::vector<QColor> colours;
    for (int v = 0; v < 9; ++v) {
        const int logical = grid->horizontalHeader()->logicalIndex(v);
        titles.push_back(grid->gridModel()->headerData(logical, Qt::Horizontal).toString().toStdString());
        colours.push_back(grid->gridModel()->headerData(logical, Qt::Horizontal, Qt::ForegroundRole).value<QColor>());
        EXPECT_GE(grid->columnWidth(logical), grid->horizontalHeader()->sectionSizeHint(logical)) << titles.back();
    }
    EXPECT_EQ(titles, (std::vector<std::string> { "First Name", "Last Name", "Time Shift", "Activation From", "Expiration On",
                                                  "Holiday", "Selected", "User Type", "Last Update" }));
    const QColor none, purple(128, 0, 128);
    EXPECT_EQ(colours, (std::vector<QColor> { none, none, Qt::red, purple, purple, Qt::blue, none, none, none }));
}

// The operator's path: a click on "Select Lock:" opens the picker; in the grid a click flips a
// check box, and the keys the grid swallows neither move the selection nor flip anything.
TEST_F(MultiLockTest, ClicksAndKeysOfTheOperator)
{
    MultiLockWindow w(nullptr, &db);
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.nextLock = lockSerial(1);
    QTest::mouseClick(w.Edit1, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Edit2->text(), "Room 101");
    QTest::mouseDClick(w.Edit1, Qt::LeftButton); // asks once; the same lock changes nothing
    QCoreApplication::processEvents();
    EXPECT_EQ(w.lockPickerRuns, 2);
    w.Edit2->setFocus();
    QTest::keyClick(w.Edit2, Qt::Key_Backtab); // entered from the keyboard
    QCoreApplication::processEvents();
    EXPECT_EQ(w.lockPickerRuns, 3);

    auto* grid = w.DBGrid2;
    const QModelIndex baker = grid->model()->index(1, column(w, "Used"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(baker).center());
    EXPECT_EQ(rows("SELECT KeyID FROM TempLockKey WHERE Used = 1"), (std::vector<std::vector<std::string>> { { "2" } }));
    for (Qt::Key k : { Qt::Key_Space, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Shift,
                       Qt::Key_Control, Qt::Key_Alt })
        QTest::keyClick(grid, k);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE Used = 1"), 1);
    QTest::keyClick(grid, Qt::Key_Left); // not swallowed
    const QHeaderView* header = grid->horizontalHeader();
    EXPECT_EQ(header->visualIndex(grid->currentIndex().column()), header->visualIndex(baker.column()) - 1);
    EXPECT_EQ(w.lockPickerRuns, 3);
}

TEST_F(MultiLockTest, TwoLocksOnFirstAndLastPages)
{
    const RomId key = putUsedKey(6);
    MultiLockWindow w(nullptr, &db);
    pick(w, 7, 4);
    select(w, { 4 });
    pick(w, 0, 3);
    select(w, { 1, 2 });
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key OK." });
    EXPECT_EQ(page(key, 0)[6], 6);
    const auto written = writtenPages(key);
    ASSERT_EQ(written.size(), 1u + 2 * (17 + 21));
    EXPECT_EQ(written[1], 1);
    EXPECT_EQ(written.back(), 461);
    EXPECT_EQ(std::count_if(written.begin(), written.end(), [](int p) { return p > 61 && p < 421; }), 0);
    EXPECT_EQ(page(key, 421)[0], romIdFromText(lockSerial(4))->at(0));
    EXPECT_EQ(page(key, 441)[13], 1);
    EXPECT_EQ(page(key, 21)[13], 2);
    EXPECT_EQ(rows("SELECT LockID, KeyID FROM LockKeyManagement ORDER BY LockID, KeyID"),
              (std::vector<std::vector<std::string>> { { "3", "1" }, { "3", "2" }, { "4", "4" } }));
}
