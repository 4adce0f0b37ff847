// A New Lock Setup key brought back from the locks: its lock list, and a listed lock
// registered in LockManagement through the setup key panel.
#include "app/records/pickers.h"
#include "bytes/crc.h"
#include "keyreading/read_key_fixture.h"
#include "locksim/mission_headers.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QTest>

using namespace rktest;
using locksim::MissionKind;

namespace {

class SetupRegistrationTest : public ReadKeyFixture {
protected:
    // A New Lock Setup key as the lock setup window writes it, carried to the locks given.
    onewire::KeyFile setupKeyVisitedBy(std::vector<locksim::SimLock*> locks, bool classroom)
    {
        locksim::SetupOptions setup;
        setup.classroom = classroom;
        setup.written = at(2026, 5, 6, 7, 8, 9);
        auto key = ds1977(501);
        setPage(key, 0, locksim::missionHeader(MissionKind::NewLockSetup, kSite, 0, setup));
        setPage(key, 1, *locksim::missionPage1(MissionKind::NewLockSetup));
        auto memory = memoryOf(key);
        for (locksim::SimLock* lock : locks)
            EXPECT_EQ(lock->visit(memory), locksim::VisitResult::Filled);
        storeMemory(key, memory);
        return key;
    }
    std::unique_ptr<TReadCard_Form> readSetupKey(const onewire::KeyFile& key)
    {
        put(key);
        auto form = newForm();
        EXPECT_TRUE(read(*form).empty());
        EXPECT_EQ(form->currentPanel(), 2);
        return form;
    }
    static void selectRow(TReadCard_Form& f, int row)
    {
        f.LockSerialIDGrid->setCurrentIndex(f.LockSerialIDGrid->gridModel()->index(row, 0));
    }
    static std::string rowSerial(TReadCard_Form& f) { return f.LockSerialID_Query.FieldByName("SerialID").AsString(); }
    // Add Lock on the row, then the fields typed as given.
    void prepare(TReadCard_Form& f, int row, const QString& name, const QString& location)
    {
        selectRow(f, row);
        f.BitBtn3Click();
        f.Edit5->setText(name);
        f.ComboBox1->setEditText(location);
    }
    std::vector<std::string> save(TReadCard_Form& f)
    {
        dialogs.boxes.clear();
        f.BitBtn4Click();
        return dialogs.texts();
    }
    static RomId lockRom(uint64_t serial) { return onewire::makeRomId(0x23, serial); }
};

TEST_F(SetupRegistrationTest, LocksThatVisitedTheKeyAreListedAndOneIsRegistered)
{
    locksim::SimLock known(lockRom(11), kSite, at(2026, 5, 6, 8));
    locksim::SimLock fresh(lockRom(12), kSite, at(2026, 5, 6, 8));
    addLock(4, lockRom(11), "Front", "Lobby");
    addLock(7, lockRom(99), "Back", "Yard");
    auto form = readSetupKey(setupKeyVisitedBy({ &known, &fresh }, true));
    ASSERT_EQ(form->LockSerialID_Query.RecordCount(), 2);
    EXPECT_EQ(form->Label31->text(), keyreading::dateTimeText(at(2026, 5, 6, 7, 8, 9)));
    EXPECT_EQ(form->SetupClassroomFlag, 'Z');
    // The list's columns carry their captions, before and after a save reopens it.
    auto titles = [&] {
        TDbGridModel* model = form->LockSerialIDGrid->gridModel();
        QStringList t;
        for (int c = 0; c < model->columnCount(); ++c)
            t << model->headerData(c, Qt::Horizontal).toString();
        return t;
    };
    const QStringList captions { "Serial ID", "Exist In Database", "Lock Name" };
    EXPECT_EQ(titles(), captions);

    // The first row is a registered lock: nothing to add.
    selectRow(*form, 0);
    EXPECT_EQ(rowSerial(*form), romIdText(lockRom(11)));
    EXPECT_FALSE(form->BitBtn3->isEnabled());
    dialogs.boxes.clear();
    form->BitBtn3Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "This lock serial id has been exist in database." });
    EXPECT_TRUE(form->Edit4->text().isEmpty());

    // The second is new: Add Lock prepares it with the classroom default of the key.
    selectRow(*form, 1);
    EXPECT_TRUE(form->BitBtn3->isEnabled());
    EXPECT_FALSE(form->BitBtn4->isEnabled());
    form->ComboBox2->setCurrentIndex(1);
    form->BitBtn3Click();
    EXPECT_EQ(form->Edit4->text().toStdString(), romIdText(lockRom(12)));
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Classroom Mode"));
    EXPECT_EQ(form->NewLockStatusID, 1);
    EXPECT_EQ(form->ComboBox2->currentText(), QStringLiteral("iButton"));
    for (QWidget* w : std::initializer_list<QWidget*> { form->Edit4, form->Edit5, form->ComboBox1, form->Edit7,
             form->ComboBox2, form->BitBtn4 })
        EXPECT_TRUE(w->isEnabled());
    form->Edit5->setText(QStringLiteral("Room 101"));
    form->ComboBox1->setEditText(QStringLiteral("Wing A"));
    EXPECT_TRUE(save(*form).empty());

    TDbQuery q(&db);
    q.SQL = "SELECT LockID,SerialID,LockName,LockLocation,LockStatusID,LockType FROM LockManagement "
            "WHERE LockName = 'Room 101'";
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName("LockID").AsInteger(), 8); // the largest id plus one
    EXPECT_EQ(q.FieldByName("SerialID").AsString(), romIdText(lockRom(12)));
    EXPECT_EQ(q.FieldByName("LockLocation").AsString(), "Wing A");
    EXPECT_EQ(q.FieldByName("LockStatusID").AsInteger(), 1);
    EXPECT_EQ(q.FieldByName("LockType").AsString(), "iButton");
    EXPECT_FALSE(form->BitBtn4->isEnabled());
    EXPECT_EQ(titles(), captions);
    EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1"), 2);
    EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 2);
    selectRow(*form, 1);
    EXPECT_EQ(form->LockSerialID_Query.FieldByName("LockName").AsString(), "Room 101");
    EXPECT_TRUE(form->LockSerialID_Query.FieldByName("Exist").AsBoolean());
    dialogs.boxes.clear();
    form->BitBtn3Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "This lock serial id has been exist in database." });

    // The location list now offers the new location once, beside the older ones.
    QStringList locations;
    for (int i = 0; i < form->ComboBox1->count(); ++i)
        locations << form->ComboBox1->itemText(i);
    EXPECT_EQ(locations, (QStringList { "Lobby", "Yard", "Wing A" }));
}

TEST_F(SetupRegistrationTest, StorehouseKeyDefaultsAndTheSchedulePicker)
{
    exec("INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (3, 'Office')");
    locksim::SimLock lock(lockRom(21), kSite, at(2026, 5, 6, 8));
    auto form = readSetupKey(setupKeyVisitedBy({ &lock }, false));
    EXPECT_TRUE(form->Edit7->text().isEmpty());
    EXPECT_FALSE(form->Edit7->isEnabled());
    selectRow(*form, 0);
    form->BitBtn3Click();
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Storehouse Mode"));
    EXPECT_EQ(form->NewLockStatusID, 2);

    // The real lock schedule window, in pick mode, preset to the schedule shown.
    int shown = 0;
    auto pick = [&](int row) {
        QTimer::singleShot(0, [&, row] {
            auto* picker = qobject_cast<TLockModeSetting_Form*>(QApplication::activeModalWidget());
            ASSERT_NE(picker, nullptr);
            ++shown;
            EXPECT_EQ(picker->Query1.FieldByName("LockStatusID").AsInteger(), form->NewLockStatusID);
            if (row < 0) {
                picker->BitBtn2Click();
                return;
            }
            picker->DBGrid1->setCurrentIndex(picker->DBGrid1->gridModel()->index(row, 0));
            picker->BitBtn1Click();
        });
    };
    pick(2);
    QTest::mouseDClick(form->Edit7, Qt::LeftButton);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("Office"));
    EXPECT_EQ(form->NewLockStatusID, 3);
    EXPECT_EQ(SettingsRecord.PickLockStatusMode, 0);

    // Nothing picked: back to the classroom schedule, whatever was shown before.
    form->NewLockStatusID = 2;
    form->Edit7->setText(QStringLiteral("No Limit Storehouse Mode"));
    pick(-1);
    form->Edit7Enter();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Classroom Mode"));
    EXPECT_EQ(form->NewLockStatusID, 1);

    form->Edit5->setText(QStringLiteral("Store"));
    form->ComboBox1->setEditText(QStringLiteral("Basement"));
    pick(2);
    form->Edit7Enter();
    EXPECT_TRUE(save(*form).empty());
    EXPECT_EQ(scalar("SELECT LockStatusID FROM LockManagement WHERE LockName = 'Store'"), 3);
    EXPECT_EQ(scalar("SELECT LockID FROM LockManagement WHERE LockName = 'Store'"), 1); // first lock
}

TEST_F(SetupRegistrationTest, SaveRefusalsWriteNothing)
{
    locksim::SimLock lock(lockRom(31), kSite, at(2026, 5, 6, 8));
    addLock(1, lockRom(32), "Lock A", "Hall");
    auto form = readSetupKey(setupKeyVisitedBy({ &lock }, true));
    const auto locksBefore = scalar("SELECT count(*) FROM LockManagement");

    struct Case {
        QString serial, name, location;
        std::string message;
    };
    RomId badCrc = lockRom(33);
    badCrc[7] ^= 0x01;
    const QString serial = QString::fromStdString(romIdText(lockRom(31)));
    const Case cases[] = {
        { serial, "lock a", "Hall", "Lock Name has been existed." },
        { serial, "LOCK A", "Hall", "Lock Name has been existed." },
        { "  ", "  ", "  ", "Lock Serial ID is a Required Field." },
        { serial, "  ", "Hall", "Lock Name is a Required Field." },
        { serial, "New", " ", "Lock Location is a Required Field." },
        { QString::fromStdString(romIdText(badCrc)), "New", "Hall",
            "Lock Serial ID must be 16 hexadecimal digits with a valid check byte." },
        { serial.left(15), "New", "Hall", "Lock Serial ID must be 16 hexadecimal digits with a valid check byte." },
        { serial.left(15) + "G", "New", "Hall",
            "Lock Serial ID must be 16 hexadecimal digits with a valid check byte." },
        { QString::fromStdString(romIdText(lockRom(32))), "New", "Hall",
            "This lock serial id has been exist in database." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + " / " + c.name.toStdString());
        prepare(*form, 0, c.name, c.location);
        form->Edit4->setText(c.serial);
        EXPECT_EQ(save(*form), std::vector<std::string> { c.message });
        EXPECT_EQ(scalar("SELECT count(*) FROM LockManagement"), locksBefore);
        EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1"), 0);
        EXPECT_TRUE(form->BitBtn4->isEnabled());
    }
    // A leading blank makes another name; a serial typed in lower case is stored as shown.
    prepare(*form, 0, " Lock A", "Hall");
    form->Edit4->setText(serial.toLower());
    EXPECT_TRUE(save(*form).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM LockManagement WHERE LockName = ' Lock A' AND SerialID = '"
                  + serial.toStdString() + "'"),
        1);
    EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1 AND LockName = ' Lock A'"), 1);
}

TEST_F(SetupRegistrationTest, StatusFieldOpensThePickerWhenEnteredNotWhenFocusReturns)
{
    locksim::SimLock lock(lockRom(51), kSite, at(2026, 5, 6, 8));
    auto form = readSetupKey(setupKeyVisitedBy({ &lock }, true));
    int runs = 0;
    form->runLockStatusPicker = [&] {
        ++runs;
        SettingsRecord.PickedLockStatusID = 2;
        SettingsRecord.PickedLockStatusName = "No Limit Storehouse Mode";
    };
    auto focusIn = [&](Qt::FocusReason reason) {
        QFocusEvent event(QEvent::FocusIn, reason);
        QApplication::sendEvent(form->Edit7, &event);
    };
    focusIn(Qt::TabFocusReason); // disabled until Add Lock
    EXPECT_EQ(runs, 0);
    selectRow(*form, 0);
    form->BitBtn3Click();
    focusIn(Qt::TabFocusReason);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Storehouse Mode"));
    EXPECT_EQ(form->NewLockStatusID, 2);
    focusIn(Qt::ActiveWindowFocusReason); // the picker closed and the window is active again
    focusIn(Qt::PopupFocusReason);
    EXPECT_EQ(runs, 1);
    focusIn(Qt::MouseFocusReason);
    EXPECT_EQ(runs, 2);
    QTest::mouseDClick(form->Edit7, Qt::LeftButton);
    EXPECT_EQ(runs, 3);
}

TEST_F(SetupRegistrationTest, EmptyKeyAndRowChanges)
{
    auto form = readSetupKey(setupKeyVisitedBy({}, false));
    EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 0);
    dialogs.boxes.clear();
    form->BitBtn3Click(); // no row: nothing happens
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(form->Edit4->text().isEmpty());
    EXPECT_FALSE(form->Edit4->isEnabled());
}

TEST_F(SetupRegistrationTest, MovingToARegisteredRowLocksTheFields)
{
    locksim::SimLock a(lockRom(41), kSite, at(2026, 5, 6, 8)), b(lockRom(42), kSite, at(2026, 5, 6, 8));
    addLock(1, lockRom(42), "B", "Hall");
    auto form = readSetupKey(setupKeyVisitedBy({ &a, &b }, true));
    prepare(*form, 0, "Typed", "Somewhere");
    EXPECT_TRUE(form->Edit5->isEnabled());
    selectRow(*form, 1);
    for (QWidget* w : std::initializer_list<QWidget*> { form->BitBtn3, form->Edit4, form->Edit5, form->ComboBox1,
             form->Edit7, form->ComboBox2, form->BitBtn4 })
        EXPECT_FALSE(w->isEnabled());
    for (QLineEdit* e : { form->Edit4, form->Edit5, form->Edit7 })
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_TRUE(form->ComboBox1->currentText().isEmpty());
    // Back on the new lock: Add Lock is offered again, the fields stay as they are.
    selectRow(*form, 0);
    EXPECT_TRUE(form->BitBtn3->isEnabled());
    EXPECT_FALSE(form->Edit5->isEnabled());
}

} // namespace
