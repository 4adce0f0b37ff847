// The test program's application object is the program's own, so that the standard error
// box for an exception that reaches the event loop is tested as it runs.
#include "app/shell/shell_application.h"

#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ShellApplication app(argc, argv);
    QLocale::setDefault(QLocale::c()); // dates and times shown do not depend on the machine
    return RUN_ALL_TESTS();
}
