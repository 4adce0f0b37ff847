#include "app/shell/main_window.h"

#include "app/shell/login_form.h"
#include "app/shell/login_history.h"
#include "app/shell/reader_check.h"
#include "app/shell/settings_record.h"
#include "app/shell/shell_form.h"
#include "app/shell/window_routines.h"
#include "keyaccess/dialog_layer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

TMain_Form* Main_Form = nullptr;

namespace {
const QString kStatusIdle = QStringLiteral("Status: ");
const QString kStatusOpening = QStringLiteral("Status: Open windows,please waiting...");
const QString kLevelTooLow = QStringLiteral("This funtion need higher user level.");
} // namespace

TMain_Form::TMain_Form(QWidget* parent)
    : QMainWindow(parent)
{
    Main_Form = this;
    setObjectName(QStringLiteral("Main_Form"));
    setWindowTitle(QStringLiteral("iOstrivane"));
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("MDIArea"));
    setCentralWidget(mdiArea_);

    statusPanel_ = new QLabel(kStatusIdle, this);
    operatorPanel_ = new QLabel(this);
    clockPanel_ = new QLabel(this);
    statusBar()->addWidget(statusPanel_, 1);
    statusBar()->addPermanentWidget(operatorPanel_);
    statusBar()->addPermanentWidget(clockPanel_);

    buildMenus();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TMain_Form::Timer1Timer);
    Timer1->start();
    Timer1Timer();

    readerProbe = [] {
        return findReaderRomId(SettingsRecord.PortNum, SettingsRecord.PortType, [](const std::string& romId) {
            return Login_Form && isUserKeySerial(Login_Form->DbConnection1, romId);
        });
    };
}

TMain_Form::~TMain_Form()
{
    if (Main_Form == this)
        Main_Form = nullptr;
}

void TMain_Form::buildMenus()
{
    QMenu* system = menuBar()->addMenu(QStringLiteral("&System"));
    QAction* exitAction = system->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("Exit1"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* keys = menuBar()->addMenu(QStringLiteral("&Key"));
    toolBar_ = addToolBar(QStringLiteral("Tools"));
    toolBar_->setObjectName(QStringLiteral("ToolBar1"));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const auto& item : keyWindowItems()) {
        const QString caption = item.caption;
        const bool registered = findChildWindowFactory(caption) != nullptr;
        QAction* m = keys->addAction(caption);
        m->setEnabled(registered);
        connect(m, &QAction::triggered, this, [this, caption] { openKeyWindow(caption); });
        menuActions_[caption] = m;
        // "Copy Lock Settings" has a menu item only.
        if (caption != QLatin1String("Copy Lock Settings")) {
            QAction* t = toolBar_->addAction(caption);
            t->setEnabled(registered);
            connect(t, &QAction::triggered, this, [this, caption] { openKeyWindow(caption); });
            toolActions_[caption] = t;
        }
    }
}

QAction* TMain_Form::menuAction(const QString& caption) const
{
    auto it = menuActions_.find(caption);
    return it == menuActions_.end() ? nullptr : it->second;
}

QAction* TMain_Form::toolAction(const QString& caption) const
{
    auto it = toolActions_.find(caption);
    return it == toolActions_.end() ? nullptr : it->second;
}

void TMain_Form::setToolButtonsEnabled(bool enabled)
{
    for (auto& [caption, action] : toolActions_)
        action->setEnabled(enabled && findChildWindowFactory(caption) != nullptr);
}

QString TMain_Form::statusText() const { return statusPanel_->text(); }
QString TMain_Form::clockText() const { return clockPanel_->text(); }
void TMain_Form::setStatusText(const QString& text) { statusPanel_->setText(text); }

void TMain_Form::Timer1Timer()
{
    clockPanel_->setText(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void TMain_Form::FormCreate()
{
    SettingsRecord.NoLogoutStamp = false;
    if (Login_Form) {
        operatorPanel_->setText(QStringLiteral("Operator: ") + TLogin_Form::OperatorName);
        // A database that refuses the history row must not keep Config.dat unread: the
        // close would then write defaults over the site's settings.
        try {
            setWindowTitle(QString::fromStdString(mainWindowTitle(Login_Form->DbConnection1)));
            loginHistoryId_ = startLoginHistory(Login_Form->DbConnection1, TLogin_Form::OperatorName.toStdString(), TLogin_Form::OperatorLevel);
        } catch (const std::exception& e) {
            MyError(e.what());
        }
    }
    // Unreadable settings are said at once: the defaults hold another facility code, so every
    // site key would be refused.
    const std::string configNotice = shell::loadConfigDat(SettingsRecord, configFile.toStdString());
    if (!configNotice.empty())
        appDialogs().warning(configNotice);
    if (SettingsRecord.ScreenMode == 0)
        resize(1024, 768);
    else
        resize(800, 600);
    checkReader();
}

void TMain_Form::checkReader()
{
    SettingsRecord.ReaderRomId.clear();
    if (!readerProbe)
        return;
    for (int attempt = 0; attempt < 2 && SettingsRecord.ReaderRomId.empty(); ++attempt)
        SettingsRecord.ReaderRomId = readerProbe();
    if (SettingsRecord.ReaderRomId.empty())
        MyError("Please Check your PC iButton Reader!");
}

QWidget* TMain_Form::openChild() const
{
    for (QMdiSubWindow* sub : mdiArea_->subWindowList())
        if (!sub->isHidden() && sub->widget())
            return sub->widget();
    return nullptr;
}

bool TMain_Form::CloseMyMDI()
{
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (sub->isHidden())
            continue; // closed, waiting to be freed
        QWidget* window = sub->widget();
        if (!sub->close())
            return false;
        for (auto& [caption, instance] : instances_)
            if (instance == window)
                instance = nullptr;
    }
    return true;
}

QMdiSubWindow* TMain_Form::addChild(QWidget* window)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* sub = mdiArea_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // A window that closes itself (its Close button) takes its frame with it.
    if (auto* form = qobject_cast<ShellForm*>(window))
        connect(form, &ShellForm::closed, sub, [sub] {
            sub->hide();
            sub->deleteLater();
        });
    return sub;
}

QWidget* TMain_Form::OpenMaximised(const ChildWindowFactory& create)
{
    setStatusText(kStatusOpening);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    setUpdatesEnabled(false);
    QWidget* window = nullptr;
    try {
        window = create();
        addChild(window)->showMaximized();
    } catch (...) {
        setUpdatesEnabled(true);
        QGuiApplication::restoreOverrideCursor();
        setStatusText(kStatusIdle);
        throw;
    }
    setUpdatesEnabled(true);
    QGuiApplication::restoreOverrideCursor();
    setStatusText(kStatusIdle);
    return window;
}

void TMain_Form::openKeyWindow(const QString& caption)
{
    const KeyWindowItem* item = findKeyWindowItem(caption);
    const ChildWindowFactory* create = findChildWindowFactory(caption);
    if (!item || !create)
        return;
    // One child window at a time: a child that keeps unsaved edits stays, and nothing opens.
    if (!CloseMyMDI())
        return;
    if (TLogin_Form::OperatorLevel < item->lowestLevel) {
        appDialogs().information(kLevelTooLow.toStdString());
        return;
    }
    QPointer<QWidget>& instance = instances_[caption];
    if (instance) {
        instance->show();
        instance->activateWindow();
        return;
    }
    if (item->opening == ChildOpening::Maximised || SettingsRecord.ScreenMode == 0) {
        instance = OpenMaximised(*create);
    } else {
        QWidget* window = (*create)();
        addChild(window)->show();
        instance = window;
    }
}

void TMain_Form::closeEvent(QCloseEvent* event)
{
    if (!MyConfirmation("Quit program now?")) {
        event->ignore();
        return;
    }
    if (!CloseMyMDI()) {
        event->ignore();
        return;
    }
    Timer1->stop();
    if (Login_Form && !SettingsRecord.NoLogoutStamp) {
        try {
            endLoginHistory(Login_Form->DbConnection1, loginHistoryId_);
        } catch (const std::exception& e) {
            MyError(e.what());
        }
    }
    try {
        shell::writeConfigDat(SettingsRecord, configFile.toStdString());
    } catch (const std::exception& e) {
        MyError(e.what());
    }
    event->accept();
}
