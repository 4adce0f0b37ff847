// Frames from Qt's images, icons and pictures, and the colour reduction on QImage.
#include "gif_codec/gif_test_util.h"
#include "graphics/gif/qt/colour_import.h"

#include <QPainter>
#include <QPixmap>

using gifcolour::ReductionOptions;

namespace {

QRgb colourOf(const TGIFSubImage& f, int x, int y)
{
    const TGIFColor c = f.colorMap().entries()[f.pixel(x, y)];
    return qRgb(c.red, c.green, c.blue);
}

} // namespace

TEST(QtReduce, IndexedResultMatchesTheCore)
{
    QImage src(23, 11, QImage::Format_ARGB32);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            src.setPixel(x, y, qRgb(x * 255 / 22, y * 255 / 10, (x * y) & 255));
    QImage out = gifcolour::reduceColors(src, reWebSafe216, dtFloydSteinberg, 8);
    ASSERT_EQ(out.format(), QImage::Format_Indexed8);
    gifcolour::ReducedImage core =
        ReduceColors(gifcolour::rgbImageFrom(src), reWebSafe216, dtFloydSteinberg, 8, nullptr);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            ASSERT_EQ(out.pixelIndex(x, y), core.index(x, y));
    EXPECT_EQ(out.color(36 * 5 + 6 + 2), qRgb(255, 51, 102));
    QImage same = gifcolour::reduceColors(src, reNone, dtNearest, 8);
    ASSERT_EQ(same.format(), QImage::Format_RGB888);
    EXPECT_EQ(same, src.convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(gifcolour::reduceColors(src, reGray4, 42, 8).isNull());
}

TEST(QtAssignBitmap, IndexedKeepTheirPixelsAndTable)
{
    for (auto format : {QImage::Format_Mono, QImage::Format_MonoLSB, QImage::Format_Indexed8}) {
        QImage img(10, 3, format);
        const int colours = format == QImage::Format_Indexed8 ? 5 : 2;
        QList<QRgb> table;
        for (int i = 0; i < colours; ++i)
            table.push_back(qRgb(9 + 50 * i, 8, 7 + i));
        img.setColorTable(table);
        img.fill(0);
        for (auto [x, y] : {std::pair{0, 0}, {9, 0}, {4, 2}, {2, 1}})
            img.setPixel(x, y, uint(1 + (x + y) % (colours - 1)));
        TGIFSubImage frame(nullptr);
        gifcolour::assignBitmap(frame, img, ReductionOptions{});
        ASSERT_EQ(frame.colorMap().count(), colours); // its own count, not a padded table
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x) {
                ASSERT_EQ(frame.pixel(x, y), img.pixelIndex(x, y)) << x << "," << y;
                ASSERT_EQ(colourOf(frame, x, y), img.pixel(x, y));
            }
    }
}

TEST(QtAssignIcon, TransparentPartsBecomeTheTransparentIndex)
{
    QImage art(8, 8, QImage::Format_ARGB32);
    art.fill(Qt::transparent);
    for (int y = 0; y < 8; ++y)
        for (int x = 4; x < 8; ++x)
            art.setPixel(x, y, qRgb(255, 0, 0));
    TGIFSubImage frame(nullptr);
    gifcolour::assignIcon(frame, QIcon(QPixmap::fromImage(art)), {reNone, dtNearest, 8}, QSize(8, 8));
    const int t = frame.transparentIndex();
    ASSERT_GE(t, 0);
    EXPECT_EQ(frame.pixel(0, 0), t);
    EXPECT_EQ(colourOf(frame, 4, 0), qRgb(255, 0, 0));
    // Fully opaque: no control extension.
    art.fill(qRgb(0, 0, 255));
    art.setPixel(0, 0, qRgb(0, 255, 0));
    gifcolour::assignIconImage(frame, art, {reNone, dtNearest, 8});
    EXPECT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(frame.extensions().count(), 0);
    // A picture: what it does not cover is transparent.
    QPicture picture;
    {
        QPainter p(&picture);
        p.fillRect(QRect(0, 0, 10, 10), QColor(255, 0, 0));
        p.fillRect(QRect(20, 0, 10, 10), QColor(0, 0, 255));
    }
    gifcolour::assignPicture(frame, picture, {reNone, dtNearest, 8});
    ASSERT_EQ(frame.width(), 30);
    ASSERT_EQ(frame.height(), 10);
    ASSERT_GE(frame.transparentIndex(), 0);
    EXPECT_EQ(frame.pixel(15, 5), frame.transparentIndex());
    EXPECT_EQ(colourOf(frame, 2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(colourOf(frame, 25, 9), qRgb(0, 0, 255));
    gifcolour::assignPicture(frame, QPicture(), ReductionOptions{});
    EXPECT_TRUE(frame.empty());
}
