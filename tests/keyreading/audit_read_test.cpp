// Audit-trail keys through the window: one key, two keys, multi-lock keys, hostile keys.
#include "keyformats/audit_trail_keys.h"
#include "keyreading/read_key_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <map>

using namespace rktest;

namespace {

const RomId kLockA = onewire::makeRomId(0x23, 0xA1);
const RomId kLockB = onewire::makeRomId(0x23, 0xB2);
const RomId kLockC = onewire::makeRomId(0x23, 0xC3);
const RomId kUserKey = onewire::makeRomId(0x01, 0x1001);
const RomId kMissionKeyRom = onewire::makeRomId(0x37, 0x2002);
const std::string kReadError = "Read key error,Please try it again.";

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

    // The program's key for one choice, the way its writer writes it.
    std::vector<onewire::KeyFile> programKeys(std::string_view choiceText, uint64_t serial = 500)
    {
        const AuditTrailChoice* choice = nullptr;
        for (const auto& c : kAuditTrailChoices)
            if (c.itemText == choiceText)
                choice = &c;
        std::vector<onewire::KeyFile> keys;
        for (const auto& writes : auditTrailKeyWrites(*choice, kSite)) {
            auto k = ds1977(serial++);
            for (const auto& w : writes)
                setPage(k, w.page, w.image);
            keys.push_back(k);
        }
        return keys;
    }
    static locksim::SimLock lockWith(const RomId& serial, size_t events, size_t emptyEvery = 0)
    {
        locksim::SimLock lock(serial, kSite, at(2026, 12, 6, 9, 0, 0));
        for (size_t i = 0; i < events; ++i) {
            if (emptyEvery && i % emptyEvery == 3) {
                lock.record(locksim::AuditEvent::empty());
                continue;
            }
            lock.record(locksim::AuditEvent::withKey(
                kUserKey, uint8_t(i % 3), at(2026, 1, 1) + std::chrono::minutes(i)));
        }
        return lock;
    }
};

TEST_F(AuditReadTest, OneKeyTrailSkipsEmptySlotsAndNumbersTheRest)
{
    auto key = programKeys("2000").at(0);
    auto lock = lockWith(kLockA, 2000, 54); // 37 slots never filled
    visit(lock, key);
    insertKey(key);
    auto form = newForm();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->currentPanel(), 6);
    EXPECT_EQ(form->Label6->text(), QStringLiteral("Get Audit Trail Key"));
    EXPECT_EQ(form->Label40->text().toStdString(), romIdText(kLockA));
    EXPECT_EQ(form->Label42->text(), QStringLiteral("Front"));
    EXPECT_EQ(form->Label44->text(), QStringLiteral("Lobby"));
    EXPECT_EQ(form->Label46->text(), QStringLiteral("2000"));
    EXPECT_EQ(form->Label50->text(), QStringLiteral("2000"));
    EXPECT_EQ(form->Label48->text(), QStringLiteral("6 Dec 2026 09:00:00"));
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 1963);
    EXPECT_EQ(scalar("SELECT min(No) FROM TempRecord"), 1);
    EXPECT_EQ(scalar("SELECT max(No) FROM TempRecord"), 1963);
    EXPECT_EQ(scalar("SELECT count(DISTINCT No) FROM TempRecord"), 1963);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE FirstName = 'Ada' AND LockName = 'Front' "
                     "AND LockLocation = 'Lobby' AND CodeType IS NULL"),
        1963);
    EXPECT_FALSE(form->BitBtn1->isHidden());
    EXPECT_FALSE(form->BitBtn2->isHidden()); // " &Export Data" comes with the audit panel
    EXPECT_TRUE(form->BitBtn2->isEnabled());
    // Newest first on the grid.
    ASSERT_EQ(form->TempRecord_Query.RecordCount(), 1963);
    form->TempRecord_Query.First();
    const auto newest = form->TempRecord_Query.FieldByName("OpenLockTime").AsDateTime();
    form->TempRecord_Query.Last();
    EXPECT_GT(newest, form->TempRecord_Query.FieldByName("OpenLockTime").AsDateTime());
}

TEST_F(AuditReadTest, EventTextsUsersGuestsAndCodes)
{
    auto key = programKeys("2000").at(0);
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
    const auto t = at(2026, 5, 5, 10, 0, 0);
    using locksim::AuditEvent;
    lock.record(AuditEvent::withCode("1234567890", 4, 1, t));
    lock.record(AuditEvent::withCode("12", 0, 0xA, t + std::chrono::seconds(1)));
    lock.record(AuditEvent::withCode("12", 0, 0xC, t + std::chrono::seconds(2)));
    lock.record(AuditEvent::ofLock(2, t + std::chrono::seconds(3)));
    lock.record(AuditEvent::withKey(kMissionKeyRom, 0xF3, t + std::chrono::seconds(4)));
    lock.record(AuditEvent::withKey(kMissionKeyRom, 0xF9, t + std::chrono::seconds(5)));
    lock.record(AuditEvent::withCode("4321", 1, 0, t + std::chrono::seconds(6)));
    lock.record(AuditEvent::withCode("", 1, 0, t + std::chrono::seconds(7)));
    lock.record(AuditEvent::withKey(kUserKey, 0x02, t + std::chrono::hours(24))); // hour byte fine
    visit(lock, key);
    // A record with hour 24h is skipped: patch the last record's hour byte.
    auto p2 = *onewire::ds1977Page(key, 4);
    p2[0 * 16 + 12] = 0x24;
    setPage(key, 4, p2);
    exec("INSERT INTO KeyManagement (KeyID,SerialID,KeyCode,FirstName,LastName,Status) VALUES "
         "(9,'','','Empty','Code','Active')");
    insertKey(key);
    auto form = newForm();
    read(*form);
    TDbQuery q(&db);
    q.SQL = "SELECT * FROM TempRecord ORDER BY No";
    q.Open();
    struct Expect {
        const char *serial, *first, *last, *status, *type, *code;
    };
    const Expect rows[] = {
        { "1234567890", "Gus", "Guest", "", "Open Lock With Code(Classroom Mode)", "Once" },
        { "12", "", "", "", "Invalid Code(0A)", "Temp" },
        { "12", "", "", "", "Unknown Type(0C)", "Temp" },
        { "0200000000000000", "", "", "", "Lock Auto Closed", nullptr },
        { nullptr, "Admin", "Admin", "Permitted", "Download Lock Information", nullptr },
        { nullptr, "Unknown", "Unknown", "Denied", "Unknown Type", nullptr },
        { "4321", "Ada", "Lovelace", "Active", "Open Lock With Code(Storehouse Mode)", "Perm." },
        { "", "", "", "", "Open Lock With Code(Storehouse Mode)", "Perm." },
    };
    ASSERT_EQ(q.RecordCount(), int(std::size(rows)));
    for (const Expect& e : rows) {
        SCOPED_TRACE(e.type);
        if (e.serial)
            EXPECT_EQ(q.FieldByName("SerialID").AsString(), e.serial);
        else
            EXPECT_EQ(q.FieldByName("SerialID").AsString(), romIdText(kMissionKeyRom));
        EXPECT_EQ(q.FieldByName("FirstName").AsString(), e.first);
        EXPECT_EQ(q.FieldByName("LastName").AsString(), e.last);
        EXPECT_EQ(q.FieldByName("Status").AsString(), e.status);
        EXPECT_EQ(q.FieldByName("OpenLockType").AsString(), e.type);
        if (e.code)
            EXPECT_EQ(q.FieldByName("CodeType").AsString(), e.code);
        else
            EXPECT_TRUE(q.FieldByName("CodeType").IsNull());
        q.Next();
    }
}

TEST_F(AuditReadTest, TwoKeyTrailContinuesItsNumbering)
{
    auto keys = programKeys("3000+");
    ASSERT_EQ(keys.size(), 2u);
    auto lock = lockWith(kLockA, 3000);
    visit(lock, keys[0]);
    visit(lock, keys[1]);
    auto form = newForm();

    insertKey(keys[1]);
    EXPECT_EQ(read(*form), std::vector<std::string> { "Insert the first audit trail program key." });

    insertKey(keys[0]);
    EXPECT_EQ(read(*form),
        std::vector<std::string> {
            "Please plug second key into PC iButton Reader,then click \"Read Key\"." });
    const int64_t first = scalar("SELECT count(*) FROM TempRecord");
    EXPECT_EQ(first, 2036);
    EXPECT_TRUE(form->SecondKeyExpected);

    insertKey(keys[1]);
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 3000);
    EXPECT_EQ(scalar("SELECT count(DISTINCT No) FROM TempRecord"), 3000);
    EXPECT_EQ(scalar("SELECT max(No) FROM TempRecord"), 3000);
    EXPECT_FALSE(form->BitBtn1->isHidden());
    EXPECT_FALSE(form->SecondKeyExpected);
}

TEST_F(AuditReadTest, SecondKeyOfAnotherLockLeavesTheFirstKeysRows)
{
    auto keys = programKeys("3000+");
    auto other = programKeys("3000+", 900);
    ASSERT_EQ(keys.size(), 2u);
    ASSERT_EQ(other.size(), 2u);
    auto lockA = lockWith(kLockA, 2500);
    visit(lockA, keys[0]);
    auto lockB = lockWith(kLockB, 2500);
    visit(lockB, other[0]);
    visit(lockB, other[1]);
    auto form = newForm();
    insertKey(keys[0]);
    read(*form);
    insertKey(other[1]);
    EXPECT_EQ(
        read(*form), std::vector<std::string> { "The lock name in second key is diffrent from first one." });
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 2036);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName <> 'Front'"), 0);
    // The first key must be read again before a second key is accepted.
    EXPECT_EQ(read(*form), std::vector<std::string> { "Insert the first audit trail program key." });
}

TEST_F(AuditReadTest, KeysNotYetAtALockAndUnknownLocks)
{
    auto form = newForm();
    auto fresh = programKeys("2000").at(0);
    insertKey(fresh);
    form->Label42->setText(QStringLiteral("old"));
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->currentPanel(), 6);
    EXPECT_TRUE(form->Label42->text().isEmpty());

    auto key = programKeys("2000").at(0);
    auto lock = lockWith(kLockC, 10);
    visit(lock, key);
    insertKey(key);
    EXPECT_EQ(read(*form), std::vector<std::string> { "Can not find information of this key in database." });
}

TEST_F(AuditReadTest, AReadThatDecodesNothingShowsNoRowsOfTheKeyReadBefore)
{
    auto key = programKeys("2000").at(0);
    auto lock = lockWith(kLockA, 5);
    visit(lock, key);
    auto other = programKeys("2000", 950).at(0);
    visit(lock, other);
    struct Row {
        const char* what;
        onewire::KeyFile key;
        const char* failure; // SQL that makes the read fail, or nullptr
        std::vector<std::string> boxes;
    } rows[] = {
        { "a key not yet at a lock", programKeys("2000", 900).at(0), nullptr, {} },
        { "a database error", other,
            "CREATE TRIGGER fail BEFORE INSERT ON TempRecord BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END",
            { "disk I/O error" } },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        insertKey(key);
        auto form = newForm();
        EXPECT_TRUE(read(*form).empty());
        ASSERT_EQ(form->DBGrid16->gridModel()->rowCount(), 5);
        if (r.failure)
            exec(r.failure);
        insertKey(r.key);
        EXPECT_EQ(read(*form), r.boxes);
        EXPECT_EQ(form->currentPanel(), 6);
        EXPECT_TRUE(form->Label40->text().isEmpty());
        EXPECT_TRUE(form->Label46->text().isEmpty());
        EXPECT_EQ(form->DBGrid16->gridModel()->rowCount(), 0);
        EXPECT_TRUE(form->BitBtn1->isHidden());
        EXPECT_TRUE(form->BitBtn2->isHidden()); // nothing to export
        if (!r.failure) {
            EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 5); // nothing decoded, nothing emptied
        }
        exec("DROP TRIGGER IF EXISTS fail");
    }
}

TEST_F(AuditReadTest, AnEmptyTrailShowsAnEmptyGridAndTheSaveButton)
{
    exec("INSERT INTO TempRecord (No,SerialID) VALUES (1,'stale')");
    auto key = programKeys("2000").at(0);
    auto lock = lockWith(kLockA, 0);
    visit(lock, key);
    insertKey(key);
    auto form = newForm();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 0);
    EXPECT_FALSE(form->BitBtn1->isHidden());
}

TEST_F(AuditReadTest, MultiLockKeyDecodesEveryBlock)
{
    auto key = programKeys("25").at(0);
    auto a = lockWith(kLockA, 30, 10); // its latest 25, some empty
    auto b = lockWith(kLockB, 7);
    auto c = lockWith(kLockC, 3); // not registered
    visit(a, key);
    visit(b, key);
    visit(c, key);
    insertKey(key);
    auto form = newForm();
    EXPECT_EQ(read(*form), std::vector<std::string> { "Can not find information of this key in database." });
    EXPECT_EQ(form->currentPanel(), 8);
    EXPECT_EQ(form->Label6->text(), QStringLiteral("Multi-Lock Audit Trail Key"));
    EXPECT_EQ(form->Label65->text(), QStringLiteral("25"));
    EXPECT_EQ(form->Label67->text(), QStringLiteral("3"));
    EXPECT_EQ(form->PagesPerLockBlock, 8);
    EXPECT_FALSE(form->BitBtn5->isHidden());
    EXPECT_FALSE(form->BitBtn2->isHidden());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Back'"), 7);
    EXPECT_EQ(scalar("SELECT max(No) FROM TempRecord WHERE LockName = 'Back'"), 7);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = '' AND LockLocation = ''"), 3);
    const int64_t aRows = scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Front'");
    EXPECT_LT(aRows, 25);
    EXPECT_GT(aRows, 20);
    EXPECT_EQ(scalar("SELECT max(No) FROM TempRecord WHERE LockName = 'Front'"), 25); // gaps stay gaps
}

TEST_F(AuditReadTest, MultiLockKeyEndsATwoKeyTrail)
{
    auto keys = programKeys("3000+");
    ASSERT_EQ(keys.size(), 2u);
    auto lock = lockWith(kLockA, 2100);
    visit(lock, keys[0]);
    visit(lock, keys[1]);
    auto multi = programKeys("100", 700).at(0);
    auto form = newForm();
    insertKey(keys[0]);
    read(*form);
    insertKey(multi);
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 0);
    insertKey(keys[1]);
    EXPECT_EQ(read(*form), std::vector<std::string> { "Insert the first audit trail program key." });
}

TEST_F(AuditReadTest, HostileKeysAreBoundedOrRefused)
{
    auto form = newForm();
    // Records per lock none of the six: refused, and nothing of the key read before is shown.
    auto multi = programKeys("25").at(0);
    auto a = lockWith(kLockA, 10);
    visit(a, multi);
    insertKey(multi);
    read(*form);
    ASSERT_EQ(form->DBGrid18->gridModel()->rowCount(), 10);
    auto page0 = *onewire::ds1977Page(multi, 0);
    page0[8] = 0;
    page0[9] = 30;
    setPage(multi, 0, page0);
    insertKey(multi);
    EXPECT_EQ(read(*form), std::vector<std::string> { kReadError });
    EXPECT_EQ(form->currentPanel(), 8);
    EXPECT_EQ(form->DBGrid18->gridModel()->rowCount(), 0);
    EXPECT_TRUE(form->Label65->text().isEmpty());
    EXPECT_TRUE(form->Label67->text().isEmpty());
    EXPECT_TRUE(form->BitBtn2->isHidden());
    EXPECT_TRUE(form->BitBtn5->isHidden());

    // A lock count far beyond what fits: only the blocks that fit are read.
    auto crowded = programKeys("1000", 800).at(0);
    auto p1 = *onewire::ds1977Page(crowded, 1);
    p1[0] = 200;
    setPage(crowded, 1, p1);
    insertKey(crowded);
    form->timings.clear();
    read(*form);
    EXPECT_LE(form->timings.pagesRead, 511);

    // A single-lock count of 65535: at most 2,036 records, no page beyond 510.
    auto key = programKeys("2000", 810).at(0);
    auto lock = lockWith(kLockA, 2000);
    visit(lock, key);
    p1 = *onewire::ds1977Page(key, 1);
    p1[2] = 0xFF;
    p1[3] = 0xFF;
    setPage(key, 1, p1);
    insertKey(key);
    form->timings.clear();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->timings.pagesRead, 511);
    EXPECT_EQ(form->RecordsOnKey, 2036);
}

TEST_F(AuditReadTest, AKeyPulledOutMidwayKeepsWhatWasDecoded)
{
    auto key = programKeys("2000").at(0);
    auto lock = lockWith(kLockA, 400);
    visit(lock, key);
    insertKey(key);
    bus->faults().removeAfterPages[key.rom] = 12; // page 0, page 1, then ten record pages
    auto form = newForm();
    const auto boxes = read(*form);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), kReadError);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord"), 40);
    EXPECT_EQ(form->TempRecord_Query.RecordCount(), 40);
    EXPECT_TRUE(form->BitBtn1->isHidden());
    bus->faults().removeAfterPages.clear();
    bus->faults().takenAway.clear();
}

TEST_F(AuditReadTest, UnreadableLockBlocksAreNamedOnce)
{
    auto key = programKeys("25").at(0);
    auto a = lockWith(kLockA, 25);
    auto b = lockWith(kLockB, 25);
    visit(a, key);
    visit(b, key);
    insertKey(key);
    bus->faults().removeAfterPages[key.rom] = 2 + 8 + 3; // page 0, 1, block 1, 3 pages of block 2
    auto form = newForm();
    const auto boxes = read(*form);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), kReadError + " Lock blocks not read: 2.");
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Front'"), 25);
    EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Back'"), 8);
    EXPECT_FALSE(form->BitBtn5->isHidden());
    bus->faults().removeAfterPages.clear();
    bus->faults().takenAway.clear();
}

} // namespace

namespace {

TEST_F(AuditReadTest, GridShowsTheAuditColumnsNewestFirstInEventColours)
{
    auto key = programKeys("2000").at(0);
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6));
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x02, at(2026, 1, 1, 8))); // close: black
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x05, at(2026, 1, 1, 9))); // invalid: red
    lock.record(
        locksim::AuditEvent::withKey(kMissionKeyRom, 0xFB, at(2026, 1, 1, 10))); // set lock time: purple
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x01, at(2026, 1, 1, 11))); // open: green
    visit(lock, key);
    insertKey(key);
    auto form = newForm();
    read(*form);
    TDbGridModel* model = form->DBGrid16->gridModel();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles,
        (QStringList { "First Name", "Last Name", "Lock Action", "Lock Time", "LockName", "LockLocation",
            "Serial ID", "Code Type" }));
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->headerData(0, Qt::Vertical).toInt(), 1); // the entry number follows the grid's order
    const int action = model->columnOf("OpenLockType");
    EXPECT_GE(form->DBGrid16->columnWidth(action), 200); // the layout's width, scaled to the type
    const QColor expected[]
        = { QColor(0x00, 0x80, 0x00), QColor(0x80, 0x00, 0x80), QColor(0xFF, 0, 0), QColor(0, 0, 0) };
    for (int r = 0; r < 4; ++r)
        for (int c : { 0, action })
            EXPECT_EQ(model->data(model->index(r, c), Qt::ForegroundRole).value<QColor>(), expected[r])
                << model->data(model->index(r, action)).toString().toStdString();

    // The whole event colour table, one row per text; anything else (null too) is purple.
    const std::pair<QColor, std::vector<std::string>> table[] = {
        { QColor(0x00, 0x80, 0x00),
            { "Open Lock With Key(Classroom Mode)", "Open Lock With Key(Storehouse Mode)", "Lock Auto Opened",
                "Open Lock By Push Button", "Open Lock With Code(Classroom Mode)", "Open Lock With Code(Storehouse Mode)",
                "iButton Access(Complex Type Step One)" } },
        { QColor(0, 0, 0), { "Close Lock With Key", "Lock Auto Closed", "Close Lock With Code", "Close Lock By Push Button" } },
        { QColor(0x00, 0xFF, 0x00), { "Setup Master Code", "Setup Slave Code" } },
        { QColor(0xFF, 0, 0),
            { "Forbidden Key(Access During Lockout Mode)", "Invalid Access(Time Shift Setting)",
                "Invalid Access(Act/Exp Date Setting)", "Invalid Access(Exception Date Setting)", "Invalid Key",
                "Forbidden Code(Access During Lockout Mode)" } },
        { QColor(0, 0, 0xFF),
            { "Setup Key Short Circuit", "Setup Key Open Circuit", "Download Lock Information", "Download Lock Audit Trial",
                "Initialize Lock", "Key List Enable", "Single-Lock Programming", "Multi-Lock Programming",
                "Set Parameter Key" } },
        { QColor(0x80, 0x00, 0x80), { "Unknown Type", "Unknown Type(1F)", "Invalid Code(0A)", "Set Lock Time", "" } },
    };
    exec("DELETE FROM TempRecord");
    std::map<QString, QColor> colourOf;
    for (const auto& [colour, texts] : table)
        for (const auto& text : texts) {
            exec("INSERT INTO TempRecord (No,OpenLockType) VALUES (" + std::to_string(colourOf.size()) + ",'" + text + "')");
            colourOf[QString::fromStdString(text)] = colour;
        }
    exec("INSERT INTO TempRecord (No) VALUES (99)");
    form->TempRecord_Query.Close();
    form->TempRecord_Query.Open();
    ASSERT_EQ(size_t(model->rowCount()), colourOf.size() + 1);
    for (int r = 0; r < model->rowCount(); ++r) {
        const QString text = model->data(model->index(r, action)).toString();
        EXPECT_EQ(model->data(model->index(r, action), Qt::ForegroundRole).value<QColor>(),
            colourOf.count(text) ? colourOf[text] : QColor(0x80, 0x00, 0x80))
            << text.toStdString();
    }
}

TEST_F(AuditReadTest, AMultiLockKeyNoLockFilledKeepsTheCountsShown)
{
    auto used = programKeys("50").at(0);
    auto a = lockWith(kLockA, 60);
    visit(a, used);
    auto fresh = programKeys("100", 990).at(0);
    auto form = newForm();
    insertKey(used);
    read(*form);
    EXPECT_EQ(form->Label65->text(), QStringLiteral("50"));
    insertKey(fresh);
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->Label65->text(), QStringLiteral("50"));
    EXPECT_EQ(form->Label67->text(), QStringLiteral("1"));
    EXPECT_EQ(form->RecordsPerLock, 100);
    EXPECT_EQ(form->LocksAudited, 0);
    EXPECT_EQ(form->TempRecord_Query.RecordCount(), 0);
    EXPECT_FALSE(form->BitBtn5->isHidden());
}

} // namespace

namespace {

// A lock block laid by hand: header page, then records four to a page.
void layBlock(onewire::KeyFile& key, int headerPage, const RomId& lock, int count, int minuteBase)
{
    std::array<uint8_t, 64> header {};
    header.fill(0xFF);
    header[2] = uint8_t(count >> 8);
    header[3] = uint8_t(count);
    std::copy(lock.begin(), lock.end(), header.begin() + 4);
    ASSERT_TRUE(onewire::setDS1977Page(key, headerPage, header));
    for (int j = 0; j < count; j += 4) {
        std::array<uint8_t, 64> page {};
        page.fill(0xFF);
        for (int s = 0; s < 4 && j + s < count; ++s) {
            const int m = minuteBase + j + s;
            const uint8_t rec[16] = { 0x01, 0x01, 0x10, 0, 0, 0, 0, 0x00, 0x26, 0x03, 0x00, 0x15,
                uint8_t(0x10 + m / 60 % 10), uint8_t((m % 60 / 10) << 4 | (m % 10)), 0x00, 0x02 };
            std::copy(std::begin(rec), std::end(rec), page.begin() + 16 * s);
        }
        ASSERT_TRUE(onewire::setDS1977Page(key, headerPage + 1 + j / 4, page));
    }
}

TEST_F(AuditReadTest, LockBlocksLieWhereTheirSizeSaysForEveryChoice)
{
    struct Case {
        int perLock, secondHeader;
    };
    for (Case c : { Case { 25, 10 }, Case { 50, 16 }, Case { 100, 28 }, Case { 200, 53 }, Case { 400, 103 },
             Case { 1000, 253 } }) {
        SCOPED_TRACE(c.perLock);
        auto key = ds1977(uint64_t(4000 + c.perLock));
        setPage(key, 0, auditTrailHeaderPage(ReadKind::MultiLockAuditTrail, uint16_t(c.perLock), kSite));
        std::array<uint8_t, 64> p1 {};
        p1.fill(0xFF);
        p1[0] = 2;
        setPage(key, 1, p1);
        layBlock(key, 2, kLockA, 25, 0); // records on pages 3-9
        layBlock(key, c.secondHeader, kLockB, 7, 30);
        insertKey(key);
        auto form = newForm();
        EXPECT_TRUE(read(*form).empty());
        EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Front'"), 25);
        EXPECT_EQ(scalar("SELECT count(*) FROM TempRecord WHERE LockName = 'Back'"), 7);
        EXPECT_EQ(scalar("SELECT max(No) FROM TempRecord WHERE LockName = 'Back'"), 7);
    }
}

} // namespace
