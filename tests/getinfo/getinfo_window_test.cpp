// Get Information keys through the Read Key window: the program's key, filled by a simulated
// lock that holds keys and settings of its own, read back into the Lock Information tab, the
// scratch tables and the comparison tabs, and exported (workbooks read back with openpyxl).
#include "app/keyreading/wait_forms.h"
#include "app/shell/data_exporting_form.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/window_registry.h"
#include "keyformats/get_information.h"
#include "keyreading/read_key_fixture.h"

#include <QAction>
#include <QHeaderView>
#include <QProgressBar>
#include <fstream>

using namespace rktest;

namespace {

const std::string kInfo = "Get Information Key Report";
const RomId kStrangerKey = onewire::makeRomId(0x01, 0x5005);
const RomId kComplexKey = onewire::makeRomId(0x01, 0x7007);

class GetInfoWindowTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        addLock(1, kLockA, "Front", "Lobby");
        exec("INSERT INTO KeyManagement "
             "(KeyID,UserType,SerialID,KeyCode,FirstName,LastName,Department,Status) "
             "VALUES (7,'iButton','"
            + romIdText(kUserKey)
            + "','','Ada','Lovelace','Maths','Active'),"
              "(8,'KeyCode','','4321','Cy','Code',NULL,'Active'),(9,'Complex','"
            + romIdText(kComplexKey) + "','777','Di','Both',NULL,'Active')");
        exec("INSERT INTO LockKeyManagement "
             "(LockID,KeyID,TimeShiftID,ActExpDateID,ExpDateID,SerialID,FirstName,"
             "LastName,Status,UserType,KeyCode,ExpDate) VALUES (1,7,1,1,1,'"
            + romIdText(kUserKey) + "','Ada','Lovelace','Active','iButton','',0)");
        exec("INSERT INTO TimeGroup (GroupID,GroupName) VALUES (2,'Day Shift')");
        exec("INSERT INTO TimeShift (GroupID,BeginTime,EndTime,DayOfWeek) VALUES "
             "(2,'08:00:00','16:00:00','Monday')");
        exec("INSERT INTO LockStatusST "
             "(LockStatusID,LockStatus,BeginTime,Sunday,Monday,Tuesday,Wednesday,Thursday,"
             "Friday,Saturday) VALUES (1,'Classroom Mode','08:00:00',0,1,0,0,0,1,0),"
             "(1,'Storehouse Mode','18:00:00',1,1,1,1,1,1,1)");
    }
    // The lock's settings as the program's writer lays them out, its keys, three events.
    static locksim::SimLock standardLock(locksim::Time clock)
    {
        TimeTableRows rows;
        rows.timeShiftGroups[1] = { { { 9, 0 }, { 12, 0 }, "Tuesday" }, { { 8, 30 }, { 17, 0 }, "Monday" } };
        rows.timeShiftGroups[2] = { { { 22, 0 }, { 23, 0 }, "Sunday" } };
        rows.firstSchedule
            = { { { 8, 0 }, "Classroom Mode", { false, true, false, false, false, true, false } },
                  { { 18, 0 }, "Storehouse Mode", { true, true, true, true, true, true, true } } };
        rows.secondSchedule
            = { { { 6, 0 }, "Lock Mode", { true, false, false, false, false, false, false } } };
        rows.actExpGroups
            = { {}, { PeriodPoint { 2026, 1, 1, 8, 0 }, PeriodPoint { 2026, 12, 31, 18, 30 } } };
        rows.holidayGroups = { {}, { PeriodPoint { 2026, 7, 1, 0, 0 }, PeriodPoint { 2026, 7, 14, 0, 0 } } };
        locksim::SimLock lock(kLockA, kSite, clock);
        auto& st = lock.state();
        st.keyListEnabled = st.daylightSavingFunction = st.daylightSavingInForce = st.blink = true;
        st.manualSetupEnabled = st.classroom = false;
        st.hardwareVersion = 0x2122;
        st.softwareVersion = "2.3";
        st.battery = 109;
        st.level = 3;
        const auto image = TimeTableImage(rows);
        std::copy(image.begin(), image.end(), st.settingsImage.begin());
        st.keys = { { "", kUserKey, 2, 2, true }, { "", kStrangerKey, 1, 1, false },
            { "4321", std::nullopt, 1, 1, false }, { "999", std::nullopt, 1, 1, false },
            { "777", kComplexKey, 1, 1, false } };
        for (int i = 0; i < 3; ++i)
            lock.record(locksim::AuditEvent::withKey(kUserKey, 0x01, at(2026, 12, 1, 8 + i)));
        return lock;
    }
    static onewire::KeyFile keyFrom(locksim::SimLock& lock, uint64_t serial = 900)
    {
        auto key = missionKey(MissionKind::GetInformation, kSite, serial);
        visit(lock, key);
        return key;
    }
    std::unique_ptr<TReadCard_Form> readKey(const onewire::KeyFile& key)
    {
        insertKey(key);
        auto form = newForm();
        boxes = read(*form);
        return form;
    }
    std::unique_ptr<TReadCard_Form> readKeyFrom(locksim::SimLock& lock) { return readKey(keyFrom(lock)); }
    // The standard lock's report at noon, read without a word.
    std::unique_ptr<TReadCard_Form> readFullReport()
    {
        auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
        auto form = readKeyFrom(lock);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        return form;
    }
    // A lock with nothing but FFh in its image and `codes` key codes; the database has no time
    // shifts and, with codes, one lock status row.
    std::unique_ptr<TReadCard_Form> readBareLock(size_t codes)
    {
        exec("DELETE FROM LockStatusST");
        exec("DELETE FROM TimeShift");
        locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 12, 0, 0));
        for (size_t i = 0; i < codes; ++i)
            lock.state().keys.push_back({ std::to_string(100 + i), std::nullopt, 1, 1, false });
        if (codes)
            exec("INSERT INTO LockStatusST (LockStatusID,LockStatus,BeginTime,Sunday,Monday) "
                 "VALUES (1,'Lock Mode','05:00:00',NULL,1)");
        auto form = readKeyFrom(lock);
        EXPECT_TRUE(boxes.empty());
        return form;
    }
    static QString info(TReadCard_Form& f, const char* caption) { return f.lockInfoLabel(caption)->text(); }
    // " &Export Data": the workbook written, read back.
    workbook_test::XlsxDump exportNow(TReadCard_Form& form)
    {
        EXPECT_EQ(boxesOf([&] { form.BitBtn2->click(); }),
            std::vector<std::string> { "Data has been exported successfully." });
        EXPECT_TRUE(form.findChildren<TDataExporting_Form*>().isEmpty());
        return exportedBook();
    }
    std::vector<std::string> boxes;
};

TEST_F(GetInfoWindowTest, AFullReportFillsEveryTab)
{
    auto form = readFullReport();
    EXPECT_TRUE(!form->BitBtn2->isHidden() && form->BitBtn2->isEnabled());
    const std::pair<const char*, const char*> shown[]
        = { { "Lock Name:", "Front" }, { "Lock Location:", "Lobby" }, { "Key List Status:", "Enable" },
              { "Manual Setup Status:", "Disable" }, { "DayLight Saving Status:", "Enable" },
              { "DayLight Saving:", "Yes" }, { "Blink:", "Enable" },
              { "Lock Mode:", "Classroom Mode" }, // 12:00 lies after the 08:00 Classroom row
              { "Lock Hardware Version:", "2122" }, { "Lock Software Version:", "2.3" },
              { "User Number:", "5" }, { "Time In Lock:", "6 Dec 2026 12:00:00" },
              { "Audit Trial Number:", "3" }, { "Battery Voltage:", "4.8" }, { "Lock Level:", "High" } };
    for (auto [caption, text] : shown)
        EXPECT_EQ(info(*form, caption), QString::fromLatin1(text)) << caption;
    EXPECT_EQ(form->Label17->text(), QString::fromStdString(romIdText(kLockA)));
    // The decoded tables; the key list names known users by their rows, others "Unknow".
    const std::string keys = "0 Ada Lovelace iButton " + romIdText(kUserKey)
        + "  2 1, 1 Unknow Unknow iButton 00" + romIdText(kStrangerKey).substr(2)
        + "  - 0, 2 Cy Code KeyCode  4321 1 0, 3 Unknow Unknow KeyCode  999 - 0, " + "4 Di Both Complex "
        + romIdText(kComplexKey) + " 777 1 0";
    const std::tuple<const char*, const char*, std::string> tables[] = {
        { "GroupID||' '||BeginTime||' '||EndTime||' '||DayOfWeek", "TimeShift1",
            "2 09:00:00 12:00:00 Tuesday, 2 08:30:00 17:00:00 Monday, 3 22:00:00 23:00:00 Sunday" },
        { "LockStatusID||' '||BeginTime||' '||LockStatus||' '||Sunday||Monday||Friday", "LockStatusST1",
            "1 08:00:00 Classroom Mode 011, 1 18:00:00 Storehouse Mode 111, 1 06:00:00 Lock Mode 100" },
        { "GroupID||' '||ifnull(ActivationDate,'-')||' '||ifnull(ExpirationDate,'-')", "ActExpDateST1",
            "1 - -, 2 2026-01-01 08:00:00 2026-12-31 18:30:00" },
        { "GroupID||' '||ifnull(ExceptionDateFrom,'-')", "ExceptionDateST1", "2 2026-07-01 00:00:00, 1 -" },
        { "KeyID||' '||FirstName||' '||LastName||' '||UserType||' '||SerialID||' '||KeyCode||' '||"
          "ifnull(TimeShiftID,'-')||' '||ExpDate",
            "TempKey", keys },
        { "ActExpDateID||' '||Department", "TempKey WHERE KeyID = 0", "2 Maths" },
        { "KeyID", "TempKey WHERE ExpDateID IS NOT NULL OR Used <> 0 OR Status <> 'Active'", "<null>" },
    };
    for (const auto& [what, from, rows] : tables)
        EXPECT_EQ(text("SELECT group_concat(" + std::string(what) + ", ', ') FROM " + from), rows) << from;
    // The comparison tabs: time groups, group 1's shifts in the lock ("No Limit"), schedule rows in
    // lock and database, act/exp groups in the lock, exceptions in the database, every key the lock
    // holds, the database's keys of the lock.
    EXPECT_EQ(
        (std::vector<int> { form->TimeGroup_Query.RecordCount(), form->TimeShiftInLock_Query.RecordCount(),
            form->LockStatusInLock_Query.RecordCount(), form->LockStatusInDB_Query.RecordCount(),
            form->ActExpInLock_Query.RecordCount(), form->ExceptionInDB_Query.RecordCount(),
            form->KeyInforInLock_Query.RecordCount(), form->KeyInforInDB_Query.RecordCount() }),
        (std::vector<int> { 2, 0, 3, 2, 2, 1, 5, 1 }));
    EXPECT_FALSE(form->LockStatusNameInLock->isHidden());
    EXPECT_EQ(form->LockStatusNameInDB->text(), QStringLiteral("No Limit Classroom Mode"));
    EXPECT_EQ(form->ProgressBar1->maximum(), 5 / 2 + 16);
    EXPECT_EQ(form->ProgressBar1->value(), form->ProgressBar1->maximum());
    // The second time group's rows on both sides, by begin time, in hours and minutes.
    form->TimeGroup_Query.Last();
    EXPECT_EQ(form->TimeShiftInLock_Query.RecordCount(), 2);
    EXPECT_EQ(form->TimeShiftInLock_Query.FieldByName("BeginTime").DisplayText(), "08:30");
    EXPECT_EQ(form->TimeShiftInLock_Query.FieldByName("EndTime").DisplayText(), "17:00");
    EXPECT_EQ(form->TimeShiftInDB_Query.RecordCount(), 1);
    EXPECT_EQ(form->TimeShiftInDB_Query.FieldByName("EndTime").DisplayText(), "16:00");
}

TEST_F(GetInfoWindowTest, TheExportSetsLockAndDatabaseSideBySide)
{
    auto form = readFullReport();
    const workbook_test::XlsxDump d = exportNow(*form);
    EXPECT_EQ(d.sheets, std::vector<std::string> { kInfo });
    EXPECT_TRUE(d.has(kInfo + "!B2")); // the print time
    expectCells(d, kInfo,
        { { "A1", kInfo }, { "B1", "Lock ID:" }, { "C1", romIdText(kLockA) }, { "A2", "Print Time: " },
            { "A3", "Time Shift Setting" }, { "E4", "Day Of Week" },
            // Time shifts: the lock's two rows of group 2, then at once the database's one.
            { "A5", "Data In Lock" }, { "B5", "Day Shift" }, { "C5", "08:30:00" }, { "D5", "17:00:00" },
            { "E5", "Monday" }, { "E6", "Tuesday" }, { "A7", "Data In Database" }, { "C7", "08:00:00" },
            { "A8", "" },
            // Lock status: three lock rows, an empty row, two database rows.
            { "A9", "Lock Status Setting" }, { "J10", "Saturday" }, { "B11", "06:00:00" },
            { "C11", "Lock Mode" }, { "C12", "Classroom Mode" }, { "D12", "False" }, { "E12", "True" },
            { "I12", "True" }, { "A14", "" }, { "A15", "Data In Database" }, { "B16", "18:00:00" },
            // Activation/expiration: group 1 has no dates; the group id is not written.
            { "A18", "Activation/Expiration Date Setting" }, { "C19", "Expiration Date" },
            { "A20", "Data In Lock" }, { "B20", "" }, { "B21", "1 Jan 2026 08:00:00" },
            { "C21", "31 Dec 2026 18:30:00" }, { "A23", "Data In Database" },
            // Holidays: midnight shows the date alone.
            { "A25", "Exception Date Setting" }, { "B26", "Holiday Start" }, { "B28", "1 Jul 2026" },
            { "C28", "14 Jul 2026" }, { "A30", "Data In Database" },
            // Key list: five lock rows, then the database's one; code and type without headers.
            { "A32", "Key List Setting" }, { "F33", "Department" }, { "G33", "" }, { "A34", "Data In Lock" },
            { "A35", "Data In Lock" }, { "A36", "Data In Lock" }, { "A37", "Data In Lock" },
            { "A38", "Data In Lock" }, { "A39", "" }, { "A40", "Data In Database" },
            { "B40", romIdText(kUserKey) }, { "C40", "Ada" }, { "H40", "iButton" }, { "A41", "" } });
    EXPECT_TRUE(d.widths.empty()); // no formats and no widths in this report
}

TEST_F(GetInfoWindowTest, AnExportFolderThatCannotBeMadeIsReported)
{
    auto form = readFullReport();
    fs::remove_all(dir / "Exports");
    std::ofstream(dir / "Exports") << ""; // a file where the folder should be
    EXPECT_THAT(boxesOf([&] { form->BitBtn2->click(); }),
        ElementsAre(::testing::Ne("Data has been exported successfully.")));
    EXPECT_TRUE(form->findChildren<TDataExporting_Form*>().isEmpty());
}

// The lock status grids mark the weekdays of each entry: the 08:00 one applies on Monday and
// Friday on both sides; time and status keep the grid's colours.
TEST_F(GetInfoWindowTest, TheLockStatusGridsMarkTheWeekdaysOfEachEntry)
{
    auto form = readFullReport();
    for (TDBGrid* grid : { form->DBGrid7, form->DBGrid6 }) {
        TDbGridModel* model = grid->gridModel();
        EXPECT_EQ(headers(model),
            (QStringList { "Begin Time", "Lock Status", "Sunday", "Monday", "Tuesday", "Wednesday",
                "Thursday", "Friday", "Saturday" }));
        const int row = grid == form->DBGrid7 ? 1 : 0; // by time: the lock's 06:00 row first
        ASSERT_EQ(model->data(model->index(row, 0)).toString(), QStringLiteral("08:00"));
        for (int c = 2; c <= 8; ++c)
            EXPECT_EQ(model->data(model->index(row, c), Qt::ForegroundRole).value<QColor>(),
                c == 3 || c == 7 ? QColor(0xFF, 0, 0) : QColor(0, 0xFF, 0))
                << c;
        EXPECT_FALSE(model->data(model->index(0, 0), Qt::ForegroundRole).isValid());
        EXPECT_FALSE(model->data(model->index(0, 1), Qt::ForegroundRole).isValid());
    }
}

TEST_F(GetInfoWindowTest, TheFirmwareGroupTakesTheLocksVersionsFromTheReport)
{
    auto form = readFullReport();
    ASSERT_TRUE(form->UpgradeGroup->isHidden());
    form->BitBtn8Click();
    EXPECT_EQ(form->Label96->text(), QStringLiteral("Tarvik_v2.bin"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("3.3"));
}

// A fresh key, then a lock unknown to the database, show nothing of the report before.
TEST_F(GetInfoWindowTest, TheNextKeyShowsNothingOfTheReportBefore)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    insertKey(missionKey(MissionKind::GetInformation, kSite, 903));
    form->timings.clear();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_TRUE(form->BitBtn2->isHidden());
    EXPECT_EQ(form->timings.pagesRead, 2);
    EXPECT_EQ(info(*form, "Lock Serial ID:"), QString());
    EXPECT_EQ(info(*form, "User Number:"), QString());
    EXPECT_FALSE(form->KeyInforInLock_Query.Active());
    EXPECT_EQ(form->DBGrid7->gridModel()->rowCount(), 0);
    insertKey(keyFrom(lock, 902));
    read(*form);
    locksim::SimLock unknown(kLockB, kSite, at(2026, 12, 6, 12, 0, 0));
    insertKey(keyFrom(unknown, 901));
    EXPECT_EQ(read(*form), std::vector<std::string> { "Can not find information of this key in database." });
    EXPECT_EQ(form->currentPanel(), 4);
    EXPECT_EQ(form->Label17->text(), QString::fromStdString(romIdText(kLockB)));
    EXPECT_EQ(info(*form, "Lock Name:"), QString());
    EXPECT_TRUE(form->BitBtn2->isHidden());
    EXPECT_FALSE(form->KeyInforInLock_Query.Active());
}

TEST_F(GetInfoWindowTest, TheModeInForceFollowsTheLockTime)
{
    const struct {
        int hour; // 24: a lock time that is no time
        bool pageSaysClassroom;
        const char *shown, *time;
    } cases[] = {
        { 0, true, "Storehouse Mode", "6 Dec 2026" }, // before the first row: the last row; midnight
        { 8, false, "Classroom Mode", "6 Dec 2026 08:00:00" }, // a row beginning now is in force
        { 12, false, "Classroom Mode", "6 Dec 2026 12:00:00" },
        { 20, true, "Classroom Mode", "6 Dec 2026 20:00:00" }, // no row later: the page's mode
        { 20, false, "Storehouse Mode", "6 Dec 2026 20:00:00" },
        { 24, true, "Classroom Mode", "Lock Time Is Invalid value" }, // no time known: the page's mode
    };
    for (const auto& c : cases) {
        auto lock = standardLock(at(2026, 12, 6, c.hour % 24, 0, 0));
        lock.state().classroom = c.pageSaysClassroom;
        auto key = keyFrom(lock);
        if (c.hour == 24)
            patch(key, 1, 61, { 0x24 });
        insertKey(key);
        auto form = newForm();
        EXPECT_TRUE(read(*form).empty());
        EXPECT_EQ(info(*form, "Lock Mode:"), QString::fromLatin1(c.shown)) << c.hour;
        EXPECT_EQ(info(*form, "Time In Lock:"), QString::fromLatin1(c.time)) << c.hour;
    }
}

TEST_F(GetInfoWindowTest, EdgeValuesOfTheRecordCountLevelAndCodeEntries)
{
    auto lock = standardLock(at(2026, 12, 6, 0, 0, 0));
    lock.state().classroom = true;
    auto key = keyFrom(lock);
    patch(key, 1, 61, { 0x24 });
    patch(key, 2, 0, { 0x0D, 0x00 });
    patch(key, 2, 25, { 2 }); // no level: the field keeps what it showed
    patch(key, 4, 0, { 0 }); // a code entry without digits names nobody, not a user without a code
    insertKey(key);
    auto form = newForm();
    form->lockInfoLabel(QStringLiteral("Lock Level:"))->setText(QStringLiteral("before"));
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(info(*form, "Audit Trial Number:"), QStringLiteral("3328"));
    EXPECT_EQ(info(*form, "Lock Level:"), QStringLiteral("before"));
    EXPECT_EQ(text("SELECT FirstName||'/'||UserType||'/'||KeyCode FROM TempKey WHERE KeyID = 2"),
        "Unknow/KeyCode/");
    EXPECT_FALSE(form->BitBtn2->isHidden());
}

TEST_F(GetInfoWindowTest, UserCountsDecideTheKeyListPagesRead)
{
    const struct {
        size_t keys;
        int pagesRead; // 0, 1, 2, the image, then the key list
    } cases[] = { { 0, 3 + 16 + 2 }, { 3, 3 + 16 + 3 } };
    for (const auto& c : cases) {
        auto form = readBareLock(c.keys);
        EXPECT_EQ(form->timings.pagesRead, c.pagesRead) << c.keys;
        EXPECT_EQ(scalar("SELECT count(*) FROM TempKey"), int64_t(c.keys));
    }
    EXPECT_EQ(text("SELECT KeyCode FROM TempKey WHERE KeyID = 2"), "102"); // from page 4
}

// Empty sections keep their titles and headers; a null weekday leaves its cell empty.
TEST_F(GetInfoWindowTest, EmptySectionsAreExportedWithTheirTitles)
{
    for (size_t keys : { 0, 3 }) {
        auto form = readBareLock(keys);
        fs::remove_all(dir / "Exports");
        const auto book = exportNow(*form);
        if (!keys)
            expectCells(book, kInfo,
                { { "A5", "" }, { "A6", "Lock Status Setting" }, { "B7", "Begin Time" }, { "A8", "" },
                    { "A9", "" }, { "A10", "Activation/Expiration Date Setting" } });
        else { // after the header and the empty lock side; on the grid, a null weekday is lime too
            TDbGridModel* model = form->DBGrid6->gridModel();
            EXPECT_EQ(
                model->data(model->index(0, 2), Qt::ForegroundRole).value<QColor>(), QColor(0, 0xFF, 0));
            expectCells(book, kInfo,
                { { "A9", "Data In Database" }, { "B9", "05:00:00" }, { "D9", "" }, { "E9", "True" },
                    { "F9", "False" } });
        }
    }
}

TEST_F(GetInfoWindowTest, AHugeUserCountStopsAtTheEndOfTheKeyListArea)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto key = keyFrom(lock);
    patch(key, 1, 49, { 0xFF, 0xFF });
    auto form = readKey(key);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(info(*form, "User Number:"), QStringLiteral("65535"));
    EXPECT_EQ(form->timings.pagesRead, 3 + 16 + (284 - 3 + 1));
    EXPECT_EQ(scalar("SELECT count(*) FROM TempKey"), getinfo::kMaxKeyListEntries);
    EXPECT_EQ(form->ProgressBar1->maximum(), getinfo::kMaxKeyListEntries / 2 + 16);
}

TEST_F(GetInfoWindowTest, AKeyPulledOutKeepsTheEntriesReadBefore)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto key = keyFrom(lock);
    bus->faults().removeAfterPages[key.rom] = 3 + 16 + 1; // pages 0-2, the image, one key-list page
    auto form = readKey(key);
    EXPECT_EQ(last(boxes), "Read key error,Please try it again.");
    EXPECT_TRUE(form->findChildren<TDownloading_Form*>().isEmpty());
    EXPECT_TRUE(form->BitBtn2->isHidden());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempKey"), 2); // the first page's entries stay
}

TEST_F(GetInfoWindowTest, AnImageThatStopsDecodingLeavesNoRowsOfTheLockReadBefore)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    ASSERT_EQ(scalar("SELECT count(*) FROM LockStatusST1"), 3);
    auto broken = standardLock(at(2026, 12, 6, 12, 0, 0));
    broken.state().settingsImage[0] = 0x24; // group 1's first time shift begins at hour 24
    insertKey(keyFrom(broken, 902));
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(scalar("SELECT (SELECT count(*) FROM TimeShift1) + (SELECT count(*) FROM LockStatusST1) + "
                     "(SELECT count(*) FROM ActExpDateST1) + (SELECT count(*) FROM ExceptionDateST1)"),
        0);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempKey"), 5); // the key list is read all the same
    EXPECT_FALSE(form->BitBtn2->isHidden());
}

// Another program reads the database from the first key-list page on: the scratch rows cannot
// be committed, and the database's message is shown instead of the report.
TEST_F(GetInfoWindowTest, ScratchRowsThatCannotBeCommittedShowTheDatabasesMessage)
{
    db.Close();
    db.BusyTimeoutMs = 20; // a held database fails fast
    db.Open();
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    ASSERT_FALSE(form->BitBtn2->isHidden()) << "a report shown before";
    TDbConnection other(db.Database);
    other.Open();
    bool held = false;
    const auto hold = QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        if (v == 16 && !std::exchange(held, true))
            other.ExecSQL("BEGIN; SELECT count(*) FROM sqlite_master");
    });
    insertKey(keyFrom(lock, 903));
    EXPECT_THAT(read(*form), ElementsAre(HasSubstr("database is locked")));
    QObject::disconnect(hold);
    other.Rollback();
    EXPECT_TRUE(held);
    EXPECT_TRUE(form->BitBtn2->isHidden());
}

// At 1024 x 768, in the main window, the Read Key window shows every column of its records grids
// (the longest events too) and of the time shift grids in their place, and its three buttons
// on one row.
TEST_F(GetInfoWindowTest, At1024By768EveryGridColumnIsInItsPlaceAndTheButtonsShareARow)
{
    clearChildWindowRegistry();
    registerChildWindow("Read Key", [this] {
        auto* f = new TReadCard_Form(&db);
        f->Timer1->stop();
        return f;
    });
    TLogin_Form::OperatorLevel = 1;
    exec("UPDATE LockManagement SET LockLocation = 'North Wing Floor 12A'"); // 20 characters, the most
    exec("UPDATE TimeShift SET DayOfWeek = 'Wednesday'");
    {
        TMain_Form main;
        main.resize(1024, 768);
        main.show();
        main.menuAction("Read Key")->trigger();
        ASSERT_NE(ReadCard_Form, nullptr);
        TReadCard_Form& form = *ReadCard_Form;
        // The columns whose caption is cut, and whether they reach beyond the grid's place.
        auto cut = [](const TDBGrid* g) {
            QCoreApplication::processEvents(); // the grid's geometry follows its widths later
            std::string out;
            int total = 0;
            for (int c = 0; c < g->model()->columnCount(); ++c) {
                total += g->columnWidth(c);
                if (g->columnWidth(c) < g->horizontalHeader()->sectionSizeHint(c))
                    out += g->model()->headerData(c, Qt::Horizontal).toString().toStdString() + " ";
            }
            return out + (total > g->viewport()->width() ? "beyond its place" : "");
        };
        const std::pair<const char*, TDBGrid*> trails[] = { { "2000", form.DBGrid16 }, { "25", form.DBGrid18 } };
        for (const auto& [choice, grid] : trails) {
            locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 12, 0, 0));
            lock.record(locksim::AuditEvent::withCode("1234567890", 1, 4, at(2026, 12, 28, 23, 58, 58)));
            lock.record(locksim::AuditEvent::withKey(kUserKey, 0x04, at(2026, 12, 28, 23, 59, 59)));
            auto key = auditKeys(choice).at(0);
            visit(lock, key);
            insertKey(key);
            read(form);
            ASSERT_EQ(grid->model()->rowCount(), 2) << choice;
            EXPECT_EQ(cut(grid), "") << choice;
        }
        auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
        insertKey(keyFrom(lock));
        read(form);
        ASSERT_TRUE(form.TimeGroup_Query.Locate("GroupID", DbVariant(2))); // rows on both sides
        for (const TDbDataSource* source : { &form.TimeShiftInLock_Source, &form.TimeShiftInDB_Source })
            for (const TDBGrid* g : form.findChildren<TDBGrid*>())
                if (g->gridModel()->dataSource() == source) {
                    EXPECT_GT(g->model()->rowCount(), 0);
                    EXPECT_EQ(cut(g), "");
                }
        auto centre = [&](const QWidget* b) { return QRect(b->mapTo(&form, QPoint(0, 0)), b->size()).center(); };
        for (const QWidget* b : std::initializer_list<const QWidget*> { form.sbReadCard, form.BitBtn2, form.sbExit }) {
            EXPECT_TRUE(b->isVisible());
            EXPECT_EQ(centre(b).y(), centre(form.sbReadCard).y()) << b->objectName().toStdString();
            EXPECT_TRUE(form.rect().contains(QRect(b->mapTo(&form, QPoint(0, 0)), b->size())));
        }
        EXPECT_TRUE(main.CloseMyMDI());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        main.setAttribute(Qt::WA_DeleteOnClose, false);
    }
    clearChildWindowRegistry();
    TLogin_Form::OperatorLevel = 0;
}

} // namespace
