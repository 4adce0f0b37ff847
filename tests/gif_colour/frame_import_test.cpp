// Frames filled from indexed and true-colour bitmaps, transparency masks and frame copies.
#include "gif_codec/gif_test_util.h"
#include "graphics/gif/frame_import.h"

using gifcolour::IndexedBitmap;
using gifcolour::Rgb;
using gifcolour::RgbImage;
using giftest::Bytes;
using giftest::frameData;
using giftest::raisedBy;
using giftest::rgbPicture;

namespace {

std::vector<TGIFColor> mapOf(const TGIFSubImage& f)
{
    return {f.colorMap().entries().begin(), f.colorMap().entries().end()};
}

TGIFColor entry(const TGIFSubImage& f, int i)
{
    return f.colorMap().entries()[size_t(i)];
}

const gifcolour::ReductionOptions kExact{reNone, dtNearest, 8};

RgbImage picture(int w, int h, const std::vector<Rgb>& pixels)
{
    return giftest::rgbPicture(w, h, [&](int i) { return pixels[size_t(i)]; });
}

} // namespace

TEST(ImportIndexed, OneFourAndEightBitRowsWithTheirOwnColourCount)
{
    const gifcolour::Palette three = {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}};
    struct Row {
        IndexedBitmap bitmap;
        Bytes pixels;
        std::vector<TGIFColor> map;
    };
    // Most significant bit first, rows padded to 32 bits.
    const Bytes oneBit{0b10110000, 0b01000000, 0, 0, 0b00000001, 0b10000000, 0xAA, 0xAA};
    const Row rows[] = {
        {{10, 2, 1, 4, oneBit, {{10, 20, 30, 0}, {200, 210, 220, 0}}},
         {1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0},
         {{10, 20, 30}, {200, 210, 220}}},
        // High nibble first.
        {{3, 1, 4, 2, {0x3C, 0x7F}, gifcolour::Palette(13)}, {3, 12, 7}, std::vector<TGIFColor>(13)},
        // Not a table padded to 256; indices beyond it name black entries added for them.
        {{2, 2, 8, 2, {0, 1, 2, 1}, three}, {0, 1, 2, 1}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}},
        {{2, 2, 8, 2, {0, 5, 1, 1}, three}, {0, 5, 1, 1}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {}, {}, {}}},
    };
    TGIFSubImage frame(nullptr);
    for (const Row& r : rows) {
        gifcolour::importIndexed(frame, r.bitmap);
        EXPECT_EQ(frame.width(), r.bitmap.width);
        EXPECT_EQ(frameData(frame), r.pixels);
        EXPECT_EQ(mapOf(frame), r.map);
    }
    // Short data or an odd format is refused and leaves the frame empty.
    IndexedBitmap b{4, 4, 8, 4, Bytes(15, 0), {{0, 0, 0, 0}}};
    EXPECT_EQ(raisedBy([&] { gifcolour::importIndexed(frame, b); }), "Invalid image dimensions");
    EXPECT_TRUE(frame.empty());
    b.bitsPerPixel = 2;
    b.bits.assign(16, 0);
    EXPECT_EQ(raisedBy([&] { gifcolour::importIndexed(frame, b); }), "Unsupported PixelFormat");
}

TEST(ImportTrueColor, UnreducedColoursMapExactlyThroughTheRecentColourRing)
{
    TGIFSubImage frame(nullptr);
    // Black must not be found in the ring before black was ever added to the map.
    gifcolour::importTrueColor(frame, picture(3, 1, {{255, 0, 0}, {0, 0, 0}, {255, 0, 0}}), kExact);
    EXPECT_EQ(frameData(frame), (Bytes{0, 1, 0}));
    EXPECT_EQ(mapOf(frame), (std::vector<TGIFColor>{{255, 0, 0}, {0, 0, 0}}));
    // Twelve colours in turn overflow the ring of eight: misses go through the map.
    const auto inTurn = [](int i) { return Rgb{uint8_t((i % 60 * 5 + i / 60) % 12 * 20), 9, 9}; };
    const RgbImage twelve = rgbPicture(60, 2, inTurn);
    gifcolour::importTrueColor(frame, twelve, kExact);
    EXPECT_EQ(frame.colorMap().count(), 12);
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(entry(frame, frame.pixel(i % 60, i / 60)).red, twelve.at(i % 60, i / 60).red);
    // More than 256 colours are refused, leaving the frame empty.
    const RgbImage more = rgbPicture(257, 1, [](int i) { return Rgb{uint8_t(i), uint8_t(i / 256), 0}; });
    EXPECT_EQ(raisedBy([&] { gifcolour::importTrueColor(frame, more, kExact); }), "Color table overflow");
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(frame.colorMap().count(), 0);
}

TEST(ImportTrueColor, ReducedByTheOptionsWithProgress)
{
    const auto shades = [](int i) { return Rgb{uint8_t(i % 32 * 8), uint8_t(i / 32 * 30), 77}; };
    const RgbImage img = rgbPicture(32, 8, shades);
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, gifcolour::ReductionOptions{}); // web-safe, nearest
    EXPECT_EQ(frame.colorMap().count(), 216);
    // (248, 210, 77): (251, 213, 80) / 51 = levels 4, 4, 1.
    EXPECT_EQ(entry(frame, frame.pixel(31, 7)), (TGIFColor{204, 204, 51}));
    for (gifcolour::ReductionOptions refused :
         {gifcolour::ReductionOptions{reCustomPalette, dtNearest, 8}, {reWebSafe216, 9, 8}}) {
        EXPECT_EQ(raisedBy([&] { gifcolour::importTrueColor(frame, img, refused); }),
                  "Invalid reduction method");
        EXPECT_TRUE(frame.empty());
    }
    gif::Image image;
    std::vector<int> percents;
    image.OnProgress = [&](const void*, TProgressStage, int percent, const std::string& message) {
        if (message == "Converting...")
            percents.push_back(percent);
    };
    TGIFSubImage owned(&image);
    gifcolour::importTrueColor(owned, RgbImage(4, 70), {reGray4, dtNearest, 8});
    EXPECT_EQ(percents, (std::vector<int>{0, 45, 91})); // rows 0, 32, 64 of 70
}

TEST(MarkTransparent, MaskedPixelsGetANewBlackEntryAndAControlExtension)
{
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, picture(4, 1, {{255, 0, 0}, {0, 255, 0}, {0, 255, 0}, {0, 255, 0}}),
                               kExact);
    gifcolour::markTransparent(frame, {0, 0, 0, 0}); // fully opaque: nothing changes
    EXPECT_EQ(frame.extensions().count(), 0);
    EXPECT_FALSE(frame.hasTransparency());
    // Optimising sorted the map by use: green (3 pixels) first.
    EXPECT_EQ(mapOf(frame), (std::vector<TGIFColor>{{0, 255, 0}, {255, 0, 0}}));
    gifcolour::markTransparent(frame, {1, 0, 0, 1});
    EXPECT_EQ(mapOf(frame), (std::vector<TGIFColor>{{0, 255, 0}, {255, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(frameData(frame), (Bytes{2, 0, 0, 2}));
    EXPECT_EQ(frame.transparentIndex(), 2);
    EXPECT_TRUE(frame.graphicControlExtension()->transparent());
    EXPECT_EQ(frame.extensions().count(), 1);
    // A full map cannot take the transparent entry.
    const RgbImage full = rgbPicture(16, 16, [](int i) { return Rgb{uint8_t(i), 1, 2}; });
    gifcolour::importTrueColor(frame, full, kExact);
    gifcolour::markTransparent(frame, Bytes(256, 1));
    EXPECT_EQ(frame.colorMap().count(), 256);
    EXPECT_EQ(frame.graphicControlExtension(), nullptr);
}

TEST(AssignFrame, CopiesDescriptorPixelsMapAndExtensions)
{
    gif::Image image;
    TGIFSubImage source(&image);
    source.setBounds(3, 4, 5, 2);
    source.setInterlaced(true);
    for (int i = 0; i < 10; ++i)
        source.data()[i] = uint8_t(i % 3);
    for (uint8_t i : {1, 4, 7})
        source.colorMap().addEntry({i, uint8_t(i + 1), uint8_t(i + 2)});
    auto& gce = giftest::addExtension<TGIFGraphicControlExtension>(source);
    gce.setDelay(25);
    gce.setTransparent(true);
    gce.setTransparentColorIndex(2);
    giftest::addExtension<TGIFCommentExtension>(source).comment = {"made here"};

    TGIFSubImage target(&image);
    gifcolour::assignFrame(target, &source);
    EXPECT_EQ(target.imageDescriptor(), source.imageDescriptor()); // bounds and packed fields
    EXPECT_EQ(frameData(target), frameData(source));
    EXPECT_EQ(mapOf(target), mapOf(source));
    // Its own copies of the extensions.
    ASSERT_EQ(target.extensions().count(), 2);
    EXPECT_EQ(&target.graphicControlExtension()->subImage(), &target);
    EXPECT_EQ(target.graphicControlExtension()->delay(), 25);
    EXPECT_EQ(target.transparentIndex(), 2);
    EXPECT_EQ(dynamic_cast<TGIFCommentExtension&>(target.extensions()[1]).comment,
              std::vector<std::string>{"made here"});
    gifcolour::assignFrame(target, &target); // itself: nothing happens
    EXPECT_EQ(target.extensions().count(), 2);
    TGIFSubImage empty(&image);
    gifcolour::assignFrame(target, &empty);
    EXPECT_TRUE(target.empty());
    EXPECT_EQ(target.extensions().count(), 0);
    gifcolour::assignFrame(source, nullptr);
    EXPECT_TRUE(source.empty());
}
