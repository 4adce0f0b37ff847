#include "app/shell/shell_application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ShellApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
