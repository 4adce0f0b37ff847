// Identifying every key the reader may hold, the window's messages and its two hostings.
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/window_registry.h"
#include "keyreading/read_key_fixture.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

using namespace rktest;

namespace {

const std::string kWrong = "Wrong key please insert program key.";

using ReadKeyTest = ReadKeyFixture;

// Each mission kind, the title the window gives it and the panel it shows.
struct MissionKindRow {
    MissionKind kind;
    const char* title; // nullptr: not read alone (another site's key is still refused)
    int panel; // -1: the panel stays as it was
};
const MissionKindRow kMissionKinds[] = {
    { MissionKind::Lockout, "Lockout Key", -1 },
    { MissionKind::KeyManagement, "Key Management Mission Key", -1 },
    { MissionKind::SetTimeTable, "Set Time Table Key", 0 },
    { MissionKind::MultiLock, "Multi-Lock Key", -1 },
    { MissionKind::GetInformation, "Get Information Key", 4 }, // a fresh key: the empty panel
    { MissionKind::GetAuditTrail, "Get Audit Trail Key", 6 },
    { MissionKind::MultiLockAuditTrail, "Multi-Lock Audit Trail Key", 8 },
    { MissionKind::SetParameter, "Set Parameter Key", 0 },
    { MissionKind::IrStarter, "IR Starter Key", 0 },
    { MissionKind::NewLockSetup, "New Lock Setup Mission Key", 2 },
    { MissionKind::TrailFirst, nullptr, 0 },
};

TEST_F(ReadKeyTest, RefusesAnotherSitesKeyOfEveryKind)
{
    auto form = newForm();
    for (const MissionKindRow& r : kMissionKinds) {
        SCOPED_TRACE(int(r.kind));
        insertKey(missionKey(r.kind, kOtherSite));
        form->Label6->setText(QStringLiteral("before"));
        EXPECT_EQ(read(*form), std::vector<std::string> { kWrong });
        EXPECT_EQ(form->Label6->text(), QStringLiteral("before"));
    }
}

TEST_F(ReadKeyTest, NamesEveryKindOfMissionKeyAndShowsItsPanel)
{
    auto form = newForm();
    for (const MissionKindRow& r : kMissionKinds) {
        SCOPED_TRACE(int(r.kind));
        if (!r.title)
            continue;
        insertKey(missionKey(r.kind));
        form->DisplayPanel(7); // something no key of the table shows
        const auto boxes = read(*form);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_EQ(form->Label6->text().toStdString(), r.title);
        EXPECT_EQ(form->Label4->text().toStdString(), romIdText(onewire::makeRomId(0x37, 77)));
        EXPECT_EQ(form->currentPanel(), r.panel < 0 ? 7 : r.panel);
        // A fresh audit trail key has nothing to export; a multi-lock key that no lock filled
        // was decoded, to no rows.
        EXPECT_EQ(form->BitBtn2->isHidden(), r.panel != 8);
    }
}

// Kinds without a name give no title and no message; a page of no kind is no program key.
TEST_F(ReadKeyTest, KindsWithoutANameGiveNoTitleAndNoMessage)
{
    auto form = newForm();
    auto raw = [&](std::initializer_list<uint8_t> head, bool refused) {
        auto key = ds1977(78);
        setPage(key, 0, blankMissionKeyPage());
        patch(key, 0, 0, head);
        insertKey(key);
        form->Label6->setText(QStringLiteral("before"));
        EXPECT_EQ(read(*form), refused ? std::vector<std::string> { kWrong } : std::vector<std::string> {});
        EXPECT_EQ(form->Label6->text(), QStringLiteral("before"));
    };
    for (uint8_t kind : { 0xE0, 0xFC, 0x04, 0xFA, 0xFD })
        raw({ 'R', 'E', 'A', 'D', kind, kSite[0], kSite[1], kSite[2] }, false);
    raw({ 'W', 'R', 'I', 'T', 'E', 4 }, false);
    raw({ 'W', 'R', 'I', 'T', 'E', 5 }, false);
    raw({ 'H', 'E', 'L', 'L', 'O' }, true);
}

TEST_F(ReadKeyTest, NoKeyTwoKeysOrADamagedKeyFileKeepTheTitleAndShowTheLogo)
{
    auto form = newForm();
    put(missionKey(MissionKind::Lockout));
    read(*form);
    const std::string damaged = "ibutton-key 1\nrom 0000000000000037\n"; // its check byte is wrong
    struct Row {
        std::vector<onewire::KeyFile> keys;
        std::string damagedFile;
        std::string box;
    } rows[] = {
        { {}, "", "Key not found." },
        { { missionKey(MissionKind::GetAuditTrail), missionKey(MissionKind::Lockout, kSite, 79) }, "",
            kOneKeyOnlyMessage },
        { {}, damaged,
            "Key not found.\nReader: key file skipped: " + (dir / "Reader" / "bad.key").string()
                + ": line 2: ROM id has a bad CRC-8" },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.box);
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
    // Without the reader's own id, its id chip is no user key.
    SettingsRecord.ReaderRomId.clear();
    clearReader();
    EXPECT_EQ(read(*form), std::vector<std::string> { "Key not found." });
}

onewire::KeyFile clockKey(uint8_t family, uint64_t serial, const FacilityCodeBytes& site)
{
    const RomId rom = onewire::makeRomId(family, serial);
    if (family == onewire::kFamilyDS1904)
        return onewire::blankDS1904(rom);
    auto key = onewire::blankDS1994(rom);
    std::array<uint8_t, 32> page { 'R', 'E', 'A', 'D', 0xFD, site[0], site[1], site[2] };
    std::fill(page.begin() + 8, page.end(), 0xFF);
    onewire::setDS1994Page(key, 0, page);
    return key;
}

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

TEST_F(ReadKeyTest, ClockKeysOfTheSiteShowTheirTime)
{
    auto form = newForm();
    const std::pair<uint32_t, const char*> values[] = { { 0, "1 Jan 1970" }, { 86400, "2 Jan 1970" },
        { 90061, "2 Jan 1970 01:01:01" } }; // midnight: the date alone
    for (auto [seconds, text] : values)
        for (uint8_t family : { onewire::kFamilyDS1904, onewire::kFamilyDS1994 }) {
            auto key = clockKey(family, 5, kSite);
            onewire::setClock(key, seconds, false, onewire::hostNow());
            insertKey(key);
            EXPECT_TRUE(read(*form).empty());
            EXPECT_EQ(form->currentPanel(), 7);
            EXPECT_EQ(form->Label6->text(), QStringLiteral("Set Time Key"));
            EXPECT_EQ(form->Label53->text().toStdString(), text) << int(family);
            EXPECT_EQ(form->keyIo.CurrentKeyRom[0], family);
        }
    // A DS1994 of another site is refused; a DS1904 carries no code at all.
    insertKey(clockKey(onewire::kFamilyDS1994, 6, kOtherSite));
    form->Label6->clear();
    EXPECT_EQ(read(*form), std::vector<std::string> { kWrong });
    EXPECT_EQ(form->currentPanel(), 7);
    EXPECT_TRUE(form->Label6->text().isEmpty());
}

// A clock key taken out before its clock could be read, a mission key whose page 0 does not
// open to the program's password.
TEST_F(ReadKeyTest, KeysThatCannotBeReadAreReported)
{
    auto locked = missionKey(MissionKind::IrStarter);
    onewire::setDS1977Passwords(locked, { 5, 5, 5, 5, 5, 5, 5, 5 }, { 5, 5, 5, 5, 5, 5, 5, 5 }, true);
    for (const auto& key :
        { locked, clockKey(onewire::kFamilyDS1904, 8, kSite), clockKey(onewire::kFamilyDS1994, 8, kSite) }) {
        insertKey(key);
        std::optional<onewire::ScopedPort> over;
        if (key.rom != locked.rom)
            over.emplace(onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType,
                std::make_shared<VanishingReader>(dir / "Reader"));
        auto form = newForm();
        EXPECT_EQ(last(read(*form)), "Read key error, please try it again.") << int(key.rom[0]);
        EXPECT_EQ(form->currentPanel(), key.rom == locked.rom ? 0 : 7);
        EXPECT_TRUE(form->Label6->text().isEmpty());
        EXPECT_TRUE(form->Label53->text().isEmpty());
    }
}

TEST_F(ReadKeyTest, UserKeysShowTheirLocksAndTheSettingsInTheChosenOne)
{
    const RomId userRom = onewire::makeRomId(0x01, 4242);
    addUser(7, romIdText(userRom), "1234", "Ada", "Lovelace");
    addUser(8, romIdText(onewire::makeRomId(0x33, 99)), "", "Bob", "Builder");
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
    auto form = newForm();
    put(onewire::blankKey(userRom));
    EXPECT_TRUE(read(*form).empty());
    EXPECT_EQ(form->currentPanel(), 1);
    EXPECT_EQ(form->Label6->text(), QStringLiteral("User Key"));
    EXPECT_EQ(form->FirstNameEdit->text(), QStringLiteral("Ada"));
    ASSERT_EQ(form->LockInfor_Query.RecordCount(), 2);
    EXPECT_EQ(form->LockInfor_Query.RecNo(), 1);
    EXPECT_EQ(form->LockInfor_Query.FieldByName("LockName").AsString(), "Front");
    EXPECT_EQ(form->TimeShift_Query.RecordCount(), 2); // this key's windows, not the other user's
    EXPECT_EQ(form->ActExpDateLabel->text(), QStringLiteral("No Limit"));
    EXPECT_EQ(form->ExceptionDateLabel->text(), QStringLiteral("No Limit"));
    form->LockInfor_Query.Next();
    EXPECT_EQ(form->TimeShift_Query.RecordCount(), 1);
    EXPECT_EQ(form->ActExpDateLabel->text(), QStringLiteral("1 Jan 2026 08:00:00 To 31 Dec 2026 18:00:00"));
    EXPECT_EQ(form->ExceptionDateLabel->text(), QStringLiteral("1 Jul 2026 To 14 Jul 2026"));
    insertKey(onewire::blankKey(onewire::makeRomId(0x01, 5))); // nobody's key
    form->DisplayPanel(6);
    EXPECT_EQ(read(*form), std::vector<std::string> { kWrong });
    EXPECT_EQ(form->currentPanel(), 6);
}

// The service buttons lie under " &Read Key" and " &Close": a click where one sits presses the
// button over it, only Alt and its letter press it.
TEST_F(ReadKeyTest, ServiceButtonsAreReachedOnlyByTheirShortcuts)
{
    auto form = newForm();
    form->KeyDumpFile = dir / "Information.Txt";
    const struct {
        QPushButton* button;
        Qt::Key key;
        QPushButton* cover;
        std::function<bool()> done;
    } rows[] = {
        { form->BitBtn6, Qt::Key_A, form->sbReadCard, [&] { return fs::exists(form->KeyDumpFile); } },
        { form->BitBtn7, Qt::Key_P, form->sbReadCard, [&] { return !form->StartNumberEdit->isHidden(); } },
        { form->BitBtn8, Qt::Key_W, form->sbExit, [&] { return !form->UpgradeGroup->isHidden(); } },
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.button->text().toStdString());
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        const QPoint at = r.button->mapTo(form.get(), r.button->rect().center());
        EXPECT_EQ(form->childAt(at), r.cover);
        QSignalSpy covered(r.button, &QPushButton::clicked), cover(r.cover, &QPushButton::clicked);
        boxesOf([&] { QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at); });
        EXPECT_EQ(cover.count(), 1); // a read, or the window closed
        EXPECT_EQ(covered.count(), 0);
        EXPECT_FALSE(r.done());
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        boxesOf([&] { QTest::keyClick(form->windowHandle(), r.key, Qt::AltModifier); });
        EXPECT_TRUE(covered.count() == 1 || covered.wait(2000));
        EXPECT_TRUE(r.done());
    }
}

TEST_F(ReadKeyTest, ModalHostingFreesTheWindowOnce)
{
    put(missionKey(MissionKind::SetParameter));
    QWidget owner;
    owner.show();
    QString named;
    QTimer poll; // closes the window once its start-up read is over, whatever it found
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ReadCard_Form && !ReadCard_Form->Timer1->isActive() && !ReadCard_Form->reading()) {
            named = ReadCard_Form->Label6->text();
            ReadCard_Form->sbExit->click();
        }
    });
    poll.start(20);
    QTimer::singleShot(10000, &poll, [&] { // hiding the window ends the modal run
        ADD_FAILURE() << "the window was still open after 10 s";
        if (ReadCard_Form)
            ReadCard_Form->hide();
    });
    TReadCard_Form::runModal(&owner, &db);
    EXPECT_EQ(named, QStringLiteral("Set Parameter Key"));
    EXPECT_EQ(ReadCard_Form, nullptr);
}

TEST_F(ReadKeyTest, OpenedFromTheMenuItReadsByItselfAndIsFreedWhenClosed)
{
    clearChildWindowRegistry();
    registerChildWindow("Read Key", [this] { return new TReadCard_Form(&db); });
    TLogin_Form::OperatorLevel = 1;
    {
        TMain_Form w;
        w.show();
        // While a box of the read is up, the main window's tool buttons are off and its close
        // is refused; afterwards they are back. Nor can a second read start or the window close.
        bool toolWasEnabled = true, mainClosed = false;
        dialogs.during = [&] {
            toolWasEnabled = w.toolAction("Read Key")->isEnabled();
            QCloseEvent close;
            QCoreApplication::sendEvent(&w, &close);
            mainClosed = close.isAccepted() && !w.isVisible();
            ReadCard_Form->sbReadCardClick();
            ReadCard_Form->close();
            ReadCard_Form->sbExit->click();
            QTest::keyClick(ReadCard_Form, Qt::Key_R, Qt::AltModifier);
        };
        put(missionKey(MissionKind::Lockout, kOtherSite)); // a refusal box during the read
        w.menuAction("Read Key")->trigger();
        ASSERT_NE(ReadCard_Form, nullptr);
        EXPECT_TRUE(w.openChild() == ReadCard_Form);
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.texts().size(), size_t(1), 3000);
        dialogs.during = nullptr;
        EXPECT_EQ(dialogs.texts()[0], kWrong);
        EXPECT_FALSE(toolWasEnabled);
        EXPECT_FALSE(mainClosed);
        EXPECT_TRUE(w.toolAction("Read Key")->isEnabled());
        ASSERT_NE(ReadCard_Form, nullptr);
        EXPECT_TRUE(ReadCard_Form->isVisible());
        EXPECT_FALSE(ReadCard_Form->reading());
        EXPECT_TRUE(ReadCard_Form->sbReadCard->isEnabled());
        EXPECT_EQ(dialogs.texts().size(), 1u);
        EXPECT_TRUE(w.CloseMyMDI());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(ReadCard_Form, nullptr);
        w.setAttribute(Qt::WA_DeleteOnClose, false);
    }
    clearChildWindowRegistry();
    TLogin_Form::OperatorLevel = 0;
}

} // namespace
