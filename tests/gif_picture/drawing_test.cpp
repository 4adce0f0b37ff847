// Frames rendered to bitmaps (own palette or web-safe with dithering, and the mask) and
// drawn scaled or tiled, with and without transparency.
#include "picture_test_util.h"

using namespace pictest;

namespace {

const std::vector<TGIFColor> kMap = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {10, 20, 30}};

QImage paint(TGIFPicture& pic, QSize canvasSize, QRect rect, QRgb fill = qRgb(255, 255, 255))
{
    QImage canvas(canvasSize, QImage::Format_ARGB32);
    canvas.fill(fill);
    QPainter painter(&canvas);
    pic.draw(painter, rect);
    painter.end();
    return canvas;
}

}  // namespace

TEST(PictureDrawing, FrameScaledFromTheLogicalScreen)
{
    TGIFPicture pic;
    // Screen 4 x 2; the frame is the right half: red blue / blue red.
    build(pic, 4, 2, kMap, {{2, 0, 2, 2, {0, 1, 1, 0}}});
    const QImage out = paint(pic, QSize(10, 6), QRect(1, 1, 8, 4));
    // Scaled by 2: the frame covers x 5..8, y 1..4; the rest of the rectangle is untouched.
    EXPECT_EQ(out.pixel(5, 1), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(6, 2), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(7, 1), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(8, 4), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(5, 3), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(4, 2), qRgb(255, 255, 255));
    EXPECT_EQ(out.pixel(9, 1), qRgb(255, 255, 255));

    // An empty rectangle and an empty picture draw nothing.
    EXPECT_EQ(paint(pic, QSize(4, 4), QRect()).pixel(0, 0), qRgb(255, 255, 255));
    TGIFPicture none;
    EXPECT_EQ(paint(none, QSize(4, 4), QRect(0, 0, 4, 4)).pixel(0, 0), qRgb(255, 255, 255));
}

TEST(PictureDrawing, FrameTiledAtItsOwnSizeFromItsPosition)
{
    TGIFPicture pic;
    // A 2 x 1 frame (red, blue) at (1, 0) of a 3 x 1 screen, tiled over 6 x 3.
    build(pic, 3, 1, kMap, {{1, 0, 2, 1, {0, 1}}});
    pic.DrawOptions = pic.DrawOptions.with(gdTile);
    const QImage out = paint(pic, QSize(8, 4), QRect(1, 0, 6, 3));
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(out.pixel(1, y), qRgb(255, 255, 255)) << y;  // before the first copy
        EXPECT_EQ(out.pixel(2, y), qRgb(255, 0, 0)) << y;
        EXPECT_EQ(out.pixel(3, y), qRgb(0, 0, 255)) << y;
        EXPECT_EQ(out.pixel(4, y), qRgb(255, 0, 0)) << y;
        EXPECT_EQ(out.pixel(6, y), qRgb(255, 0, 0)) << y;  // last copy, cut at the rectangle
        EXPECT_EQ(out.pixel(7, y), qRgb(255, 255, 255)) << y;
    }
    EXPECT_EQ(out.pixel(3, 3), qRgb(255, 255, 255));
}

TEST(PictureDrawing, TransparencyGoesThroughTheMask)
{
    TGIFPicture pic;
    build(pic, 2, 2, kMap, {{0, 0, 2, 2, {0, 3, 3, 1}, 0, 0, 3}});
    const QImage mask = pic.frameMask(0);
    ASSERT_FALSE(mask.isNull());
    EXPECT_EQ(mask.format(), QImage::Format_Mono);
    EXPECT_EQ(mask.constScanLine(0)[0] & 0xC0, 0x40);
    EXPECT_EQ(mask.constScanLine(1)[0] & 0xC0, 0x80);

    QImage out = paint(pic, QSize(2, 2), QRect(0, 0, 2, 2), qRgb(9, 9, 9));
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(1, 0), qRgb(9, 9, 9));
    EXPECT_EQ(out.pixel(0, 1), qRgb(9, 9, 9));
    EXPECT_EQ(out.pixel(1, 1), qRgb(0, 0, 255));

    pic.DrawOptions = pic.DrawOptions.without(gdTransparent);
    out = paint(pic, QSize(2, 2), QRect(0, 0, 2, 2), qRgb(9, 9, 9));
    EXPECT_EQ(out.pixel(1, 0), qRgb(10, 20, 30));

    // A transparent index that no pixel uses gives no mask.
    TGIFPicture unused;
    build(unused, 2, 1, kMap, {{0, 0, 2, 1, {0, 1}, 0, 0, 2}});
    EXPECT_TRUE(unused.frameMask(0).isNull());
}

TEST(PictureDrawing, OwnPaletteOrWebSafeWithDithering)
{
    TGIFPicture pic;
    std::vector<uint8_t> px(16 * 4);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t(3 * (i % 2));  // red, (10, 20, 30), red, ...
    build(pic, 16, 4, kMap, {{0, 0, 16, 4, px}});
    // On a true-colour screen the default options keep the frame's own colours.
    ASSERT_FALSE(TGIFPicture::paletteDevice);
    EXPECT_FALSE(pic.ditherFrames());
    QImage own = pic.frameBitmap(0);
    EXPECT_EQ(own.format(), QImage::Format_Indexed8);
    EXPECT_EQ(own.color(3), qRgb(10, 20, 30));
    EXPECT_EQ(own.pixelIndex(0, 0), 0);
    EXPECT_EQ(own.pixelIndex(1, 0), 3);
    EXPECT_EQ(own.color(own.pixelIndex(1, 0)), qRgb(10, 20, 30));
    EXPECT_EQ(pic.palette().size(), 4);

    // Without automatic dithering (or on a palette screen) frames go to the web-safe
    // palette through the Floyd-Steinberg ditherer: (10, 20, 30) becomes a mix of cube
    // colours whose average stays close to it.
    pic.DrawOptions = pic.DrawOptions.without(gdAutoDither);
    EXPECT_TRUE(pic.ditherFrames());
    EXPECT_EQ(pic.palette().size(), 216);
    QImage dithered = pic.frameBitmap(0);
    EXPECT_EQ(dithered.color(215), qRgb(255, 255, 255));
    long sumBlue = 0;
    int darkPixels = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 1; x < 16; x += 2) {
            const QRgb c = dithered.color(dithered.pixelIndex(x, y));
            EXPECT_EQ(qRed(c) % 51, 0);
            sumBlue += qBlue(c);
            ++darkPixels;
        }
    EXPECT_NEAR(double(sumBlue) / darkPixels, 30.0, 15.0);
    EXPECT_EQ(dithered.color(dithered.pixelIndex(0, 0)), qRgb(255, 0, 0));

    TGIFPicture::paletteDevice = true;
    pic.DrawOptions = pic.DrawOptions.with(gdAutoDither);
    EXPECT_TRUE(pic.ditherFrames());
    TGIFPicture::paletteDevice = false;
}

TEST(PictureDrawing, RenderedBitmapAndProgress)
{
    TGIFPicture pic;
    std::vector<std::string> stages;
    pic.OnProgress = [&](const void*, TProgressStage, int, const std::string& m) { stages.push_back(m); };
    // Frame 0 does not cover the screen: the bitmap is the screen with frame 0 at its place.
    build(pic, 3, 2, kMap, {{1, 1, 2, 1, {1, 2}}, {0, 0, 3, 2, {0, 0, 0, 0, 0, 0}}});
    QImage bitmap = pic.renderedBitmap();
    ASSERT_EQ(bitmap.size(), QSize(3, 2));
    EXPECT_EQ(bitmap.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(bitmap.pixel(2, 1), qRgb(0, 255, 0));
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 0, 0));  // the palette's first colour
    EXPECT_NE(std::find(stages.begin(), stages.end(), "Rendering..."), stages.end());

    // A change drops it.
    int changes = 0;
    pic.OnChange = [&](picture::Graphic&) { ++changes; };
    pic.images()[0].setLeft(0);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(pic.renderedBitmap().pixel(0, 1), qRgb(0, 0, 255));
}
