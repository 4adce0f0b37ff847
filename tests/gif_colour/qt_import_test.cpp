#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

#include "graphics/gif/qt/colour_import.h"

using gifcolour::ReductionOptions;

namespace {

// Icons are rendered through pixmaps, which want the GUI application.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "gif_colour_qt_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QGuiApplication> app_;
};

const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

TGIFColor entry(const TGIFSubImage& f, int i) { return f.colorMap().entries()[static_cast<std::size_t>(i)]; }

QImage gradient(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 255 / (w - 1), y * 255 / (h - 1), (x * y) & 255));
    return img;
}

}  // namespace

TEST(QtReduce, IndexedResultMatchesTheCore) {
    QImage src = gradient(23, 11);
    QImage out = gifcolour::reduceColors(src, reWebSafe216, dtFloydSteinberg, 8);
    ASSERT_EQ(out.format(), QImage::Format_Indexed8);
    EXPECT_EQ(out.colorCount(), 216);
    gifcolour::ReducedImage core =
        ReduceColors(gifcolour::rgbImageFrom(src), reWebSafe216, dtFloydSteinberg, 8, nullptr);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x) ASSERT_EQ(out.pixelIndex(x, y), core.index(x, y));
    EXPECT_EQ(out.color(36 * 5 + 6 + 2), qRgb(255, 51, 102));

    QImage same = gifcolour::reduceColors(src, reNone, dtNearest, 8);
    ASSERT_EQ(same.format(), QImage::Format_RGB888);
    EXPECT_EQ(same, src.convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(gifcolour::reduceColors(src, reGray4, 42, 8).isNull());
}

TEST(QtAssignBitmap, MonoKeepsItsPixelsAndTable) {
    for (auto format : {QImage::Format_Mono, QImage::Format_MonoLSB}) {
        QImage img(10, 3, format);
        img.setColorTable({qRgb(9, 8, 7), qRgb(250, 240, 230)});
        img.fill(0);
        img.setPixel(0, 0, 1);
        img.setPixel(9, 0, 1);
        img.setPixel(4, 2, 1);
        TGIFSubImage frame(nullptr);
        gifcolour::assignBitmap(frame, img, ReductionOptions{});
        ASSERT_EQ(frame.colorMap().count(), 2);
        EXPECT_EQ(entry(frame, 1), (TGIFColor{250, 240, 230}));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x) ASSERT_EQ(frame.pixel(x, y), img.pixelIndex(x, y)) << x << "," << y;
    }
}

TEST(QtAssignBitmap, Indexed8BringsItsOwnColourCount) {
    QImage img(4, 2, QImage::Format_Indexed8);
    img.setColorTable({qRgb(1, 0, 0), qRgb(2, 0, 0), qRgb(3, 0, 0), qRgb(4, 0, 0), qRgb(5, 0, 0)});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) img.setPixel(x, y, static_cast<uint>((x + y) % 5));
    TGIFSubImage frame(nullptr);
    gifcolour::assignBitmap(frame, img, ReductionOptions{});
    EXPECT_EQ(frame.colorMap().count(), 5);
    EXPECT_EQ(frame.pixel(3, 1), 4);
    EXPECT_EQ(entry(frame, 4), (TGIFColor{5, 0, 0}));
}

TEST(QtAssignBitmap, TrueColourIsReducedByTheOptions) {
    QImage img(3, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(10, 20, 30));
    img.setPixel(1, 0, qRgb(0, 0, 0));
    img.setPixel(2, 0, qRgb(10, 20, 30));
    TGIFSubImage frame(nullptr);
    gifcolour::assignBitmap(frame, img, {reNone, dtNearest, 8});
    ASSERT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(entry(frame, 0), (TGIFColor{10, 20, 30}));
    EXPECT_EQ(frame.pixel(1, 0), 1);
    gifcolour::assignBitmap(frame, img, ReductionOptions{});
    EXPECT_EQ(frame.colorMap().count(), 216);
    EXPECT_EQ(frame.pixel(0, 0), 0);  // (13, 23, 33) / 51 -> level 0
}

TEST(QtAssignIcon, TransparentPartBecomesTheTransparentIndex) {
    QImage art(8, 8, QImage::Format_ARGB32);
    art.fill(Qt::transparent);
    for (int y = 0; y < 8; ++y)
        for (int x = 4; x < 8; ++x) art.setPixel(x, y, qRgb(255, 0, 0));
    QIcon icon(QPixmap::fromImage(art));
    TGIFSubImage frame(nullptr);
    gifcolour::assignIcon(frame, icon, {reNone, dtNearest, 8}, QSize(8, 8));
    ASSERT_EQ(frame.width(), 8);
    ASSERT_NE(frame.graphicControlExtension(), nullptr);
    const int t = frame.transparentIndex();
    ASSERT_GE(t, 0);
    EXPECT_EQ(frame.pixel(0, 0), t);
    EXPECT_EQ(frame.pixel(3, 7), t);
    EXPECT_EQ(entry(frame, frame.pixel(4, 0)), (TGIFColor{255, 0, 0}));
}

TEST(QtAssignIcon, FullyOpaqueIconGainsNoControlExtension) {
    QImage art(4, 4, QImage::Format_ARGB32);
    art.fill(qRgb(0, 0, 255));
    art.setPixel(0, 0, qRgb(0, 255, 0));
    TGIFSubImage frame(nullptr);
    gifcolour::assignIconImage(frame, art, {reNone, dtNearest, 8});
    EXPECT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(frame.graphicControlExtension(), nullptr);
    EXPECT_EQ(frame.extensions().count(), 0);
}

TEST(QtAssignPicture, UncoveredAreaIsTransparent) {
    QPicture picture;
    {
        QPainter p(&picture);
        p.fillRect(QRect(0, 0, 10, 10), QColor(255, 0, 0));
        p.fillRect(QRect(20, 0, 10, 10), QColor(0, 0, 255));
    }
    TGIFSubImage frame(nullptr);
    gifcolour::assignPicture(frame, picture, {reNone, dtNearest, 8});
    ASSERT_EQ(frame.width(), 30);
    ASSERT_EQ(frame.height(), 10);
    const int t = frame.transparentIndex();
    ASSERT_GE(t, 0);
    EXPECT_EQ(frame.pixel(15, 5), t);
    EXPECT_EQ(entry(frame, frame.pixel(2, 2)), (TGIFColor{255, 0, 0}));
    EXPECT_EQ(entry(frame, frame.pixel(25, 9)), (TGIFColor{0, 0, 255}));

    TGIFSubImage blank(nullptr);
    gifcolour::assignPicture(blank, QPicture(), ReductionOptions{});
    EXPECT_TRUE(blank.empty());
}
