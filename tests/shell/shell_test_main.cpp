// The test program's application object is the program's own, so that the standard error
// box for an exception that reaches the event loop is tested as it runs.
#include "app/shell/shell_application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ShellApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
