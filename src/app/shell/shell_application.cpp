#include "app/shell/shell_application.h"

#include "app/shell/program_icon.h"
#include "keyaccess/dialog_layer.h"

#include <QGuiApplication>
#include <QTabBar>
#include <string>

ShellApplication::ShellApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setWindowIcon(programIcon()); // every window and message box, instead of the toolkit's
}

bool ShellApplication::notify(QObject* receiver, QEvent* event)
{
    // Every tab control takes the focus when a tab is clicked, so that a field which opens a
    // picker when it is entered is entered by the next click on it after a tab was chosen.
    if (event->type() == QEvent::Polish)
        if (auto* tabs = qobject_cast<QTabBar*>(receiver))
            tabs->setFocusPolicy(Qt::StrongFocus);
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showUncaughtException(std::current_exception());
        return false;
    }
}

void showUncaughtException(std::exception_ptr error)
{
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown error.";
    }
    if (text.empty())
        text = "Unknown error.";
    // A handler that failed under the hourglass must not leave it behind.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    appDialogs().error(text);
}
