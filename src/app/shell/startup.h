#pragma once
// The program's start: the login window (it opens the database in the current folder), then,
// after a successful login, the main window and the message loop. Three failed logins, or
// Cancel, end the program without a main window.
#include <functional>
#include <string>

class TMain_Form;

struct StartUpHooks {
    std::function<void()> registerWindows;         // before the main window is made
    std::function<void(TMain_Form&)> mainWindowShown; // tests: drive the main window
};

// Returns the program's exit code: 0 after a normal end, 1 when the database cannot be opened.
int runStartUp(const std::string& databaseFile = "iOstrivaneDB.db", const StartUpHooks& hooks = {});
