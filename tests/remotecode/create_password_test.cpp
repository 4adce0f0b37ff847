// The Remote Code window on a copy of the supplied database, with key files in the emulated
// reader and the Print workbook read back by an independent reader.
#include "app/missions/create_password_form.h"
#include "app/records/pickers.h"
#include "app/shell/login_form.h"
#include "keyformats/access_code.h"
#include "missions/window_fixture.h"
#include "workbook/export.h"
#include "workbook/xlsx_readback.h"

using namespace wintest;

namespace {

const char* kLockA = "A566554433221137";
const char* kLockB = "0F0000000000AB37";

class RemoteCodeTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        db.ExecSQL("INSERT INTO LockManagement (LockID, SerialID, LockName, LockLocation, LockStatusID, LockType) VALUES"
                   " (1, 'A566554433221137', 'Room 101', 'North', 1, 'Access Code'),"
                   " (2, '0F0000000000AB37', 'Room 102', 'South', 1, 'Access Code'),"
                   " (4, 'NOT-A-SERIAL', 'Broken', 'West', 1, 'Access Code'),"
                   " (5, 'DD00000000020101', 'Room 101', NULL, 1, 'iButton');"
                   "INSERT INTO Admin (UserName, Password, Level) VALUES ('clerk', 'x', 1);");
        TLogin_Form::OperatorName = "admin";
        workbook::exportSettings() = { folder / "Exports", {} };
        open();
    }
    void TearDown() override { TLogin_Form::OperatorName.clear(); }
    void open()
    {
        w = std::make_unique<TCreatePassword_Form>(nullptr, &db);
        w->now = [] { return db::makeDateTime(2026, 12, 6, 9, 30, 15); };
        w->TemplateFile = fs::path(IOS_BINARY_DIR) / "AccessCodeReport.xlsx";
    }
    // The operator picks a lock in the picker, now or when it opens (an empty serial: leaves it
    // with Close).
    void pick(const std::string& serial, bool now = true)
    {
        w->showLockPicker = [serial](TWhichLock_Form& p) {
            EXPECT_EQ(SettingsRecord.PickAccessCodeLocksOnly, 1);
            if (serial.empty() || !p.Query1.Locate("SerialID", DbVariant(serial)))
                return p.BitBtn2Click();
            p.BitBtn1Click();
        };
        if (now)
            w->Edit1Enter();
    }
    void issue(QDate start, int startHour, QDate end, int endHour, const char* first = "Ann", const char* last = "Lee")
    {
        w->MonthCalendar1->setSelectedDate(start);
        w->MonthCalendar2->setSelectedDate(end);
        w->ComboBox2->setCurrentIndex(startHour);
        w->ComboBox3->setCurrentIndex(endHour);
        w->Edit2->setText(first);
        w->Edit3->setText(last);
        if (w->isVisible())
            QTest::mouseClick(w->sbMakeCard, Qt::LeftButton);
        else
            w->sbMakeCardClick();
    }
    // A code issued for lock A (Temp, March 2026) unless the test says otherwise.
    void addCode(const std::string& code, const char* type = "Temp", const std::string& start = "2026-03-05 08:00:00",
                 const std::string& created = "2026-02-01 10:00:00", int lostTimes = 1, const std::string& serial = kLockA,
                 const std::string& lock = "Room 101", const char* by = "admin")
    {
        db.ExecSQL("INSERT INTO AccessCode (SerialID, LockName, GuestFirstName, GuestLastName, CodeType, StartDate,"
                   " EndDate, DateCreated, CreatedBy, CodeString, LostTimes, HasDeleted) VALUES ('"
                   + serial + "', '" + lock + "', 'G" + code + "', 'Guest', '" + type + "', '" + start + "', '2027-12-31 23:00:00', '"
                   + created + "', '" + by + "', '" + code + "', " + std::to_string(lostTimes) + ", 0)");
    }
    void tick(std::initializer_list<int> gridRows)
    {
        for (int r : gridRows)
            w->DBGrid2CellClick(w->DBGrid2->gridModel()->index(r, w->DBGrid2->gridModel()->columnOf("Selected")));
    }
    // A column of a table (and condition) joined by commas, in row order.
    std::string joined(const std::string& column, const std::string& from)
    {
        return rows("SELECT COALESCE(GROUP_CONCAT(" + column + "), '') FROM (SELECT * FROM " + from
                    + " ORDER BY rowid)")[0][0];
    }
    std::string deleted() { return joined("CodeString", "AccessCode WHERE HasDeleted = 1"); }
    Texts issueKey() { return boxesOf([&] { w->BitBtn2Click(); }); }

    std::unique_ptr<TCreatePassword_Form> w;
    const QDate today = QDate::currentDate(), d = today.addDays(1);
};

std::chrono::year_month_day ymd(QDate d) { return std::chrono::year { d.year() } / d.month() / d.day(); }
std::string iso(QDate d, int hour) { return db::dateTimeText(db::makeDateTime(d.year(), d.month(), d.day(), hour)); }

} // namespace

TEST_F(RemoteCodeTest, CreateCodeStoresTheRowShowsAndPrintsIt)
{
    EXPECT_EQ(std::tuple(w->ComboBox1->currentText(), w->ComboBox2->count(), w->BitBtn1->isEnabled()),
              std::tuple(QString("Guest Temporary Code"), 24, false));
    // A double click on the lock name opens the picker, on the access-code locks only.
    pick(kLockA, false);
    QTest::mouseDClick(w->Edit1, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(SettingsRecord.PickAccessCodeLocksOnly, 0);
    EXPECT_EQ(w->Edit1->text() + ", " + w->lbLockLocation->text(), "Room 101, North");
    // Created with the button: the labels show the days in the system's short date (the tests
    // pin the C locale).
    activate(*w);
    const QDate start(2099, 12, 29), end(2099, 12, 31);
    EXPECT_EQ(boxesOf([&] { issue(start, 8, end, 11, " Ann "); }), Texts {});
    const std::string code = MakeAccessCode(kLockA, 2, ymd(start), 8, ymd(end), 11, 0);
    EXPECT_EQ(rows("SELECT SerialID, LockName, GuestFirstName, GuestLastName, CodeType, StartDate, EndDate,"
                   " DateCreated, CreatedBy, CodeString, LostTimes, HasDeleted, TimeGroup FROM AccessCode"),
              (Rows { { kLockA, "Room 101", " Ann ", "Lee", "Temp", iso(start, 8), iso(end, 11), "2026-12-06 09:30:15", "admin", code,
                        "1", "False", "<null>" } }));
    QStringList shown;
    for (QLabel* l : { w->lbLockName, w->lbAccessCode, w->lbFirstName, w->lbStartDate, w->lbEndDate, w->lbDateCreated,
                       w->lbCreatedBy, w->lbVersion })
        shown << l->text();
    EXPECT_EQ(shown.join("|").toStdString(), "Room 101|" + code + "| Ann |29 Dec 2099 08:00:00|31 Dec 2099 11:00:00"
                                                 "|6 Dec 2026 09:30:15|admin|Access Code Version:     1");
    // Print fills the shipped template, read back by an independent reader; without the
    // template, it is named and nothing is exported.
    ASSERT_TRUE(w->BitBtn1->isEnabled());
    w->BitBtn1Click();
    const auto dump = workbook_test::readBack(fs::directory_iterator(folder / "Exports")->path());
    std::string cells;
    for (const char* ref : { "A5", "A7", "A9", "A13", "A15" })
        cells += dump.cell(std::string("Sheet1!") + ref).json + " ";
    EXPECT_EQ(cells, "\"Room 101\" \"North\" \"" + code + "\" \"29 Dec 2099 08:00:00\" \"31 Dec 2099 11:00:00\" ");
    w->TemplateFile = folder / "AccessCodeReport.xlsx";
    w->BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), (Texts { "Data has been exported successfully.", "Can not find AccessCodeReport.xlsx." }));
    EXPECT_EQ(dialogs.boxes[1].type, BoxType::Error);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Exports"), fs::directory_iterator()), 1);
    // A click that enters the lock name opens the picker; back from the other page by clicks on
    // the tabs, one click on it opens the picker again.
    int opened = 0;
    w->showLockPicker = [&](TWhichLock_Form&) { ++opened; };
    activate(*w); // again: the export's notice window took the activation
    w->Edit2->setFocus();
    QTest::mouseClick(w->Edit1, Qt::LeftButton);
    for (int tab : { 1, 0 })
        QTest::mouseClick(w->PageControl1->tabBar(), Qt::LeftButton, {}, w->PageControl1->tabBar()->tabRect(tab).center());
    QTest::mouseClick(w->Edit1, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(opened, 2);
    // A one-time code for 31 days is the long form. Created at midnight: the date alone.
    w->now = [] { return db::makeDateTime(2026, 12, 7, 0); };
    w->ComboBox1->setCurrentIndex(1);
    issue(QDate(2099, 11, 30), 0, end, 0);
    EXPECT_EQ(rows("SELECT LENGTH(CodeString), LostTimes FROM AccessCode WHERE CodeType = 'Once'"), (Rows { { "12", "1" } }));
    EXPECT_EQ((QStringList { w->lbStartDate->text(), w->lbEndDate->text(), w->lbDateCreated->text() }).join("|").toStdString(),
              "30 Nov 2099 00:00:00|31 Dec 2099 00:00:00|7 Dec 2026");
    // Closing clears the window's global reference.
    EXPECT_EQ(CreatePassword_Form, w.get());
    EXPECT_TRUE(w->close());
    EXPECT_EQ(CreatePassword_Form, nullptr);
}

TEST_F(RemoteCodeTest, ChecksStopBeforeAnythingIsStored)
{
    const std::vector<std::tuple<std::function<void()>, BoxType, const char*>> refused {
        { [&] { issue(d, 10, d, 9); }, BoxType::Warning, "Start Date should less than End Date." },
        { [&] { issue(d, 0, d.addDays(366), 1); }, BoxType::Warning, "The Date period should less than 365 day." },
        { [&] { issue(d, 8, d, 9, "  "); }, BoxType::Information, "Guest First Name field empty." },
        { [&] { issue(d, 8, d, 9, "Ann", "\t "); }, BoxType::Information, "Guest Last Name field empty." },
        { [&] { issue(d, 8, d, 9); }, BoxType::Information, "Lock Name field empty." }, // nothing picked since start
        { [&] { pick(kLockA), pick(""), issue(d, 8, d, 9); }, BoxType::Information, "Lock Name field empty." },
        { [&] { pick("NOT-A-SERIAL"), issue(d, 8, d, 9); }, BoxType::Warning,
          "Lock Serial ID error: it must be 16 hexadecimal digits." },
    };
    for (const auto& [act, type, text] : refused) {
        ASSERT_EQ(boxesOf(act), Texts { text });
        EXPECT_EQ(dialogs.boxes[0].type, type) << text;
        EXPECT_EQ(count("SELECT * FROM AccessCode"), 0) << text;
        EXPECT_FALSE(w->BitBtn1->isEnabled()) << text;
    }
    // The picker left without a choice keeps showing the old name, yet no lock is chosen.
    EXPECT_EQ(w->Edit1->text(), "Broken");
    // Same day and hour, and exactly 366.0 days, are accepted.
    pick(kLockA);
    EXPECT_EQ(boxesOf([&] { issue(d, 5, d, 5), issue(d, 5, d.addDays(366), 5); }), Texts {});
    EXPECT_EQ(joined("LENGTH(CodeString)", "AccessCode"), "10,12");
    EXPECT_EQ(joined("LostTimes", "AccessCode"), "1,1");
    // Nothing earlier than today, nor past what a key's two year digits hold.
    w->MonthCalendar1->setSelectedDate(today.addDays(-1));
    EXPECT_EQ(std::tuple(w->MonthCalendar1->selectedDate(), w->MonthCalendar2->maximumDate()), std::tuple(today, QDate(2099, 12, 31)));
}

// Up to four versions of a lock's code for the same type, start and end, deleted ones too.
TEST_F(RemoteCodeTest, VersionsCountToFourForTheSameLockTypeAndHours)
{
    pick(kLockA);
    const QDate start = today.addDays(2);
    for (int v = 1; v <= 4; ++v) {
        issue(start, 14, start.addDays(1), 12);
        EXPECT_EQ(w->lbVersion->text(), "Access Code Version:     " + QString::number(v));
        EXPECT_EQ(w->lbAccessCode->text().toStdString(), MakeAccessCode(kLockA, 2, ymd(start), 14, ymd(start.addDays(1)), 12, v - 1));
    }
    // A fifth is refused and nothing is stored; the shown code stays the last one.
    const QString shown = w->lbAccessCode->text();
    const std::string fifth = "Can not creat Access Code again, record number is more than 4 .";
    w->sbMakeCardClick();
    ASSERT_EQ(dialogs.texts(), Texts { fifth });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
    EXPECT_EQ(w->lbAccessCode->text(), shown);
    // Another end hour, another type or another lock starts again at version 0.
    issue(start, 14, start.addDays(1), 13);
    w->ComboBox1->setCurrentIndex(1);
    issue(start, 14, start.addDays(1), 12);
    w->ComboBox1->setCurrentIndex(0);
    pick(kLockB);
    w->sbMakeCardClick();
    EXPECT_EQ(joined("LostTimes", "AccessCode"), "1,2,3,4,1,1,1");
    // Deleted codes still count: their digits must never be issued again.
    db.ExecSQL("UPDATE AccessCode SET HasDeleted = 1");
    pick(kLockA);
    w->sbMakeCardClick();
    EXPECT_EQ(dialogs.texts(), Texts(2, fifth));
}

TEST_F(RemoteCodeTest, SearchListsFiltersAndTicks)
{
    addCode("111", "Once", "2026-03-01 08:00:00", "2026-02-02 10:00:00", 1, kLockA, "Room 101", "clerk");
    addCode("222", "Temp", "2026-03-05 08:00:00", "2026-02-01 23:59:59");
    addCode("333", "Temp", "2026-03-02 00:00:00", "2026-02-02 10:00:00", 1, kLockB, "Room 102");
    addCode("000", "Temp", "2026-03-02 00:00:00", "2026-01-01 00:00:00", 1, "0000000000000000", "Nowhere");
    db.ExecSQL("UPDATE AccessCode SET HasDeleted = 1 WHERE CodeString = '111'");
    // No box ticked: every code but the all-zero lock's, oldest creation first, then start.
    w->sbQueryClick();
    EXPECT_EQ(joined("CodeString", "TempAccessCode"), "222,111,333");
    auto* model = w->DBGrid2->gridModel();
    EXPECT_EQ(model->rowCount(), 3);
    // Deleted shows as its colour alone. A real mouse click on a tick cell, or the space bar on the
    // tick column, toggles it; other keys do not; a click on Deleted changes the picture only.
    const int deleted = model->columnOf("HasDeleted"), selected = model->columnOf("Selected");
    auto colour = [&](int row, int role) { return model->data(model->index(row, deleted), role).value<QColor>(); };
    EXPECT_EQ(std::tuple(colour(0, Qt::BackgroundRole), colour(0, Qt::ForegroundRole), colour(1, Qt::BackgroundRole)),
              std::tuple(QColor(0, 0x80, 0), QColor(0, 0x80, 0), QColor(0xFF, 0, 0)));
    w->resize(709, 608);
    w->PageControl1->setCurrentIndex(1);
    w->show();
    QApplication::processEvents();
    QTest::mouseClick(w->DBGrid2->viewport(), Qt::LeftButton, {}, w->DBGrid2->visualRect(model->index(1, selected)).center());
    EXPECT_EQ(joined("Selected", "TempAccessCode"), "0,1,0");
    w->DBGrid2->setCurrentIndex(model->index(0, selected));
    QTest::keyClick(w->DBGrid2, Qt::Key_Space);
    QTest::keyClick(w->DBGrid2, Qt::Key_A);
    EXPECT_EQ(joined("Selected", "TempAccessCode"), "1,1,0");
    w->DBGrid2CellClick(model->index(0, deleted));
    EXPECT_EQ(colour(0, Qt::BackgroundRole), QColor(0xFF, 0, 0));
    EXPECT_EQ(std::tuple(joined("HasDeleted", "TempAccessCode") + " " + joined("HasDeleted", "AccessCode"), w->Query4.State(),
                         w->Query4.UpdatesPending()),
              std::tuple(std::string("0,1,0 1,0,0,0"), dsBrowse, false));

    auto dates = [](QDateTimeEdit* from, QDateTimeEdit* to, int fromDay, int toDay, int month = 3) {
        return [=] { from->setDate(QDate(2026, month, fromDay)), to->setDate(QDate(2026, month, toDay)); };
    };
    const std::vector<std::tuple<std::vector<QCheckBox*>, std::function<void()>, std::string>> filters {
        { { w->CheckBox3 }, dates(w->DateTimePicker5, w->DateTimePicker6, 1, 1, 2), "222" }, // the whole day
        { { w->CheckBox1 }, dates(w->DateTimePicker1, w->DateTimePicker2, 1, 2), "111,333" },
        { { w->CheckBox4 }, [&] { w->ComboBox4->setCurrentText("One Time Code"); }, "111" },
        { { w->CheckBox4, w->CheckBox7 },
          [&] { w->ComboBox4->setCurrentText("Temporary Code"), w->ComboBox7->setCurrentText("admin"); }, "222,333" },
        { { w->CheckBox5 }, [&] { w->ComboBox5->setCurrentText("Room 102"); }, "333" },
        { { w->CheckBox6 }, [&] { w->ComboBox6->setCurrentText("North"); }, "222,111" },
    };
    for (const auto& [boxes, set, codes] : filters) {
        for (auto* b : boxes)
            b->setChecked(true);
        set();
        w->sbQueryClick();
        EXPECT_EQ(joined("CodeString", "TempAccessCode"), codes);
        for (auto* b : boxes)
            b->setChecked(false);
    }
    // A from-date after its to-date, in this order: start, end, creation; the scratch table emptied.
    const std::pair<QCheckBox*, std::function<void()>> wrong[] = {
        { w->CheckBox1, dates(w->DateTimePicker1, w->DateTimePicker2, 9, 8) },
        { w->CheckBox2, dates(w->DateTimePicker3, w->DateTimePicker4, 2, 1) },
        { w->CheckBox3, dates(w->DateTimePicker5, w->DateTimePicker6, 2, 1) } };
    for (const auto& [box, set] : wrong)
        box->setChecked(true), set();
    for (const auto& [box, set] : wrong)
        w->sbQueryClick(), box->setChecked(false);
    EXPECT_EQ(dialogs.texts(), (Texts { "Start Date input error.", "End Date input error.", "Date Created input error." }));
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(count("SELECT * FROM TempAccessCode") + w->DBGrid2->gridModel()->rowCount(), 0);
    EXPECT_EQ(w->DateTimePicker6->text().toStdString(), "1 Mar 2026"); // the system's short date
}

// The ticked codes, 76 at most, go on the key; then they are marked deleted.
TEST_F(RemoteCodeTest, IssueKeyWritesTheTickedCodesThenMarksThem)
{
    std::vector<DeletedCode> codes;
    for (int n = 0; n < 77; ++n) {
        const auto start = db::makeDateTime(2027, 1 + n % 12, 1 + n % 28, n % 24);
        codes.push_back({ start, db::makeDateTime(2027, 12, 31, 23), n % 2 ? "Once" : "Temp", 1 + n % 4 });
        addCode(std::to_string(1000 + n), codes.back().codeType.c_str(), db::dateTimeText(codes.back().start),
                db::dateTimeText(db::makeDateTime(2026, 1, 1, 0, n / 60, n % 60)), 1 + n % 4);
    }
    const RomId key = putKey(2);
    w->sbQueryClick();
    db.ExecSQL("UPDATE TempAccessCode SET Selected = 1");
    EXPECT_EQ(issueKey(), (Texts { "Too many codes selected: a Delete Code Key holds at most 76 codes.",
                                   "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(key, 0), 0xFF) && allBytes(page(key, 1), 0xFF));
    EXPECT_EQ(deleted(), "");
    // 76, and the lock forgets the codes it deleted before.
    db.ExecSQL("UPDATE TempAccessCode SET Selected = 0 WHERE CodeString = '1076'");
    codes.pop_back();
    w->CheckBox8->setChecked(true);
    EXPECT_EQ(issueKey(), Texts { "Write Delete Code Key OK." });
    EXPECT_EQ(page(key, 0), deleteCodeKeyHeader(kSite));
    EXPECT_EQ(page(key, 1), deleteCodeSection(*romIdFromText(kLockA), true, 76));
    const auto entries = deleteCodeEntryPages(codes);
    for (int p = 2; p <= 20; ++p)
        EXPECT_EQ(page(key, p), entries[std::size_t(p - 2)]) << p;
    EXPECT_EQ(count("SELECT * FROM AccessCode WHERE HasDeleted = 1") + count("SELECT * FROM TempAccessCode WHERE HasDeleted = 1"),
              76); // the grid keeps what it showed until the next search
}

TEST_F(RemoteCodeTest, CodesOfSeveralLocksOrNoneAreNotWritten)
{
    addCode("222");
    addCode("333", "Temp", "2026-03-05 08:00:00", "2026-02-02 10:00:00", 1, kLockB, "Room 102");
    db.ExecSQL("DELETE FROM TempAccessCode; INSERT INTO TempAccessCode SELECT *, 1 FROM AccessCode"); // ticks of an earlier run
    open();
    const RomId key = putKey(3);
    ASSERT_EQ(issueKey(), (Texts { "There are no code to delete.", "Write Multi-Lock Key Error." }));
    EXPECT_EQ(std::tuple(dialogs.boxes[0].type, dialogs.boxes[1].type), std::tuple(BoxType::Information, BoxType::Error));
    w->sbQueryClick();
    tick({ 0, 1 });
    EXPECT_EQ(issueKey(), (Texts { "The selected codes belong to more than one lock: a Delete Code Key is for one lock only.",
                                   "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(key, 0), 0xFF) && allBytes(page(key, 1), 0xFF));
    EXPECT_EQ(deleted(), "");
    // The second lock's code alone goes under its own serial ID.
    tick({ 0 });
    w->BitBtn2Click();
    EXPECT_EQ(page(key, 1), deleteCodeSection(*romIdFromText(kLockB), false, 1));
    EXPECT_EQ(deleted(), "333");
    // Date-times as other programs store them are those the search read: each such row is marked.
    // A row removed since the search leaves nothing to mark; one alike but for its start is
    // not the ticked code.
    const std::tuple<const char*, int, const char*, const char*> stored[] = { // code, start hour, its forms
        { "444", 8, "2026-03-07 08:00", "2026-02-03 10:00" },
        { "555", 9, "2026-03-07 09:00:00.250", "2026-02-03 10:00:02.999" },
        { "666", 10, "2026-03-07 10:00:00", "2026-02-03 10:00:03" }, // removed
        { "777", 11, "2026-03-07T11:00:00", "2026-02-04T10:00" },
        { "888", 12, "2026-03-07 12:00:00", "2026-02-04T11:00" }, // names, creator and creation changed
    };
    std::vector<DeletedCode> withdrawn;
    for (const auto& [code, hour, start, created] : stored) {
        addCode(code, "Temp", start, created);
        withdrawn.push_back({ db::makeDateTime(2026, 3, 7, hour), db::makeDateTime(2027, 12, 31, 23), "Temp", 1 });
    }
    db.ExecSQL("UPDATE AccessCode SET EndDate = '2027-12-31T23:00' WHERE CodeString = '777';"
               "UPDATE AccessCode SET EndDate = '2027-12-31 23:00:00.5' WHERE CodeString = '555'");
    addCode("444", "Temp", "2026-03-08 08:00:00", "2026-02-05 10:00:00");
    w->sbQueryClick();
    EXPECT_EQ(joined("CodeString", "TempAccessCode"), "222,333,444,555,666,777,888,444");
    tick({ 2, 3, 4, 5, 6 });
    db.ExecSQL("DELETE FROM AccessCode WHERE CodeString = '666';"
               "UPDATE AccessCode SET GuestFirstName = 'Bob', GuestLastName = 'Roe', CreatedBy = 'clerk',"
               " DateCreated = '2026-02-09 09:00:00' WHERE CodeString = '888'");
    EXPECT_EQ(issueKey(), Texts { "Write Delete Code Key OK." });
    EXPECT_EQ(page(key, 0), deleteCodeKeyHeader(kSite));
    EXPECT_EQ(page(key, 1), deleteCodeSection(*romIdFromText(kLockA), false, 5));
    const auto entries = deleteCodeEntryPages(withdrawn);
    EXPECT_EQ(std::pair(page(key, 2), page(key, 3)), std::pair(entries[0], entries[1]));
    EXPECT_EQ(joined("CodeString || ' ' || StartDate", "AccessCode WHERE HasDeleted = 1"),
              "333 2026-03-05 08:00:00,444 2026-03-07 08:00,555 2026-03-07 09:00:00.250,777 2026-03-07T11:00:00,"
              "888 2026-03-07 12:00:00");
    // A scratch row whose serial ID is no ROM id is refused before the key is touched.
    db.ExecSQL("UPDATE TempAccessCode SET Selected = (CodeString = '222');"
               "UPDATE TempAccessCode SET SerialID = 'XYZ' WHERE CodeString = '222'");
    const RomId fresh = putKey(3);
    EXPECT_EQ(issueKey(), (Texts { "Lock Serial ID error: it must be 16 hexadecimal digits.", "Write Multi-Lock Key Error." }));
    EXPECT_TRUE(allBytes(page(fresh, 1), 0xFF));
}
