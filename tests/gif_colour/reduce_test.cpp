#include <gtest/gtest.h>

#include "graphics/gif/exception.h"
#include "gif_colour/synthetic_photo.h"
#include "graphics/gif/reduce.h"

using gifcolour::Palette;
using gifcolour::PaletteEntry;
using gifcolour::ReducedImage;
using gifcolour::RgbImage;

namespace {

RgbImage gradient(int w, int h) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y, {static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1)),
                           static_cast<std::uint8_t>(y * 255 / (h > 1 ? h - 1 : 1)),
                           static_cast<std::uint8_t>((x * 7 + y * 3) & 255)});
    return img;
}

RgbImage flat(int w, int h, gifcolour::Rgb c) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.set(x, y, c);
    return img;
}

}  // namespace

TEST(ReduceColors, NoneKeepsA24BitCopy) {
    RgbImage img = gradient(5, 4);
    ReducedImage r = ReduceColors(img, reNone, dtFloydSteinberg, 8, nullptr);
    EXPECT_EQ(r.bitsPerPixel, 24);
    EXPECT_EQ(r.width, 5);
    EXPECT_EQ(r.pixels, img.pixels);
}

TEST(ReduceColors, EachMethodUsesItsPaletteAndLookup) {
    RgbImage img = gradient(16, 8);
    struct Case {
        int method;
        std::size_t entries;
    };
    for (Case c : {Case{reSystem20, 20}, Case{reHalftone, 256}, Case{reGray4, 4}, Case{reMonochrome, 2},
                   Case{reGray256, 256}, Case{reWebSafe216, 216}, Case{reQuantize, 256},
                   Case{reQuantizeSystem, 256}}) {
        ReducedImage r = ReduceColors(img, c.method, dtNearest, 8, nullptr);
        ASSERT_EQ(r.bitsPerPixel, 8) << c.method;
        EXPECT_EQ(r.palette.size(), c.entries) << c.method;
        ASSERT_EQ(r.pixels.size(), 16u * 8u);
        for (auto i : r.pixels) EXPECT_LT(i, c.entries);
    }
    // Web-safe goes through the cube look-up: (25, 48, 255) is index 0*36 + 1*6 + 5.
    ReducedImage web = ReduceColors(flat(2, 2, {25, 48, 255}), reWebSafe216, dtNearest, 8, nullptr);
    EXPECT_EQ(web.index(1, 1), 11);
    // Grey 256 through the luminance look-up, monochrome at its threshold.
    ReducedImage grey = ReduceColors(flat(1, 1, {255, 0, 0}), reGray256, dtNearest, 8, nullptr);
    EXPECT_EQ(grey.index(0, 0), 76);
    EXPECT_EQ(ReduceColors(flat(1, 1, {127, 127, 127}), reMonochrome, dtNearest, 8, nullptr).index(0, 0), 0);
    EXPECT_EQ(ReduceColors(flat(1, 1, {128, 128, 128}), reMonochrome, dtNearest, 8, nullptr).index(0, 0), 1);
    // Four greys by nearest distance: 150 is nearer 128 than 192.
    EXPECT_EQ(ReduceColors(flat(1, 1, {150, 150, 150}), reGray4, dtNearest, 8, nullptr).index(0, 0), 1);
}

TEST(ReduceColors, QuantizeUsesTheReductionBitsClamped) {
    RgbImage img = gradient(32, 32);
    EXPECT_EQ(ReduceColors(img, reQuantize, dtNearest, 4, nullptr).palette.size(), 16u);
    EXPECT_EQ(ReduceColors(img, reQuantize, dtNearest, 0, nullptr).palette.size(), 2u);
    EXPECT_EQ(ReduceColors(img, reQuantize, dtNearest, -5, nullptr).palette.size(), 2u);
    EXPECT_EQ(ReduceColors(img, reQuantize, dtNearest, 12, nullptr).palette.size(), 256u);
}

TEST(ReduceColors, CustomPalette) {
    RgbImage img = flat(3, 3, {200, 10, 10});
    Palette custom = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}};
    ReducedImage r = ReduceColors(img, reCustomPalette, dtFloydSteinberg, 8, &custom);
    ASSERT_EQ(r.bitsPerPixel, 8);
    EXPECT_EQ(r.palette, custom);
    try {
        ReduceColors(img, reCustomPalette, dtNearest, 8, nullptr);
        FAIL() << "no exception";
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid reduction method");
    }
    // A palette without entries gives nothing to look up in: the empty image.
    Palette none;
    EXPECT_TRUE(ReduceColors(img, reCustomPalette, dtNearest, 8, &none).empty());
}

TEST(ReduceColors, UnknownMethodOrDitherGivesTheEmptyImage) {
    RgbImage img = gradient(4, 4);
    EXPECT_TRUE(ReduceColors(img, 10, dtNearest, 8, nullptr).empty());
    EXPECT_TRUE(ReduceColors(img, -1, dtNearest, 8, nullptr).empty());
    EXPECT_TRUE(ReduceColors(img, reWebSafe216, 7, 8, nullptr).empty());
    RgbImage shortBuffer = gradient(4, 4);
    shortBuffer.pixels.resize(40);
    EXPECT_THROW(ReduceColors(shortBuffer, reNone, dtNearest, 8, nullptr), GIFException);
    EXPECT_EQ(gifcolour::createOptimizedPalette(shortBuffer, 4, 8, false).size(), 4u);
    try {
        ReduceColors(RgbImage(0, 3), reWebSafe216, dtNearest, 8, nullptr);
        FAIL() << "no exception";
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid image dimensions");
    }
}

// Every ditherer keeps the average of a flat grey close to the input, where nearest colour
// would turn all of it black.
TEST(ReduceColors, DitheringKeepsTheAverage) {
    RgbImage img = flat(40, 30, {100, 100, 100});
    for (int mode = dtNearest; mode <= dtBurkes; ++mode) {
        ReducedImage r = ReduceColors(img, reMonochrome, mode, 8, nullptr);
        ASSERT_EQ(r.bitsPerPixel, 8);
        int white = 0;
        for (auto i : r.pixels) white += i;
        double mean = 255.0 * white / static_cast<double>(r.pixels.size());
        if (mode == dtNearest)
            EXPECT_EQ(white, 0);
        else
            EXPECT_NEAR(mean, 100.0, 6.0) << "mode " << mode;
    }
}

TEST(ReduceColors, LargePicturesAreMarkedDeviceIndependent) {
    EXPECT_FALSE(ReduceColors(flat(500, 1000, {1, 2, 3}), reGray4, dtNearest, 8, nullptr).deviceIndependent);
    EXPECT_TRUE(ReduceColors(flat(501, 1000, {1, 2, 3}), reGray4, dtNearest, 8, nullptr).deviceIndependent);
}

// The quantiser on a small photograph-like picture: a close likeness, and dithering keeps
// it close too.
TEST(ReduceColors, QuantizedPhotoStaysClose) {
    RgbImage img = gifcolour::testing::syntheticPhoto(96, 64, 3);
    for (int mode : {dtNearest, dtFloydSteinberg}) {
        ReducedImage r = ReduceColors(img, reQuantize, mode, 8, nullptr);
        std::vector<std::uint8_t> rgb;
        for (auto i : r.pixels) {
            const auto& e = r.palette[i];
            rgb.insert(rgb.end(), {e.red, e.green, e.blue});
        }
        EXPECT_GT(gifcolour::testing::psnr(img.pixels.data(), rgb.data(), rgb.size()), 30.0) << mode;
    }
}
