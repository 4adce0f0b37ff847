#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_record.h"
#include "app/shell/shell_application.h"
#include "app/shell/shell_form.h"
#include "app/shell/window_registry.h"
#include "keyaccess/dialog_layer.h"
#include "test_db.h"

#include <QAction>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <stdexcept>

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

// Opens a window from the menu; the shown children and the caption of the open one.
std::string open(TMain_Form& w, const QString& caption)
{
    if (!caption.isEmpty())
        w.menuAction(caption)->trigger();
    flushDeletes();
    int shown = 0;
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
        shown += sub->isHidden() ? 0 : 1;
    return std::to_string(shown) + " " + (w.openChild() ? w.openChild()->objectName().toStdString() : "-");
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

const std::string kHigherLevel = "This funtion need higher user level.";

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
            const std::string shown = open(w, item.caption);
            if (level >= (item.caption == "Get Audit Trail" ? 2 : 1)) {
                EXPECT_TRUE(dialogs.boxes.empty()) << item.caption.toStdString();
                EXPECT_EQ(shown, "1 " + item.caption.toStdString());
            } else {
                // The open child was closed first, as the menu handlers do.
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
    w.toolAction("Read Key")->trigger();
    EXPECT_EQ(open(w, ""), "1 Read Key");
}

TEST_F(MainWindowTest, OneChildWindowAtATime)
{
    TMain_Form w;
    w.show();
    auto lastMaximised = [&] { return w.mdiArea()->subWindowList().back()->isMaximized(); };
    open(w, "Read Key");
    EXPECT_EQ(open(w, "Remote Code"), "1 Remote Code");
    EXPECT_EQ(DummyChild::alive, 1);
    // A child that will not close (unsaved edits) stays, and nothing else opens.
    static_cast<DummyChild*>(w.openChild())->refuseClose = true;
    EXPECT_EQ(open(w, "Multi-Lock Programming"), "1 Remote Code");
    static_cast<DummyChild*>(w.openChild())->refuseClose = false;
    EXPECT_EQ(open(w, "Multi-Lock Programming"), "1 Multi-Lock Programming");
    // A child that closes itself (its Close button) is gone, and opens afresh next time.
    w.openChild()->close();
    EXPECT_EQ(open(w, ""), "0 -");
    EXPECT_EQ(DummyChild::alive, 0);
    EXPECT_EQ(open(w, "Multi-Lock Programming"), "1 Multi-Lock Programming");
    EXPECT_TRUE(w.openChild()->isVisible());
    EXPECT_EQ(DummyChild::alive, 1);

    // Children are maximised but for ScreenMode 1; Read Key always.
    SettingsRecord.ScreenMode = 1;
    open(w, "Remote Code");
    EXPECT_FALSE(lastMaximised());
    open(w, "Read Key");
    EXPECT_TRUE(lastMaximised());
    SettingsRecord.ScreenMode = 0;
    open(w, "Copy Lock Settings");
    EXPECT_TRUE(lastMaximised());
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
    // The status bar clock.
    w.Timer1Timer();
    EXPECT_EQ(w.clockText().size(), 19);
    EXPECT_TRUE(w.clockText().startsWith(QDate::currentDate().toString("yyyy-MM-dd")));
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

TEST_F(MainWindowTest, StartReadsConfigDatOrSaysWhyNotAndTriesTheReaderTwice)
{
    namespace fs = std::filesystem;
    const fs::path dir = testdb::freshFolder("config"), file = dir / "Config.dat";
    auto bytesOf = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    // Config.dat as found (none at first) and the name it is kept aside under.
    const std::pair<std::string, std::string> rows[] = {
        { "", "" },
        { std::string("\x01\x05\x32\x00\x06\x00\x12\x34", 8), "Config.dat.bad" }, // truncated
        { std::string(9, '\xFF'), "Config.dat.bad.2" }, // no facility code: an earlier copy stays
        { "garbage, not settings\n", "Config.dat.bad.3" },
    };
    for (const auto& [bytes, aside] : rows) {
        SCOPED_TRACE(aside);
        if (!bytes.empty())
            std::ofstream(file, std::ios::binary) << bytes;
        dialogs.boxes.clear();
        TMain_Form w;
        w.configFile = QString::fromStdString(file.string());
        // No reader at all the first time; then found at the second attempt.
        int calls = 0;
        w.readerProbe = [&] {
            return ++calls == 2 && !bytes.empty() ? std::string("5A00000012345601") : std::string();
        };
        w.FormCreate();
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(SettingsRecord.FacilityCode, shell::kFactoryFacilityCode);
        if (bytes.empty()) {
            EXPECT_EQ(dialogs.texts(),
                (std::vector<std::string> { "Config.dat not found, the default settings are in use.",
                    "Please Check your PC iButton Reader!" }));
            EXPECT_TRUE(SettingsRecord.ReaderRomId.empty());
            // The defaults are written when the window closes.
            dialogs.answers = { BoxResult::Cancel };
            EXPECT_FALSE(w.close());
            EXPECT_EQ(dialogs.boxes.back().text, "Quit program now?");
            EXPECT_FALSE(fs::exists(file));
        } else {
            EXPECT_EQ(dialogs.texts(),
                std::vector<std::string> { "Config.dat could not be read, it has been kept as " + aside
                    + " and the default settings are in use." });
            EXPECT_EQ(SettingsRecord.ReaderRomId, "5A00000012345601");
            EXPECT_EQ(bytesOf(dir / aside), bytes);
        }
        EXPECT_TRUE(w.close());
        EXPECT_EQ(bytesOf(file).size(), 9u);
    }
    fs::remove_all(dir);
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
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "Table LockManagement is locked" });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
}
