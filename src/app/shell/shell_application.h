#pragma once
// The application object: an exception that no handler catches is shown in the standard
// error box and the program waits for the next event. It gives every window the program's icon,
// and every tab control the focus when one of its tabs is clicked.
#include <QApplication>
#include <exception>

class ShellApplication : public QApplication {
public:
    ShellApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The standard error box for an exception that reached the event loop.
void showUncaughtException(std::exception_ptr error);

// The silent abort: cancels an operation in progress without a box.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};
