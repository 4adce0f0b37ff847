// The side-bar form stream reader on arbitrary bytes: refused with a StreamError or read
// whole, never a crash or a leak.
#include "widgets/sidebar/component_stream.h"
#include "widgets/sidebar/side_bar_cursors.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::unique_ptr<QGuiApplication> app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "fuzz_sidebar_stream";
        static char* argv[] = { name, nullptr };
        auto a = std::make_unique<QGuiApplication>(argc, argv);
        registerSideBarStore();
        return a;
    }();
    QObject owner;
    try {
        delete sidebar::readComponent(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), &owner);
    } catch (const sidebar::StreamError&) {
    }
    return 0;
}
