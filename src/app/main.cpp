// The program: the application object with its standard error box, the Qt message boxes,
// and the start-up sequence in the current folder.
#include "app/keyreading/read_card_form.h"
#include "app/missions/multi_audit_trail_form.h"
#include "app/missions/multi_key_assignment_form.h"
#include "app/missions/multi_time_assignment_form.h"
#include "app/shell/qt_dialogs.h"
#include "app/shell/shell_application.h"
#include "app/shell/startup.h"
#include "app/shell/window_registry.h"
#include "graphics/gif/qt/gif_picture.h"
#include "widgets/sidebar/side_bar_cursors.h"
#include "workbook/export.h"

#include <QDesktopServices>
#include <QUrl>

// The key windows, by the caption of the menu item and tool button that opens each.
static void registerKeyWindows()
{
    registerChildWindow("Read Key", [] { return new TReadCard_Form; });
    registerChildWindow(kGetAuditTrailItem, [] { return new TMultiAuditTrail_Form; });
    registerChildWindow("Multi-Lock Programming", [] { return new TMultiKeyAssignment_Form; });
    registerChildWindow("Copy Lock Settings", [] { return new TMultiTimeAssignment_Form; });
}

// What the program's components register before the login window: the GIF picture format,
// the side-bar store with its drag cursors, and where exported workbooks go once written.
static void registerComponents()
{
    registerGIFPicture();
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
