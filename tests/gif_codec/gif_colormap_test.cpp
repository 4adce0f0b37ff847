// Colour maps: growth, look-ups, imports and the usage sort.
#include "gif_codec/gif_test_util.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {
struct FrameFixture {
    gif::Image img;
    WarningLog log;
    TGIFSubImage* frame = nullptr;
    explicit FrameFixture(int w = 4, int h = 1)
    {
        log.attach(img);
        auto f = std::make_unique<TGIFSubImage>(&img);
        frame = f.get();
        img.images().add(std::move(f));
        frame->setBounds(0, 0, w, h);
        log.messages.clear();
    }
};
} // namespace

TEST(GifColorMap, CapacityGrowsToSixteenThenByThirtyTwoUpTo256)
{
    FrameFixture fx;
    TGIFColorMap& m = fx.frame->colorMap();
    EXPECT_EQ(m.capacity(), 0);
    m.add(makeColor(1, 2, 3));
    EXPECT_EQ(m.capacity(), 16);
    for (int i = 1; i < 17; ++i)
        m.add(makeColor(uint8_t(i), 0, 0));
    EXPECT_EQ(m.capacity(), 32);
    for (int i = 17; i < 33; ++i)
        m.add(makeColor(uint8_t(i), 0, 0));
    EXPECT_EQ(m.capacity(), 64);
    while (m.count() < 256)
        m.add(makeColor(0, 0, uint8_t(m.count())));
    EXPECT_EQ(m.capacity(), 256);
    try {
        m.add(0);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
}

TEST(GifColorMap, LookupsAndIndexErrors)
{
    FrameFixture fx;
    TGIFColorMap& m = fx.frame->colorMap();
    EXPECT_THROW(m.color(0), GIFException);
    const TColor red = makeColor(255, 0, 0);
    EXPECT_EQ(m.add(red), 0);
    EXPECT_EQ(m.add(makeColor(0, 9, 0)), 1);
    EXPECT_EQ(m.add(red), 2);
    // Before sorting the last match wins, after it the first.
    EXPECT_EQ(m.indexOf(red), 2);
    m.setOptimized(true);
    EXPECT_EQ(m.indexOf(red), 0);
    EXPECT_EQ(m.indexOf(makeColor(1, 1, 1)), -1);
    EXPECT_EQ(m.addUnique(makeColor(0, 9, 0)), 1);
    EXPECT_FALSE(m.optimized() == false);
    EXPECT_EQ(m.addUnique(makeColor(7, 7, 7)), 3);
    EXPECT_FALSE(m.optimized());

    EXPECT_EQ(m.color(5), red);
    EXPECT_EQ(fx.log.messages, std::vector<std::string>{"Invalid color index"});
    try {
        m.remove(4);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid color index");
    }
    m.remove(0);
    EXPECT_EQ(m.count(), 3);
    EXPECT_EQ(m.color(0), makeColor(0, 9, 0));
}

TEST(GifColorMap, BitsPerPixelImportsAndExport)
{
    const std::pair<int, int> bits[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {17, 5}, {129, 8}, {256, 8}};
    for (auto [count, b] : bits)
        EXPECT_EQ(TGIFColorMap::bitsPerPixelOf(count), b) << count;

    FrameFixture fx;
    TGIFColorMap& m = fx.frame->colorMap();
    const TRGBQuad quads[] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    m.importRGB(quads);
    ASSERT_EQ(m.count(), 3);
    EXPECT_EQ(m.entry(0), (TGIFColor{3, 2, 1}));
    const auto pal = m.exportPalette();
    ASSERT_EQ(pal.size(), 3u);
    EXPECT_EQ(pal[2].peRed, 9);
    EXPECT_EQ(pal[2].peBlue, 7);
    EXPECT_EQ(pal[2].peFlags, PC_NOCOLLAPSE);
    const TPaletteEntry entries[] = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    m.importPalette(entries);
    EXPECT_EQ(m.count(), 2);
    EXPECT_EQ(m.color(1), makeColor(40, 50, 60));
    m.clear();
    EXPECT_TRUE(m.exportPalette().empty());
}

TEST(GifColorMap, OptimiseSortsByUseKeepsTheTransparentIndexAndIgnoresStrayValues)
{
    FrameFixture fx(6, 1);
    TGIFSubImage& f = *fx.frame;
    TGIFColorMap& m = f.colorMap();
    for (int i = 0; i < 5; ++i)
        m.add(makeColor(uint8_t(10 * i), 0, 0));
    // Entry 3 used three times, entry 1 twice, and a value past the map once; entry 4 is
    // only the transparent index.
    const uint8_t px[] = {3, 1, 3, 9, 1, 3};
    std::copy(std::begin(px), std::end(px), f.data());
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    gce->setTransparent(true);
    gce->setTransparentColorIndex(4);
    f.extensions().add(std::move(gce));

    EXPECT_TRUE(m.Optimise());
    EXPECT_TRUE(m.optimized());
    ASSERT_EQ(m.count(), 3);
    EXPECT_EQ(m.color(0), makeColor(30, 0, 0));
    EXPECT_EQ(m.color(1), makeColor(10, 0, 0));
    EXPECT_EQ(m.color(2), makeColor(40, 0, 0));
    EXPECT_EQ(std::vector<uint8_t>(f.data(), f.data() + 6), (std::vector<uint8_t>{0, 1, 0, 9, 1, 0}));
    EXPECT_EQ(f.transparentIndex(), 2);
    EXPECT_TRUE(fx.log.messages.empty());

    TGIFLocalColorMap& single = f.colorMap();
    single.clear();
    single.add(0);
    EXPECT_FALSE(single.Optimise());
}

TEST(GifColorMap, GlobalOptimiseRemapsSharingFramesAndTheBackground)
{
    gif::Image img;
    TGIFGlobalColorMap& g = img.globalColorMap();
    EXPECT_FALSE(g.Optimise()); // no frames
    for (int i = 0; i < 4; ++i)
        g.add(makeColor(0, uint8_t(i), 0));
    img.header().setBackgroundColorIndex(2);
    auto a = std::make_unique<TGIFSubImage>(&img);
    a->setBounds(0, 0, 3, 1);
    const uint8_t pa[] = {2, 2, 1};
    std::copy(std::begin(pa), std::end(pa), a->data());
    auto b = std::make_unique<TGIFSubImage>(&img);
    b->setBounds(0, 0, 2, 1);
    b->colorMap().add(makeColor(1, 1, 1));
    b->colorMap().add(makeColor(2, 2, 2));
    const uint8_t pb[] = {1, 1};
    std::copy(std::begin(pb), std::end(pb), b->data());
    TGIFSubImage& fa = *a;
    TGIFSubImage& fb = *b;
    img.images().add(std::move(a));
    img.images().add(std::move(b));

    EXPECT_TRUE(g.Optimise());
    ASSERT_EQ(g.count(), 2);
    EXPECT_EQ(g.color(0), makeColor(0, 2, 0));
    EXPECT_EQ(g.color(1), makeColor(0, 1, 0));
    EXPECT_EQ(img.header().backgroundColorIndex(), 0);
    EXPECT_EQ(std::vector<uint8_t>(fa.data(), fa.data() + 3), (std::vector<uint8_t>{0, 0, 1}));
    // A frame with its own map is not touched.
    EXPECT_EQ(std::vector<uint8_t>(fb.data(), fb.data() + 2), (std::vector<uint8_t>{1, 1}));
}

TEST(GifFrame, PixelAccessBoundsAndGrowingTheScreen)
{
    gif::Image img;
    WarningLog log;
    log.attach(img);
    auto owned = std::make_unique<TGIFSubImage>(&img);
    TGIFSubImage& f = *owned;
    img.images().add(std::move(owned));
    EXPECT_TRUE(f.empty());
    f.setBounds(0, 0, 3, 2);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Image exceeds Logical Screen size"});
    EXPECT_EQ(img.width(), 3);
    f.setPixel(2, 1, 7);
    EXPECT_EQ(f.scanline(1)[2], 7);
    for (auto [x, y] : {std::pair{3, 0}, {0, 2}, {-1, 0}, {0, -1}}) {
        try {
            f.pixel(x, y);
            ADD_FAILURE();
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Invalid pixel coordinates");
        }
    }
    log.messages.clear();
    f.setLeft(2);
    EXPECT_EQ(log.messages, (std::vector<std::string>{"Image width too small for contained frames",
                                                      "Image exceeds Logical Screen size"}));
    EXPECT_EQ(img.width(), 5);
    EXPECT_EQ(f.pixel(2, 1), 7); // moving keeps the pixels
    f.setWidth(4);
    EXPECT_EQ(f.pixel(2, 1), 0); // resizing gives a new zeroed buffer
}

TEST(GifFrame, TransparentIndexIsCheckedAgainstTheActiveMap)
{
    FrameFixture fx;
    fx.frame->colorMap().add(0);
    fx.frame->colorMap().add(makeColor(255, 255, 255));
    auto gce = std::make_unique<TGIFGraphicControlExtension>(*fx.frame);
    EXPECT_EQ(fx.frame->graphicControlExtension(), gce.get());
    gce->setTransparentColorIndex(2);
    EXPECT_EQ(gce->transparentColorIndex(), 0);
    EXPECT_EQ(fx.log.messages, std::vector<std::string>{"Invalid color index"});
    gce->setTransparentColorIndex(1);
    EXPECT_EQ(gce->transparentColorIndex(), 1);
    gce.reset();
    EXPECT_EQ(fx.frame->graphicControlExtension(), nullptr);
}
