// The picture tests run in an application on Qt's offscreen platform, the GIF picture registered.
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
