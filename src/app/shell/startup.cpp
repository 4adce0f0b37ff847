#include "app/shell/startup.h"

#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/window_routines.h"

#include <QApplication>
#include <memory>

int runStartUp(const std::string& databaseFile, const StartUpHooks& hooks)
{
    if (hooks.registerWindows)
        hooks.registerWindows();
    std::unique_ptr<TLogin_Form> login;
    try {
        login = std::make_unique<TLogin_Form>(databaseFile);
    } catch (const std::exception& e) {
        MyError("Cannot open the database " + databaseFile + ": " + e.what());
        return 1;
    }
    if (login->exec() != QDialog::Accepted)
        return 0;
    int rc = 0;
    {
        TMain_Form mainForm;
        try {
            mainForm.FormCreate();
        } catch (const std::exception& e) {
            MyError(e.what());
        }
        mainForm.show();
        if (hooks.mainWindowShown)
            hooks.mainWindowShown(mainForm);
        rc = QApplication::exec();
    }
    // The login window goes last: it closes the connection every window used.
    login.reset();
    return rc;
}
