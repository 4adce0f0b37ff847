// The picture tests run inside an application object on Qt's offscreen platform, with the
// GIF picture registered as the program's start-up registers it.
#include "graphics/gif/qt/gif_picture.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    registerGIFPicture();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
