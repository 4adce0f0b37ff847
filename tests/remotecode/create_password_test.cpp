// The Remote Code window on a copy of the supplied database, with key files in the emulated
// reader's folder and the Print workbook read back by an independent reader.
#include "app/missions/create_password_form.h"
#include "app/records/pickers.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/window_registry.h"
#include "app/shell/settings_record.h"
#include "keyformats/access_code.h"
#include "missions/query_rows.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"
#include "workbook/export.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };
const char* kLockA = "A566554433221137";
const char* kLockB = "0F0000000000AB37";

class RemoteCodeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(folder);
        fs::create_directories(folder / "reader");
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", folder / "db.db");
        db.Open((folder / "db.db").string());
        db.ExecSQL("INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType) VALUES"
                   " (1, 'A566554433221137', 'Room 101', 'North', 1, 'Access Code'),"
                   " (2, '0F0000000000AB37', 'Room 102', 'South', 1, 'Access Code'),"
                   " (3, 'CC00000000020101', 'Store', 'North', 2, 'iButton'),"
                   " (4, 'NOT-A-SERIAL', 'Broken', 'West', 1, 'Access Code'),"
                   " (5, 'DD00000000020101', 'Room 101', NULL, 1, 'iButton');"
                   "INSERT INTO Admin (UserName, Password, Level) VALUES ('clerk', 'x', 1);");
        SettingsRecord = TSettingsRecord {};
        SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
        SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
        SettingsRecord.FacilityCode = kSite;
        TLogin_Form::OperatorName = "admin";
        workbook::exportSettings().folder = folder / "Exports";
        workbook::exportSettings().openHook = {};
    }
    void TearDown() override
    {
        db.Close();
        fs::remove_all(folder);
        TLogin_Form::OperatorName.clear();
    }

    // The operator picks a lock in the picker (an empty serial: leaves it with Close).
    void pick(TCreatePassword_Form& w, const std::string& serial)
    {
        w.showLockPicker = [serial, this](TWhichLock_Form& p) {
            for (int r = 0; r < p.Query1.RecordCount(); ++r)
                pickerTypes.push_back(p.Query1.CellValue(r, p.Query1.FieldByName("LockType").Index()).toString());
            if (serial.empty() || !p.Query1.Locate("SerialID", DbVariant(serial)))
                p.BitBtn2Click();
            else
                p.BitBtn1Click();
        };
        w.Edit1Enter();
    }
    static void period(TCreatePassword_Form& w, QDate start, int startHour, QDate end, int endHour)
    {
        w.MonthCalendar1->setSelectedDate(start);
        w.MonthCalendar2->setSelectedDate(end);
        w.ComboBox2->setCurrentIndex(startHour);
        w.ComboBox3->setCurrentIndex(endHour);
    }
    static void guest(TCreatePassword_Form& w, const char* first, const char* last)
    {
        w.Edit2->setText(first);
        w.Edit3->setText(last);
    }
    std::unique_ptr<TCreatePassword_Form> window()
    {
        auto w = std::make_unique<TCreatePassword_Form>(nullptr, &db);
        w->now = [] { return db::makeDateTime(2026, 12, 6, 9, 30, 15); };
        w->TemplateFile = fs::path(IOS_BINARY_DIR) / "AccessCodeReport.xlsx";
        return w;
    }
    std::vector<std::vector<std::string>> rows(const std::string& sql) { return missions_test::queryRows(db, sql); }
    int count(const std::string& table) { return std::stoi(rows("SELECT COUNT(*) FROM " + table)[0][0]); }
    void addCode(const std::string& serial, const std::string& lock, const std::string& first, const char* type,
                 const std::string& start, const std::string& end, const std::string& created, const char* by,
                 const std::string& code, int lostTimes = 1)
    {
        db.ExecSQL("INSERT INTO AccessCode (SerialID, LockName, GuestFirstName, GuestLastName, CodeType, StartDate,"
                   " EndDate, DateCreated, CreatedBy, CodeString, LostTimes, HasDeleted) VALUES ('"
                   + serial + "', '" + lock + "', '" + first + "', 'Guest', '" + type + "', '" + start + "', '" + end
                   + "', '" + created + "', '" + by + "', '" + code + "', " + std::to_string(lostTimes) + ", 0)");
    }
    RomId putKey(uint64_t serial)
    {
        const RomId rom = onewire::makeRomId(onewire::kFamilyDS1977, serial);
        EXPECT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(folder / "reader", rom), onewire::blankDS1977(rom)));
        return rom;
    }
    onewire::Page page(const RomId& rom, int p)
    {
        auto k = onewire::loadKeyFile(onewire::keyFilePath(folder / "reader", rom));
        EXPECT_TRUE(k.key) << k.error;
        return k.key ? onewire::ds1977Page(*k.key, p).value_or(onewire::Page {}) : onewire::Page {};
    }
    // Ticks the grid rows (0-based) through the Selected cells.
    static void tick(TCreatePassword_Form& w, std::initializer_list<int> gridRows)
    {
        const int col = w.DBGrid2->gridModel()->columnOf("Selected");
        for (int r : gridRows)
            w.DBGrid2CellClick(w.DBGrid2->gridModel()->index(r, col));
    }
    std::vector<std::string> deletedCodes()
    {
        std::vector<std::string> out;
        for (const auto& r : rows("SELECT CodeString FROM AccessCode WHERE HasDeleted = 1 ORDER BY CodeString"))
            out.push_back(r[0]);
        return out;
    }

    fs::path folder = fs::temp_directory_path() / ("ios_remotecode_" + std::to_string(::getpid()));
    TDbConnection db;
    std::vector<std::string> pickerTypes;
    std::shared_ptr<onewire::EmulatedReader> reader = std::make_shared<onewire::EmulatedReader>(folder / "reader");
    onewire::ScopedPort port { onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, reader };
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
    const QDate today = QDate::currentDate();
};

} // namespace

TEST_F(RemoteCodeTest, OpensWithTodayAndTheSearchLists)
{
    auto w = window();
    EXPECT_EQ(w->windowTitle(), "Remote Code");
    EXPECT_EQ(w->PageControl1->tabText(0), "Create Code");
    EXPECT_EQ(w->PageControl1->tabText(1), "Delete Code");
    EXPECT_FALSE(w->BitBtn1->isEnabled());
    EXPECT_EQ(w->MonthCalendar1->minimumDate(), today);
    EXPECT_EQ(w->MonthCalendar2->selectedDate(), today);
    EXPECT_EQ(w->ComboBox1->currentText(), "Guest Temporary Code");
    EXPECT_EQ(w->ComboBox2->count(), 24);
    EXPECT_EQ(w->ComboBox3->itemText(23), "23:00");
    // Distinct, non-null, in the order read, nothing chosen.
    QStringList names, locations, operators;
    for (int i = 0; i < w->ComboBox5->count(); ++i)
        names << w->ComboBox5->itemText(i);
    for (int i = 0; i < w->ComboBox6->count(); ++i)
        locations << w->ComboBox6->itemText(i);
    for (int i = 0; i < w->ComboBox7->count(); ++i)
        operators << w->ComboBox7->itemText(i);
    EXPECT_EQ(names, (QStringList { "Room 101", "Room 102", "Store", "Broken" }));
    EXPECT_EQ(locations, (QStringList { "North", "South", "West" }));
    EXPECT_EQ(operators, (QStringList { "admin", "clerk" }));
    EXPECT_EQ(w->ComboBox5->currentIndex(), -1);
    EXPECT_EQ(w->ComboBox7->currentIndex(), -1);
    EXPECT_EQ(w->DBGrid2->gridModel()->rowCount(), 0);
}

TEST_F(RemoteCodeTest, CreateCodeStoresTheRowThenShowsIt)
{
    auto w = window();
    pick(*w, kLockA);
    EXPECT_EQ(pickerTypes, (std::vector<std::string> { "Access Code", "Access Code", "Access Code" })); // 101, 102, Broken
    EXPECT_EQ(SettingsRecord.PickAccessCodeLocksOnly, 0);
    EXPECT_EQ(w->Edit1->text(), "Room 101");
    EXPECT_EQ(w->lbLockLocation->text(), "North");
    const QDate start = today.addDays(1), end = today.addDays(3);
    period(*w, start, 8, end, 11);
    guest(*w, " Ann ", "Lee");
    w->sbMakeCardClick();
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.texts().front();

    const std::string s = start.toString("yyyy-MM-dd").toStdString(), e = end.toString("yyyy-MM-dd").toStdString();
    const std::string code = MakeAccessCode(kLockA, 2, std::chrono::year { start.year() } / start.month() / start.day(), 8,
                                            std::chrono::year { end.year() } / end.month() / end.day(), 11, 0);
    EXPECT_EQ(code.size(), 10u);
    const auto stored = rows("SELECT SerialID, LockName, GuestFirstName, GuestLastName, CodeType, StartDate, EndDate,"
                             " DateCreated, CreatedBy, CodeString, LostTimes, HasDeleted, TimeGroup FROM AccessCode");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0], (std::vector<std::string> { kLockA, "Room 101", " Ann ", "Lee", "Temp", s + " 08:00:00",
                                                     e + " 11:00:00", "2026-12-06 09:30:15", "admin", code, "1",
                                                     "False", "<null>" }));
    // Stored as the other windows read them: 0/1 Booleans, integers, ISO date-time text.
    EXPECT_EQ(rows("SELECT typeof(HasDeleted), HasDeleted = 0, typeof(LostTimes), typeof(StartDate) FROM AccessCode"),
              (std::vector<std::vector<std::string>> { { "integer", "1", "integer", "text" } }));
    EXPECT_EQ(w->lbLockName->text(), "Room 101");
    EXPECT_EQ(w->lbAccessCode->text().toStdString(), code);
    EXPECT_EQ(w->lbFirstName->text(), " Ann ");
    EXPECT_EQ(w->lbStartDate->text().toStdString(), s + " 08:00:00");
    EXPECT_EQ(w->lbEndDate->text().toStdString(), e + " 11:00:00");
    EXPECT_EQ(w->lbDateCreated->text(), "2026-12-06 09:30:15");
    EXPECT_EQ(w->lbCreatedBy->text(), "admin");
    EXPECT_EQ(w->lbVersion->text(), "Access Code Version:     1");
    EXPECT_TRUE(w->BitBtn1->isEnabled());

    // A one-time code for 31 days is the long form.
    w->ComboBox1->setCurrentIndex(1);
    period(*w, today, 0, today.addDays(31), 0);
    w->sbMakeCardClick();
    const auto once = rows("SELECT CodeType, CodeString, LostTimes FROM AccessCode WHERE CodeType = 'Once'");
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(once[0][1].size(), 12u);
    EXPECT_EQ(once[0][2], "1");
}

TEST_F(RemoteCodeTest, VersionsCountPerLockTypeAndPeriod)
{
    auto w = window();
    pick(*w, kLockA);
    guest(*w, "Ann", "Lee");
    const QDate start = today.addDays(2);
    period(*w, start, 14, start.addDays(1), 12);
    const auto ymd = [](QDate d) { return std::chrono::year { d.year() } / d.month() / d.day(); };
    for (int v = 1; v <= 4; ++v) {
        w->sbMakeCardClick();
        EXPECT_EQ(w->lbVersion->text(), "Access Code Version:     " + QString::number(v));
        EXPECT_EQ(w->lbAccessCode->text().toStdString(), MakeAccessCode(kLockA, 2, ymd(start), 14, ymd(start.addDays(1)), 12, v - 1));
    }
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(LostTimes) FROM AccessCode")[0][0], "1,2,3,4");
    // A fifth is refused and nothing is stored; the shown code stays the last one.
    const QString shown = w->lbAccessCode->text();
    w->sbMakeCardClick();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
    EXPECT_EQ(dialogs.boxes[0].text, "Can not creat Access Code again, record number is more than 4 .");
    EXPECT_EQ(count("AccessCode"), 4);
    EXPECT_EQ(w->lbAccessCode->text(), shown);
    // Another end hour, another type or another lock starts again at version 0.
    w->ComboBox3->setCurrentIndex(13);
    w->sbMakeCardClick();
    w->ComboBox3->setCurrentIndex(12);
    w->ComboBox1->setCurrentIndex(1);
    w->sbMakeCardClick();
    w->ComboBox1->setCurrentIndex(0);
    pick(*w, kLockB);
    w->sbMakeCardClick();
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(LostTimes) FROM AccessCode")[0][0], "1,2,3,4,1,1,1");
    // Deleted codes still count: their digits must never be issued again.
    db.ExecSQL("UPDATE AccessCode SET HasDeleted = 1");
    pick(*w, kLockA);
    dialogs.boxes.clear();
    w->sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Can not creat Access Code again, record number is more than 4 ." });
}

TEST_F(RemoteCodeTest, ChecksStopBeforeAnythingIsStored)
{
    auto w = window();
    guest(*w, "Ann", "Lee");
    struct Case {
        std::function<void()> set;
        BoxType type;
        const char* text;
    };
    const QDate d = today.addDays(1);
    const std::vector<Case> refused {
        { [&] { period(*w, d, 10, d, 9); }, BoxType::Warning, "Start Date should less than End Date." },
        { [&] { period(*w, d, 0, d.addDays(366), 1); }, BoxType::Warning, "The Date period should less than 365 day." },
        { [&] { guest(*w, "  ", "Lee"); }, BoxType::Information, "Guest First Name field empty." },
        { [&] { guest(*w, "Ann", "\t "); }, BoxType::Information, "Guest Last Name field empty." },
        { [&] {}, BoxType::Information, "Lock Name field empty." }, // nothing picked since start
        { [&] { pick(*w, kLockA); pick(*w, ""); }, BoxType::Information, "Lock Name field empty." },
        { [&] { pick(*w, "NOT-A-SERIAL"); }, BoxType::Warning,
          "Lock Serial ID error: it must be 16 hexadecimal digits." },
    };
    for (const auto& c : refused) {
        period(*w, d, 8, d, 9);
        guest(*w, "Ann", "Lee");
        c.set();
        dialogs.boxes.clear();
        w->sbMakeCardClick();
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.text;
        EXPECT_EQ(dialogs.boxes[0].type, c.type) << c.text;
        EXPECT_EQ(dialogs.boxes[0].text, c.text);
        EXPECT_EQ(count("AccessCode"), 0) << c.text;
        EXPECT_FALSE(w->BitBtn1->isEnabled()) << c.text;
    }
    // The picker left without a choice keeps showing the old name, yet no lock is chosen.
    EXPECT_EQ(w->Edit1->text(), "Broken");

    // Same day and hour, and exactly 366.0 days, are accepted.
    pick(*w, kLockA);
    dialogs.boxes.clear();
    period(*w, d, 5, d, 5);
    w->sbMakeCardClick();
    period(*w, d, 5, d.addDays(366), 5);
    w->sbMakeCardClick();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(count("AccessCode"), 2);
    EXPECT_EQ(rows("SELECT LENGTH(CodeString) FROM AccessCode ORDER BY rowid"),
              (std::vector<std::vector<std::string>> { { "10" }, { "12" } }));
    // Nothing earlier than today, nor past what a key's two year digits hold.
    w->MonthCalendar1->setSelectedDate(today.addDays(-1));
    EXPECT_EQ(w->MonthCalendar1->selectedDate(), today);
    EXPECT_EQ(w->MonthCalendar2->maximumDate(), QDate(2099, 12, 31));
}

TEST_F(RemoteCodeTest, EnteringTheLockNameOpensThePickerOnce)
{
    auto w = window();
    int shown = 0;
    w->showLockPicker = [&](TWhichLock_Form& p) {
        ++shown;
        EXPECT_EQ(SettingsRecord.PickAccessCodeLocksOnly, 1);
        EXPECT_TRUE(p.Query1.Locate("SerialID", DbVariant(std::string(kLockB))));
        p.BitBtn1Click();
    };
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->Edit1, &dbl);
    QApplication::processEvents();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(w->Edit1->text(), "Room 102");
    EXPECT_EQ(w->lbLockLocation->text(), "South");
    EXPECT_EQ(SettingsRecord.PickedLockSerialID, kLockB);
    // The window getting the focus back does not open it again.
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(w->Edit1, &back);
    QApplication::processEvents();
    EXPECT_EQ(shown, 1);
    QFocusEvent tabbed(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(w->Edit1, &tabbed);
    QApplication::processEvents();
    EXPECT_EQ(shown, 2);

    // Closing clears the window's global reference.
    EXPECT_EQ(CreatePassword_Form, w.get());
    EXPECT_TRUE(w->close());
    EXPECT_EQ(CreatePassword_Form, nullptr);
}

TEST_F(RemoteCodeTest, MainWindowOpensItAndCloseFreesIt)
{
    clearChildWindowRegistry();
    registerChildWindow(kRemoteCodeItem, [this] { return new TCreatePassword_Form(nullptr, &db); });
    TLogin_Form::OperatorLevel = 1;
    {
        TMain_Form main;
        main.show();
        main.menuAction("Remote Code")->trigger();
        QPointer<QWidget> child = main.openChild();
        ASSERT_NE(qobject_cast<TCreatePassword_Form*>(child.data()), nullptr);
        EXPECT_EQ(CreatePassword_Form, child.data());
        CreatePassword_Form->sbExit->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(child.isNull());
        EXPECT_EQ(CreatePassword_Form, nullptr);
    }
    TLogin_Form::OperatorLevel = 0;
    clearChildWindowRegistry();
}

namespace {
// Reads cells A5, A7, A9, A13, A15 and the sheet names back with openpyxl.
std::string readReport(const fs::path& file)
{
    const std::string cmd = "/usr/bin/python3 -c \"import sys, openpyxl; wb = openpyxl.load_workbook(sys.argv[1]); "
                            "ws = wb['Sheet1']; print(wb.sheetnames); "
                            "[print(repr(ws['A%d' % r].value)) for r in (5, 7, 9, 13, 15)]\" '"
        + file.string() + "'";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}
std::vector<fs::path> filesIn(const fs::path& dir)
{
    std::vector<fs::path> out;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            out.push_back(e.path());
    return out;
}
} // namespace

TEST_F(RemoteCodeTest, PrintFillsTheShippedTemplate)
{
    auto w = window();
    pick(*w, kLockA);
    guest(*w, "Ann", "Lee");
    const QDate d = today.addDays(1);
    period(*w, d, 8, d.addDays(2), 11);
    w->sbMakeCardClick();
    const std::string code = w->lbAccessCode->text().toStdString();
    w->BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Data has been exported successfully." });
    const auto files = filesIn(folder / "Exports");
    ASSERT_EQ(files.size(), 1u);
    const std::string ds = d.toString("yyyy-MM-dd").toStdString(), de = d.addDays(2).toString("yyyy-MM-dd").toStdString();
    EXPECT_EQ(readReport(files[0]),
              "['Sheet1']\n'Room 101'\n'North'\n'" + code + "'\n'" + ds + " 08:00:00'\n'" + de + " 11:00:00'\n");

    // A missing template is named and nothing is exported.
    dialogs.boxes.clear();
    w->TemplateFile = folder / "AccessCodeReport.xlsx";
    w->BitBtn1Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Can not find AccessCodeReport.xlsx.");
    EXPECT_EQ(filesIn(folder / "Exports").size(), 1u);
}

TEST_F(RemoteCodeTest, SearchFillsTheScratchTable)
{
    addCode(kLockA, "Room 101", "Cy", "Once", "2026-03-01 08:00:00", "2026-03-01 09:00:00", "2026-02-02 10:00:00", "clerk", "111");
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-01 23:59:59", "admin", "222");
    addCode(kLockB, "Room 102", "Bo", "Temp", "2026-03-02 00:00:00", "2026-03-09 09:00:00", "2026-02-02 10:00:00", "admin", "333");
    addCode("0000000000000000", "Nowhere", "Zed", "Temp", "2026-03-02 00:00:00", "2026-03-09 09:00:00", "2026-01-01 00:00:00", "admin", "000");
    auto w = window();
    auto searched = [&] {
        std::vector<std::string> out;
        for (const auto& r : rows("SELECT CodeString FROM TempAccessCode ORDER BY rowid"))
            out.push_back(r[0]);
        return out;
    };
    // No box ticked: every code but the all-zero lock's, oldest creation first, then start.
    w->sbQueryClick();
    ASSERT_EQ(searched(), (std::vector<std::string> { "222", "111", "333" }));
    EXPECT_EQ(rows("SELECT SerialID, LockName, GuestFirstName, CodeType, StartDate, LostTimes, HasDeleted, Selected"
                   " FROM TempAccessCode ORDER BY rowid")[0],
              (std::vector<std::string> { kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "1", "False", "False" }));
    EXPECT_EQ(w->DBGrid2->gridModel()->rowCount(), 3);

    // A from-date equal to the to-date takes the whole day.
    w->CheckBox3->setChecked(true);
    w->DateTimePicker5->setDate(QDate(2026, 2, 1));
    w->DateTimePicker6->setDate(QDate(2026, 2, 1));
    w->sbQueryClick();
    EXPECT_EQ(searched(), std::vector<std::string> { "222" });
    w->CheckBox3->setChecked(false);
    w->CheckBox1->setChecked(true);
    w->DateTimePicker1->setDate(QDate(2026, 3, 1));
    w->DateTimePicker2->setDate(QDate(2026, 3, 2));
    w->sbQueryClick();
    EXPECT_EQ(searched(), (std::vector<std::string> { "111", "333" }));
    w->CheckBox1->setChecked(false);

    w->CheckBox4->setChecked(true);
    w->ComboBox4->setCurrentText("One Time Code");
    w->sbQueryClick();
    EXPECT_EQ(searched(), std::vector<std::string> { "111" });
    w->ComboBox4->setCurrentText("Temporary Code");
    w->CheckBox7->setChecked(true);
    w->ComboBox7->setCurrentText("admin");
    w->sbQueryClick();
    EXPECT_EQ(searched(), (std::vector<std::string> { "222", "333" }));
    w->CheckBox4->setChecked(false);
    w->CheckBox7->setChecked(false);
    w->CheckBox5->setChecked(true);
    w->ComboBox5->setCurrentText("Room 102");
    w->sbQueryClick();
    EXPECT_EQ(searched(), std::vector<std::string> { "333" });
    w->CheckBox5->setChecked(false);
    w->CheckBox6->setChecked(true);
    w->ComboBox6->setCurrentText("North");
    w->sbQueryClick();
    EXPECT_EQ(searched(), (std::vector<std::string> { "222", "111" }));
    w->CheckBox6->setChecked(false);

    // Date errors, in order, after the scratch table was emptied.
    w->CheckBox2->setChecked(true);
    w->DateTimePicker3->setDate(QDate(2026, 3, 2));
    w->DateTimePicker4->setDate(QDate(2026, 3, 1));
    w->CheckBox3->setChecked(true);
    w->DateTimePicker5->setDate(QDate(2026, 3, 2));
    w->DateTimePicker6->setDate(QDate(2026, 3, 1));
    w->sbQueryClick();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string> { "End Date input error." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(count("TempAccessCode"), 0);
    EXPECT_EQ(w->DBGrid2->gridModel()->rowCount(), 0);
    w->CheckBox1->setChecked(true);
    w->DateTimePicker1->setDate(QDate(2026, 3, 9));
    w->DateTimePicker2->setDate(QDate(2026, 3, 8));
    w->sbQueryClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Start Date input error.");
    w->CheckBox1->setChecked(false);
    w->CheckBox2->setChecked(false);
    w->sbQueryClick();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.texts().back(), "Date Created input error.");
}

TEST_F(RemoteCodeTest, GridTicksAreStoredAndDeletedShowsAsColour)
{
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-01 10:00:00", "admin", "222");
    addCode(kLockA, "Room 101", "Bo", "Once", "2026-03-07 08:00:00", "2026-03-07 09:00:00", "2026-02-02 10:00:00", "admin", "333");
    db.ExecSQL("UPDATE AccessCode SET HasDeleted = 1 WHERE CodeString = '333'");
    auto w = window();
    w->sbQueryClick();
    auto* model = w->DBGrid2->gridModel();
    QHeaderView* header = w->DBGrid2->horizontalHeader();
    QStringList titles;
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (!w->DBGrid2->isColumnHidden(logical))
            titles << model->headerData(logical, Qt::Horizontal).toString();
    }
    EXPECT_EQ(titles, (QStringList { "Lock Name", "First Name", "Last Name", "Access Code", "Code Type", " ", "Deleted",
                                     "Start Date", "End Date", "Date Created", "Created By" }));

    const int deleted = model->columnOf("HasDeleted");
    EXPECT_EQ(model->data(model->index(0, deleted), Qt::BackgroundRole).value<QColor>(), QColor(0, 0x80, 0));
    EXPECT_EQ(model->data(model->index(0, deleted), Qt::ForegroundRole).value<QColor>(), QColor(0, 0x80, 0));
    EXPECT_EQ(model->data(model->index(1, deleted), Qt::BackgroundRole).value<QColor>(), QColor(0xFF, 0, 0));

    tick(*w, { 1 });
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(Selected) FROM TempAccessCode")[0][0], "0,1");
    // Space on the tick column toggles too; other keys do not.
    w->DBGrid2->setCurrentIndex(model->index(0, model->columnOf("Selected")));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(w->DBGrid2, &space);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(w->DBGrid2, &letter);
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(Selected) FROM TempAccessCode")[0][0], "1,1");
    tick(*w, { 0 });
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(Selected) FROM TempAccessCode")[0][0], "0,1");

    // A real mouse click on the tick cell.
    w->resize(709, 608);
    w->PageControl1->setCurrentIndex(1);
    w->show();
    QApplication::processEvents();
    const QRect cell = w->DBGrid2->visualRect(model->index(1, model->columnOf("Selected")));
    QTest::mouseClick(w->DBGrid2->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(Selected) FROM TempAccessCode")[0][0], "0,0");
    QTest::mouseClick(w->DBGrid2->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(Selected) FROM TempAccessCode")[0][0], "0,1");

    // A click on Deleted changes the picture only.
    w->DBGrid2CellClick(model->index(0, deleted));
    EXPECT_EQ(model->data(model->index(0, deleted), Qt::BackgroundRole).value<QColor>(), QColor(0xFF, 0, 0));
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM TempAccessCode")[0][0], "0,1");
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM AccessCode")[0][0], "0,1");
    EXPECT_EQ(w->Query4.State(), dsBrowse);
    EXPECT_FALSE(w->Query4.UpdatesPending());

    // Title clicks sort; the tick column keeps its place and painting does not trip.
    w->DBGrid2TitleClick(model->columnOf("GuestFirstName"));
    w->DBGrid2TitleClick(model->columnOf("GuestFirstName"));
    EXPECT_EQ(w->Query4.CellValue(0, w->Query4.FieldByName("GuestFirstName").Index()).toString(), "Bo");
    EXPECT_EQ(header->visualIndex(model->columnOf("Selected")), header->visualIndex(model->columnOf("HasDeleted")) - 1);
    w->resize(709, 608);
    w->PageControl1->setCurrentIndex(1);
    EXPECT_FALSE(w->grab().isNull());
}

namespace {
const uint8_t kHeader[] = { 'W', 'R', 'I', 'T', 'E', 0x03, 0x01, 0x12, 0x34, 0x56 };
bool allBytes(const onewire::Page& p, std::size_t from, std::size_t to, uint8_t v)
{
    return std::all_of(p.begin() + from, p.begin() + to, [v](uint8_t b) { return b == v; });
}
} // namespace

TEST_F(RemoteCodeTest, IssueKeyWritesTheTickedCodesThenMarksThem)
{
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-12-31 23:00:00", "2027-01-02 08:00:00", "2026-02-01 10:00:00", "admin", "222", 3);
    addCode(kLockA, "Room 101", "Bo", "Once", "2026-03-07 08:00:00", "2026-03-07 09:00:00", "2026-02-02 10:00:00", "admin", "333");
    db.ExecSQL("UPDATE AccessCode SET GuestLastName = NULL, CreatedBy = NULL WHERE CodeString = '333'"); // as imported
    const RomId key = putKey(1);
    auto w = window();
    w->sbQueryClick();
    tick(*w, { 0 });
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Delete Code Key OK." });
    EXPECT_EQ(w->ProgressBar1->value(), 0);

    const auto p0 = page(key, 0);
    EXPECT_TRUE(std::equal(std::begin(kHeader), std::end(kHeader), p0.begin()));
    EXPECT_TRUE(allBytes(p0, 10, 64, 0xFF));
    const auto p1 = page(key, 1);
    const uint8_t section[] = { 0x37, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xA5, 0x40, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01 };
    EXPECT_TRUE(std::equal(std::begin(section), std::end(section), p1.begin()));
    EXPECT_TRUE(allBytes(p1, 18, 64, 0xFF));
    const auto p2 = page(key, 2);
    const uint8_t entry[] = { 0x26, 0x12, 0x31, 0x23, 0x00, 0x27, 0x01, 0x02, 0x08, 0x00, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF };
    EXPECT_TRUE(std::equal(std::begin(entry), std::end(entry), p2.begin()));
    EXPECT_TRUE(allBytes(p2, 16, 64, 0xFF));
    for (int p = 3; p <= 20; ++p)
        EXPECT_TRUE(allBytes(page(key, p), 0, 64, 0xFF)) << p;
    EXPECT_EQ(deletedCodes(), std::vector<std::string> { "222" });
    // The grid keeps what it showed until the next search.
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM TempAccessCode")[0][0], "0,0");

    // Both ticked, the memory of deleted codes cleared: page 1 bytes 8 and 16 change, the count is 2.
    tick(*w, { 1 });
    w->CheckBox8->setChecked(true);
    dialogs.boxes.clear();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Delete Code Key OK." });
    const auto q1 = page(key, 1);
    EXPECT_EQ(q1[8], 0x60);
    EXPECT_EQ(q1[16], 0x5A);
    EXPECT_EQ(q1[17], 0x02);
    EXPECT_EQ(page(key, 2)[16 + 10], 0x00); // the 'Once' code in slot 1
    EXPECT_EQ(page(key, 2)[16 + 11], 0x00);
    EXPECT_EQ(deletedCodes(), (std::vector<std::string> { "222", "333" }));
}

TEST_F(RemoteCodeTest, SeventySixCodesFillTheKeyAndMoreAreRefused)
{
    for (int n = 0; n < 77; ++n) {
        char start[32];
        std::snprintf(start, sizeof start, "2027-%02d-%02d %02d:00:00", 1 + n % 12, 1 + n % 28, n % 24);
        char created[32];
        std::snprintf(created, sizeof created, "2026-01-01 00:%02d:%02d", n / 60, n % 60);
        addCode(kLockA, "Room 101", "G" + std::to_string(n), n % 2 ? "Once" : "Temp", start, "2027-12-31 23:00:00",
                created, "admin", std::to_string(1000 + n), 1 + n % 4);
    }
    const RomId key = putKey(2);
    auto w = window();
    w->sbQueryClick();
    db.ExecSQL("UPDATE TempAccessCode SET Selected = 1");
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { "Too many codes selected: a Delete Code Key holds at most 76 codes.",
                                                           "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(key, 0), 0, 64, 0xFF));
    EXPECT_TRUE(allBytes(page(key, 1), 0, 64, 0xFF));
    EXPECT_TRUE(deletedCodes().empty());

    db.ExecSQL("UPDATE TempAccessCode SET Selected = 0 WHERE CodeString = '1076'");
    dialogs.boxes.clear();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Delete Code Key OK." });
    EXPECT_EQ(page(key, 1)[17], 76);
    std::vector<DeletedCode> expected;
    TDbQuery q(&db);
    q.SQL.Add("SELECT * FROM TempAccessCode WHERE Selected = 1 ORDER BY rowid");
    q.Open();
    for (q.First(); !q.Eof(); q.Next())
        expected.push_back({ q.FieldByName("StartDate").AsDateTime(), q.FieldByName("EndDate").AsDateTime(),
                             q.FieldByName("CodeType").AsString(), int(q.FieldByName("LostTimes").AsInteger()) });
    ASSERT_EQ(expected.size(), 76u);
    const auto images = deleteCodeEntryPages(expected);
    for (int p = 2; p <= 20; ++p) {
        const auto onKey = page(key, p);
        EXPECT_TRUE(std::equal(onKey.begin(), onKey.end(), images[std::size_t(p - 2)].begin())) << p;
        EXPECT_FALSE(allBytes(onKey, 48, 64, 0xFF)) << p; // every slot used
    }
    EXPECT_EQ(deletedCodes().size(), 76u);
}

TEST_F(RemoteCodeTest, CodesOfSeveralLocksOrNoneAreNotWritten)
{
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-01 10:00:00", "admin", "222");
    addCode(kLockB, "Room 102", "Bo", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-02 10:00:00", "admin", "333");
    const RomId key = putKey(3);
    auto w = window();
    w->sbQueryClick();
    w->BitBtn2Click();
    ASSERT_EQ(dialogs.texts(), (std::vector<std::string> { "There are no code to delete.", "Write Multi-Lock Key Error." }));
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Information);
    EXPECT_EQ(dialogs.boxes[1].type, BoxType::Error);

    tick(*w, { 0, 1 });
    dialogs.boxes.clear();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(),
              (std::vector<std::string> { "The selected codes belong to more than one lock: a Delete Code Key is for one lock only.",
                                          "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(key, 0), 0, 64, 0xFF));
    EXPECT_TRUE(allBytes(page(key, 1), 0, 64, 0xFF));
    EXPECT_TRUE(deletedCodes().empty());

    // The second lock's code alone goes under its own serial ID.
    tick(*w, { 0 });
    dialogs.boxes.clear();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Delete Code Key OK." });
    const uint8_t lockB[] = { 0x37, 0xAB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F };
    EXPECT_TRUE(std::equal(std::begin(lockB), std::end(lockB), page(key, 1).begin()));
    EXPECT_EQ(deletedCodes(), std::vector<std::string> { "333" });

    // A scratch row whose serial ID is no ROM id is refused before the key is touched.
    db.ExecSQL("UPDATE TempAccessCode SET SerialID = 'XYZ' WHERE CodeString = '222'");
    w->Query4.Close();
    w->Query4.Open();
    tick(*w, { 1 });
    tick(*w, { 0 });
    dialogs.boxes.clear();
    fs::remove(onewire::keyFilePath(folder / "reader", key));
    const RomId fresh = putKey(4);
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { "Lock Serial ID error: it must be 16 hexadecimal digits.",
                                                           "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(fresh, 1), 0, 64, 0xFF));
}

TEST_F(RemoteCodeTest, FailedKeyLeavesTheCodesAsTheyWere)
{
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-01 10:00:00", "admin", "222");
    addCode(kLockA, "Room 101", "Bo", "Temp", "2026-03-07 08:00:00", "2026-03-08 09:00:00", "2026-02-02 10:00:00", "admin", "333");
    auto w = window();
    w->sbQueryClick();
    tick(*w, { 0, 1 });
    const std::string before = rows("SELECT GROUP_CONCAT(HasDeleted) FROM AccessCode")[0][0];

    // No key in the reader.
    w->BitBtn2Click();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes.back().type, BoxType::Error);
    EXPECT_EQ(dialogs.boxes.back().text, "Please Plug in your program Key.");
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM AccessCode")[0][0], before);

    // Every write garbled: nothing on the key, nothing marked.
    const RomId key = putKey(5);
    reader->faults().corruptions.push_back({ 12, 0x01, 1000 });
    dialogs.boxes.clear();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key Error." });
    EXPECT_TRUE(allBytes(page(key, 0), 0, 64, 0xFF));
    EXPECT_TRUE(allBytes(page(key, 1), 0, 64, 0xFF));
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM AccessCode")[0][0], before);
    EXPECT_EQ(w->ProgressBar1->value(), 0);
    reader->faults().corruptions.clear();

    // The key taken away after the code pages: page 0 never written, so no code is marked.
    reader->faults().removeAfterPages[key] = 20;
    dialogs.boxes.clear();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key Error." });
    EXPECT_EQ(page(key, 1)[17], 0x02);
    EXPECT_TRUE(allBytes(page(key, 0), 0, 64, 0xFF));
    EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM AccessCode")[0][0], before);
    reader->faults().removeAfterPages.clear();
    reader->faults().takenAway.clear();

    // The second mark refused by the database, or finding its code changed since the search:
    // neither code is marked and page 0 stays blank.
    const std::pair<const char*, std::vector<std::string>> refusals[] = {
        { "CREATE TRIGGER NoMark BEFORE UPDATE ON AccessCode WHEN OLD.CodeString = '333'"
          " BEGIN SELECT RAISE(ABORT, 'marks refused'); END",
          { "marks refused", "Write Multi-Lock Key Error." } },
        { "DROP TRIGGER NoMark; UPDATE AccessCode SET GuestFirstName = 'Bob' WHERE CodeString = '333'",
          { "Write Multi-Lock Key Error." } },
    };
    for (const auto& [change, texts] : refusals) {
        db.ExecSQL(change);
        dialogs.boxes.clear();
        w->BitBtn2Click();
        EXPECT_EQ(dialogs.texts(), texts);
        EXPECT_EQ(page(key, 1)[17], 0x02);
        EXPECT_TRUE(allBytes(page(key, 0), 0, 64, 0xFF));
        EXPECT_EQ(rows("SELECT GROUP_CONCAT(HasDeleted) FROM AccessCode")[0][0], before);
        EXPECT_FALSE(db.InTransaction());
        EXPECT_EQ(w->ProgressBar1->value(), 0);
        EXPECT_TRUE(w->PageControl1->isEnabled());
        EXPECT_TRUE(w->sbExit->isEnabled());
    }
}

TEST_F(RemoteCodeTest, TicksLeftFromAnEarlierRunAreNotWritten)
{
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-01 10:00:00", "admin", "222");
    db.ExecSQL("INSERT INTO TempAccessCode SELECT *, 1 FROM AccessCode");
    const RomId key = putKey(6);
    auto w = window();
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { "There are no code to delete.", "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(key, 1), 0, 64, 0xFF));
    EXPECT_TRUE(deletedCodes().empty());
}

TEST_F(RemoteCodeTest, AKeyWhoseWritingStopsIsNoLongerADeleteCodeKey)
{
    addCode(kLockA, "Room 101", "Ann", "Temp", "2026-03-05 08:00:00", "2026-03-06 09:00:00", "2026-02-01 10:00:00", "admin", "222");
    // The key still holds the Delete Code Key of an earlier mission for another lock.
    const RomId key = onewire::makeRomId(onewire::kFamilyDS1977, 9);
    onewire::KeyFile file = onewire::blankDS1977(key);
    const auto oldRom = romIdFromText(kLockB);
    ASSERT_TRUE(oldRom);
    const MissionKeyPage oldHeader = deleteCodeKeyHeader(kSite);
    const MissionKeyPage oldSection = deleteCodeSection(*oldRom, false, 1);
    ASSERT_TRUE(onewire::setDS1977Page(file, 0, std::span<const uint8_t, 64>(oldHeader)));
    ASSERT_TRUE(onewire::setDS1977Page(file, 1, std::span<const uint8_t, 64>(oldSection)));
    ASSERT_TRUE(onewire::saveKeyFile(onewire::keyFilePath(folder / "reader", key), file));

    auto w = window();
    w->sbQueryClick();
    tick(*w, { 0 });
    reader->faults().removeAfterPages[key] = 5;
    w->BitBtn2Click();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Write Multi-Lock Key Error." });
    // Half the new mission under the old header would make a lock drop codes nobody withdrew.
    EXPECT_FALSE(std::equal(std::begin(kHeader), std::end(kHeader), page(key, 0).begin()));
    EXPECT_TRUE(deletedCodes().empty());
}
