// Identifying every key the reader may hold, the window's messages and its two hostings.
#include "app/keyreading/wait_forms.h"
#include "app/shell/shell_form.h"
#include "keyreading/read_key_fixture.h"
#include "locksim/mission_headers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>

using namespace rktest;
using locksim::MissionKind;

namespace {

const std::string kWrong = "Wrong key please insert program key.";

class ReadKeyTest : public ReadKeyFixture {
protected:
    onewire::KeyFile missionKey(MissionKind kind, const FacilityCodeBytes& site = kSite, uint64_t serial = 77,
        const locksim::SetupOptions& setup = {})
    {
        auto k = ds1977(serial);
        setPage(k, 0, locksim::missionHeader(kind, site, 25, setup));
        if (auto p1 = locksim::missionPage1(kind))
            setPage(k, 1, *p1);
        return k;
    }
    onewire::KeyFile rawKey(const std::array<uint8_t, 64>& page0)
    {
        auto k = ds1977(78);
        setPage(k, 0, page0);
        return k;
    }
};

TEST_F(ReadKeyTest, NamesEveryMissionKeyAndShowsItsPanel)
{
    struct Row {
        MissionKind kind;
        const char* title;
        int panel; // -1: the panel stays as it was
    };
    const Row rows[] = {
        { MissionKind::Lockout, "Lockout Key", -1 },
        { MissionKind::KeyManagement, "Key Management Mission Key", -1 },
        { MissionKind::SetTimeTable, "Set Time Table Key", 0 },
        { MissionKind::MultiLock, "Multi-Lock Key", -1 },
        { MissionKind::GetInformation, "Get Information Key", 4 }, // a fresh key: the empty lock settings panel
        { MissionKind::GetAuditTrail, "Get Audit Trail Key", 6 },
        { MissionKind::MultiLockAuditTrail, "Multi-Lock Audit Trail Key", 8 },
        { MissionKind::SetParameter, "Set Parameter Key", 0 },
        { MissionKind::IrStarter, "IR Starter Key", 0 },
        { MissionKind::NewLockSetup, "New Lock Setup Mission Key", 2 },
    };
    auto form = newForm();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.title);
        clearReader();
        put(missionKey(r.kind));
        form->DisplayPanel(7); // something no key of the table shows
        const auto boxes = read(*form);
        EXPECT_EQ(form->Label6->text().toStdString(), r.title);
        EXPECT_EQ(form->Label4->text().toStdString(), romIdText(onewire::makeRomId(0x37, 77)));
        EXPECT_EQ(form->currentPanel(), r.panel < 0 ? 7 : r.panel);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_TRUE(form->sbReadCard->isEnabled());
        EXPECT_TRUE(form->sbExit->isEnabled());
        // A fresh audit trail key has nothing to export; a multi-lock key that no lock filled
        // was decoded, to no rows.
        EXPECT_EQ(form->BitBtn2->isHidden(), r.panel != 8);
    }
}

TEST_F(ReadKeyTest, RefusesAnotherSitesKeyOfEveryKindThatCarriesACode)
{
    auto form = newForm();
    for (MissionKind kind : { MissionKind::NewLockSetup, MissionKind::Lockout, MissionKind::KeyManagement,
             MissionKind::SetTimeTable, MissionKind::MultiLock, MissionKind::GetInformation,
             MissionKind::GetAuditTrail, MissionKind::TrailFirst, MissionKind::MultiLockAuditTrail,
             MissionKind::SetParameter, MissionKind::IrStarter }) {
        clearReader();
        put(missionKey(kind, kOtherSite));
        form->Label6->setText(QStringLiteral("before"));
        EXPECT_EQ(read(*form), std::vector<std::string> { kWrong }) << int(kind);
        EXPECT_EQ(form->Label6->text(), QStringLiteral("before")) << int(kind);
    }
}

TEST_F(ReadKeyTest, UnnamedKindsGiveNoTitleAndNoMessage)
{
    auto form = newForm();
    auto page = blankMissionKeyPage();
    for (uint8_t kind : { 0xE0, 0xFC, 0x04, 0xFA, 0xFD }) {
        putReadHeader(page, kind, kSite);
        clearReader();
        put(rawKey(page));
        form->Label6->setText(QStringLiteral("before"));
        EXPECT_TRUE(read(*form).empty()) << int(kind);
        EXPECT_EQ(form->Label6->text(), QStringLiteral("before"));
    }
    for (uint8_t kind : { 4, 5 }) {
        page = blankMissionKeyPage();
        std::copy_n("WRITE", 5, page.begin());
        page[5] = kind;
        clearReader();
        put(rawKey(page));
        EXPECT_TRUE(read(*form).empty()) << int(kind);
    }
    page = blankMissionKeyPage();
    std::copy_n("HELLO", 5, page.begin());
    clearReader();
    put(rawKey(page));
    EXPECT_EQ(read(*form), std::vector<std::string> { kWrong });
}

TEST_F(ReadKeyTest, NoKeyTwoKeysOrADamagedKeyFileKeepTheTitleAndShowTheLogo)
{
    auto form = newForm();
    put(missionKey(MissionKind::Lockout));
    read(*form);
    const std::string damaged = "ibutton-key 1\nrom 0000000000000037\n"; // its check byte is wrong
    struct Row {
        const char* what;
        std::vector<onewire::KeyFile> keys;
        std::string damagedFile;
        std::string box;
    } rows[] = {
        { "an empty reader", {}, "", "Key not found." },
        { "two keys", { missionKey(MissionKind::GetAuditTrail), missionKey(MissionKind::Lockout, kSite, 79) }, "",
            kOneKeyOnlyMessage },
        { "a damaged key file", {}, damaged,
            "Key not found.\nReader: key file skipped: " + (dir / "Reader" / "bad.key").string()
                + ": line 2: ROM id has a bad CRC-8" },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        clearReader();
        for (const auto& k : r.keys)
            put(k);
        if (!r.damagedFile.empty())
            std::ofstream(dir / "Reader" / "bad.key") << r.damagedFile;
        form->DisplayPanel(6);
        EXPECT_EQ(read(*form), std::vector<std::string> { r.box });
        EXPECT_TRUE(form->Label4->text().isEmpty());
        EXPECT_EQ(form->Label6->text(), QStringLiteral("Lockout Key"));
        EXPECT_EQ(form->currentPanel(), 0);
    }
}

TEST_F(ReadKeyTest, ReadsTheKeyByItselfShortlyAfterOpening)
{
    SettingsRecord.ReaderRomId.clear(); // no reader found at start: the button starts disabled
    put(missionKey(MissionKind::IrStarter));
    auto form = std::make_unique<TReadCard_Form>(&db);
    EXPECT_FALSE(form->sbReadCard->isEnabled());
    EXPECT_TRUE(form->Label6->text().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(form->Label6->text(), QStringLiteral("IR Starter Key"), 3000);
    EXPECT_TRUE(form->sbReadCard->isEnabled());
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(ReadKeyTest, ClockKeysShowTheirTime)
{
    auto form = newForm();
    const std::pair<uint32_t, const char*> values[] = { { 0, "1 Jan 1970" },
        { 86400, "2 Jan 1970" }, { 90061, "2 Jan 1970 01:01:01" } }; // midnight: the date alone
    for (auto [seconds, text] : values) {
        for (uint8_t family : { onewire::kFamilyDS1904, onewire::kFamilyDS1994 }) {
            clearReader();
            auto key = family == onewire::kFamilyDS1904 ? onewire::blankDS1904(onewire::makeRomId(family, 5))
                                                        : onewire::blankDS1994(onewire::makeRomId(family, 5));
            onewire::setClock(key, seconds, false, onewire::hostNow());
            if (family == onewire::kFamilyDS1994) {
                std::array<uint8_t, 32> page {};
                page.fill(0xFF);
                std::copy_n("READ", 4, page.begin());
                page[4] = 0xFD;
                std::copy(kSite.begin(), kSite.end(), page.begin() + 5);
                ASSERT_TRUE(onewire::setDS1994Page(key, 0, page));
            }
            put(key);
            EXPECT_TRUE(read(*form).empty());
            EXPECT_EQ(form->currentPanel(), 7);
            EXPECT_EQ(form->Label6->text(), QStringLiteral("Set Time Key"));
            EXPECT_EQ(form->Label53->text().toStdString(), text) << int(family);
            EXPECT_EQ(form->keyIo.CurrentKeyRom[0], family);
        }
    }
    // A DS1994 of another site is refused; a DS1904 carries no code at all.
    clearReader();
    auto other = onewire::blankDS1994(onewire::makeRomId(onewire::kFamilyDS1994, 6));
    std::array<uint8_t, 32> page {};
    std::copy(kOtherSite.begin(), kOtherSite.end(), page.begin() + 5);
    onewire::setDS1994Page(other, 0, page);
    put(other);
    form->Label6->clear();
    EXPECT_EQ(read(*form), std::vector<std::string> { kWrong });
    EXPECT_EQ(form->currentPanel(), 7);
    EXPECT_TRUE(form->Label6->text().isEmpty());
}

TEST_F(ReadKeyTest, UserKeysWithAndWithoutLocks)
{
    const RomId userRom = onewire::makeRomId(0x01, 4242);
    const RomId otherFamily = onewire::makeRomId(0x33, 99);
    addUser(7, romIdText(userRom), "1234", "Ada", "Lovelace");
    addUser(8, romIdText(otherFamily), "", "Bob", "Builder");
    addLock(1, onewire::makeRomId(0x23, 1), "Front", "Lobby");
    addLock(2, onewire::makeRomId(0x23, 2), "Back", "Yard");
    exec("INSERT INTO LockKeyManagement (LockID,KeyID,TimeShiftID,ActExpDateID,ExpDateID) VALUES "
         "(1,7,1,1,1),(2,7,1,1,1)");
    auto form = newForm();

    put(onewire::blankKey(userRom));
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->currentPanel(), 1);
    EXPECT_EQ(form->Label6->text(), QStringLiteral("User Key"));
    EXPECT_EQ(form->FirstNameEdit->text(), QStringLiteral("Ada"));
    EXPECT_EQ(form->LockInfor_Query.RecordCount(), 2);
    EXPECT_EQ(form->LockInfor_Query.RecNo(), 1);

    clearReader();
    put(onewire::blankKey(otherFamily)); // family 33h: a user key, in no lock
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->FirstNameEdit->text(), QStringLiteral("Bob"));
    EXPECT_EQ(form->LockInfor_Query.RecordCount(), 0);

    clearReader();
    put(onewire::blankKey(onewire::makeRomId(0x01, 5))); // nobody's key
    form->DisplayPanel(6);
    EXPECT_EQ(read(*form), std::vector<std::string> { kWrong });
    EXPECT_EQ(form->currentPanel(), 6);
}

TEST_F(ReadKeyTest, NoReaderIdMeansIdChipsAreNotUserKeys)
{
    SettingsRecord.ReaderRomId.clear();
    auto form = newForm();
    EXPECT_EQ(read(*form), std::vector<std::string> { "Key not found." });
}

TEST_F(ReadKeyTest, NewLockSetupKeyShowsBlinkTimeAndSerialIds)
{
    locksim::SetupOptions setup;
    setup.blink = true;
    setup.daylightSaving = false;
    setup.written = at(2026, 3, 4); // midnight: the date alone
    auto key = missionKey(MissionKind::NewLockSetup, kSite, 77, setup);
    const RomId known = onewire::makeRomId(0x23, 1), fresh = onewire::makeRomId(0x23, 2);
    addLock(1, known, "Front", "Lobby");
    std::array<uint8_t, 64> p1 {};
    p1.fill(0xFF);
    p1[0] = 4;
    setPage(key, 1, p1);
    auto entry = [&](const RomId& rom, uint8_t mark) {
        std::array<uint8_t, 64> p {};
        p.fill(0xFF);
        std::copy(rom.begin(), rom.end(), p.begin());
        p[8] = mark;
        return p;
    };
    setPage(key, 2, entry(known, 'Z'));
    setPage(key, 3, entry(fresh, 'Z'));
    setPage(key, 4, entry(fresh, 'Z')); // listed once
    setPage(key, 5, entry(onewire::makeRomId(0x23, 3), 0)); // no mark: skipped
    put(key);
    auto form = newForm();
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->currentPanel(), 2);
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_EQ(form->Label31->text(), QStringLiteral("4 Mar 2026"));
    EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1 AND LockName = 'Front'"), 1);

    // A bad clock is shown as such and the serial ids are still decoded.
    for (auto [offset, value] :
        { std::pair { 21, 0x00 }, std::pair { 23, 0x32 }, std::pair { 24, 0x24 }, std::pair { 24, 0x1A } }) {
        auto page0 = *onewire::ds1977Page(key, 0);
        page0[size_t(offset)] = uint8_t(value);
        page0[22] = 0x99; // not looked at
        setPage(key, 0, page0);
        clearReader();
        put(key);
        EXPECT_TRUE(read(*form).empty());
        EXPECT_EQ(form->Label31->text(), QStringLiteral("Lock Time Is Invalid value"));
        EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 2);
        setPage(key, 0, locksim::missionHeader(MissionKind::NewLockSetup, kSite, 0, setup));
    }
}

TEST_F(ReadKeyTest, UnreadablePageZeroIsReported)
{
    auto key = missionKey(MissionKind::IrStarter);
    std::array<uint8_t, 8> wrong {};
    wrong.fill(0x5A);
    onewire::setDS1977Passwords(key, wrong, wrong, true);
    put(key);
    auto form = newForm();
    const auto boxes = read(*form);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "Read key error, please try it again.");
    EXPECT_TRUE(form->Label6->text().isEmpty());
}

// A box shown in the middle of a read tries to start a second read and to close the window.
class MeddlingDialogs : public ScriptedDialogs {
public:
    TReadCard_Form* form = nullptr;
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        if (form) {
            form->sbReadCardClick();
            form->close();
            form->sbExit->click();
            QTest::keyClick(form, Qt::Key_R, Qt::AltModifier);
        }
        return ScriptedDialogs::show(type, text, buttons);
    }
};

TEST_F(ReadKeyTest, AReadCannotBeEnteredTwiceNorClosedUnderIt)
{
    MeddlingDialogs meddling;
    ScopedAppDialogs scope(meddling);
    auto form = newForm();
    form->show();
    meddling.form = form.get();
    put(missionKey(MissionKind::IrStarter, kOtherSite));
    form->sbReadCardClick();
    EXPECT_EQ(meddling.texts(), std::vector<std::string> { kWrong });
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->reading());
    EXPECT_TRUE(form->sbReadCard->isEnabled());
    meddling.form = nullptr;
    EXPECT_TRUE(form->close());
}

TEST_F(ReadKeyTest, ModalHostingFreesTheWindowOnce)
{
    put(missionKey(MissionKind::SetParameter));
    QWidget owner;
    owner.show();
    bool named = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ReadCard_Form && ReadCard_Form->Label6->text() == QStringLiteral("Set Parameter Key")
            && !ReadCard_Form->reading()) {
            named = true;
            ReadCard_Form->sbExit->click();
        }
    });
    poll.start(20);
    TReadCard_Form::runModal(&owner, &db);
    EXPECT_TRUE(named);
    EXPECT_EQ(ReadCard_Form, nullptr);
}

TEST_F(ReadKeyTest, ServiceButtonsToggleTheirControls)
{
    auto form = newForm();
    EXPECT_TRUE(form->StartNumberLabel->isHidden());
    form->BitBtn7Click();
    EXPECT_FALSE(form->StartNumberLabel->isHidden());
    EXPECT_FALSE(form->ExportToExcelButton->isHidden());
    form->BitBtn7Click();
    EXPECT_TRUE(form->StartNumberEdit->isHidden());
    EXPECT_TRUE(form->UpgradeGroup->isHidden());
    form->BitBtn8Click();
    EXPECT_FALSE(form->UpgradeGroup->isHidden());
    EXPECT_EQ(form->BitBtn7->size(), QSize(17, 17));
}

TEST_F(ReadKeyTest, WaitWindowsCarryTheirTexts)
{
    QWidget owner;
    TDownloading_Form wait(&owner);
    wait.showNow();
    EXPECT_EQ(wait.size(), QSize(560, 74));
    auto* label = wait.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Downloading data, please wait..."));
    TGetInfor_Form infor(&owner);
    EXPECT_EQ(infor.windowTitle(), QStringLiteral("Waiting"));
    EXPECT_EQ(infor.findChild<QLabel*>()->text(), QStringLiteral("Get Debug Information, please wait..."));
    // Both are borderless notices.
    EXPECT_TRUE(wait.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(infor.windowFlags().testFlag(Qt::FramelessWindowHint));
    infor.showNow();
    EXPECT_EQ(infor.size(), QSize(616, 72));
}

} // namespace

#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/window_registry.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// While a box of the read is up, the main window's tool buttons are off and its close is
// refused; afterwards they are back.
class WatchingDialogs : public ScriptedDialogs {
public:
    TMain_Form* main = nullptr;
    bool toolWasEnabled = true;
    bool mainClosed = false;
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        if (main) {
            toolWasEnabled = main->toolAction("Read Key")->isEnabled();
            QCloseEvent close;
            QCoreApplication::sendEvent(main, &close);
            mainClosed = close.isAccepted() && !main->isVisible();
        }
        return ScriptedDialogs::show(type, text, buttons);
    }
};

TEST_F(ReadKeyTest, OpenedFromTheMenuItReadsByItselfAndIsFreedWhenClosed)
{
    clearChildWindowRegistry();
    registerChildWindow("Read Key", [this] { return new TReadCard_Form(&db); });
    TLogin_Form::OperatorLevel = 1;
    WatchingDialogs watching;
    ScopedAppDialogs scope(watching);
    {
        TMain_Form w;
        w.show();
        watching.main = &w;
        put(missionKey(MissionKind::Lockout, kOtherSite)); // a refusal box during the read
        w.menuAction("Read Key")->trigger();
        ASSERT_NE(ReadCard_Form, nullptr);
        EXPECT_TRUE(w.openChild() == ReadCard_Form);
        QTRY_COMPARE_WITH_TIMEOUT(watching.texts().size(), size_t(1), 3000);
        EXPECT_EQ(watching.texts()[0], kWrong);
        EXPECT_FALSE(watching.toolWasEnabled);
        EXPECT_FALSE(watching.mainClosed);
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(w.toolAction("Read Key")->isEnabled());
        watching.main = nullptr;

        EXPECT_TRUE(w.CloseMyMDI());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(ReadCard_Form, nullptr);
        w.setAttribute(Qt::WA_DeleteOnClose, false);
    }
    clearChildWindowRegistry();
    TLogin_Form::OperatorLevel = 0;
}

} // namespace

namespace {

TEST_F(ReadKeyTest, UserKeyShowsItsSettingsInTheChosenLock)
{
    const RomId userRom = onewire::makeRomId(0x01, 4242);
    addUser(7, romIdText(userRom), "1234", "Ada", "Lovelace");
    addUser(8, romIdText(onewire::makeRomId(0x01, 4243)), "99", "Other", "User");
    addLock(1, onewire::makeRomId(0x23, 1), "Front", "Lobby");
    addLock(2, onewire::makeRomId(0x23, 2), "Back", "Yard");
    exec("INSERT INTO ActExpDateST (GroupID,ActivationDate,ExpirationDate) VALUES (2,'2026-01-01 "
         "08:00:00','2026-12-31 18:00:00')");
    exec("INSERT INTO ExceptionDateST (GroupID,ExceptionDateFrom,ExceptionDateTo) VALUES (2,'2026-07-01 "
         "00:00:00','2026-07-14 00:00:00')");
    exec("INSERT INTO TimeShift (GroupID,BeginTime,EndTime,DayOfWeek) VALUES "
         "(2,'08:00:00','12:00:00','Monday'),"
         "(2,'13:00:00','17:00:00','Tuesday'),(3,'00:00:00','23:59:00','Sunday')");
    exec("INSERT INTO LockKeyManagement (LockID,KeyID,TimeShiftID,ActExpDateID,ExpDateID) VALUES "
         "(1,7,2,1,1),(2,7,3,2,2),(1,8,3,2,2)");
    put(onewire::blankKey(userRom));
    auto form = newForm();
    read(*form);
    ASSERT_EQ(form->LockInfor_Query.RecordCount(), 2);
    form->LockInfor_Query.First();
    EXPECT_EQ(form->LockInfor_Query.FieldByName("LockName").AsString(), "Front");
    EXPECT_EQ(form->TimeShift_Query.RecordCount(), 2); // this key's windows, not the other user's
    EXPECT_EQ(form->ActExpDateLabel->text(), QStringLiteral("No Limit"));
    EXPECT_EQ(form->ExceptionDateLabel->text(), QStringLiteral("No Limit"));
    form->LockInfor_Query.Next();
    EXPECT_EQ(form->TimeShift_Query.RecordCount(), 1);
    EXPECT_EQ(form->ActExpDateLabel->text(), QStringLiteral("1 Jan 2026 08:00:00 To 31 Dec 2026 18:00:00"));
    EXPECT_EQ(form->ExceptionDateLabel->text(), QStringLiteral("1 Jul 2026 To 14 Jul 2026"));
    EXPECT_EQ(form->TimeShiftGrid->gridModel()->headerData(0, Qt::Horizontal).toString(),
        QStringLiteral("Begin Time"));
    EXPECT_EQ(form->LockInforGrid->gridModel()->columnCount(), 3);
}

} // namespace

namespace {

// A reader from whose bus the keys vanish after the first session (the key search): the key
// was found, then taken out before its clock could be read.
class VanishingReader : public onewire::EmulatedReader {
public:
    using EmulatedReader::EmulatedReader;
    int sessions = 0;
    void beginSession() override
    {
        EmulatedReader::beginSession();
        if (++sessions >= 2)
            for (const RomId& rom : roms())
                if (rom[0] != onewire::kFamilyIdChip)
                    detach(rom);
    }
};

TEST_F(ReadKeyTest, AClockKeyTakenOutBeforeItsClockIsReadIsReported)
{
    for (uint8_t family : { onewire::kFamilyDS1904, onewire::kFamilyDS1994 }) {
        clearReader();
        put(family == onewire::kFamilyDS1904 ? onewire::blankDS1904(onewire::makeRomId(family, 8))
                                             : onewire::blankDS1994(onewire::makeRomId(family, 8)));
        auto flaky = std::make_shared<VanishingReader>(dir / "Reader");
        onewire::ScopedPort over(onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, flaky);
        auto form = newForm();
        const auto boxes = read(*form);
        ASSERT_FALSE(boxes.empty()) << int(family);
        EXPECT_EQ(boxes.back(), "Read key error, please try it again.");
        EXPECT_EQ(form->currentPanel(), 7);
        EXPECT_TRUE(form->Label6->text().isEmpty());
        EXPECT_TRUE(form->Label53->text().isEmpty());
    }
}

} // namespace

namespace {

TEST_F(ReadKeyTest, LockSettingsGridsFollowTheTimeGroupAndShowHoursAndMinutes)
{
    exec("INSERT INTO TimeGroup (GroupID,GroupName) VALUES (2,'Day'),(3,'Night')");
    exec("INSERT INTO TimeShift1 (GroupID,BeginTime,EndTime,DayOfWeek) VALUES "
         "(2,'08:30:00','12:00:00','Monday'),"
         "(3,'20:00:00','23:45:00','Friday'),(3,'01:00:00','02:00:00','Friday')");
    exec("INSERT INTO TimeShift (GroupID,BeginTime,EndTime,DayOfWeek) VALUES "
         "(3,'19:00:00','23:00:00','Friday')");
    exec("INSERT INTO LockStatusST1 (LockStatusID,BeginTime,LockStatus) VALUES (1,'07:05:00','Classroom "
         "Mode')");
    auto form = newForm();
    form->TimeGroup_Query.SQL = "SELECT * FROM TimeGroup ORDER BY GroupID";
    form->TimeGroup_Query.Open(); // on group 1: nothing in either
    EXPECT_TRUE(form->TimeShiftInLock_Query.Active());
    EXPECT_EQ(form->TimeShiftInLock_Query.RecordCount(), 0);
    form->TimeGroup_Query.Last();
    EXPECT_EQ(form->TimeShiftInLock_Query.RecordCount(), 2);
    EXPECT_EQ(form->TimeShiftInDB_Query.RecordCount(), 1);
    EXPECT_EQ(
        form->TimeShiftInLock_Query.FieldByName("BeginTime").DisplayText(), "01:00"); // ordered by begin time
    EXPECT_EQ(form->TimeShiftInLock_Query.FieldByName("EndTime").DisplayText(), "02:00");
    EXPECT_EQ(form->TimeShiftInDB_Query.FieldByName("EndTime").DisplayText(), "23:00");
    form->TimeGroup_Query.Prior();
    EXPECT_EQ(form->TimeShiftInLock_Query.FieldByName("BeginTime").DisplayText(), "08:30");
    form->LockStatusInLock_Query.SQL = "SELECT * FROM LockStatusST1 ORDER BY BeginTime,LockStatus";
    form->LockStatusInLock_Query.Open();
    EXPECT_EQ(form->LockStatusInLock_Query.FieldByName("BeginTime").DisplayText(), "07:05");
    const QStringList tabs { "Time Shift Setting", "Lock Status Setting",
        "Activation/Expiration Date Setting", "Holiday Setting", "Key List", "Lock Information" };
    for (int i = 0; i < tabs.size(); ++i)
        EXPECT_EQ(form->PageControl1->tabText(i), tabs[i]);
}

} // namespace
