// The program: the application object with its standard error box, the Qt message boxes,
// and the start-up sequence in the current folder.
#include "app/missions/create_password_form.h"
#include "app/missions/multi_audit_trail_form.h"
#include "app/shell/qt_dialogs.h"
#include "app/shell/shell_application.h"
#include "app/shell/startup.h"
#include "app/shell/window_registry.h"
#include "widgets/sidebar/side_bar_cursors.h"
#include "workbook/export.h"

#include <QDesktopServices>
#include <QUrl>

// The key windows register their menu items here as their libraries arrive, e.g.
//   registerChildWindow("Read Key", [] { return new TReadCard_Form; });
static void registerKeyWindows()
{
    registerChildWindow(kGetAuditTrailItem, [] { return new TMultiAuditTrail_Form; });
    registerChildWindow(kRemoteCodeItem, [] { return new TCreatePassword_Form; });
}

// What the program's components register before the login window: the side-bar store with
// its drag cursors, and where exported workbooks go once written.
static void registerComponents()
{
    registerSideBarStore();
    workbook::exportSettings().openHook = [](const std::filesystem::path& file) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    };
}

int main(int argc, char** argv)
{
    ShellApplication app(argc, argv);
    registerComponents();
    QtDialogs dialogs;
    setAppDialogs(&dialogs);
    const int rc = runStartUp("iOstrivaneDB.db", { registerKeyWindows, {} });
    setAppDialogs(nullptr);
    return rc;
}
