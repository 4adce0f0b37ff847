// Start-up: the login window (which owns the one database connection), then the main window
// and the message loop; the login window is freed last, which closes the connection.
#include "app/keyreading/read_card_form.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/qt_dialogs.h"
#include "app/shell/shell_application.h"
#include "app/shell/window_routines.h"

#include <memory>

// The key windows register their menu items here as their libraries arrive, e.g.
//   registerChildWindow("Read Key", [] { return new TReadCard_Form; });
static void registerKeyWindows() { registerChildWindow("Read Key", [] { return new TReadCard_Form; }); }

int main(int argc, char** argv)
{
    ShellApplication app(argc, argv);
    QtDialogs dialogs;
    setAppDialogs(&dialogs);
    registerKeyWindows();

    int rc = 0;
    {
        std::unique_ptr<TLogin_Form> login;
        try {
            login = std::make_unique<TLogin_Form>("iOstrivaneDB.db");
        } catch (const std::exception& e) {
            MyError(std::string("Cannot open the database iOstrivaneDB.db: ") + e.what());
            setAppDialogs(nullptr);
            return 1;
        }
        if (login->exec() == QDialog::Accepted) {
            TMain_Form mainForm;
            try {
                mainForm.FormCreate();
            } catch (const std::exception& e) {
                MyError(e.what());
            }
            mainForm.show();
            rc = app.exec();
        }
    }
    setAppDialogs(nullptr);
    return rc;
}
