// Side-bar tests run inside an application object: cursors, menus and pixmaps need one.
#include "widgets/sidebar/side_bar_cursors.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    registerSideBarStore();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
