// Frames rendered to bitmaps (own palette or web-safe with dithering, and the mask) and
// drawn scaled or tiled, with and without transparency.
#include "picture_test_util.h"

using namespace pictest;

namespace {
const QRgb R = qRgb(255, 0, 0), B = qRgb(0, 0, 255), G = qRgb(0, 255, 0), D = qRgb(10, 20, 30),
           W = qRgb(255, 255, 255);
}

TEST(PictureDrawing, FrameScaledFromTheScreenOrTiledFromItsPosition)
{
    TGIFPicture pic;
    // Screen 4 x 2; the frame is the right half: red blue / blue red. Scaled by 2 into
    // (1, 1, 8, 4), it covers x 5..8, y 1..4; the rest of the rectangle is untouched.
    build(pic, 4, 2, kMap, {{2, 0, 2, 2, {0, 1, 1, 0}}});
    QImage out = paint(pic, QSize(10, 6), QRect(1, 1, 8, 4), W);
    const std::vector<QRgb> top{W, W, W, W, W, R, R, B, B, W}, bottom{W, W, W, W, W, B, B, R, R, W};
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(rowOf(out, y), y == 0 || y == 5 ? std::vector<QRgb>(10, W) : y < 3 ? top : bottom) << y;
    // An empty rectangle and an empty picture draw nothing.
    EXPECT_EQ(paint(pic, QSize(4, 4), QRect(), W).pixel(0, 0), W);
    TGIFPicture none;
    EXPECT_EQ(paint(none, QSize(4, 4), QRect(0, 0, 4, 4), W).pixel(0, 0), W);
    // A 2 x 1 frame (red, blue) at (1, 0) of a 3 x 1 screen, tiled over (1, 0, 6, 3): the
    // first copy at the frame's place, the last cut at the rectangle.
    build(pic, 3, 1, kMap, {{1, 0, 2, 1, {0, 1}}});
    pic.DrawOptions = pic.DrawOptions.with(gdTile);
    out = paint(pic, QSize(8, 4), QRect(1, 0, 6, 3), W);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(rowOf(out, y), (std::vector<QRgb>{W, W, R, B, R, B, R, W})) << y;
    EXPECT_EQ(out.pixel(3, 3), W);
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
    const QRgb under = qRgb(9, 9, 9);
    QImage out = paint(pic, QSize(2, 2), QRect(0, 0, 2, 2), under);
    EXPECT_EQ(rowOf(out, 0), (std::vector<QRgb>{R, under}));
    EXPECT_EQ(rowOf(out, 1), (std::vector<QRgb>{under, B}));
    pic.DrawOptions = pic.DrawOptions.without(gdTransparent);
    EXPECT_EQ(paint(pic, QSize(2, 2), QRect(0, 0, 2, 2), under).pixel(1, 0), D);
    // A transparent index that no pixel uses gives no mask.
    build(pic, 2, 1, kMap, {{0, 0, 2, 1, {0, 1}, 0, 0, 2}});
    EXPECT_TRUE(pic.frameMask(0).isNull());
}

TEST(PictureDrawing, OwnPaletteOrWebSafeWithDithering)
{
    TGIFPicture pic;
    Bytes px(16 * 4);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t(3 * (i % 2)); // red, (10, 20, 30), red, ...
    build(pic, 16, 4, kMap, {{0, 0, 16, 4, px}});
    // On a true-colour screen the default options keep the frame's own colours.
    ASSERT_FALSE(TGIFPicture::paletteDevice);
    EXPECT_FALSE(pic.ditherFrames());
    QImage own = pic.frameBitmap(0);
    EXPECT_EQ(own.format(), QImage::Format_Indexed8);
    EXPECT_EQ(own.pixelIndex(0, 0), 0);
    EXPECT_EQ(own.pixelIndex(1, 0), 3);
    EXPECT_EQ(own.color(3), D);
    EXPECT_EQ(pic.palette().size(), 4);
    // Without automatic dithering (or on a palette screen) frames go to the web-safe
    // palette through the Floyd-Steinberg ditherer.
    pic.DrawOptions = pic.DrawOptions.without(gdAutoDither);
    EXPECT_TRUE(pic.ditherFrames());
    EXPECT_EQ(pic.palette().size(), 216);
    QImage dithered = pic.frameBitmap(0);
    EXPECT_EQ(dithered.color(215), W);
    EXPECT_EQ(dithered.color(dithered.pixelIndex(0, 0)), R);
    // (10, 20, 30) becomes a mix of cube colours whose average stays close to it.
    long sumBlue = 0;
    for (int i = 1; i < 64; i += 2)
        sumBlue += qBlue(dithered.color(dithered.pixelIndex(i % 16, i / 16)));
    EXPECT_NEAR(double(sumBlue) / 32, 30.0, 15.0);
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
    // Frame 0 does not cover the screen: the bitmap is the screen, in the palette's first
    // colour, with frame 0 at its place.
    build(pic, 3, 2, kMap, {{1, 1, 2, 1, {1, 2}}, {0, 0, 3, 2, {0, 0, 0, 0, 0, 0}}});
    QImage bitmap = pic.renderedBitmap();
    EXPECT_EQ(rowOf(bitmap, 0), (std::vector<QRgb>{R, R, R}));
    EXPECT_EQ(rowOf(bitmap, 1), (std::vector<QRgb>{R, B, G}));
    EXPECT_NE(std::find(stages.begin(), stages.end(), "Rendering..."), stages.end());
    // A change drops it.
    int changes = 0;
    pic.OnChange = [&](picture::Graphic&) { ++changes; };
    pic.images()[0].setLeft(0);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(pic.renderedBitmap().pixel(0, 1), B);
}
