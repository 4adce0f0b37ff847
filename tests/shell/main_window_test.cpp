// The main window, the login, the program's start, Config.dat, the reader check, the Qt boxes
// and the demo workspace.
#include "../onewire/bus_test_support.h"
#include "app/keyreading/read_card_form.h"
#include "app/shell/data_exporting_form.h"
#include "app/shell/key_io_options.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/qt_dialogs.h"
#include "app/shell/reader_check.h"
#include "app/shell/settings_record.h"
#include "app/shell/shell_application.h"
#include "app/shell/shell_form.h"
#include "app/shell/startup.h"
#include "app/shell/window_registry.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"
#include "keyaccess/key_io.h"
#include "keyformats/access_code.h"
#include "keyformats/audit_records.h"
#include "keyformats/copy_settings_key.h"
#include "onewire/key_file.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace fs = std::filesystem;
using bus_test::bytesOf;

namespace {

// A child window that can be made to refuse closing, like a window with unsaved edits.
class DummyChild : public ShellForm {
public:
    explicit DummyChild(QString name)
    {
        setObjectName(name);
        ++alive;
    }
    ~DummyChild() override { --alive; }
    bool refuseClose = false;
    static inline int alive = 0;
    bool FormCloseQuery() override { return !refuseClose; }
};

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Dummy key windows and an administrator logged in, in a fresh folder holding a copy of the
// supplied database (with one operator of level 1), made the current folder as at start.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearChildWindowRegistry();
        for (const auto& item : keyWindowItems()) {
            const QString caption = item.caption;
            registerChildWindow(caption, [caption] { return new DummyChild(caption); });
        }
        SettingsRecord = TSettingsRecord {};
        TLogin_Form::OperatorLevel = 2;
        folder = bus_test::freshDir("shell");
        dbFile = (folder / "iOstrivaneDB.db").string();
        fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", dbFile);
        TDbConnection db;
        db.Open(dbFile);
        db.ExecSQL("INSERT INTO Admin (UserName, Password, Level) VALUES ('desk', 'pw1', 1)");
        previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(folder.string()));
    }
    void TearDown() override
    {
        flushDeletes();
        clearChildWindowRegistry();
        TLogin_Form::OperatorLevel = 0;
        TLogin_Form::OperatorName.clear();
        QDir::setCurrent(previous);
        fs::remove_all(folder);
    }
    // Opens a window from the menu: the children shown, and the open one's caption and size.
    static std::string open(TMain_Form& w, const QString& caption)
    {
        if (!caption.isEmpty())
            w.menuAction(caption)->trigger();
        flushDeletes();
        int shown = 0;
        for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
            shown += sub->isHidden() ? 0 : 1;
        QWidget* child = w.openChild();
        return std::to_string(shown) + " "
            + (child
                    ? child->objectName().toStdString() + (child->parentWidget()->isMaximized() ? " max" : "")
                    : "-");
    }
    static void attempt(TLogin_Form& f, const char* name, const char* password)
    {
        f.Edit1->setText(name);
        f.Edit2->setText(password);
        f.BitBtn1Click();
    }
    // A main window started on the folder's Config.dat, its reader found, closed after `during`.
    void runMainWindow(const std::function<void()>& during = {})
    {
        TMain_Form w;
        w.configFile = QString::fromStdString((folder / "Config.dat").string());
        w.readerProbe = [] { return std::string("A600000001D00D01"); };
        w.FormCreate();
        if (during)
            during();
        EXPECT_TRUE(w.close()); // the scripted box answers OK to "Quit program now?"
    }
    // The LoginHistory rows: "ID UserName Level" and whether the run was logged out.
    static std::vector<std::string> history(TDbConnection& db)
    {
        TDbQuery q(&db);
        q.SQL = "SELECT * FROM LoginHistory ORDER BY ID";
        q.Open();
        std::vector<std::string> out;
        for (int n = 0; !q.Eof() && n < 10000; q.Next(), ++n)
            out.push_back(q.FieldByName("ID").AsString() + " " + q.FieldByName("UserName").AsString() + " "
                + q.FieldByName("Level").AsString() + (q.FieldByName("LoginTime").IsNull() ? " no login" : "")
                + (q.FieldByName("LogoutTime").IsNull() ? " open" : " out"));
        EXPECT_TRUE(q.Eof()) << "the rows do not end";
        return out;
    }
    fs::path folder;
    std::string dbFile;
    QString previous;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

const std::string kHigherLevel = "This funtion need higher user level.";

} // namespace

TEST_F(ShellTest, EachMenuItemKeepsItsLevelRule)
{
    TMain_Form w;
    w.show();
    EXPECT_FALSE(w.windowIcon().isNull()); // the program's own, which every window and box takes
    for (int level : { 0, 1, 2 }) {
        TLogin_Form::OperatorLevel = level;
        for (const auto& item : keyWindowItems()) {
            dialogs.boxes.clear();
            const std::string shown = open(w, item.caption);
            if (level >= (item.caption == "Get Audit Trail" ? 2 : 1)) {
                EXPECT_TRUE(dialogs.boxes.empty()) << item.caption.toStdString();
                EXPECT_EQ(shown, "1 " + item.caption.toStdString() + " max");
            } else { // the open child was closed first, as the menu handlers do
                EXPECT_EQ(shown, "0 -") << item.caption.toStdString() << " level " << level;
                ASSERT_EQ(dialogs.boxes.size(), 1u);
                EXPECT_EQ(dialogs.boxes[0].type, BoxType::Information);
                EXPECT_EQ(dialogs.boxes[0].text, kHigherLevel);
            }
        }
    }
    // The tool buttons follow the same rule.
    TLogin_Form::OperatorLevel = 1;
    dialogs.boxes.clear();
    w.toolAction("Get Audit Trail")->trigger();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { kHigherLevel });
}

TEST_F(ShellTest, OneChildWindowIsOpenAtATime)
{
    TMain_Form w;
    w.show();
    TLogin_Form::OperatorLevel = 1;
    w.toolAction("Read Key")->trigger();
    EXPECT_EQ(open(w, ""), "1 Read Key max");
    EXPECT_EQ(open(w, "Remote Code"), "1 Remote Code max");
    EXPECT_EQ(DummyChild::alive, 1);
    // A child that will not close (unsaved edits) stays, and nothing else opens.
    static_cast<DummyChild*>(w.openChild())->refuseClose = true;
    EXPECT_EQ(open(w, "Multi-Lock Programming"), "1 Remote Code max");
    static_cast<DummyChild*>(w.openChild())->refuseClose = false;
    EXPECT_EQ(open(w, "Multi-Lock Programming"), "1 Multi-Lock Programming max");
    // A child that closes itself (its Close button) is gone, and opens afresh next time.
    w.openChild()->close();
    EXPECT_EQ(open(w, ""), "0 -");
    EXPECT_EQ(DummyChild::alive, 0);
    EXPECT_EQ(open(w, "Multi-Lock Programming"), "1 Multi-Lock Programming max");
    EXPECT_TRUE(w.openChild()->isVisible());
    EXPECT_EQ(DummyChild::alive, 1);
    // With ScreenMode 1 children open in their own size, but Read Key.
    SettingsRecord.ScreenMode = 1;
    EXPECT_EQ(open(w, "Remote Code"), "1 Remote Code");
    EXPECT_EQ(open(w, "Read Key"), "1 Read Key max");
}

TEST_F(ShellTest, UnregisteredWindowsHaveDisabledItems)
{
    clearChildWindowRegistry();
    registerChildWindow("Read Key", [] { return new DummyChild("Read Key"); });
    EXPECT_THROW(registerChildWindow("Lock Management", [] { return new QWidget; }), std::invalid_argument);
    TMain_Form w;
    EXPECT_TRUE(w.menuAction("Read Key")->isEnabled());
    EXPECT_FALSE(w.menuAction("Remote Code")->isEnabled());
    EXPECT_EQ(w.toolAction("Copy Lock Settings"), nullptr);
    EXPECT_EQ(w.toolAction("Lock Management"), nullptr);
    w.setToolButtonsEnabled(false);
    EXPECT_FALSE(w.toolAction("Read Key")->isEnabled());
    w.setToolButtonsEnabled(true);
    EXPECT_TRUE(w.toolAction("Read Key")->isEnabled());
    EXPECT_FALSE(w.toolAction("Remote Code")->isEnabled());
}

TEST_F(ShellTest, OpeningAWindowShowsItsStatusWhileItIsBuilt)
{
    TMain_Form w;
    w.show();
    QString during;
    QWidget* child = w.OpenMaximised([&] {
        during = w.statusText();
        return new DummyChild("x");
    });
    EXPECT_EQ(during, "Status: Open windows,please waiting...");
    EXPECT_EQ(w.statusText(), "Status: ");
    EXPECT_EQ(w.openChild(), child);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // A window that fails to build leaves the normal cursor and status behind.
    EXPECT_THROW(w.OpenMaximised([]() -> QWidget* { throw std::runtime_error("no"); }), std::runtime_error);
    EXPECT_EQ(w.statusText(), "Status: ");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ShellTest, TheStatusBarClockShowsTheDateAndTime)
{
    TMain_Form w;
    w.Timer1Timer();
    EXPECT_EQ(w.clockText().size(), 19);
    EXPECT_TRUE(w.clockText().startsWith(QDate::currentDate().toString("yyyy-MM-dd")));
}

TEST_F(ShellTest, AMissingOrUnreadableConfigDatGivesTheDefaultsWithTheReason)
{
    const fs::path file = folder / "Config.dat";
    // Config.dat as found (none at first) and the name it is kept aside under.
    const std::pair<std::string, std::string> rows[] = {
        { "", "" },
        { std::string("\x01\x05\x32\x00\x06\x00\x12\x34", 8), "Config.dat.bad" }, // truncated
        { std::string("\x01\x05\x32\x00\x06\x00\x12\x34\x56\x00", 10), "Config.dat.bad.2" }, // one byte more; an earlier copy stays
        { "garbage, not settings\n", "Config.dat.bad.3" },
    };
    for (const auto& [bytes, aside] : rows) {
        SCOPED_TRACE(aside);
        if (!bytes.empty())
            std::ofstream(file, std::ios::binary) << bytes;
        dialogs.boxes.clear();
        TMain_Form w;
        w.configFile = QString::fromStdString(file.string());
        w.readerProbe = [] { return std::string("5A00000012345601"); };
        SettingsRecord.PortType = 99;
        SettingsRecord.FacilityCode = { 1, 2, 3 };
        w.FormCreate();
        EXPECT_EQ(
            shell::configBytes(SettingsRecord), (std::array<uint8_t, 9> { 0, 5, 50, 0, 6, 0, 0, 0, 0 }));
        if (bytes.empty()) {
            EXPECT_EQ(dialogs.texts(),
                (std::vector<std::string> { "Config.dat not found, the default settings are in use." }));
            // The defaults are written when the window closes.
            dialogs.answers = { BoxResult::Cancel };
            EXPECT_FALSE(w.close());
            EXPECT_EQ(dialogs.boxes.back().text, "Quit program now?");
            EXPECT_FALSE(fs::exists(file));
        } else {
            EXPECT_EQ(dialogs.texts(),
                std::vector<std::string> { "Config.dat could not be read, it has been kept as " + aside
                    + " and the default settings are in use." });
            EXPECT_EQ(bytesOf(folder / aside), bytes);
        }
        EXPECT_TRUE(w.close());
        EXPECT_EQ(bytesOf(file).size(), 9u);
    }
}

TEST_F(ShellTest, TheReaderIsTriedTwiceAtStart)
{
    shell::writeConfigDat(TSettingsRecord {}, folder / "Config.dat");
    // No reader at all; then one found at the second attempt.
    for (const bool second : { false, true }) {
        SCOPED_TRACE(second);
        dialogs.boxes.clear();
        TMain_Form w;
        w.configFile = QString::fromStdString((folder / "Config.dat").string());
        int calls = 0;
        w.readerProbe = [&] { return ++calls == 2 && second ? std::string("5A00000012345601") : std::string(); };
        w.FormCreate();
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(SettingsRecord.ReaderRomId, second ? "5A00000012345601" : "");
        EXPECT_EQ(dialogs.texts(),
            second ? std::vector<std::string> {}
                   : std::vector<std::string> { "Please Check your PC iButton Reader!" });
        EXPECT_TRUE(w.close());
    }
}

TEST_F(ShellTest, ConfigDatHoldsNineBytesInFileOrder)
{
    const fs::path file = folder / "Config.dat";
    std::ofstream(file, std::ios::binary) << std::string("\x01\x07\x1E\x02\x06\x01\x12\x34\x56", 9);
    TSettingsRecord s;
    ASSERT_TRUE(shell::readConfigDat(s, file));
    EXPECT_EQ(std::vector<int>(
                  { s.UserType, s.MotorPulseTime, s.LockBackDelay, s.PortNum, s.PortType, s.ScreenMode }),
        std::vector<int>({ 1, 7, 30, 2, 6, 1 }));
    EXPECT_EQ(s.FacilityCode, (std::array<uint8_t, 3> { 0x12, 0x34, 0x56 }));
    s.FacilityCode = { 0x65, 0x43, 0x21 };
    s.ReaderRomId = "0123456789ABCDEF"; // run-time fields are not written
    shell::writeConfigDat(s, file);
    EXPECT_EQ(bytesOf(file), std::string("\x01\x07\x1E\x02\x06\x01\x65\x43\x21", 9));
    // The file is replaced as key files are (tested there); no folder, a clear error.
    EXPECT_THROW(shell::writeConfigDat(s, "/nonexistent-folder/x/Config.dat"), std::runtime_error);
}

TEST(SettingsRecordTest, LeavingAWindowClearsOnlyTheRunTimeFields)
{
    TSettingsRecord s;
    s.FacilityCode = { 1, 2, 3 };
    s.PickedLockSerialID = "X";
    s.PickAccessCodeLocksOnly = 1;
    s.NoLogoutStamp = true;
    shell::resetRunTimeFields(s);
    EXPECT_EQ(s.FacilityCode, (std::array<uint8_t, 3> { 1, 2, 3 }));
    EXPECT_TRUE(s.PickedLockSerialID.empty() && !s.PickAccessCodeLocksOnly && !s.NoLogoutStamp);
}

// A facility code is the site's whatever its bytes: nine such bytes start the program without a
// word, and the Read Key window opened from the menu takes keys that carry them, wherever the
// kind keeps them, and refuses another site's.
TEST_F(ShellTest, ConfigDatFacilityBytesOfAnyValueAreTheSitesAndItsKeysAreRead)
{
    clearChildWindowRegistry();
    const std::string config("\x00\x05\x32\x00\x06\x00\x1A\x2B\x3C", 9);
    std::ofstream(folder / "Config.dat", std::ios::binary) << config;
    const FacilityCodeBytes site { 0x1A, 0x2B, 0x3C };
    MissionKeyPage setParameter = blankMissionKeyPage();
    putReadHeader(setParameter, ReadKind::SetParameter, site);
    // Page 0 as each writer lays it, and the key-type title the window shows ("" for none).
    const std::tuple<const char*, MissionKeyPage, std::string> keys[] = {
        { "facility at 5", setParameter, "Set Parameter Key" },
        { "facility at 6", CopySettingsKeyHeader(site, 1), "Key Management Mission Key" },
        { "facility at 7", MultiLockKeyHeader(1, site), "Multi-Lock Key" },
        { "another site", MultiLockKeyHeader(1, { 0x12, 0x34, 0x56 }), "" },
    };
    std::vector<std::string> titles, startBoxes;
    std::array<uint8_t, 3> facility {};
    QTimer::singleShot(0, [] { attempt(*Login_Form, "admin", "admin"); });
    StartUpHooks hooks;
    hooks.registerWindows = [] { registerChildWindow("Read Key", [] { return new TReadCard_Form; }); };
    hooks.mainWindowShown = [&](TMain_Form& w) {
        startBoxes = dialogs.texts();
        facility = SettingsRecord.FacilityCode;
        const fs::path reader = folder / "Reader"; // the emulated reader of the current folder
        fs::create_directories(reader);
        for (const auto& [what, page0, title] : keys) {
            auto key = onewire::blankDS1977(onewire::makeRomId(0x37, 0x42));
            onewire::setDS1977Passwords(key, keyPassword(), keyPassword(), true);
            onewire::setDS1977Page(key, 0, page0);
            const fs::path file = onewire::keyFilePath(reader, key.rom);
            EXPECT_TRUE(onewire::saveKeyFile(file, key)) << what;
            w.menuAction("Read Key")->trigger();
            auto* form = qobject_cast<TReadCard_Form*>(w.openChild());
            if (!form) {
                ADD_FAILURE() << what << ": the Read Key window did not open";
                break;
            }
            for (int i = 0; i < 300 && (form->Timer1->isActive() || form->reading()); ++i)
                QTest::qWait(10);
            EXPECT_FALSE(form->Timer1->isActive() || form->reading()) << what << ": the read did not end";
            titles.push_back(form->Label6->text().toStdString());
            fs::remove(file);
        }
        QTimer::singleShot(0, &w, [&w] { w.close(); });
    };
    EXPECT_EQ(runStartUp("iOstrivaneDB.db", hooks), 0);
    EXPECT_EQ(startBoxes, std::vector<std::string> {});
    EXPECT_EQ(facility, site);
    EXPECT_EQ(titles, (std::vector<std::string> { "Set Parameter Key", "Key Management Mission Key", "Multi-Lock Key", "" }));
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { "Wrong key please insert program key.", "Quit program now?" }));
    EXPECT_EQ(bytesOf(folder / "Config.dat"), config); // written back as read
}

TEST_F(ShellTest, NameAndPasswordAreCheckedAgainstTheOperators)
{
    TLogin_Form::OperatorLevel = 0;
    {
        TLogin_Form f(dbFile);
        EXPECT_EQ(Login_Form, &f);
        EXPECT_TRUE(f.DbConnection1.Connected());
        attempt(f, "admin", "admin");
        EXPECT_EQ(f.result(), QDialog::Accepted);
        EXPECT_EQ(TLogin_Form::OperatorName, "admin");
        EXPECT_EQ(TLogin_Form::OperatorLevel, 2);
        EXPECT_TRUE(dialogs.boxes.empty());
    }
    EXPECT_EQ(Login_Form, nullptr);
    {
        TLogin_Form f(dbFile);
        attempt(f, "desk", "PW1"); // passwords are exact
        attempt(f, "desk", "pw1");
        EXPECT_EQ(f.result(), QDialog::Accepted);
        EXPECT_EQ(TLogin_Form::OperatorLevel, 1);
        EXPECT_EQ(dialogs.boxes.size(), 1u);
    }
    TLogin_Form f(dbFile);
    f.BitBtn2Click();
    EXPECT_EQ(f.result(), QDialog::Rejected);
    EXPECT_THROW(TLogin_Form((folder / "missing.db").string()), EDatabaseError);
    EXPECT_FALSE(fs::exists(folder / "missing.db"));
}

TEST_F(ShellTest, EachRunKeepsAHistoryRow)
{
    TLogin_Form login(dbFile);
    attempt(login, "admin", "admin");
    TDbConnection& db = login.DbConnection1;
    // A row a crashed run left open.
    db.ExecSQL("INSERT INTO LoginHistory (ID, UserName, Level, LoginTime) VALUES (7, 'desk', 1, '2026-01-02 "
               "03:04:05')");
    runMainWindow([&] {
        EXPECT_EQ(history(db), (std::vector<std::string> { "7 desk 1 out", "8 admin 2 open" }));
    });
    EXPECT_EQ(history(db).back(), "8 admin 2 out");
    // NoLogoutStamp: no logout time, Config.dat still rewritten.
    fs::remove(folder / "Config.dat");
    runMainWindow([] {
        EXPECT_FALSE(SettingsRecord.NoLogoutStamp);
        SettingsRecord.NoLogoutStamp = true;
    });
    EXPECT_EQ(history(db).back(), "9 admin 2 open");
    EXPECT_TRUE(fs::exists(folder / "Config.dat"));
}

TEST_F(ShellTest, AHistoryRowTheDatabaseRefusesKeepsConfigDatAndTheReaderCheck)
{
    TLogin_Form login(dbFile);
    attempt(login, "admin", "admin");
    login.DbConnection1.ExecSQL("DROP TABLE LoginHistory");
    TSettingsRecord site;
    shell::applyConfigBytes(site, { 1, 7, 40, 2, 5, 1, 0x12, 0x34, 0x56 });
    shell::writeConfigDat(site, folder / "Config.dat");
    dialogs.boxes.clear();
    runMainWindow([&] {
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
        EXPECT_EQ(shell::configBytes(SettingsRecord), shell::configBytes(site));
        EXPECT_EQ(SettingsRecord.ReaderRomId, "A600000001D00D01");
    });
    EXPECT_EQ(bytesOf(folder / "Config.dat"), std::string("\x01\x07\x28\x02\x05\x01\x12\x34\x56", 9));
}

TEST_F(ShellTest, LoginThenMainWindowThenCloseKeepsHistoryAndConfig)
{
    clearChildWindowRegistry();
    bool shown = false;
    QString title;
    QTimer::singleShot(0, [] { attempt(*Login_Form, "admin", "admin"); });
    StartUpHooks hooks;
    hooks.mainWindowShown = [&](TMain_Form& w) {
        shown = w.isVisible();
        title = w.windowTitle();
        QTimer::singleShot(0, &w, [&w] { w.close(); });
    };
    EXPECT_EQ(runStartUp("iOstrivaneDB.db", hooks), 0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(title, "iOstrivane Lock Management");
    EXPECT_EQ(Login_Form, nullptr);
    EXPECT_EQ(Main_Form, nullptr);
    // The emulated reader's id chip was found on the default port.
    EXPECT_EQ(SettingsRecord.ReaderRomId, romIdText(onewire::emulatedReaderRomId()));
    EXPECT_EQ(dialogs.texts(),
        (std::vector<std::string> {
            "Config.dat not found, the default settings are in use.", "Quit program now?" }));
    TDbConnection db;
    db.Open(dbFile);
    EXPECT_EQ(history(db), std::vector<std::string> { "1 admin 2 out" });
    EXPECT_EQ(fs::file_size(folder / "Config.dat"), 9u); // written fresh with the defaults
}

// The reader's id chip among the keys on a bus of its own.
TEST(ReaderCheck, TheIdChipIsTheFirstFamily01ChipThatIsNoUsersKey)
{
    using namespace onewire;
    constexpr short kPort = 9, kType = 6;
    auto text = [](uint64_t serial) { return romIdText(makeRomId(0x01, serial)); };
    auto bus = std::make_shared<MicroLan>();
    ScopedPort port(kPort, kType, bus);
    bus->attach(makeDevice(blankKey(makeRomId(0x37, 0x77))));
    EXPECT_EQ(findReaderRomId(kPort, kType), "") << "no id chip";
    bus->attach(makeDevice(blankKey(makeRomId(0x01, 0xD00D))));
    bus->attach(makeDevice(blankKey(makeRomId(0x24, 0x5))));
    EXPECT_EQ(findReaderRomId(kPort, kType), text(0xD00D));
    // A user's key of the same family sorts first: nothing known about the keys, the first chip
    // as the reader reports it; else the first that is no user's key.
    bus->attach(makeDevice(blankKey(makeRomId(0x01, 0x01))));
    EXPECT_EQ(findIdChips(kPort, kType), (std::vector<std::string> { text(0x01), text(0xD00D) }));
    EXPECT_EQ(findReaderRomId(kPort, kType), text(0x01));
    EXPECT_EQ(
        findReaderRomId(kPort, kType, [&](const std::string& id) { return id == text(0x01); }), text(0xD00D));
    EXPECT_EQ(findReaderRomId(3, 6), ""); // no adapter on that number: set-up fails
    EXPECT_EQ(findReaderRomId(0, 2), ""); // no driver for that type
}

TEST_F(ShellTest, KeyWindowsUseTheSettingsRecordsPort)
{
    SettingsRecord.PortNum = 4;
    SettingsRecord.PortType = 5;
    const KeyIoOptions o = shellKeyIoOptions();
    EXPECT_TRUE(o.port.PortNum == 4 && o.port.PortType == 5 && !o.dialogs && o.processPendingMessages);
    o.processPendingMessages();
}

TEST_F(ShellTest, ThreeFailedLoginsEndTheProgram)
{
    TLogin_Form::OperatorName = "admin"; // as a run before left them
    bool shown = false;
    // Driven from inside the modal loop, as an operator would type.
    QTimer::singleShot(0, [] {
        attempt(*Login_Form, "admin", "wrong");
        attempt(*Login_Form, "nobody", "admin");
        EXPECT_TRUE(Login_Form->isVisible());
        attempt(*Login_Form, "admin' OR '1'='1", "x' OR '1'='1");
        EXPECT_EQ(Login_Form->failedAttempts(), 3);
        if (Login_Form->isVisible()) { // not ended: end it rather than wait for ever
            ADD_FAILURE() << "the login is still open after three failures";
            Login_Form->BitBtn2Click();
        }
    });
    StartUpHooks hooks;
    hooks.mainWindowShown = [&](TMain_Form&) { shown = true; };
    EXPECT_EQ(runStartUp("iOstrivaneDB.db", hooks), 0);
    EXPECT_FALSE(shown);
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    for (const auto& b : dialogs.boxes)
        EXPECT_TRUE(b.type == BoxType::Error && b.buttons == BoxButtons::Ok);
    EXPECT_EQ(TLogin_Form::OperatorLevel, 0);
    EXPECT_TRUE(TLogin_Form::OperatorName.isEmpty());
    TDbConnection db;
    db.Open(dbFile);
    EXPECT_TRUE(history(db).empty());
}

TEST_F(ShellTest, AMissingDatabaseEndsTheProgram)
{
    EXPECT_EQ(runStartUp("nothing-here.db"), 1);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("nothing-here.db"), std::string::npos);
}

TEST(QtDialogsTest, BoxesMapToMessageBoxes)
{
    using T = BoxType;
    using B = BoxButtons;
    using R = BoxResult;
    using M = QMessageBox;
    const std::tuple<T, B, M::Icon, M::StandardButton, R> cases[] = {
        { T::Information, B::Ok, M::Information, M::Ok, R::Ok },
        { T::Error, B::Ok, M::Critical, M::Ok, R::Ok },
        { T::Warning, B::Ok, M::Warning, M::Ok, R::Ok },
        { T::Confirmation, B::OkCancel, M::Question, M::Cancel, R::Cancel },
        { T::Confirmation, B::OkCancel, M::Question, M::Ok, R::Ok },
        { T::Confirmation, B::YesNo, M::Question, M::No, R::No },
        { T::Confirmation, B::YesNoCancel, M::Question, M::Yes, R::Yes },
    };
    QtDialogs qt;
    for (const auto& [type, buttons, icon, press, result] : cases) {
        QString seen;
        M::Icon shown = M::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<M*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = box->text();
            shown = box->icon();
            box->button(press)->click();
        });
        EXPECT_EQ(qt.show(type, "This funtion need higher user level.", buttons), result);
        EXPECT_EQ(seen, "This funtion need higher user level.");
        EXPECT_EQ(shown, icon);
    }
}

TEST(QtDialogsTest, TheExportingNoticeIsShownWhileTheExportRunsAndFreedAfter)
{
    QWidget owner;
    owner.show();
    QPointer<TDataExporting_Form> form;
    {
        ExportingNotice notice(&owner);
        form = notice.form();
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->text(), "Exporting data, please wait...");
        EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    }
    EXPECT_TRUE(form.isNull());
}

TEST(QtDialogsTest, AnExceptionReachingTheEventLoopGivesTheErrorBox)
{
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped(dialogs);
    int runs = 0;
    // Handlers reached from the event loop, as a menu click or a timer reaches them.
    QTimer::singleShot(0, [&] {
        ++runs;
        throw std::runtime_error("Table LockManagement is locked");
    });
    QTimer::singleShot(0, [&] {
        ++runs;
        throw EAbort();
    });
    QTimer::singleShot(0, [&] { ++runs; });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Table LockManagement is locked" });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
}

namespace {

// The demo workspace as a second run of its maker leaves it, made once for the tests below.
class DemoWorkspaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ws = bus_test::freshDir("demo");
        for (int run = 0; run < 2 && made.empty(); ++run) {
            QProcess p;
            p.start(IOS_BINARY_DIR "/src/app/make-demo-workspace", { QString::fromStdString(ws.string()) });
            if (!p.waitForFinished(20000))
                made = "the maker did not end within 20 s";
            else if (p.exitCode() != 0)
                made = p.readAllStandardError().toStdString();
        }
    }
    static void TearDownTestSuite() { fs::remove_all(ws); }
    void SetUp() override
    {
        ASSERT_EQ(made, "") << "making the workspace failed";
        db.Open((ws / "iOstrivaneDB.db").string());
    }
    // The first column of the first row, "-" without one.
    std::string value(const std::string& sql, const std::string& serial = "")
    {
        TDbQuery q(&db);
        q.SQL = sql;
        if (!serial.empty())
            q.ParamByName("SerialID").AsString(serial);
        q.Open();
        return q.Eof() ? std::string("-") : q.FieldByName("V").AsString();
    }
    static inline fs::path ws;
    static inline std::string made; // what went wrong making it
    TDbConnection db;
};

} // namespace

TEST_F(DemoWorkspaceTest, TheDatabaseHoldsTheSeededRowsOnce)
{
    for (auto [table, n] : { std::pair { "LockManagement", "3" }, { "KeyManagement", "3" },
             { "LockKeyManagement", "6" }, { "AccessCode", "1" }, { "TimeShift", "5" } })
        EXPECT_EQ(value(std::string("SELECT COUNT(*) AS V FROM ") + table), n) << table;
}

// Each seeded remote code is the program's own code for its row, at a version of 1-4.
TEST_F(DemoWorkspaceTest, SeededRemoteCodesAreTheProgramsOwn)
{
    TDbQuery q(&db);
    q.SQL = "SELECT * FROM AccessCode";
    q.Open();
    using namespace std::chrono;
    auto day = [](DateTime t) { return year_month_day(floor<days>(t)); };
    auto hour = [](DateTime t) { return int((t - floor<days>(t)) / 1h); };
    q.First();
    for (int n = 0; !q.Eof() && n < 10; q.Next(), ++n) {
        const int lostTimes = int(q.FieldByName("LostTimes").AsInteger());
        EXPECT_TRUE(lostTimes >= 1 && lostTimes <= 4) << lostTimes;
        const DateTime start = q.FieldByName("StartDate").AsDateTime(),
                       end = q.FieldByName("EndDate").AsDateTime();
        EXPECT_EQ(q.FieldByName("CodeString").AsString(),
            MakeAccessCode(q.FieldByName("SerialID").AsString(),
                q.FieldByName("CodeType").AsString() == "Temp" ? 2 : 1, day(start), hour(start), day(end),
                hour(end), lostTimes - 1));
    }
    EXPECT_TRUE(q.Eof()) << "the rows do not end";
}

TEST_F(DemoWorkspaceTest, SettingsLogoAndTemplateLieBesideTheDatabase)
{
    TSettingsRecord s;
    ASSERT_TRUE(shell::readConfigDat(s, ws / "Config.dat"));
    EXPECT_EQ(shell::configBytes(s), (std::array<uint8_t, 9> { 0, 5, 50, 0, 6, 0, 0x12, 0x34, 0x56 }));
    EXPECT_FALSE(QImage(QString::fromStdString((ws / "logo.bmp").string())).isNull());
    EXPECT_EQ(bus_test::bytesOf(ws / "AccessCodeReport.xlsx"), bus_test::bytesOf(IOS_BINARY_DIR "/AccessCodeReport.xlsx"));
}

// The reader holds one audit-trail key that the first room has filled; Anna's iButton and the
// other keys lie beside the reader; each room is a lock simulator file.
TEST_F(DemoWorkspaceTest, TheReaderHoldsAFilledTrailKeyBesideTheUsersKeysAndTheLocks)
{
    auto keys = [](const fs::path& dir) {
        std::vector<onewire::KeyFile> out;
        for (const auto& e : fs::directory_iterator(dir))
            out.push_back(onewire::loadKeyFile(e.path()).key.value());
        return out;
    };
    const auto inReader = keys(ws / "Reader");
    ASSERT_EQ(inReader.size(), 1u);
    const auto trail = decodeAuditKeyHeader(onewire::ds1977Page(inReader[0], 0).value());
    ASSERT_TRUE(trail && trail->lockRom);
    EXPECT_EQ(trail->kind, ReadKind::GetAuditTrail);
    EXPECT_EQ(
        value("SELECT LockName AS V FROM LockManagement WHERE SerialID = :SerialID", trail->lockSerialText()),
        "Room 101");
    std::vector<std::string> owners;
    for (const auto& k : keys(ws / "Keys"))
        owners.push_back(
            value("SELECT FirstName AS V FROM KeyManagement WHERE SerialID = :SerialID", romIdText(k.rom)));
    EXPECT_EQ(owners.size(), 3u);
    EXPECT_EQ(std::count(owners.begin(), owners.end(), "Anna"), 1);
    EXPECT_EQ(std::count_if(fs::directory_iterator(ws / "Locks"), {},
                  [](const auto& e) { return e.path().extension() == ".lock"; }),
        3);
}
