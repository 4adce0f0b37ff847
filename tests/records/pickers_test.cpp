// The pickers on a copy of the supplied database.
#include "app/records/pickers.h"
#include "missions/window_fixture.h"


using namespace wintest;

namespace {

class PickerTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        db.ExecSQL(
            "INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType) VALUES"
            " (1, 'AA00000000010101', 'Room 101', 'North', 1, 'iButton'),"
            " (2, 'BB00000000010201', 'Room 102', 'South', 1, 'iButton'),"
            " (3, 'CC00000000020101', 'Store 100%', 'North', 2, 'Access Code');"
            "INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (3, 'Office'), (4, 'Night');"
            "INSERT INTO LockStatusST (LockStatusID, LockStatus, BeginTime, Sunday, Monday, Tuesday, Wednesday,"
            " Thursday, Friday, Saturday) VALUES (3, 'Classroom Mode', '08:00:00', 0, 1, 1, 1, 1, 1, 0),"
            " (4, 'Lock Mode', '22:00:00', 1, 1, 1, 1, 1, 1, 1), (4, 'Unlock Mode', '06:30:00', 1, 1, 1, 1, 1, 1, 1);"
            "INSERT INTO TimeGroup (GroupID, GroupName) VALUES (2, 'Day'), (3, 'Night');"
            "INSERT INTO TimeShift (GroupID, BeginTime, EndTime, DayOfWeek) VALUES (3, '22:00:00', '23:59:00', 'Monday'),"
            " (3, '20:00:00', '21:00:00', 'Tuesday');"
            "INSERT INTO ActExpDateST (GroupID, ActivationDate, ExpirationDate) VALUES"
            " (2, '2026-01-01 00:00:00', '2026-12-31 23:59:00'), (3, '2027-01-01 00:00:00', '2027-06-30 12:00:00');");
    }
    static std::string column(TDbQuery& q, const char* field)
    {
        QStringList out;
        for (int r = 0; r < q.RecordCount(); ++r)
            out << QString::fromStdString(q.CellValue(r, q.FieldByName(field).Index()).toString());
        return out.join(",").toStdString();
    }
};

} // namespace

TEST_F(PickerTest, LockPickerFiltersAndHandsOverTheSerialId)
{
    db.ExecSQL("INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType)"
               " VALUES (4, 'DD00000000030101', 'Shed', NULL, 1, 'Access Code')");
    TWhichLock_Form f(nullptr, &db);
    // Name, location and type filters; '%' is a character here, not a wildcard, and a lock
    // without a location is listed too.
    const std::tuple<const char*, const char*, int, const char*> filters[] = {
        { "", "", 0, "Room 101,Room 102,Shed,Store 100%" }, { "", "north", 0, "Room 101,Store 100%" },
        { "100%", "north", 0, "Store 100%" }, { "Shed", "", 0, "Shed" }, { "", "", 1, "Room 101,Room 102" } };
    for (const auto& [name, location, type, listed] : filters) {
        f.Edit1->setText(name);
        f.Edit2->setText(location);
        f.ComboBox1->setCurrentIndex(type);
        EXPECT_EQ(column(f.Query1, "LockName"), listed) << name << location << type;
    }
    f.DBGrid1->setCurrentIndex(f.DBGrid1->gridModel()->index(1, 0));
    f.BitBtn1->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(SettingsRecord.PickedLockSerialID, "BB00000000010201");
}

TEST_F(PickerTest, AccessCodeOnlyModeIsClearedOnEveryWayOut)
{
    // Select, Close, a double click on the grid, Escape or the title bar.
    const std::pair<std::function<void(TWhichLock_Form&)>, std::string> ways[] = {
        { &TWhichLock_Form::BitBtn1Click, "CC00000000020101" }, { &TWhichLock_Form::BitBtn2Click, "" },
        { &TWhichLock_Form::DBGrid1DblClick, "CC00000000020101" }, { &TWhichLock_Form::reject, "" } };
    for (const auto& [way, picked] : ways) {
        SettingsRecord.PickAccessCodeLocksOnly = 1;
        SettingsRecord.PickedLockSerialID = "stale";
        TWhichLock_Form f(nullptr, &db);
        EXPECT_FALSE(f.ComboBox1->isEnabled());
        f.ComboBox1->setCurrentIndex(0); // cannot widen the list
        EXPECT_EQ(column(f.Query1, "LockName"), "Store 100%");
        way(f);
        EXPECT_EQ(SettingsRecord.PickedLockSerialID, picked);
        EXPECT_EQ(SettingsRecord.PickAccessCodeLocksOnly, 0) << picked;
    }
}

// Each schedule picker opens on the caller's choice. The group pickers hand over the chosen
// group, or 0 (the caller keeps its own) when closed; the lock schedule's hand-over is checked
// where the setup window uses it.
TEST_F(PickerTest, SchedulePickersOpenOnTheCallersChoiceAndHandItOver)
{
    SettingsRecord.PickLockStatusMode = 1;
    SettingsRecord.PickedLockStatusID = 4;
    {
        TLockModeSetting_Form f(nullptr, &db);
        EXPECT_EQ(f.Query1.FieldByName("LockStatusName").AsString() + ": " + column(f.Query2, "LockStatus"),
                  "Night: Unlock Mode,Lock Mode"); // earliest first
        EXPECT_EQ(f.DBGrid2->gridModel()->data(f.DBGrid2->gridModel()->index(0, 1)).toString(), "06:30");
        f.DBGrid1->setCurrentIndex(f.DBGrid1->gridModel()->index(2, 0));
        EXPECT_EQ(f.Query1.FieldByName("LockStatusName").AsString() + ": " + column(f.Query2, "LockStatus"), "Office: Classroom Mode");
    }
    SettingsRecord.PickTimeShiftMode = 1;
    SettingsRecord.PickedTimeGroupID = 3;
    {
        TTimeShiftSetting_Form f(nullptr, &db);
        EXPECT_EQ(f.Query1.FieldByName("GroupName").AsString() + ": " + column(f.Query2, "DayOfWeek"), "Night: Tuesday,Monday");
        f.Query1.Locate("GroupID", 2);
        EXPECT_EQ(f.Query2.RecordCount(), 0);
        f.BitBtn1Click();
    }
    EXPECT_EQ(std::tuple(SettingsRecord.PickedTimeGroupID, SettingsRecord.PickTimeShiftMode), std::tuple(uint8_t(2), uint8_t(0)));
    SettingsRecord.PickTimeShiftMode = 1;
    TTimeShiftSetting_Form(nullptr, &db).reject();
    EXPECT_EQ(SettingsRecord.PickedTimeGroupID, 0);

    SettingsRecord.PickActExpMode = 1;
    SettingsRecord.PickedActExpGroupID = 3;
    {
        TActExpDateSetting_Form f(nullptr, &db);
        auto* m = f.DBGrid1->gridModel();
        // Date-times as every grid shows them: the pinned C locale's short date and long time.
        EXPECT_EQ(m->data(m->index(f.Query1.RecNo() - 1, m->columnOf("ExpirationDate"))).toString(),
            QStringLiteral("30 Jun 2027 12:00:00"));
        f.DBGrid1DblClick();
    }
    EXPECT_EQ(SettingsRecord.PickedActExpGroupID, 3);
    SettingsRecord.PickActExpMode = 1;
    TActExpDateSetting_Form(nullptr, &db).BitBtn2Click();
    EXPECT_EQ(SettingsRecord.PickedActExpGroupID, 0);
}
