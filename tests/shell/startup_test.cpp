// The login window, the login history, the program's start and the demo workspace, on copies
// of the supplied database.
#include "app/shell/data_exporting_form.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/qt_dialogs.h"
#include "app/shell/settings_record.h"
#include "app/shell/startup.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/access_code.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "test_db.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// A fresh folder holding a copy of the supplied database with one operator of level 1, made
// the current folder as the program finds it at start.
class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = testdb::freshFolder("startup");
        dbFile = testdb::suppliedCopy(folder);
        TDbConnection db;
        db.Open(dbFile);
        db.ExecSQL("INSERT INTO Admin (UserName, Password, Level) VALUES ('desk', 'pw1', 1)");
        previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(folder.string()));
        config = folder / "Config.dat";
        SettingsRecord = TSettingsRecord {};
    }
    void TearDown() override
    {
        QDir::setCurrent(previous);
        std::filesystem::remove_all(folder);
    }

    static void attempt(TLogin_Form& f, const char* name, const char* password)
    {
        f.Edit1->setText(name);
        f.Edit2->setText(password);
        f.BitBtn1Click();
    }
    // A main window on the folder's Config.dat, whose reader check finds a reader, closed at once.
    void runMainWindow(const std::function<void()>& during = {})
    {
        TMain_Form w;
        w.configFile = QString::fromStdString(config.string());
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
        for (; !q.Eof(); q.Next())
            out.push_back(q.FieldByName("ID").AsString() + " " + q.FieldByName("UserName").AsString() + " "
                + q.FieldByName("Level").AsString() + (q.FieldByName("LoginTime").IsNull() ? " no login" : "")
                + (q.FieldByName("LogoutTime").IsNull() ? " open" : " out"));
        return out;
    }

    std::filesystem::path folder;
    std::string dbFile;
    std::filesystem::path config;
    QString previous;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(StartUpTest, NameAndPasswordCheckedAgainstTheOperators)
{
    {
        TLogin_Form f(dbFile);
        EXPECT_EQ(Login_Form, &f);
        EXPECT_TRUE(f.DbConnection1.Connected());
        EXPECT_EQ(TLogin_Form::OperatorLevel, 0);
        attempt(f, "admin", "admin");
        EXPECT_EQ(f.result(), QDialog::Accepted);
        EXPECT_EQ(TLogin_Form::OperatorName, "admin");
        EXPECT_EQ(TLogin_Form::OperatorLevel, 2);
        EXPECT_TRUE(dialogs.boxes.empty());
    }
    EXPECT_EQ(Login_Form, nullptr);
    TLogin_Form f(dbFile);
    attempt(f, "desk", "PW1"); // passwords are exact
    attempt(f, "desk", "pw1");
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(TLogin_Form::OperatorLevel, 1);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(StartUpTest, CancelEndsTheLoginAndAMissingDatabaseIsAnError)
{
    {
        TLogin_Form f(dbFile);
        f.BitBtn2Click();
        EXPECT_EQ(f.result(), QDialog::Rejected);
    }
    EXPECT_THROW(TLogin_Form((folder / "missing.db").string()), EDatabaseError);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.db"));
    EXPECT_EQ(runStartUp("nothing-here.db"), 1);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("nothing-here.db"), std::string::npos);
}

TEST_F(StartUpTest, LoginHistoryRowPerRunWithItsLogoutTime)
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
    std::filesystem::remove(config);
    runMainWindow([] {
        EXPECT_FALSE(SettingsRecord.NoLogoutStamp);
        SettingsRecord.NoLogoutStamp = true;
    });
    EXPECT_EQ(history(db).back(), "9 admin 2 open");
    EXPECT_TRUE(std::filesystem::exists(config));
}

TEST_F(StartUpTest, AHistoryRowTheDatabaseRefusesKeepsConfigDatAndTheReaderCheck)
{
    TLogin_Form login(dbFile);
    attempt(login, "admin", "admin");
    login.DbConnection1.ExecSQL("DROP TABLE LoginHistory");
    TSettingsRecord site;
    shell::applyConfigBytes(site, { 1, 7, 40, 2, 5, 1, 0x12, 0x34, 0x56 });
    shell::writeConfigDat(site, config);
    runMainWindow([&] {
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
        EXPECT_EQ(shell::configBytes(SettingsRecord), shell::configBytes(site));
        EXPECT_EQ(SettingsRecord.ReaderRomId, "A600000001D00D01");
    });
    TSettingsRecord back;
    ASSERT_TRUE(shell::readConfigDat(back, config));
    EXPECT_EQ(shell::configBytes(back), shell::configBytes(site));
}

TEST_F(StartUpTest, LoginThenMainWindowThenCloseKeepsHistoryAndConfig)
{
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
    EXPECT_EQ(std::filesystem::file_size(folder / "Config.dat"), 9u); // written fresh with the defaults
}

TEST_F(StartUpTest, ThreeFailedLoginsEndTheProgram)
{
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
        EXPECT_EQ(b.type, BoxType::Error);
    EXPECT_EQ(TLogin_Form::OperatorLevel, 0);
    EXPECT_TRUE(TLogin_Form::OperatorName.isEmpty());
    TDbConnection db;
    db.Open(dbFile);
    EXPECT_TRUE(history(db).empty());
}

TEST(QtDialogsTest, BoxTypesAndButtonSetsMapToMessageBoxes)
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

TEST(QtDialogsTest, ExportingNoticeShownWhileTheExportRunsAndFreedAfter)
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

TEST(DemoWorkspaceTest, LaysDatabaseSettingsLogoAndReaderAndKeepsThemOnASecondRun)
{
    const auto ws = testdb::freshFolder("demo");
    for (int run = 0; run < 2; ++run) {
        QProcess p;
        p.start(IOS_BINARY_DIR "/src/app/make-demo-workspace", { QString::fromStdString(ws.string()) });
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    TDbConnection db;
    db.Open((ws / "iOstrivaneDB.db").string());
    // The first column of the first row, "-" without one.
    auto value = [&](const std::string& sql, const std::string& serial = "") {
        TDbQuery q(&db);
        q.SQL = sql;
        if (!serial.empty())
            q.ParamByName("SerialID").AsString(serial);
        q.Open();
        return q.Eof() ? std::string("-") : q.FieldByName("V").AsString();
    };
    for (auto [table, n] : { std::pair { "LockManagement", "3" }, { "KeyManagement", "3" },
             { "LockKeyManagement", "6" }, { "AccessCode", "1" }, { "TimeShift", "5" } })
        EXPECT_EQ(value(std::string("SELECT COUNT(*) AS V FROM ") + table), n) << table;
    {
        // Each seeded remote code is the program's own code for its row, at a version of 1-4.
        TDbQuery q(&db);
        q.SQL = "SELECT * FROM AccessCode";
        q.Open();
        using namespace std::chrono;
        auto day = [](DateTime t) { return year_month_day(floor<days>(t)); };
        auto hour = [](DateTime t) { return int((t - floor<days>(t)) / 1h); };
        for (q.First(); !q.Eof(); q.Next()) {
            const int lostTimes = int(q.FieldByName("LostTimes").AsInteger());
            EXPECT_TRUE(lostTimes >= 1 && lostTimes <= 4) << lostTimes;
            const DateTime start = q.FieldByName("StartDate").AsDateTime(),
                           end = q.FieldByName("EndDate").AsDateTime();
            EXPECT_EQ(q.FieldByName("CodeString").AsString(),
                MakeAccessCode(q.FieldByName("SerialID").AsString(),
                    q.FieldByName("CodeType").AsString() == "Temp" ? 2 : 1, day(start), hour(start), day(end),
                    hour(end), lostTimes - 1));
        }
    }
    TSettingsRecord s;
    ASSERT_TRUE(shell::readConfigDat(s, ws / "Config.dat"));
    EXPECT_EQ(shell::configBytes(s), (std::array<uint8_t, 9> { 0, 5, 50, 0, 6, 0, 0x12, 0x34, 0x56 }));
    // The logo shows the program's name whole: the ink right of the emblem (after the last gap
    // of 15 blank columns) is as wide as the name in this machine's type, and ends clear of the edge.
    const QImage logo(QString::fromStdString((ws / "logo.bmp").string()));
    auto inked = [&](int x) {
        for (int y = 0; y < logo.height(); ++y)
            if (logo.pixel(x, y) != logo.pixel(0, 0))
                return true;
        return false;
    };
    int right = logo.width() - 1;
    while (right > 0 && !inked(right))
        --right;
    int left = right;
    for (int gap = 0; left > 0 && gap < 15; --left)
        gap = inked(left - 1) ? 0 : gap + 1;
    QFont type;
    type.setPixelSize(40);
    type.setBold(true);
    EXPECT_GE(right - left, QFontMetrics(type).horizontalAdvance("iOstrivane") - 10);
    EXPECT_LT(right, logo.width() - 20);
    EXPECT_GT(std::filesystem::file_size(ws / "AccessCodeReport.xlsx"), 0u);

    // The reader holds one audit-trail key that the first room has filled; Anna's iButton
    // and the other keys lie beside the reader; each room is a lock simulator file.
    auto keys = [](const std::filesystem::path& dir) {
        std::vector<onewire::KeyFile> out;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            auto loaded = onewire::loadKeyFile(e.path());
            EXPECT_TRUE(loaded.key) << loaded.error;
            if (loaded.key)
                out.push_back(*loaded.key);
        }
        return out;
    };
    const auto inReader = keys(ws / "Reader");
    ASSERT_EQ(inReader.size(), 1u);
    const auto page0 = onewire::ds1977Page(inReader[0], 0).value();
    EXPECT_EQ(page0[4], 0x01);
    RomId lock;
    std::copy(page0.begin() + 10, page0.begin() + 18, lock.begin());
    EXPECT_EQ(value("SELECT LockName AS V FROM LockManagement WHERE SerialID = :SerialID", romIdText(lock)),
        "Room 101");
    std::vector<std::string> owners;
    for (const auto& k : keys(ws / "Keys"))
        owners.push_back(
            value("SELECT FirstName AS V FROM KeyManagement WHERE SerialID = :SerialID", romIdText(k.rom)));
    EXPECT_EQ(owners.size(), 3u);
    EXPECT_EQ(std::count(owners.begin(), owners.end(), "Anna"), 1);
    int locks = 0;
    for (const auto& e : std::filesystem::directory_iterator(ws / "Locks"))
        locks += e.path().extension() == ".lock" ? 1 : 0;
    EXPECT_EQ(locks, 3);
    db.Close();
    std::filesystem::remove_all(ws);
}
