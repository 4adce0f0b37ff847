// The Multi-Lock Programming window on a real database file and key files in the emulated
// reader.
#include "app/missions/multi_key_assignment_form.h"
#include "window_test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
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

class MultiLockTest : public MultiLockFixture {
protected:
    void pick(MultiLockWindow& w, int tab, int lock)
    {
        w.TabControl1->setCurrentIndex(tab);
        w.nextLock = lock ? lockSerial(lock) : std::string();
        w.Edit1Enter();
    }
    int column(MultiLockWindow& w, const char* field) { return w.DBGrid2->gridModel()->columnOf(field); }
    // A click on a column of the user's row, or with a group a double click answered by the picker.
    void click(MultiLockWindow& w, int keyId, const char* field, int group = -1)
    {
        ASSERT_TRUE(w.KeyList_Query.Locate("KeyID", DbVariant(keyId)));
        if (group < 0)
            return w.DBGrid2CellClick(column(w, field));
        w.nextGroup = group;
        w.DBGrid2DblClick(column(w, field));
    }
    void select(MultiLockWindow& w, std::initializer_list<int> keyIds)
    {
        for (int id : keyIds)
            click(w, id, "Used");
    }
};

} // namespace

TEST_F(MultiLockTest, ChoosingLocksForPages)
{
    listUser(1, 2, 2, 2, true);
    db.ExecSQL("INSERT INTO TempLock1 (LockID, SerialID, TabPageID, Used) VALUES (1, 'X', 0, 1);"
               "INSERT INTO TempLockKey (LockID, KeyID, Used) VALUES (1, 1, 1)");
    MultiLockWindow w(nullptr, &db);
    // Opens on an empty first page of eight.
    EXPECT_EQ(w.windowTitle(), "Multi-Lock Programming");
    EXPECT_EQ(w.TabControl1->count(), 8);
    EXPECT_EQ(w.TabControl1->tabText(0), "Lock 1");
    EXPECT_EQ(w.TabControl1->currentIndex(), 0);
    EXPECT_FALSE(w.DBGrid2->isEnabled());
    EXPECT_EQ(w.KeyList_Query.RecordCount(), 0);
    EXPECT_EQ(count("SELECT * FROM TempLock1") + count("SELECT * FROM TempLockKey"), 0);
    EXPECT_EQ(w.Label4->text(), "1");
    EXPECT_EQ(w.ProgressBar1->maximum(), 480);

    pick(w, 0, 1);
    EXPECT_EQ(w.Edit1->text().toStdString(), lockSerial(1));
    EXPECT_EQ(w.Edit2->text(), "Room 101");
    EXPECT_EQ(w.Edit3->text(), "Floor 1");
    EXPECT_EQ(w.CurrentLockID, 1);
    EXPECT_TRUE(w.DBGrid2->isEnabled());
    EXPECT_EQ(rows("SELECT LockID, TabPageID, Used, LockStatusID FROM TempLock1"), (Rows { { "1", "0", "True", "1" } }));
    // Every user, of every status; the lock's list comes selected with its groups.
    EXPECT_EQ(w.KeyList_Query.RecordCount(), 6);
    EXPECT_EQ(rows("SELECT KeyID, Used, TimeShiftID, ActExpDateID, ExpDate, LastSetupTime, SerialID, KeyCode FROM TempLockKey"
                   " WHERE KeyID IN (2, 4) ORDER BY KeyID"),
              (Rows { { "2", "True", "2", "2", "True", "2025-05-06 07:08:09", userSerial(2), "" },
                      { "4", "False", "1", "1", "False", "<null>", "", "1234" } }));
    // The same lock again: nothing changes.
    pick(w, 0, 1);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(count("SELECT * FROM TempLockKey"), 6);

    // A lock already on page 1 is refused on page 2 ...
    pick(w, 1, 1);
    ASSERT_EQ(dialogs.texts(), Texts { "This lock has been selected, please select another lock." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
    pick(w, 1, 2);
    EXPECT_EQ(w.Edit2->text(), "Room 102");
    // ... and a page that holds a lock keeps it when given one from another page.
    pick(w, 1, 1);
    EXPECT_EQ(w.Edit2->text(), "Room 102");
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 2"), 6);

    // Replacing a page's lock, then freeing the page by closing the picker.
    pick(w, 1, 3);
    EXPECT_EQ(rows("SELECT LockID, TabPageID FROM TempLock1 ORDER BY LockID"), (Rows { { "1", "0" }, { "3", "1" } }));
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
    click(w, 3, "Used");
    click(w, 3, "ExpDate");
    click(w, 3, "FirstName"); // not a check box
    click(w, 3, "GroupName", 3);
    EXPECT_EQ(w.Label4->text(), "3");
    click(w, 4, "GroupName", 0); // the picker closed: the last group picked here
    click(w, 4, "ExpirationDate", 2);
    click(w, 5, "ActivationDate", 2);
    click(w, 5, "UserType", 3); // no group column: nothing
    EXPECT_EQ(rows("SELECT KeyID, Used, ExpDate, TimeShiftID, ActExpDateID FROM TempLockKey WHERE KeyID IN (3, 4, 5)"
                   " ORDER BY KeyID"),
              (Rows { { "3", "True", "True", "3", "1" }, { "4", "False", "False", "3", "2" }, { "5", "False", "False", "1", "2" } }));
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
    click(w, 5, "GroupName", 3);
    click(w, 5, "ActivationDate", 2);
    click(w, 5, "ExpDate");
    select(w, { 6 }); // inactive user 6 was already selected (old list): now off

    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), Texts { "Write Multi-Lock Key OK." });
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    std::vector<int> expected { 0 };
    for (int p = 121; p <= 161; ++p) // the time table, then the key list's header and first run
        if (p < 138 || p > 140)
            expected.push_back(p);
    EXPECT_EQ(writtenPages(key), expected);
    EXPECT_EQ(page(key, 0), MultiLockKeyHeader(3, kSite));
    expectPages(key, timeTableSectionWrites(2, lockSerial(2), lock2TimeTable()));
    expectPages(key, keyListSectionWrites(2, lockSerial(2), { { "iButton", userSerial(1), "" }, { "", userSerial(2), "" },
                                                             { "Complex", userSerial(5), "98765", 3, 2, true } }));

    // The lock's list is now exactly the selected users, stamped.
    const auto list = rows("SELECT KeyID, TimeShiftID, ActExpDateID, ExpDateID, ExpDate, KeyCode, LastSetupTime"
                           " FROM LockKeyManagement WHERE LockID = 2 ORDER BY KeyID");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0][0], "1");
    EXPECT_EQ(list[2], (Texts { "5", "3", "2", "1", "True", "98765", list[2][6] }));
    EXPECT_EQ(list[0][5], "");
    EXPECT_NE(list[0][6], "<null>");
    EXPECT_NE(list[0][6], "2025-05-06 07:08:09");
    // Contact fields that are null become empty text; type, names and status are copied as they are.
    EXPECT_EQ(rows("SELECT SerialID, Department, Title, Address, ContactInfor, UserType, FirstName, LastName, Status"
                   " FROM LockKeyManagement WHERE LockID = 2 AND KeyID = 2"),
              (Rows { { userSerial(2), "", "", "", "", "<null>", "<null>", "<null>", "<null>" } }));
}

TEST_F(MultiLockTest, AtMost114KeysALock)
{
    for (int id = 7; id <= 120; ++id)
        addUser(id, "KeyCode", "", std::to_string(100000 + id), "U", "User" + std::to_string(id));
    db.ExecSQL("UPDATE KeyManagement SET Status = 'Inactive' WHERE KeyID <= 6");
    const RomId key = putUsedKey(2);
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 1);
    db.ExecSQL("UPDATE TempLockKey SET Used = 1 WHERE KeyID BETWEEN 7 AND 64"); // 58 keys: a second run
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), Texts { "Write Multi-Lock Key OK." });
    EXPECT_EQ(writtenPages(key).back(), 60);
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 58);

    // 115 selected: refused with the lock's name, the key untouched.
    db.ExecSQL("UPDATE TempLockKey SET Used = 1");
    putUsedKey(2);
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), Texts { "Room 101: The keys selected should less than 114. " });
    EXPECT_TRUE(writtenPages(key).empty());
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 58);

    db.ExecSQL("UPDATE TempLockKey SET Used = 0 WHERE KeyID <= 6"); // 114
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), Texts { "Write Multi-Lock Key OK." });
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 114);
}

TEST_F(MultiLockTest, DuplicatesStopTheMissionBeforeAnyPage)
{
    addUser(7, "iButton", userSerial(1), "", "Gus", "Grey"); // same iButton as user 1
    addUser(8, "iButton", userSerial(6), "", "Hal", "Hart", "Inactive"); // same as inactive user 6
    const RomId key = putUsedKey(3);
    MultiLockWindow w(nullptr, &db);
    pick(w, 0, 3);
    select(w, { 2, 4 });
    pick(w, 1, 1);
    select(w, { 1, 7 });
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), (Texts { "Found duplicated Key SerialID,Mission terminated.", "Write Multi-Lock Key Error." }));
    EXPECT_EQ(writtenPages(key), std::vector<int> {}); // not even the first lock's block
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement"), 0);

    // Inactive duplicates, and users with no serial (key-code users), pass.
    select(w, { 7, 4, 6, 8 });
    addUser(9, "KeyCode", "", "1234", "Ike", "Irons");
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), Texts { "Write Multi-Lock Key OK." });
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 4);
    EXPECT_EQ(page(key, 0)[6], 6);

    // Two active users with one key code.
    db.ExecSQL("UPDATE TempLockKey SET Used = 1, KeyCode = '1234' WHERE KeyID = 5");
    dialogs.boxes.clear();
    w.sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), (Texts { "Found duplicated KeyCode,Mission terminated.", "Write Multi-Lock Key Error." }));
}

TEST_F(MultiLockTest, NothingToWrite)
{
    MultiLockWindow w(nullptr, &db);
    const RomId key = putUsedKey(5);
    w.sbMakeCardClick();
    ASSERT_EQ(dialogs.texts(), Texts { "There are no mission to download." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Information);
    EXPECT_TRUE(writtenPages(key).empty());
}

// The operator's path: a click on "Select Lock:" opens the picker; in the grid a click flips a
// check box, and the keys the grid swallows neither move the selection nor flip anything.
TEST_F(MultiLockTest, GridClicksAndKeysOfTheOperator)
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

    // Nine columns in order, each wide enough for its title.
    auto* grid = w.DBGrid2;
    ASSERT_EQ(grid->gridModel()->columnCount(), 9);
    Texts titles;
    std::vector<QColor> colours;
    for (int v = 0; v < 9; ++v) {
        const int logical = grid->horizontalHeader()->logicalIndex(v);
        titles.push_back(grid->gridModel()->headerData(logical, Qt::Horizontal).toString().toStdString());
        colours.push_back(grid->gridModel()->headerData(logical, Qt::Horizontal, Qt::ForegroundRole).value<QColor>());
        EXPECT_GE(grid->columnWidth(logical), grid->horizontalHeader()->sectionSizeHint(logical)) << titles.back();
    }
    EXPECT_EQ(titles, (Texts { "First Name", "Last Name", "Time Shift", "Activation From", "Expiration On", "Holiday",
                               "Selected", "User Type", "Last Update" }));
    const QColor none, purple(128, 0, 128);
    EXPECT_EQ(colours, (std::vector<QColor> { none, none, Qt::red, purple, purple, Qt::blue, none, none, none }));

    const QModelIndex baker = grid->model()->index(1, column(w, "Used"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(baker).center());
    EXPECT_EQ(rows("SELECT KeyID FROM TempLockKey WHERE Used = 1"), (Rows { { "2" } }));
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
    EXPECT_EQ(dialogs.texts(), Texts { "Write Multi-Lock Key OK." });
    EXPECT_EQ(page(key, 0)[6], 6);
    const auto written = writtenPages(key);
    ASSERT_EQ(written.size(), 1u + 2 * (17 + 21));
    EXPECT_EQ((std::vector<int> { written[1], written[39], written.back() }), (std::vector<int> { 1, 421, 461 }));
    // Each lock's serial and key count in its own block.
    EXPECT_EQ((std::vector<int> { page(key, 1)[1], page(key, 21)[13], page(key, 421)[1], page(key, 441)[13] }),
              (std::vector<int> { 0x03, 2, 0x04, 1 }));
    EXPECT_EQ(rows("SELECT LockID, KeyID FROM LockKeyManagement ORDER BY LockID, KeyID"),
              (Rows { { "3", "1" }, { "3", "2" }, { "4", "4" } }));
}
