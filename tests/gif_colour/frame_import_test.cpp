#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/gif/frame_import.h"
#include "graphics/gif/objects.h"

using gifcolour::IndexedBitmap;
using gifcolour::Palette;
using gifcolour::ReductionOptions;
using gifcolour::RgbImage;

namespace {

std::string raisedBy(const std::function<void()>& f) {
    try {
        f();
    } catch (const GIFException& e) {
        return e.what();
    }
    return "";
}

TGIFColor entry(const TGIFSubImage& f, int i) { return f.colorMap().entries()[static_cast<std::size_t>(i)]; }

}  // namespace

TEST(ImportIndexed, OneBitMostSignificantFirst) {
    TGIFSubImage frame(nullptr);
    IndexedBitmap b;
    b.width = 10;
    b.height = 2;
    b.bitsPerPixel = 1;
    b.stride = 4;  // rows padded to 32 bits
    b.bits = {0b10110000, 0b01000000, 0, 0, 0b00000001, 0b10000000, 0xAA, 0xAA};
    b.colors = {{10, 20, 30, 0}, {200, 210, 220, 0}};
    gifcolour::importIndexed(frame, b);
    ASSERT_EQ(frame.width(), 10);
    ASSERT_EQ(frame.height(), 2);
    EXPECT_EQ(frame.left(), 0);
    std::vector<int> row0(frame.scanline(0), frame.scanline(0) + 10);
    std::vector<int> row1(frame.scanline(1), frame.scanline(1) + 10);
    EXPECT_EQ(row0, (std::vector<int>{1, 0, 1, 1, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(row1, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(entry(frame, 1), (TGIFColor{200, 210, 220}));
}

TEST(ImportIndexed, FourBitsHighNibbleFirst) {
    TGIFSubImage frame(nullptr);
    IndexedBitmap b;
    b.width = 3;
    b.height = 1;
    b.bitsPerPixel = 4;
    b.stride = 2;
    b.bits = {0x3C, 0x7F};
    for (int i = 0; i < 16; ++i) b.colors.push_back({static_cast<std::uint8_t>(i * 16), 0, 0, 0});
    gifcolour::importIndexed(frame, b);
    EXPECT_EQ(frame.pixel(0, 0), 3);
    EXPECT_EQ(frame.pixel(1, 0), 12);
    EXPECT_EQ(frame.pixel(2, 0), 7);
    EXPECT_EQ(frame.colorMap().count(), 16);
}

TEST(ImportIndexed, EightBitsBringTheirOwnColourCount) {
    TGIFSubImage frame(nullptr);
    IndexedBitmap b;
    b.width = 2;
    b.height = 2;
    b.stride = 2;
    b.bits = {0, 1, 2, 1};
    b.colors = {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}};
    gifcolour::importIndexed(frame, b);
    EXPECT_EQ(frame.colorMap().count(), 3);  // not a table padded to 256
    EXPECT_EQ(frame.pixel(0, 1), 2);

    // Indices beyond the table name black entries added for them.
    b.bits = {0, 5, 1, 1};
    gifcolour::importIndexed(frame, b);
    EXPECT_EQ(frame.colorMap().count(), 6);
    EXPECT_EQ(entry(frame, 5), (TGIFColor{0, 0, 0}));
    EXPECT_EQ(entry(frame, 2), (TGIFColor{3, 3, 3}));
}

TEST(ImportIndexed, ShortDataOrOddFormatIsRefusedAndLeavesTheFrameEmpty) {
    TGIFSubImage frame(nullptr);
    IndexedBitmap b;
    b.width = 4;
    b.height = 4;
    b.stride = 4;
    b.bits.assign(15, 0);
    b.colors = {{0, 0, 0, 0}};
    EXPECT_EQ(raisedBy([&] { gifcolour::importIndexed(frame, b); }), "Invalid image dimensions");
    EXPECT_TRUE(frame.empty());
    b.bitsPerPixel = 2;
    b.bits.assign(16, 0);
    EXPECT_EQ(raisedBy([&] { gifcolour::importIndexed(frame, b); }), "Unsupported PixelFormat");
}

TEST(ImportTrueColor, NoReductionKeepsUpTo256ColoursExactly) {
    RgbImage img(16, 16);
    for (int i = 0; i < 256; ++i)
        img.set(i % 16, i / 16, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7)});
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, {reNone, dtNearest, 8});
    ASSERT_EQ(frame.colorMap().count(), 256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            TGIFColor c = entry(frame, frame.pixel(x, y));
            gifcolour::Rgb want = img.at(x, y);
            ASSERT_EQ(c, (TGIFColor{want.red, want.green, want.blue}));
        }

    RgbImage more(257, 1);
    for (int i = 0; i < 257; ++i) more.set(i, 0, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 256), 0});
    EXPECT_EQ(raisedBy([&] { gifcolour::importTrueColor(frame, more, {reNone, dtNearest, 8}); }), "Color table overflow");
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(frame.colorMap().count(), 0);
}

// Black must not be found in the ring before black was ever added to the map.
TEST(ImportTrueColor, RecentColourRingStartsEmpty) {
    RgbImage img(3, 1);
    img.set(0, 0, {255, 0, 0});
    img.set(1, 0, {0, 0, 0});
    img.set(2, 0, {255, 0, 0});
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, {reNone, dtNearest, 8});
    EXPECT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(frame.pixel(0, 0), 0);
    EXPECT_EQ(frame.pixel(1, 0), 1);
    EXPECT_EQ(entry(frame, 1), (TGIFColor{0, 0, 0}));
    EXPECT_EQ(frame.pixel(2, 0), 0);
}

// Twelve colours in turn overflow the ring of eight: misses go through the map.
TEST(ImportTrueColor, ColoursBeyondTheRingStillMapCorrectly) {
    RgbImage img(60, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 60; ++x) img.set(x, y, {static_cast<std::uint8_t>((x * 5 + y) % 12 * 20), 9, 9});
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, {reNone, dtNearest, 8});
    EXPECT_EQ(frame.colorMap().count(), 12);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 60; ++x) ASSERT_EQ(entry(frame, frame.pixel(x, y)).red, img.at(x, y).red);
}

TEST(ImportTrueColor, ReducedByTheOptions) {
    RgbImage img(32, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) img.set(x, y, {static_cast<std::uint8_t>(x * 8), static_cast<std::uint8_t>(y * 30), 77});
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, ReductionOptions{});  // web-safe, nearest
    EXPECT_EQ(frame.colorMap().count(), 216);
    // (248, 210, 77): (251, 213, 80) / 51 = levels 4, 4, 1.
    EXPECT_EQ(entry(frame, frame.pixel(31, 7)), (TGIFColor{204, 204, 51}));
    gifcolour::importTrueColor(frame, img, {reQuantize, dtFloydSteinberg, 4});
    EXPECT_EQ(frame.colorMap().count(), 16);
    gifcolour::importTrueColor(frame, img, {reMonochrome, dtNearest, 8});
    EXPECT_EQ(frame.colorMap().count(), 2);

    EXPECT_EQ(raisedBy([&] { gifcolour::importTrueColor(frame, img, {reCustomPalette, dtNearest, 8}); }),
              "Invalid reduction method");
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(raisedBy([&] { gifcolour::importTrueColor(frame, img, {reWebSafe216, 9, 8}); }),
              "Invalid reduction method");
}

TEST(ImportTrueColor, ReportsConvertingProgressThroughItsImage) {
    gif::Image image;
    std::vector<int> percents;
    image.OnProgress = [&](const void*, TProgressStage, int percent, const std::string& message) {
        if (message == "Converting...") percents.push_back(percent);
    };
    TGIFSubImage frame(&image);
    RgbImage img(4, 70);
    gifcolour::importTrueColor(frame, img, {reGray4, dtNearest, 8});
    EXPECT_EQ(percents, (std::vector<int>{0, 45, 91}));  // rows 0, 32, 64 of 70
}

TEST(MarkTransparent, MaskedPixelsGetANewBlackEntryAndAControlExtension) {
    RgbImage img(4, 1);
    img.set(0, 0, {255, 0, 0});
    img.set(1, 0, {0, 255, 0});
    img.set(2, 0, {0, 255, 0});
    img.set(3, 0, {0, 255, 0});
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, {reNone, dtNearest, 8});

    gifcolour::markTransparent(frame, {0, 0, 0, 0});  // fully opaque: nothing changes
    EXPECT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(frame.extensions().count(), 0);
    EXPECT_FALSE(frame.hasTransparency());
    // Optimising sorted the map by use: green (3 pixels) first.
    EXPECT_EQ(entry(frame, 0), (TGIFColor{0, 255, 0}));

    gifcolour::markTransparent(frame, {1, 0, 0, 1});
    ASSERT_EQ(frame.colorMap().count(), 3);
    EXPECT_EQ(entry(frame, 2), (TGIFColor{0, 0, 0}));
    EXPECT_EQ(frame.pixel(0, 0), 2);
    EXPECT_EQ(frame.pixel(3, 0), 2);
    EXPECT_EQ(frame.pixel(1, 0), 0);
    ASSERT_NE(frame.graphicControlExtension(), nullptr);
    EXPECT_TRUE(frame.graphicControlExtension()->transparent());
    EXPECT_EQ(frame.graphicControlExtension()->transparentColorIndex(), 2);
    EXPECT_EQ(frame.transparentIndex(), 2);
    EXPECT_EQ(frame.extensions().count(), 1);
}

TEST(MarkTransparent, AFullMapCannotTakeTheTransparentEntry) {
    RgbImage img(16, 16);
    for (int i = 0; i < 256; ++i) img.set(i % 16, i / 16, {static_cast<std::uint8_t>(i), 1, 2});
    TGIFSubImage frame(nullptr);
    gifcolour::importTrueColor(frame, img, {reNone, dtNearest, 8});
    gifcolour::markTransparent(frame, std::vector<std::uint8_t>(256, 1));
    EXPECT_EQ(frame.colorMap().count(), 256);
    EXPECT_EQ(frame.graphicControlExtension(), nullptr);
}

TEST(AssignFrame, CopiesDescriptorPixelsMapAndExtensions) {
    gif::Image image;
    TGIFSubImage source(&image);
    source.setBounds(3, 4, 5, 2);
    source.setInterlaced(true);
    for (int i = 0; i < 10; ++i) source.data()[i] = static_cast<std::uint8_t>(i % 3);
    source.colorMap().addEntry({1, 2, 3});
    source.colorMap().addEntry({4, 5, 6});
    source.colorMap().addEntry({7, 8, 9});
    auto gce = std::make_unique<TGIFGraphicControlExtension>(source);
    gce->setDelay(25);
    gce->setTransparent(true);
    gce->setTransparentColorIndex(2);
    source.extensions().add(std::move(gce));
    auto comment = std::make_unique<TGIFCommentExtension>(source);
    comment->comment = {"made here"};
    source.extensions().add(std::move(comment));

    TGIFSubImage target(&image);
    gifcolour::assignFrame(target, &source);
    EXPECT_EQ(target.imageDescriptor(), source.imageDescriptor());
    EXPECT_TRUE(target.interlaced());
    EXPECT_EQ(std::vector<std::uint8_t>(target.data(), target.data() + 10),
              std::vector<std::uint8_t>(source.data(), source.data() + 10));
    ASSERT_EQ(target.colorMap().count(), 3);
    EXPECT_EQ(entry(target, 2), (TGIFColor{7, 8, 9}));
    ASSERT_EQ(target.extensions().count(), 2);
    ASSERT_NE(target.graphicControlExtension(), nullptr);
    EXPECT_NE(target.graphicControlExtension(), source.graphicControlExtension());  // its own copy
    EXPECT_EQ(&target.graphicControlExtension()->subImage(), &target);
    EXPECT_EQ(target.graphicControlExtension()->delay(), 25);
    EXPECT_EQ(target.transparentIndex(), 2);
    auto* copied = dynamic_cast<TGIFCommentExtension*>(&target.extensions()[1]);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->comment, (std::vector<std::string>{"made here"}));

    gifcolour::assignFrame(target, &target);  // itself: nothing happens
    EXPECT_EQ(target.extensions().count(), 2);
    TGIFSubImage empty(&image);
    gifcolour::assignFrame(target, &empty);
    EXPECT_TRUE(target.empty());
    EXPECT_EQ(target.extensions().count(), 0);
    gifcolour::assignFrame(source, nullptr);
    EXPECT_TRUE(source.empty());
}
