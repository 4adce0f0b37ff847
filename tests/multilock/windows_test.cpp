// The Multi-Lock Programming and Copy Lock Settings windows on a real database file and key
// files in the emulated reader.
#include "app/missions/multi_key_assignment_form.h"
#include "app/missions/multi_time_assignment_form.h"
#include "keyformats/copy_settings_key.h"
#include "missions/window_fixture.h"

using namespace wintest;

namespace {

// The pickers answer what the test queued (an empty serial or 0: the picker was closed).
template <class Form>
class Picking : public Form {
public:
    using Form::Form;
    std::string nextLock;
    int nextGroup = 0;
    int lockPickerRuns = 0;
    std::function<void()> duringPicker; // what the operator does while the picker is up

protected:
    void runLockPicker() override
    {
        ++lockPickerRuns;
        if (duringPicker)
            duringPicker();
        SettingsRecord.PickedLockSerialID = nextLock;
    }
};
using CopyWindow = Picking<TMultiTimeAssignment_Form>;

class MultiLockWindow : public Picking<TMultiKeyAssignment_Form> {
public:
    using Picking::Picking;

protected:
    void runTimeShiftPicker() override { SettingsRecord.PickedTimeGroupID = static_cast<uint8_t>(nextGroup); }
    void runActExpPicker() override { SettingsRecord.PickedActExpGroupID = static_cast<uint8_t>(nextGroup); }
};

class MultiLockTest : public MultiLockFixture {
protected:
    void SetUp() override
    {
        MultiLockFixture::SetUp();
        // Rows an earlier run left in the scratch tables: the window opens on an empty first page.
        db.ExecSQL("INSERT INTO TempLock1 (LockID, SerialID, TabPageID, Used) VALUES (1, 'X', 0, 1);"
                   "INSERT INTO TempLockKey (LockID, KeyID, Used) VALUES (1, 1, 1)");
        w = std::make_unique<MultiLockWindow>(nullptr, &db);
    }
    void pick(int tab, int lock)
    {
        w->TabControl1->setCurrentIndex(tab);
        w->nextLock = lock ? lockSerial(lock) : std::string();
        w->Edit1Enter();
    }
    int column(const char* field) { return w->DBGrid2->gridModel()->columnOf(field); }
    // A click on a column of the user's row, or with a group a double click answered by the picker.
    void click(int keyId, const char* field, int group = -1)
    {
        ASSERT_TRUE(w->KeyList_Query.Locate("KeyID", DbVariant(keyId)));
        if (group < 0)
            return w->DBGrid2CellClick(column(field));
        w->nextGroup = group;
        w->DBGrid2DblClick(column(field));
    }
    void select(std::initializer_list<int> keyIds)
    {
        for (int id : keyIds)
            click(id, "Used");
    }
    Texts issue() { return boxesOf([&] { w->sbMakeCardClick(); }); }

    std::unique_ptr<MultiLockWindow> w;
    const Texts ok { "Write Multi-Lock Key OK." };
};

class CopySettingsTest : public MultiLockFixture {
protected:
    void SetUp() override
    {
        MultiLockFixture::SetUp();
        // The model lock 2 (schedule 3) accepts users 1, 4 (holiday, groups 3/2) and 6
        // (inactive); lock 5 has a list of its own.
        listUser(2, 1, 1, 1, false);
        listUser(2, 4, 3, 2, true);
        listUser(2, 6, 1, 1, false);
        listUser(5, 3, 2, 1, false);
        w = std::make_unique<CopyWindow>(nullptr, &db);
    }
    void chooseModel(int lock)
    {
        w->nextLock = lock ? lockSerial(lock) : std::string();
        w->Edit1DblClick();
    }
    void mark(std::initializer_list<int> lockIds)
    {
        for (int id : lockIds) {
            ASSERT_TRUE(w->LockList_Query.Locate("LockID", DbVariant(id)));
            w->DBGrid2CellClick(w->DBGrid2->gridModel()->columnOf("Used"));
        }
    }
    Rows marked() { return rows("SELECT LockID FROM TempLock1 WHERE Used = 1 ORDER BY LockID"); }
    void expectKey(const RomId& key, const CopySettingsKeyContent& c, int markedLocks)
    {
        EXPECT_EQ(page(key, 0), CopySettingsKeyHeader(kSite, markedLocks));
        expectPages(key, copySettingsBodyWrites(c));
    }
    Texts issue() { return boxesOf([&] { w->sbMakeCardClick(); }); }

    std::unique_ptr<CopyWindow> w;
    const Texts ok { "Write Multi-Lock Time Table Key OK." };
};


} // namespace

TEST_F(MultiLockTest, ChoosingLocksForPagesAndUsersForLocks)
{
    EXPECT_EQ(std::tuple(w->TabControl1->count(), w->Label4->text(), w->DBGrid2->isEnabled()),
              std::tuple(8, QString("1"), false));
    EXPECT_EQ(count("SELECT * FROM TempLock1") + count("SELECT * FROM TempLockKey"), 0);
    listUser(1, 2, 2, 2, true);
    pick(0, 1);
    EXPECT_EQ(std::tuple(w->Edit1->text().toStdString(), w->Edit2->text(), w->Edit3->text(), w->CurrentLockID,
                         w->DBGrid2->isEnabled()),
              std::tuple(lockSerial(1), QString("Room 101"), QString("Floor 1"), 1, true));
    EXPECT_EQ(rows("SELECT LockID, TabPageID, Used, LockStatusID FROM TempLock1"), (Rows { { "1", "0", "True", "1" } }));
    // Every user, of every status; the lock's list comes selected with its groups.
    EXPECT_EQ(w->KeyList_Query.RecordCount(), 6);
    EXPECT_EQ(rows("SELECT KeyID, Used, TimeShiftID, ActExpDateID, ExpDate, LastSetupTime, SerialID, KeyCode FROM TempLockKey"
                   " WHERE KeyID IN (2, 4) ORDER BY KeyID"),
              (Rows { { "2", "True", "2", "2", "True", "2025-05-06 07:08:09", userSerial(2), "" },
                      { "4", "False", "1", "1", "False", "<null>", "", "1234" } }));
    // A lock already on page 1 is refused on page 2 ...
    pick(1, 1);
    ASSERT_EQ(dialogs.texts(), Texts { "This lock has been selected, please select another lock." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
    pick(1, 2);
    // ... and a page that holds a lock keeps it when given one from another page.
    pick(1, 1);
    EXPECT_EQ(w->Edit2->text(), "Room 102");
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 2"), 6);
    // Replacing a page's lock, then freeing the page by closing the picker.
    pick(1, 3);
    EXPECT_EQ(rows("SELECT LockID, TabPageID FROM TempLock1 ORDER BY LockID"), (Rows { { "1", "0" }, { "3", "1" } }));
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 2"), 0);
    pick(1, 0);
    EXPECT_EQ(std::tuple(w->Edit1->text(), w->CurrentLockID, w->DBGrid2->isEnabled()), std::tuple(QString(), 0, false));
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE LockID = 3"), 0);
    w->TabControl1->setCurrentIndex(0);
    // Selection, holiday and groups are saved at once.
    click(3, "Used");
    click(3, "ExpDate");
    click(3, "FirstName"); // not a check box
    click(3, "GroupName", 3);
    EXPECT_EQ(w->Label4->text(), "3");
    click(4, "GroupName", 0); // the picker closed: the last group picked here
    click(4, "ExpirationDate", 2);
    click(5, "UserType", 3); // no group column: nothing
    EXPECT_EQ(rows("SELECT KeyID, Used, ExpDate, TimeShiftID, ActExpDateID FROM TempLockKey WHERE KeyID IN (3, 4, 5)"
                   " ORDER BY KeyID"),
              (Rows { { "3", "True", "True", "3", "1" }, { "4", "False", "False", "3", "2" }, { "5", "False", "False", "1", "1" } }));
}

TEST_F(MultiLockTest, IssuesOneLockOnPageThree)
{
    const RomId key = putUsedKey(1);
    listUser(2, 6, 1, 1, false); // lock 2's old list: replaced
    db.ExecSQL("UPDATE KeyManagement SET Department = NULL, Address = NULL, ContactInfor = NULL, UserType = NULL,"
               " FirstName = NULL, LastName = NULL, Status = NULL WHERE KeyID = 2");
    pick(2, 2);
    select({ 1, 2, 5, 6 }); // inactive user 6 was already selected (old list): now off
    click(5, "GroupName", 3);
    click(5, "ActivationDate", 2);
    click(5, "ExpDate");
    EXPECT_EQ(issue(), ok);
    // Page 0, the time table, then the key list's header and first run; no other page.
    EXPECT_EQ(writtenPages(key).size(), 1u + 17 + 21);
    EXPECT_EQ(page(key, 0), MultiLockKeyHeader(3, kSite));
    expectPages(key, timeTableSectionWrites(2, lockSerial(2), lock2TimeTable()));
    expectPages(key, keyListSectionWrites(2, lockSerial(2), { { "iButton", userSerial(1), "" }, { "", userSerial(2), "" },
                                                             { "Complex", userSerial(5), "98765", 3, 2, true } }));
    // The lock's list is now exactly the selected users, stamped; contact fields that are null
    // become empty text, type, names and status are copied as they are.
    EXPECT_EQ(rows("SELECT KeyID, TimeShiftID, ActExpDateID, ExpDateID, ExpDate, KeyCode, LastSetupTime > '2025-05-06 07:08:09',"
                   " SerialID, Department, Title, Address, ContactInfor, UserType, FirstName, LastName, Status"
                   " FROM LockKeyManagement WHERE LockID = 2 ORDER BY KeyID"),
              (Rows { { "1", "1", "1", "1", "False", "", "1", userSerial(1), "Dept", "", "", "", "iButton", "Ann", "Able", "Active" },
                      { "2", "1", "1", "1", "False", "", "1", userSerial(2), "", "", "", "", "<null>", "<null>", "<null>", "<null>" },
                      { "5", "3", "2", "1", "True", "98765", "1", userSerial(5), "Dept", "", "", "", "Complex", "Eve", "Eames",
                        "Active" } }));
}

TEST_F(MultiLockTest, AtMost114KeysALock)
{
    for (int id = 7; id <= 120; ++id)
        addUser(id, "KeyCode", "", std::to_string(100000 + id), "U", "User" + std::to_string(id));
    db.ExecSQL("UPDATE KeyManagement SET Status = 'Inactive' WHERE KeyID <= 6");
    const RomId key = putUsedKey(2);
    pick(0, 1);
    // 115 selected: refused with the lock's name, the key untouched.
    db.ExecSQL("UPDATE TempLockKey SET Used = 1");
    EXPECT_EQ(issue(), Texts { "Room 101: The keys selected should less than 114. " });
    EXPECT_TRUE(writtenPages(key).empty());
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement"), 0);
    db.ExecSQL("UPDATE TempLockKey SET Used = 0 WHERE KeyID <= 6"); // 114
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement WHERE LockID = 1"), 114);
}

TEST_F(MultiLockTest, NothingOrDuplicatesStopTheMissionBeforeAnyPage)
{
    addUser(7, "iButton", userSerial(1), "", "Gus", "Grey"); // same iButton as user 1
    addUser(8, "iButton", userSerial(6), "", "Hal", "Hart", "Inactive"); // same as inactive user 6
    const RomId key = putUsedKey(3);
    EXPECT_EQ(issue(), Texts { "There are no mission to download." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Information);
    pick(0, 3);
    select({ 2, 4 });
    pick(1, 1);
    select({ 1, 7 });
    EXPECT_EQ(issue(), (Texts { "Found duplicated Key SerialID,Mission terminated.", "Write Multi-Lock Key Error." }));
    EXPECT_EQ(writtenPages(key), std::vector<int> {}); // not even the first lock's block
    EXPECT_EQ(count("SELECT * FROM LockKeyManagement"), 0);
    // Inactive duplicates, and users with no serial (key-code users), pass.
    select({ 7, 4, 6, 8 });
    addUser(9, "KeyCode", "", "1234", "Ike", "Irons");
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(rows("SELECT LockID, COUNT(*) FROM LockKeyManagement GROUP BY LockID"), (Rows { { "1", "4" }, { "3", "2" } }));
    // Two locks: six sections, each lock's serial and key count in its own block.
    EXPECT_EQ(page(key, 0)[6], 6);
    EXPECT_EQ(writtenPages(key).size(), 1u + 2 * (17 + 21));
    EXPECT_EQ((std::vector<int> { page(key, 1)[1], page(key, 21)[13], page(key, 61)[1], page(key, 81)[13] }),
              (std::vector<int> { 0x03, 2, 0x01, 4 }));
    // Two active users with one key code.
    db.ExecSQL("UPDATE TempLockKey SET Used = 1, KeyCode = '1234' WHERE KeyID = 5");
    EXPECT_EQ(issue(), (Texts { "Found duplicated KeyCode,Mission terminated.", "Write Multi-Lock Key Error." }));
}

// The operator's path: entering "Select Lock:" (after a click on a tab too) or a double click
// on it opens the picker, once each; in the grid a click flips a check box, the keys the grid
// swallows neither move the selection nor flip anything, and the group columns keep their
// colours off the selection.
TEST_F(MultiLockTest, GridClicksAndKeysOfTheOperator)
{
    activate(*w);
    w->nextLock = lockSerial(1);
    auto clickTab = [&](int i) { QTest::mouseClick(w->TabControl1, Qt::LeftButton, {}, w->TabControl1->tabRect(i).center()); };
    const struct {
        const char* what;
        bool entering; // the focus is on "Lock Name:" before
        std::function<void()> act;
        int opened;
    } entries[] = {
        { "Shift+Tab", true, [&] { QTest::keyClick(w->Edit2, Qt::Key_Tab, Qt::ShiftModifier); }, 1 },
        { "a click with the focus there", false, [&] { QTest::mouseClick(w->Edit1, Qt::LeftButton); }, 0 },
        { "a double click", false, [&] { QTest::mouseDClick(w->Edit1, Qt::LeftButton); }, 1 }, // the same lock
        { "a click", true, [&] { QTest::mouseClick(w->Edit1, Qt::LeftButton); }, 1 },
        { "a click after one on another tab", false, // the lock is on "Lock 1": a warning, nothing changes
          [&] { clickTab(1), QTest::mouseClick(w->Edit1, Qt::LeftButton), clickTab(0); }, 1 },
    };
    for (const auto& e : entries) {
        if (e.entering)
            w->Edit2->setFocus();
        const int before = w->lockPickerRuns;
        e.act();
        QCoreApplication::processEvents();
        EXPECT_EQ(w->lockPickerRuns - before, e.opened) << e.what;
    }
    EXPECT_EQ(w->Edit2->text(), "Room 101");
    // A double click whose first click enters the field: the picker comes up before the second
    // click, which must not land in it.
    struct Presses : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            count += e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick;
            return false;
        }
    } presses;
    QWindow* window = w->windowHandle();
    const QPoint global = window->mapToGlobal(w->Edit1->mapTo(w.get(), w->Edit1->rect().center()));
    const int t0 = QTest::lastMouseTimestamp += 1000;
    auto click = [&](QWindow* on, int t) {
        const QPointF local = on->mapFromGlobal(global);
        qt_handleMouseEvent(on, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, {}, t);
        qt_handleMouseEvent(on, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, {}, t + 20);
    };
    w->duringPicker = [&] {
        QDialog picker(w.get());
        picker.setGeometry(w->geometry()); // over the field
        picker.installEventFilter(&presses);
        QTimer::singleShot(0, &picker, [&] {
            click(picker.windowHandle(), t0 + 100);
            picker.reject();
        });
        picker.exec();
    };
    w->Edit2->setFocus();
    const int before = w->lockPickerRuns;
    click(window, t0);
    QCoreApplication::processEvents();
    w->duringPicker = nullptr;
    QTest::lastMouseTimestamp += 2000;
    EXPECT_EQ(w->lockPickerRuns - before, 1);
    EXPECT_EQ(presses.count, 0);
    EXPECT_EQ(w->Edit2->text(), "Room 101");
    auto* grid = w->DBGrid2;
    const QHeaderView* header = grid->horizontalHeader();
    // Title colours as the cells'.
    std::vector<QColor> titleColours;
    for (int v = 0; v < header->count(); ++v)
        titleColours.push_back(
            grid->model()->headerData(header->logicalIndex(v), Qt::Horizontal, Qt::ForegroundRole).value<QColor>());
    const QColor none, purple(128, 0, 128);
    EXPECT_EQ(titleColours, (std::vector<QColor> { none, none, Qt::red, purple, purple, Qt::blue, none, none, none }));
    const QModelIndex baker = grid->model()->index(1, column("Used"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(baker).center());
    EXPECT_EQ(rows("SELECT KeyID FROM TempLockKey WHERE Used = 1"), (Rows { { "2" } }));
    for (Qt::Key k : { Qt::Key_Space, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Shift,
                       Qt::Key_Control, Qt::Key_Alt })
        QTest::keyClick(grid, k);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(count("SELECT * FROM TempLockKey WHERE Used = 1"), 1);
    QTest::keyClick(grid, Qt::Key_Left); // not swallowed
    EXPECT_EQ(header->visualIndex(grid->currentIndex().column()), header->visualIndex(baker.column()) - 1);
    EXPECT_EQ(w->lockPickerRuns, 5); // none from the grid
    // Ctrl+Home: the first row current but not selected, its "Time Shift" cell drawn red.
    for (Qt::Key k : { Qt::Key_Home, Qt::Key_Right, Qt::Key_Home }) // the second on the first row's first cell
        QTest::keyClick(grid, k, k == Qt::Key_Home ? Qt::ControlModifier : Qt::NoModifier);
    ASSERT_EQ(grid->currentIndex().row(), 0);
    ASSERT_FALSE(grid->selectionModel()->isRowSelected(0));
    const QImage drawn = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(grid->model()->index(0, column("GroupName")));
    bool red = false;
    for (int x = cell.left(); x <= cell.right() && !red; ++x)
        for (int y = cell.top(); y <= cell.bottom() && !red; ++y)
            red = drawn.pixelColor(x, y) == QColor(Qt::red);
    EXPECT_TRUE(red);
}

// A click on a "Selected" cell or the space bar on that column marks a lock; the space bar
// elsewhere does nothing, and the arrows move as usual. Marks stay with the model lock.
TEST_F(CopySettingsTest, ModelLockAndMarks)
{
    EXPECT_EQ(std::tuple(w->CheckBox1->isChecked(), w->CheckBox2->isChecked(), w->sbMakeCard->isEnabled(),
                         w->DBGrid2->gridModel()->columnCount()),
              std::tuple(false, true, false, 4));
    EXPECT_EQ(count("SELECT * FROM TempLock1 WHERE Used = 0"), 9); // every lock, none marked
    chooseModel(2);
    EXPECT_EQ(std::tuple(w->Edit1->text().toStdString(), w->sbMakeCard->isEnabled()), std::tuple(lockSerial(2), true));

    w->show();
    auto* grid = w->DBGrid2;
    const int used = grid->gridModel()->columnOf("Used");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(2, used)).center());
    for (Qt::Key k : { Qt::Key_Down, Qt::Key_Space, Qt::Key_Down, Qt::Key_Left, Qt::Key_Space })
        QTest::keyClick(grid, k);
    EXPECT_EQ(grid->currentIndex().row(), 4);
    EXPECT_EQ(marked(), (Rows { { "3" }, { "4" } }));
    mark({ 4 });
    chooseModel(2); // the same model: marks stay
    EXPECT_EQ(marked(), (Rows { { "3" } }));
    chooseModel(3); // another: marks cleared
    EXPECT_EQ(marked(), Rows {});
    chooseModel(0); // the picker closed
    EXPECT_EQ(std::tuple(w->Edit1->text(), w->sbMakeCard->isEnabled()), std::tuple(QString(), false));
}

TEST_F(CopySettingsTest, CopiesWhatTheBoxesAndTheModelsListSay)
{
    RomId key = putUsedKey(1);
    chooseModel(2);
    w->CheckBox1->setChecked(true);
    mark({ 2, 3, 5 }); // the model itself is listed on the key but not copied onto
    db.ExecSQL("UPDATE LockKeyManagement SET SerialID = NULL, KeyCode = NULL, UserType = NULL, FirstName = NULL"
               " WHERE LockID = 2 AND KeyID = 6");
    EXPECT_EQ(issue(), ok);
    // Pages 0-18 and the lock list, no other; active users 1 and 4 of the model's list, 6 is inactive.
    EXPECT_EQ(writtenPages(key).size(), 20u);
    expectKey(key,
              { true, true, false, 2, lock2TimeTable(),
                { { "iButton", userSerial(1), "", 1, 1, false }, { "KeyCode", "", "1234", 3, 2, true } },
                { lockSerial(2), lockSerial(3), lockSerial(5) } },
              3);
    // Targets 3 and 5 take schedule 3 and the model's whole list (the inactive user too), stamped.
    EXPECT_EQ(rows("SELECT LockStatusID FROM LockManagement WHERE LockID IN (3, 4, 5) ORDER BY LockID"),
              (Rows { { "3" }, { "1" }, { "3" } }));
    auto list = [&](int lock) {
        return rows("SELECT KeyID, TimeShiftID, ActExpDateID, ExpDateID, ExpDate, Status, COALESCE(KeyCode, ''),"
                    " LastSetupTime = '2025-05-06 07:08:09' FROM LockKeyManagement WHERE LockID = "
                    + std::to_string(lock) + " ORDER BY KeyID");
    };
    Rows model { { "1", "1", "1", "1", "False", "Active", "", "1" }, { "4", "3", "2", "1", "True", "Active", "1234", "1" },
                 { "6", "1", "1", "1", "False", "Inactive", "", "1" } };
    EXPECT_EQ(list(2), model);
    for (auto& r : model)
        r.back() = "0";
    EXPECT_EQ(list(3), model);
    EXPECT_EQ(list(5), model);
    // Id, code and contact fields that are null become empty text; type, names and status are copied as they are.
    EXPECT_EQ(rows("SELECT SerialID || KeyCode || Department || Title || Address || ContactInfor, UserType, FirstName, LastName"
                   " FROM LockKeyManagement WHERE LockID = 3 AND KeyID = 6"),
              (Rows { { "", "<null>", "<null>", "Frost" } }));
    // Neither box: page 1 and the lock list only, and the database as it was.
    const auto copied = [&] { return rows("SELECT * FROM LockKeyManagement, LockManagement ORDER BY 1, 2, 3"); };
    const auto before = copied();
    key = putUsedKey(1);
    chooseModel(1); // schedule 1
    w->CheckBox1->setChecked(false);
    w->CheckBox2->setChecked(false);
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(writtenPages(key), (std::vector<int> { 0, 1, 352 }));
    expectKey(key, { false, false, true, 0, {}, {}, {} }, 0);
    EXPECT_EQ(copied(), before);
    // A model whose only users are inactive: no key list, and its (inactive) list is still copied.
    key = putUsedKey(1);
    listUser(7, 6, 1, 1, false);
    chooseModel(7);
    w->CheckBox1->setChecked(true);
    mark({ 5 });
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(writtenPages(key), (std::vector<int> { 0, 1, 352 }));
    expectKey(key, { true, false, true, 0, {}, {}, { lockSerial(5) } }, 1);
    EXPECT_EQ(rows("SELECT KeyID FROM LockKeyManagement WHERE LockID = 5"), (Rows { { "6" } }));
}
