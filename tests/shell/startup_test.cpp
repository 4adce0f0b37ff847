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
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

// Runs the start-up in a fresh folder holding a copy of the supplied database.
class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = testdb::freshFolder("startup");
        dbFile = testdb::suppliedCopy(folder);
        previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(folder.string()));
        SettingsRecord = TSettingsRecord {};
    }
    void TearDown() override
    {
        QDir::setCurrent(previous);
        std::filesystem::remove_all(folder);
    }

    // Types into the login window from inside its modal loop.
    static void typeLogin(const char* name, const char* password)
    {
        ASSERT_NE(Login_Form, nullptr);
        Login_Form->Edit1->setText(name);
        Login_Form->Edit2->setText(password);
        Login_Form->BitBtn1Click();
    }

    std::filesystem::path folder;
    std::string dbFile;
    QString previous;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(StartUpTest, LoginThenMainWindowThenCloseKeepsHistoryAndConfig)
{
    bool shown = false;
    QString title;
    QTimer::singleShot(0, [] { typeLogin("admin", "admin"); });
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
        (std::vector<std::string> { "Config.dat not found, the default settings are in use.", "Quit program now?" }));

    TDbConnection db;
    db.Open(dbFile);
    TDbQuery q(&db);
    q.SQL = "SELECT UserName, Level, LoginTime, LogoutTime FROM LoginHistory";
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName("UserName").AsString(), "admin");
    EXPECT_FALSE(q.FieldByName("LoginTime").IsNull());
    EXPECT_FALSE(q.FieldByName("LogoutTime").IsNull());
    std::ifstream config(folder / "Config.dat", std::ios::binary);
    std::vector<char> bytes { std::istreambuf_iterator<char>(config), {} };
    EXPECT_EQ(bytes.size(), 9u); // written fresh with the defaults
}

TEST_F(StartUpTest, ThreeFailedLoginsEndTheProgram)
{
    bool shown = false;
    QTimer::singleShot(0, [] {
        typeLogin("admin", "a");
        typeLogin("admin", "b");
        typeLogin("admin", "c");
    });
    StartUpHooks hooks;
    hooks.mainWindowShown = [&](TMain_Form&) { shown = true; };
    EXPECT_EQ(runStartUp("iOstrivaneDB.db", hooks), 0);
    EXPECT_FALSE(shown);
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    TDbConnection db;
    db.Open(dbFile);
    TDbQuery q(&db);
    q.SQL = "SELECT * FROM LoginHistory";
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);
}

TEST_F(StartUpTest, NoDatabaseInTheFolderIsAnErrorAndAnExitCode)
{
    EXPECT_EQ(runStartUp("nothing-here.db"), 1);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("nothing-here.db"), std::string::npos);
}

TEST(QtDialogsTest, BoxTypesAndButtonSetsMapToMessageBoxes)
{
    QtDialogs qt;
    struct Case {
        BoxType type;
        BoxButtons buttons;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton press;
        BoxResult expected;
    };
    const Case cases[] = {
        { BoxType::Information, BoxButtons::Ok, QMessageBox::Information, QMessageBox::Ok, BoxResult::Ok },
        { BoxType::Error, BoxButtons::Ok, QMessageBox::Critical, QMessageBox::Ok, BoxResult::Ok },
        { BoxType::Warning, BoxButtons::Ok, QMessageBox::Warning, QMessageBox::Ok, BoxResult::Ok },
        { BoxType::Confirmation, BoxButtons::OkCancel, QMessageBox::Question, QMessageBox::Cancel, BoxResult::Cancel },
        { BoxType::Confirmation, BoxButtons::OkCancel, QMessageBox::Question, QMessageBox::Ok, BoxResult::Ok },
        { BoxType::Confirmation, BoxButtons::YesNo, QMessageBox::Question, QMessageBox::No, BoxResult::No },
        { BoxType::Confirmation, BoxButtons::YesNoCancel, QMessageBox::Question, QMessageBox::Yes, BoxResult::Yes },
    };
    for (const Case& c : cases) {
        QString seen;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = box->text();
            icon = box->icon();
            box->button(c.press)->click();
        });
        EXPECT_EQ(qt.show(c.type, "This funtion need higher user level.", c.buttons), c.expected);
        EXPECT_EQ(seen, "This funtion need higher user level.");
        EXPECT_EQ(icon, c.icon);
    }
}

TEST(ExportingNoticeTest, ShownWhileTheExportRunsAndFreedAfter)
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
    const QString tool = IOS_BINARY_DIR "/src/app/make-demo-workspace";
    for (int run = 0; run < 2; ++run) {
        QProcess p;
        p.start(tool, { QString::fromStdString(ws.string()) });
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    TDbConnection db;
    db.Open((ws / "iOstrivaneDB.db").string());
    auto count = [&](const char* table) {
        TDbQuery q(&db);
        q.SQL = std::string("SELECT COUNT(*) AS N FROM ") + table;
        q.Open();
        return q.FieldByName("N").AsInteger();
    };
    EXPECT_EQ(count("LockManagement"), 3);
    EXPECT_EQ(count("KeyManagement"), 3);
    EXPECT_EQ(count("LockKeyManagement"), 6);
    EXPECT_EQ(count("AccessCode"), 1);
    EXPECT_EQ(count("TimeShift"), 5);
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
            const DateTime start = q.FieldByName("StartDate").AsDateTime(), end = q.FieldByName("EndDate").AsDateTime();
            EXPECT_EQ(q.FieldByName("CodeString").AsString(),
                MakeAccessCode(q.FieldByName("SerialID").AsString(), q.FieldByName("CodeType").AsString() == "Temp" ? 2 : 1,
                    day(start), hour(start), day(end), hour(end), lostTimes - 1));
        }
    }

    TSettingsRecord s;
    ASSERT_TRUE(shell::readConfigDat(s, ws / "Config.dat"));
    EXPECT_EQ(s.PortType, 6);
    EXPECT_EQ(s.PortNum, 0);
    EXPECT_EQ(s.FacilityCode, (std::array<uint8_t, 3> { 0x12, 0x34, 0x56 }));
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
    std::vector<onewire::KeyFile> inReader;
    for (const auto& e : std::filesystem::directory_iterator(ws / "Reader")) {
        auto loaded = onewire::loadKeyFile(e.path());
        ASSERT_TRUE(loaded.key) << loaded.error;
        inReader.push_back(*loaded.key);
    }
    ASSERT_EQ(inReader.size(), 1u);
    const auto page0 = onewire::ds1977Page(inReader[0], 0).value();
    EXPECT_EQ(page0[4], 0x01);
    {
        TDbQuery q(&db);
        q.SQL = "SELECT LockName FROM LockManagement WHERE SerialID = :SerialID";
        RomId lock;
        std::copy(page0.begin() + 10, page0.begin() + 18, lock.begin());
        q.ParamByName("SerialID").AsString(romIdText(lock));
        q.Open();
        ASSERT_EQ(q.RecordCount(), 1);
        EXPECT_EQ(q.FieldByName("LockName").AsString(), "Room 101");
    }
    int spare = 0;
    bool annasKey = false;
    for (const auto& e : std::filesystem::directory_iterator(ws / "Keys")) {
        auto loaded = onewire::loadKeyFile(e.path());
        ASSERT_TRUE(loaded.key) << loaded.error;
        ++spare;
        TDbQuery q(&db);
        q.SQL = "SELECT FirstName FROM KeyManagement WHERE SerialID = :SerialID";
        q.ParamByName("SerialID").AsString(romIdText(loaded.key->rom));
        q.Open();
        annasKey = annasKey || (q.RecordCount() == 1 && q.FieldByName("FirstName").AsString() == "Anna");
    }
    EXPECT_EQ(spare, 3);
    EXPECT_TRUE(annasKey);
    int locks = 0;
    for (const auto& e : std::filesystem::directory_iterator(ws / "Locks"))
        locks += e.path().extension() == ".lock" ? 1 : 0;
    EXPECT_EQ(locks, 3);
    db.Close();
    std::filesystem::remove_all(ws);
}
