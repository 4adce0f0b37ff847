#pragma once
// The MDI main window: the key windows' menu items and tool buttons with their level rule,
// one child window at a time, the status bar with its clock, and what start and close keep
// (Config.dat, the login history, the reader's id).
#include "app/shell/window_registry.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QTimer;
class QToolBar;

class TMain_Form : public QMainWindow {
    Q_OBJECT
public:
    explicit TMain_Form(QWidget* parent = nullptr);
    ~TMain_Form() override;

    // Start: login history row, Config.dat, size by screen mode, the reader check.
    void FormCreate();

    // Closes the open MDI child; false when it refused (unsaved edits kept).
    bool CloseMyMDI();
    // Creates a window as a maximised MDI child, with the status texts and the hourglass.
    QWidget* OpenMaximised(const ChildWindowFactory& create);
    // The handler of every key window's menu item and tool button.
    void openKeyWindow(const QString& caption);

    // The tool buttons a key read disables while it runs.
    void setToolButtonsEnabled(bool enabled);

    QMdiArea* mdiArea() const { return mdiArea_; }
    QAction* menuAction(const QString& caption) const;
    QAction* toolAction(const QString& caption) const;
    QWidget* openChild() const; // the window of the open MDI child, or null
    QString statusText() const;
    QString clockText() const;

    // How the reader is looked for: returns the reader's own id chip as 16 hex digits, or
    // empty. Replaced in tests; the default asks the reader on SettingsRecord's port.
    std::function<std::string()> readerProbe;
    // Where Config.dat lives (the current folder).
    QString configFile = QStringLiteral("Config.dat");

    void setStatusText(const QString& text);
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void checkReader();
    QMdiSubWindow* addChild(QWidget* window);

    QMdiArea* mdiArea_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QLabel* operatorPanel_ = nullptr;
    QLabel* clockPanel_ = nullptr;
    QTimer* Timer1 = nullptr;
    std::map<QString, QAction*> menuActions_;
    std::map<QString, QAction*> toolActions_;
    std::map<QString, QPointer<QWidget>> instances_;
    int loginHistoryId_ = 0;
};

extern TMain_Form* Main_Form;
