// The Copy Lock Settings window on a real database file and key files in the emulated reader.
#include "app/missions/multi_time_assignment_form.h"
#include "keyformats/copy_settings_key.h"
#include "missions/window_fixture.h"

using namespace wintest;

namespace {

class CopyWindow : public TMultiTimeAssignment_Form {
public:
    using TMultiTimeAssignment_Form::TMultiTimeAssignment_Form;
    std::string nextLock;

protected:
    void runLockPicker() override { SettingsRecord.PickedLockSerialID = nextLock; }
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
    // The key holds the header and the body the window should have built from this content.
    void expectKey(const RomId& key, const CopySettingsKeyContent& c, int markedLocks)
    {
        EXPECT_EQ(page(key, 0), CopySettingsKeyHeader(kSite, markedLocks));
        expectPages(key, copySettingsBodyWrites(c));
    }
    Texts issue()
    {
        dialogs.boxes.clear();
        w->sbMakeCardClick();
        return dialogs.texts();
    }

    std::unique_ptr<CopyWindow> w;
    const Texts ok { "Write Multi-Lock Time Table Key OK." };
};

} // namespace

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

TEST_F(CopySettingsTest, CopiesScheduleAndUsers)
{
    const RomId key = putUsedKey(1);
    chooseModel(2);
    w->CheckBox1->setChecked(true);
    mark({ 2, 3, 5 }); // the model itself is listed on the key but not copied onto
    db.ExecSQL("UPDATE LockKeyManagement SET SerialID = NULL, KeyCode = NULL, UserType = NULL, FirstName = NULL"
               " WHERE LockID = 2 AND KeyID = 6");
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(w->ProgressBar1->value(), 0);
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
}

TEST_F(CopySettingsTest, WhatTheBoxesAndTheModelsListPutOnTheKey)
{
    // Neither box: page 1 and the lock list only, and the database as it was.
    const auto copied = [&] { return rows("SELECT * FROM LockKeyManagement, LockManagement ORDER BY 1, 2, 3"); };
    const auto before = copied();
    RomId key = putUsedKey(2);
    chooseModel(1); // schedule 1
    w->CheckBox2->setChecked(false);
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(writtenPages(key), (std::vector<int> { 0, 1, 352 }));
    expectKey(key, { false, false, true, 0, {}, {}, {} }, 0);
    EXPECT_EQ(copied(), before);
    // A model whose only users are inactive: no key list, and its (inactive) list is still copied.
    key = putUsedKey(2);
    listUser(7, 6, 1, 1, false);
    chooseModel(7);
    w->CheckBox1->setChecked(true);
    mark({ 5 });
    EXPECT_EQ(issue(), ok);
    EXPECT_EQ(writtenPages(key), (std::vector<int> { 0, 1, 352 }));
    expectKey(key, { true, false, true, 0, {}, {}, { lockSerial(5) } }, 1);
    EXPECT_EQ(rows("SELECT KeyID FROM LockKeyManagement WHERE LockID = 5"), (Rows { { "6" } }));
}
