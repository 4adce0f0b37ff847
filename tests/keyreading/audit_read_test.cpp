// Audit-trail keys through the window: one key, two keys, multi-lock keys, hostile keys, and
// the decoded rows saved into the history.
#include "app/keyreading/audit_save.h"
#include "keyreading/read_key_fixture.h"

#include <QImage>
#include <QLocale>
#include <sqlite3.h>

using namespace rktest;

namespace {

const RomId kMissionKeyRom = onewire::makeRomId(0x37, 0x2002);
const std::string kReadError = "Read key error,Please try it again.";
const std::string kNotFound = "Can not find information of this key in database.";

class AuditReadTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        addLock(1, kLockA, "Front", "Lobby");
        addLock(2, kLockB, "Back", "Yard");
        addUser(7, romIdText(kUserKey), "4321", "Ada", "Lovelace");
        exec("INSERT INTO AccessCode (SerialID,GuestFirstName,GuestLastName,CodeString) "
             "VALUES ('x','Gus','Guest','1234567890')");
    }
    // The choice's key filled by the locks given, alone in the reader.
    onewire::KeyFile filled(
        std::string_view choice, std::initializer_list<locksim::SimLock*> locks, uint64_t serial = 500)
    {
        auto key = auditKeys(choice, serial).at(0);
        for (auto* lock : locks)
            visit(*lock, key);
        insertKey(key);
        return key;
    }
    int64_t history() { return scalar("SELECT count(*) FROM RecordInfor"); }
    // Lock A's trail of fifty key events and a code in the reader, and a window shown for it.
    std::unique_ptr<TReadCard_Form> trailOfFiftyKeyEventsAndACode()
    {
        locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
        for (int i = 0; i < 50; ++i)
            lock.record(locksim::AuditEvent::withKey(kUserKey, 0, at(2026, 2, 2) + minutes(i)));
        lock.record(locksim::AuditEvent::withCode("4321", 1, 1, at(2026, 2, 3)));
        filled("2000", { &lock }, 600);
        auto form = newForm();
        form->show();
        return form;
    }
    std::vector<std::string> save(TReadCard_Form& f)
    {
        return boxesOf([&] { f.BitBtn1Click(); });
    }
};

TEST_F(AuditReadTest, EventTextsUsersGuestsAndCodes)
{
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
    const auto t = at(2026, 5, 5, 10, 0, 0);
    using locksim::AuditEvent;
    lock.record(AuditEvent::withCode("1234567890", 4, 1, t));
    lock.record(AuditEvent::withCode("12", 0, 0xA, t + seconds(1)));
    lock.record(AuditEvent::withCode("12", 0, 0xC, t + seconds(2)));
    lock.record(AuditEvent::ofLock(2, t + seconds(3)));
    lock.record(AuditEvent::withKey(kMissionKeyRom, 0xF3, t + seconds(4)));
    lock.record(AuditEvent::withKey(kMissionKeyRom, 0xF9, t + seconds(5)));
    lock.record(AuditEvent::withCode("4321", 1, 0, t + seconds(6)));
    lock.record(AuditEvent::withCode("", 1, 0, t + seconds(7)));
    lock.record(AuditEvent::withKey(kUserKey, 0x02, t + hours(24)));
    auto key = filled("2000", { &lock });
    // A record with hour 24h is skipped: patch the last record's hour byte.
    patch(key, 4, 12, { 0x24 });
    insertKey(key);
    exec("INSERT INTO KeyManagement (KeyID,SerialID,KeyCode,FirstName,LastName,Status) VALUES "
         "(9,'','','Empty','Code','Active')");
    auto form = newForm();
    read(*form);
    const std::string admin = romIdText(kMissionKeyRom);
    EXPECT_EQ(
        text("SELECT group_concat(r, '|') FROM (SELECT ifnull(SerialID,'')||'/'||ifnull(FirstName,'')||'/'||"
             "ifnull(LastName,'')||'/'||ifnull(Status,'')||'/'||OpenLockType||'/'||ifnull(CodeType,'null') "
             "AS r FROM TempRecord ORDER BY No)"),
        "1234567890/Gus/Guest//Open Lock With Code(Classroom Mode)/Once|"
        "12////Invalid Code(0A)/Temp|12////Unknown Type(0C)/Temp|"
        "0200000000000000////Lock Auto Closed/null|"
            + admin + "/Admin/Admin/Permitted/Download Lock Information/null|" + admin
            + "/Unknown/Unknown/Denied/Unknown Type/null|"
              "4321/Ada/Lovelace/Active/Open Lock With Code(Storehouse Mode)/Perm.|"
              "////Open Lock With Code(Storehouse Mode)/Perm.");
}

TEST_F(AuditReadTest, AReadThatDecodesNothingShowsNothingAndEmptiesNothing)
{
    auto lock = lockWith(kLockA, 5);
    const auto key = filled("2000", { &lock }), other = filled("2000", { &lock }, 950);
    struct Row {
        onewire::KeyFile key;
        const char* failure; // SQL that makes the read fail, or nullptr
        std::vector<std::string> boxes;
    } rows[] = {
        { auditKeys("2000", 900).at(0), nullptr, {} }, // a key not yet at a lock
        { other,
            "CREATE TRIGGER fail BEFORE INSERT ON TempRecord BEGIN SELECT RAISE(ABORT, 'disk I/O error'); "
            "END",
            { "disk I/O error" } },
    };
    for (const Row& r : rows) {
        insertKey(key);
        auto form = newForm();
        EXPECT_TRUE(read(*form).empty());
        ASSERT_EQ(form->DBGrid16->gridModel()->rowCount(), 5);
        if (r.failure)
            exec(r.failure);
        insertKey(r.key);
        form->Label42->setText(QStringLiteral("old"));
        EXPECT_EQ(read(*form), r.boxes);
        EXPECT_EQ(form->currentPanel(), 6);
        for (QLabel* l : { form->Label40, form->Label42, form->Label46 })
            EXPECT_TRUE(l->text().isEmpty());
        EXPECT_EQ(form->DBGrid16->gridModel()->rowCount(), 0);
        EXPECT_TRUE(form->BitBtn1->isHidden());
        EXPECT_TRUE(form->BitBtn2->isHidden()); // nothing to export
        // Nothing decoded: nothing emptied.
        EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), r.failure ? 0 : 5);
        exec("DROP TRIGGER IF EXISTS fail");
    }
}

TEST_F(AuditReadTest, AnEmptyTrailShowsAnEmptyGridAndTheSaveButton)
{
    exec("INSERT INTO TempRecord (No,SerialID) VALUES (1,'stale')");
    auto empty = lockWith(kLockA, 0);
    filled("2000", { &empty });
    auto form = newForm();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 0);
    EXPECT_FALSE(form->BitBtn1->isHidden()); // an empty grid and the save button
}

TEST_F(AuditReadTest, ATrailOfAnUnknownLockSaysSo)
{
    auto form = newForm();
    auto unknown = lockWith(kLockC, 10);
    filled("2000", { &unknown }, 501);
    EXPECT_EQ(read(*form), std::vector<std::string> { kNotFound });
}

TEST_F(AuditReadTest, MultiLockKeyDecodesEveryBlock)
{
    auto a = lockWith(kLockA, 30, 10); // its latest 25, some empty
    auto b = lockWith(kLockB, 7);
    auto c = lockWith(kLockC, 3); // not registered
    const auto key = filled("25", { &a, &b, &c });
    auto form = newForm();
    EXPECT_EQ(read(*form), std::vector<std::string> { kNotFound });
    EXPECT_EQ(form->Label65->text() + "/" + form->Label67->text(), QStringLiteral("25/3"));
    EXPECT_FALSE(form->BitBtn5->isHidden());
    EXPECT_FALSE(form->BitBtn2->isHidden());
    EXPECT_EQ(text("SELECT count(*)||'/'||max(No) FROM TempRecord WHERE LockName = 'Back'"), "7/7");
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = '' AND LockLocation = ''"), 3);
    // Its latest 25 hold two empty slots: gaps stay gaps.
    EXPECT_EQ(text("SELECT count(*)||'/'||max(No) FROM TempRecord WHERE LockName = 'Front'"), "23/25");
    // Records per lock none of the six: refused, and nothing of the key read before is shown.
    auto hostile = key;
    patch(hostile, 0, 8, { 0, 30 });
    insertKey(hostile);
    EXPECT_EQ(read(*form), std::vector<std::string> { kReadError });
    EXPECT_EQ(form->currentPanel(), 8);
    EXPECT_EQ(form->DBGrid18->gridModel()->rowCount(), 0);
    EXPECT_TRUE(form->BitBtn2->isHidden() && form->BitBtn5->isHidden());
    EXPECT_TRUE(form->Label65->text().isEmpty() && form->Label67->text().isEmpty());
    // A key no lock filled keeps the counts shown.
    insertKey(key);
    read(*form);
    insertKey(auditKeys("100", 990).at(0));
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->Label65->text() + "/" + form->Label67->text(), QStringLiteral("25/3"));
    EXPECT_EQ(form->TempRecord_Query.RecordCount(), 0);
    EXPECT_FALSE(form->BitBtn5->isHidden());
}

TEST_F(AuditReadTest, HostileOrPulledKeysAreBoundedAndKeepWhatWasDecoded)
{
    auto form = newForm();
    // A lock count far beyond what fits: only the blocks that fit are read.
    auto crowded = auditKeys("1000", 800).at(0);
    patch(crowded, 1, 0, { 200 });
    insertKey(crowded);
    form->timings.clear();
    read(*form);
    EXPECT_LE(form->timings.pagesRead, 511);
    // A single-lock count of 65535: at most 2,036 records, no page beyond 510.
    auto lock = lockWith(kLockA, 2000);
    auto key = filled("2000", { &lock });
    patch(key, 1, 2, { 0xFF, 0xFF });
    insertKey(key);
    form->timings.clear();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->timings.pagesRead, 511);
    EXPECT_EQ(form->RecordsOnKey, 2036);
    // A key pulled out midway keeps what was decoded.
    auto shorter = lockWith(kLockA, 400);
    key = filled("2000", { &shorter }, 501);
    bus->faults().removeAfterPages[key.rom] = 12; // page 0, page 1, then ten record pages
    EXPECT_EQ(last(read(*form)), kReadError);
    EXPECT_EQ(form->TempRecord_Query.RecordCount(), 40);
    EXPECT_TRUE(form->BitBtn1->isHidden());
    // From a multi-lock key: the lock blocks not read are named once.
    auto a = lockWith(kLockA, 25), b = lockWith(kLockB, 25);
    auto multi = filled("25", { &a, &b }, 600);
    bus->faults().removeAfterPages[multi.rom] = 2 + 8 + 3; // page 0, 1, block 1, 3 pages of block 2
    EXPECT_EQ(last(read(*form)), kReadError + " Lock blocks not read: 2.");
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Front'"), 25);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Back'"), 8);
    EXPECT_FALSE(form->BitBtn5->isHidden());
}

TEST_F(AuditReadTest, GridShowsTheAuditColumnsNewestFirstInEventColours)
{
    const QColor green(0x00, 0x80, 0x00), black(0, 0, 0), lime(0, 0xFF, 0), red(0xFF, 0, 0), blue(0, 0, 0xFF),
        purple(0x80, 0x00, 0x80);
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x02, at(2026, 1, 1))); // close, at midnight
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x05, at(2026, 1, 1, 9))); // invalid
    lock.record(locksim::AuditEvent::withKey(kMissionKeyRom, 0xFB, at(2026, 1, 1, 10))); // set lock time
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x01, at(2026, 1, 1, 11))); // open
    filled("2000", { &lock });
    auto form = newForm();
    read(*form);
    TDbGridModel* model = form->DBGrid16->gridModel();
    EXPECT_EQ(headers(model),
        (QStringList { "First Name", "Last Name", "Lock Action", "Lock Time", "LockName", "LockLocation",
            "Serial ID", "Code Type" }));
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->headerData(0, Qt::Vertical).toInt(), 1); // the entry number follows the grid's order
    const int action = model->columnOf("OpenLockType");
    EXPECT_GE(form->DBGrid16->columnWidth(action), 200); // the layout's width, scaled to the type
    // Lock times as the labels show date-times: the locale's short date and long time, the date
    // alone at midnight (as "Time In Lock:" shows the lock's midnight clock).
    const QLocale locale;
    const int time = model->columnOf("OpenLockTime");
    EXPECT_EQ(form->Label48->text(), locale.toString(QDate(2026, 12, 6), QLocale::ShortFormat));
    EXPECT_EQ(model->data(model->index(3, time)).toString(), locale.toString(QDate(2026, 1, 1), QLocale::ShortFormat));
    EXPECT_EQ(model->data(model->index(0, time)).toString(),
        locale.toString(QDate(2026, 1, 1), QLocale::ShortFormat) + " "
            + locale.toString(QTime(11, 0), "HH:mm:ss")); // the C locale's long time, without its zone
    // Taken from the drawn pixels: the selected row on silver, its text still in the event colour.
    form->resize(1000, 700);
    form->show();
    form->DBGrid16->setFocus();
    form->DBGrid16->selectRow(2);
    QCoreApplication::processEvents();
    const QImage image = form->DBGrid16->viewport()->grab().toImage();
    const QRect selected = form->DBGrid16->visualRect(model->index(2, action));
    const QRect other = form->DBGrid16->visualRect(model->index(1, action));
    EXPECT_EQ(image.pixelColor(selected.right() - 4, selected.center().y()), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_NE(image.pixelColor(other.right() - 4, other.center().y()), QColor(0xC0, 0xC0, 0xC0));
    bool redText = false;
    for (int x = selected.left(); x < selected.right() && !redText; ++x)
        for (int y = selected.top(); y < selected.bottom() && !redText; ++y)
            redText = image.pixelColor(x, y) == red;
    EXPECT_TRUE(redText);
    // " &Export Data": the grid's rows newest first; a row with nothing but its event has empty
    // cells and no formats where the fields are null.
    exec("INSERT INTO TempRecord (No,OpenLockType) VALUES (99,'Unknown Type')");
    form->TempRecord_Query.Close();
    form->TempRecord_Query.Open();
    EXPECT_EQ(boxesOf([&] { form->BitBtn2->click(); }),
        std::vector<std::string> { "Data has been exported successfully." });
    const auto d = exportedBook();
    const std::string sheet = "Audit Record Report";
    EXPECT_EQ(d.sheets, std::vector<std::string> { sheet });
    expectCells(d, sheet,
        { { "A1", sheet }, { "A2", "Print Time: " }, { "A3", "No." }, { "B3", "Serial ID" },
            { "C3", "First Name" }, { "D3", "Last Name" }, { "E3", "Lock Action" }, { "F3", "Lock Time" },
            { "G3", "Status" }, { "H3", "Department" }, { "I3", "Lock Name" }, { "J3", "Lock Location" },
            { "K3", "Code Type" }, { "L3", "" }, { "B4", "\\\"" + romIdText(kUserKey) }, { "C4", "Ada" },
            { "I4", "Front" }, { "E8", "Unknown Type" }, { "B8", "" }, { "F8", "" }, { "A9", "" } });
    for (char c = 'A'; c <= 'J'; ++c) // 20 characters as stored
        EXPECT_NEAR(d.widths.at(sheet + "!" + std::string(1, c)), 20.71, 0.01) << c;
    EXPECT_EQ(d.widths.count(sheet + "!K"), 0u);
    const std::tuple<const char*, const char*, const char*, const char*> typed[] = {
        { "A4", "number", "1.0", nullptr }, { "B4", nullptr, nullptr, "0" },
        { "F4", "datetime", "\"2026-01-01T11:00:00\"", "yyyy-mm-dd hh:mm:ss" },
        { "F5", nullptr, "\"2026-01-01T10:00:00\"", nullptr },
        { "A8", nullptr, "5.0", nullptr }, // the row without a time sorts last; its number goes on
    };
    for (auto [ref, type, json, format] : typed) {
        const auto& c = d.cell(sheet + "!" + ref);
        EXPECT_TRUE(!type || c.type == type) << ref << " " << c.type;
        EXPECT_TRUE(!json || c.json == json) << ref << " " << c.json;
        EXPECT_TRUE(!format || c.format == format) << ref << " " << c.format;
    }
    // Every text of the event colour table; anything else (null too) is purple.
    const std::pair<const char*, QColor> table[] = { { "Open Lock With Key(Classroom Mode)", green },
        { "Open Lock With Key(Storehouse Mode)", green }, { "Lock Auto Opened", green },
        { "Open Lock By Push Button", green }, { "Open Lock With Code(Classroom Mode)", green },
        { "Open Lock With Code(Storehouse Mode)", green }, { "iButton Access(Complex Type Step One)", green },
        { "Close Lock With Key", black }, { "Lock Auto Closed", black }, { "Close Lock With Code", black },
        { "Close Lock By Push Button", black }, { "Setup Master Code", lime }, { "Setup Slave Code", lime },
        { "Forbidden Key(Access During Lockout Mode)", red }, { "Invalid Access(Time Shift Setting)", red },
        { "Invalid Access(Act/Exp Date Setting)", red }, { "Invalid Access(Exception Date Setting)", red },
        { "Invalid Key", red }, { "Forbidden Code(Access During Lockout Mode)", red },
        { "Setup Key Short Circuit", blue }, { "Setup Key Open Circuit", blue },
        { "Download Lock Information", blue }, { "Download Lock Audit Trial", blue },
        { "Initialize Lock", blue }, { "Key List Enable", blue }, { "Single-Lock Programming", blue },
        { "Multi-Lock Programming", blue }, { "Set Parameter Key", blue }, { "Unknown Type(1F)", purple },
        { "Set Lock Time", purple }, { "", purple } };
    exec("DELETE FROM TempRecord");
    for (size_t i = 0; i < std::size(table); ++i)
        exec("INSERT INTO TempRecord (No,OpenLockType) VALUES (" + std::to_string(i) + ",'" + table[i].first
            + "')");
    exec("INSERT INTO TempRecord (No) VALUES (99)");
    form->TempRecord_Query.Close();
    form->TempRecord_Query.Open();
    ASSERT_EQ(size_t(model->rowCount()), std::size(table) + 1);
    for (int r = 0; r < model->rowCount(); ++r) {
        const QString t = model->data(model->index(r, action)).toString();
        const auto* row
            = std::find_if(std::begin(table), std::end(table), [&](auto& e) { return t == e.first; });
        for (int c : { 0, action }) // the whole row takes the event's colour
            EXPECT_EQ(model->data(model->index(r, c), Qt::ForegroundRole).value<QColor>(),
                row != std::end(table) && !t.isEmpty() ? row->second : purple)
                << t.toStdString();
    }
}

const std::vector<std::string> kSaved { "Save Data OK." };

TEST_F(AuditReadTest, RepeatsWithinOneBatchAreStoredOnce)
{
    const DateTime t { seconds(1'700'000'000) };
    // Each row after the first differs from it in one column: only a name makes no new event.
    const std::pair<size_t, DbVariant> changes[] = {
        { 1, DbVariant(std::string("X")) }, // the first row
        { 1, DbVariant(std::string("Y")) }, // another name: the same event
        { 3, DbVariant(std::string("Lock Auto Closed")) }, // another event
        { 7, DbVariant(std::string("Back")) }, // the same event at another lock in the same second
        { 0, DbVariant(std::string("DEF")) }, // another key
        { 4, DbVariant(t + seconds(1)) }, // a second later
    };
    std::vector<keyreading::SavedRow> rows;
    for (const auto& [column, value] : changes) {
        keyreading::SavedRow r;
        r[0] = DbVariant(std::string("ABC"));
        r[3] = DbVariant(std::string("Close Lock With Key"));
        r[4] = DbVariant(t);
        r[7] = DbVariant(std::string("Front"));
        r[column] = value;
        rows.push_back(r);
    }
    const auto out = keyreading::saveToHistory(db, rows);
    EXPECT_EQ(out.saved, 5);
    EXPECT_EQ(out.alreadyStored, 1);
    EXPECT_EQ(history(), 5);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE OpenLockTime = '2023-11-14 22:13:20'"), 4);
}

TEST_F(AuditReadTest, AFailedSaveStoresNothingAndMayBeTriedAgain)
{
    exec("INSERT INTO RecordInfor (SerialID,LockName,OpenLockType,OpenLockTime) VALUES "
         "('old','Front','x','2020-01-01 00:00:00')");
    exec("CREATE TRIGGER refuse BEFORE INSERT ON RecordInfor WHEN (SELECT count(*) FROM RecordInfor) >= 20 "
         "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    auto form = trailOfFiftyKeyEventsAndACode();
    EXPECT_EQ(save(*form), kSaved); // nothing decoded yet: nothing saved
    EXPECT_EQ(history(), 1);
    read(*form);
    // The error box is shown while the save's guard still holds: it tries to save again and to close.
    dialogs.during = [&] {
        form->BitBtn1Click();
        form->close();
    };
    EXPECT_EQ(save(*form), std::vector<std::string> { "Write database error,please try again." });
    dialogs.during = nullptr;
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(history(), 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->reading());
    EXPECT_FALSE(form->BitBtn1->isHidden());
    EXPECT_TRUE(form->BitBtn1->isEnabled());
    EXPECT_FALSE(db.InTransaction());
    exec("DROP TRIGGER refuse");
    EXPECT_EQ(save(*form), kSaved);
    EXPECT_EQ(history(), 52);
}

TEST_F(AuditReadTest, SavesOnceWaitingForAnotherProgramsWriteLock)
{
    auto form = trailOfFiftyKeyEventsAndACode();
    read(*form);
    // Another program holds the write lock and lets go while the save waits for it (this busy
    // handler stands in for the busy timeout's). A save that read before asking for the lock
    // would fail at once, without waiting.
    TDbConnection other(db.Database);
    other.Open();
    other.ExecSQL("BEGIN IMMEDIATE");
    struct Waiting {
        TDbConnection* other;
        int waits = 0;
    } waiting { &other };
    sqlite3_busy_handler(
        db.Handle(),
        [](void* p, int) {
            auto* w = static_cast<Waiting*>(p);
            ++w->waits;
            w->other->Rollback();
            return 1;
        },
        &waiting);
    EXPECT_EQ(save(*form), kSaved);
    sqlite3_busy_timeout(db.Handle(), db.BusyTimeoutMs);
    EXPECT_EQ(waiting.waits, 1);
    EXPECT_TRUE(form->BitBtn1->isHidden());
    EXPECT_TRUE(form->BitBtn5->isHidden());
    EXPECT_FALSE(form->BitBtn2->isHidden()); // the export is still there after saving
    EXPECT_EQ(
        text("SELECT count(*)||' '||sum(CodeType IS NULL)||' '||sum(CodeType = 'Perm.' AND SerialID = '4321')"
             "||' '||sum(LockLocation = 'Lobby' AND FirstName = 'Ada') FROM RecordInfor"),
        "51 50 1 51");
    // The same key again, with the user renamed meanwhile: the same events, nothing new.
    exec("UPDATE KeyManagement SET FirstName = 'Augusta'");
    read(*form);
    EXPECT_FALSE(form->BitBtn1->isHidden());
    save(*form);
    EXPECT_EQ(history(), 51);
    EXPECT_EQ(scalar("SELECT count(*) FROM RecordInfor WHERE FirstName = 'Augusta'"), 0);
}

} // namespace
