#include "app/shell/login_form.h"
#include "app/shell/login_history.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_record.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"
#include "test_db.h"

#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = testdb::freshFolder("login");
        dbFile = testdb::suppliedCopy(folder);
        TDbConnection db;
        db.Open(dbFile);
        db.ExecSQL("INSERT INTO Admin (UserName, Password, Level) VALUES ('desk', 'pw1', 1)");
        SettingsRecord = TSettingsRecord {};
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void attempt(TLogin_Form& f, const char* name, const char* password)
    {
        f.Edit1->setText(name);
        f.Edit2->setText(password);
        f.BitBtn1Click();
    }

    std::filesystem::path folder;
    std::string dbFile;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(LoginTest, NameAndPasswordCheckedAgainstTheOperators)
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

TEST_F(LoginTest, ThreeFailuresEndTheLogin)
{
    TLogin_Form f(dbFile);
    // Driven from inside the modal loop, as an operator would type.
    QTimer::singleShot(0, &f, [&] {
        attempt(f, "admin", "wrong");
        attempt(f, "nobody", "admin");
        EXPECT_TRUE(f.isVisible());
        attempt(f, "admin' OR '1'='1", "x' OR '1'='1");
    });
    EXPECT_EQ(f.exec(), QDialog::Rejected);
    EXPECT_EQ(f.failedAttempts(), 3);
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    for (const auto& b : dialogs.boxes)
        EXPECT_EQ(b.type, BoxType::Error);
    EXPECT_EQ(TLogin_Form::OperatorLevel, 0);
    EXPECT_TRUE(TLogin_Form::OperatorName.isEmpty());
}

TEST_F(LoginTest, CancelEndsTheLoginAndAMissingDatabaseIsAnError)
{
    {
        TLogin_Form f(dbFile);
        f.BitBtn2Click();
        EXPECT_EQ(f.result(), QDialog::Rejected);
    }
    EXPECT_THROW(TLogin_Form((folder / "missing.db").string()), EDatabaseError);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.db"));
}

TEST_F(LoginTest, LoginHistoryRowPerRunWithItsLogoutTime)
{
    TLogin_Form login(dbFile);
    attempt(login, "admin", "admin");
    TDbConnection& db = login.DbConnection1;
    // A row a crashed run left open.
    db.ExecSQL("INSERT INTO LoginHistory (ID, UserName, Level, LoginTime) VALUES (7, 'desk', 1, '2026-01-02 03:04:05')");

    auto rows = [&] {
        TDbQuery q(&db);
        q.SQL = "SELECT ID, UserName, Level, LoginTime, LogoutTime FROM LoginHistory ORDER BY ID";
        q.Open();
        std::vector<std::vector<std::string>> out;
        for (; !q.Eof(); q.Next())
            out.push_back({ q.FieldByName("ID").AsString(), q.FieldByName("UserName").AsString(),
                q.FieldByName("Level").AsString(), q.FieldByName("LogoutTime").IsNull() ? "null" : "set" });
        return out;
    };

    const QString config = QString::fromStdString((folder / "Config.dat").string());
    {
        TMain_Form w;
        w.configFile = config;
        w.readerProbe = [] { return std::string("A600000001D00D01"); };
        w.FormCreate();
        EXPECT_EQ(rows(), (std::vector<std::vector<std::string>> { { "7", "desk", "1", "set" }, { "8", "admin", "2", "null" } }));
        EXPECT_TRUE(w.close()); // the scripted box answers OK to "Quit program now?"
    }
    ASSERT_FALSE(rows().empty());
    EXPECT_EQ(rows().back(), (std::vector<std::string> { "8", "admin", "2", "set" }));

    // NoLogoutStamp: no logout time, Config.dat still rewritten.
    std::filesystem::remove(folder / "Config.dat");
    {
        TMain_Form w;
        w.configFile = config;
        w.readerProbe = [] { return std::string("A600000001D00D01"); };
        w.FormCreate();
        EXPECT_FALSE(SettingsRecord.NoLogoutStamp);
        SettingsRecord.NoLogoutStamp = true;
        EXPECT_TRUE(w.close());
    }
    ASSERT_FALSE(rows().empty());
    EXPECT_EQ(rows().back(), (std::vector<std::string> { "9", "admin", "2", "null" }));
    EXPECT_TRUE(std::filesystem::exists(folder / "Config.dat"));
}

TEST_F(LoginTest, AHistoryRowTheDatabaseRefusesKeepsConfigDatAndTheReaderCheck)
{
    TLogin_Form login(dbFile);
    attempt(login, "admin", "admin");
    login.DbConnection1.ExecSQL("DROP TABLE LoginHistory");
    const std::filesystem::path config = folder / "Config.dat";
    const TSettingsRecord site = [] {
        TSettingsRecord s;
        s.UserType = 1;
        s.MotorPulseTime = 7;
        s.LockBackDelay = 40;
        s.PortNum = 2;
        s.PortType = 5;
        s.ScreenMode = 1;
        s.FacilityCode = { 0x12, 0x34, 0x56 };
        return s;
    }();
    shell::writeConfigDat(site, config);
    {
        TMain_Form w;
        w.configFile = QString::fromStdString(config.string());
        w.readerProbe = [] { return std::string("A600000001D00D01"); };
        w.FormCreate();
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
        EXPECT_EQ(shell::configBytes(SettingsRecord), shell::configBytes(site));
        EXPECT_EQ(SettingsRecord.ReaderRomId, "A600000001D00D01");
        EXPECT_TRUE(w.close());
    }
    TSettingsRecord back;
    ASSERT_TRUE(shell::readConfigDat(back, config));
    EXPECT_EQ(shell::configBytes(back), shell::configBytes(site));
}
