#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_record.h"
#include "app/shell/shell_form.h"
#include "app/shell/shell_application.h"
#include "app/shell/window_registry.h"
#include "keyaccess/dialog_layer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QAction>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

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

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

int openChildren(TMain_Form& w)
{
    int n = 0;
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
        n += sub->isHidden() ? 0 : 1;
    return n;
}

class MainWindowTest : public ::testing::Test {
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
    }
    void TearDown() override
    {
        flushDeletes();
        clearChildWindowRegistry();
        TLogin_Form::OperatorLevel = 0;
    }
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(MainWindowTest, EachMenuItemKeepsItsLevelRule)
{
    TMain_Form w;
    w.show();
    EXPECT_FALSE(w.windowIcon().isNull()); // the program's own, which every window and box takes
    for (int level : { 0, 1, 2 }) {
        TLogin_Form::OperatorLevel = level;
        for (const auto& item : keyWindowItems()) {
            dialogs.boxes.clear();
            w.menuAction(item.caption)->trigger();
            flushDeletes();
            const bool allowed = level >= (item.caption == "Get Audit Trail" ? 2 : 1);
            if (allowed) {
                EXPECT_TRUE(dialogs.boxes.empty()) << item.caption.toStdString();
                ASSERT_NE(w.openChild(), nullptr);
                EXPECT_EQ(w.openChild()->objectName(), item.caption);
            } else {
                ASSERT_EQ(dialogs.boxes.size(), 1u) << item.caption.toStdString() << " level " << level;
                EXPECT_EQ(dialogs.boxes[0].type, BoxType::Information);
                EXPECT_EQ(dialogs.boxes[0].text, "This funtion need higher user level.");
                // The open child was closed first, as the menu handlers do.
                EXPECT_EQ(w.openChild(), nullptr);
            }
        }
    }
    // The tool buttons follow the same rule.
    TLogin_Form::OperatorLevel = 1;
    dialogs.boxes.clear();
    w.toolAction("Get Audit Trail")->trigger();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "This funtion need higher user level." });
    w.toolAction("Read Key")->trigger();
    EXPECT_EQ(w.openChild()->objectName(), "Read Key");
}

TEST_F(MainWindowTest, OneChildWindowAtATime)
{
    TMain_Form w;
    w.show();
    w.menuAction("Read Key")->trigger();
    w.menuAction("Remote Code")->trigger();
    flushDeletes();
    EXPECT_EQ(openChildren(w), 1);
    EXPECT_EQ(DummyChild::alive, 1);
    EXPECT_EQ(w.openChild()->objectName(), "Remote Code");

    // A child that will not close (unsaved edits) stays, and nothing else opens.
    static_cast<DummyChild*>(w.openChild())->refuseClose = true;
    w.menuAction("Multi-Lock Programming")->trigger();
    flushDeletes();
    EXPECT_EQ(openChildren(w), 1);
    EXPECT_EQ(w.openChild()->objectName(), "Remote Code");
    static_cast<DummyChild*>(w.openChild())->refuseClose = false;
    w.menuAction("Multi-Lock Programming")->trigger();
    flushDeletes();
    EXPECT_EQ(openChildren(w), 1);
    EXPECT_EQ(w.openChild()->objectName(), "Multi-Lock Programming");

    // A child that closes itself (its Close button) is gone, and opens afresh next time.
    w.openChild()->close();
    flushDeletes();
    EXPECT_EQ(openChildren(w), 0);
    EXPECT_EQ(DummyChild::alive, 0);
    w.menuAction("Multi-Lock Programming")->trigger();
    ASSERT_NE(w.openChild(), nullptr);
    EXPECT_TRUE(w.openChild()->isVisible());
    EXPECT_EQ(DummyChild::alive, 1);
}

TEST_F(MainWindowTest, ScreenModeDecidesMaximisedOrNormal)
{
    TMain_Form w;
    w.show();
    SettingsRecord.ScreenMode = 1;
    w.menuAction("Remote Code")->trigger();
    ASSERT_NE(w.mdiArea()->activeSubWindow(), nullptr);
    EXPECT_FALSE(w.mdiArea()->subWindowList().back()->isMaximized());
    w.menuAction("Read Key")->trigger(); // always maximised
    ASSERT_FALSE(w.mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(w.mdiArea()->subWindowList().back()->isMaximized());
    SettingsRecord.ScreenMode = 0;
    w.menuAction("Copy Lock Settings")->trigger();
    ASSERT_FALSE(w.mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(w.mdiArea()->subWindowList().back()->isMaximized());
}

TEST_F(MainWindowTest, OpenMaximisedShowsItsStatusTexts)
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

TEST_F(MainWindowTest, UnregisteredWindowsHaveDisabledItemsAndAReadDisablesToolButtons)
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

TEST_F(MainWindowTest, ReaderCheckMakesTwoAttemptsAndGoesOnWithoutAReader)
{
    TMain_Form w;
    const auto dir = QDir::temp().filePath(QStringLiteral("ios_main_%1").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(dir);
    w.configFile = dir + "/Config.dat";
    int calls = 0;
    w.readerProbe = [&] {
        ++calls;
        return std::string();
    };
    w.FormCreate();
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(SettingsRecord.ReaderRomId.empty());
    const std::string noConfig = "Config.dat not found, the default settings are in use.";
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string> { noConfig, "Please Check your PC iButton Reader!" }));

    calls = 0;
    dialogs.boxes.clear();
    w.readerProbe = [&] { return ++calls == 2 ? std::string("5A00000012345601") : std::string(); };
    w.FormCreate();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(SettingsRecord.ReaderRomId, "5A00000012345601");
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { noConfig });
    // No Config.dat: the defaults, written when the window closes.
    EXPECT_EQ(SettingsRecord.FacilityCode, shell::kFactoryFacilityCode);
    dialogs.answers = { BoxResult::Cancel };
    EXPECT_FALSE(w.close());
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes.back().text, "Quit program now?");
    EXPECT_FALSE(QFile::exists(w.configFile));
    EXPECT_TRUE(w.close());
    EXPECT_EQ(QFileInfo(w.configFile).size(), 9);
    QDir(dir).removeRecursively();
}

TEST_F(MainWindowTest, AnUnreadableConfigDatIsToldAndKeptAside)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("ios_config_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto bytesOf = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::pair<std::string, const char*> rows[] = {
        { std::string("\x01\x05\x32\x00\x06\x00\x12\x34", 8), "Config.dat.bad" }, // truncated
        { std::string(9, '\xFF'), "Config.dat.bad.2" }, // no facility code: an earlier copy stays
        { "garbage, not settings\n", "Config.dat.bad.3" },
    };
    for (const auto& [bytes, aside] : rows) {
        SCOPED_TRACE(aside);
        std::ofstream(dir / "Config.dat", std::ios::binary) << bytes;
        dialogs.boxes.clear();
        {
            TMain_Form w;
            w.configFile = QString::fromStdString((dir / "Config.dat").string());
            w.readerProbe = [] { return std::string("5A00000012345601"); };
            w.FormCreate();
            EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Config.dat could not be read, it has been kept as "
                                           + std::string(aside) + " and the default settings are in use." });
            EXPECT_EQ(SettingsRecord.FacilityCode, shell::kFactoryFacilityCode);
            EXPECT_TRUE(w.close());
        }
        EXPECT_EQ(bytesOf(dir / aside), bytes);
        EXPECT_EQ(bytesOf(dir / "Config.dat").size(), 9u);
    }
    fs::remove_all(dir);
}

TEST_F(MainWindowTest, StatusBarClockTicks)
{
    TMain_Form w;
    w.Timer1Timer();
    EXPECT_EQ(w.clockText().size(), 19);
    EXPECT_TRUE(w.clockText().startsWith(QDate::currentDate().toString("yyyy-MM-dd")));
}

TEST(UncaughtException, StandardErrorBoxAndTheProgramGoesOn)
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
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Table LockManagement is locked");
}
