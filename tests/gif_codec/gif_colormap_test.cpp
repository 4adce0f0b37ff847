// Colour maps: growth, look-ups, imports and the usage sort; a frame's pixels and bounds.
#include "gif_codec/gif_test_util.h"

using namespace giftest;

namespace {
// One frame in an image whose warnings are logged.
struct FrameFixture {
    gif::Image img;
    WarningLog log;
    TGIFSubImage& frame;
    explicit FrameFixture(int w = 4, int h = 1, Bytes px = {})
        : frame(img.images()[img.images().add(std::make_unique<TGIFSubImage>(&img))])
    {
        frame.setBounds(0, 0, w, h);
        std::copy(px.begin(), px.end(), frame.data());
        log.attach(img);
    }
};

std::vector<TGIFColor> mapOf(const TGIFColorMap& m)
{
    return {m.entries().begin(), m.entries().end()};
}

} // namespace

TEST(GifColorMap, GrowthLookupsIndexErrorsAndImports)
{
    FrameFixture fx;
    TGIFColorMap& m = fx.frame.colorMap();
    EXPECT_EQ(raisedBy([&] { m.color(0); }), "Color table is empty");
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
    EXPECT_TRUE(m.optimized());
    EXPECT_EQ(m.addUnique(makeColor(7, 7, 7)), 3);
    EXPECT_FALSE(m.optimized());
    EXPECT_EQ(m.color(5), red);
    EXPECT_EQ(fx.log.messages, std::vector<std::string>{"Invalid color index"});
    EXPECT_EQ(raisedBy([&] { m.remove(4); }), "Invalid color index");
    m.remove(0);
    EXPECT_EQ(m.count(), 3);
    EXPECT_EQ(m.color(0), makeColor(0, 9, 0));

    while (m.count() < 256)
        m.add(makeColor(0, 0, uint8_t(m.count())));
    EXPECT_EQ(raisedBy([&] { m.add(0); }), "Color table overflow");

    for (auto [count, bits] :
         {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {17, 5}, {129, 8}, {256, 8}})
        EXPECT_EQ(TGIFColorMap::bitsPerPixelOf(count), bits) << count;
    const TRGBQuad quads[] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    m.importRGB(quads);
    ASSERT_EQ(m.count(), 3);
    EXPECT_EQ(m.entry(0), (TGIFColor{3, 2, 1}));
    const auto pal = m.exportPalette();
    ASSERT_EQ(pal.size(), 3u);
    EXPECT_EQ(std::tuple(pal[2].peRed, pal[2].peGreen, pal[2].peBlue, pal[2].peFlags),
              std::tuple(9, 8, 7, PC_NOCOLLAPSE));
}

TEST(GifColorMap, OptimiseSortsByUseKeepsTheTransparentIndexAndIgnoresStrayValues)
{
    // Entry 3 used three times, entry 1 twice, and a value past the map once; entry 4 is
    // only the transparent index.
    FrameFixture fx(6, 1, {3, 1, 3, 9, 1, 3});
    TGIFColorMap& m = fx.frame.colorMap();
    for (int i = 0; i < 5; ++i)
        m.add(makeColor(uint8_t(10 * i), 0, 0));
    TGIFGraphicControlExtension& gce = addExtension<TGIFGraphicControlExtension>(fx.frame);
    gce.setTransparent(true);
    gce.setTransparentColorIndex(4);
    EXPECT_TRUE(m.Optimise());
    EXPECT_TRUE(m.optimized());
    EXPECT_EQ(mapOf(m), (std::vector<TGIFColor>{{30, 0, 0}, {10, 0, 0}, {40, 0, 0}}));
    EXPECT_EQ(frameData(fx.frame), (Bytes{0, 1, 0, 9, 1, 0}));
    EXPECT_EQ(fx.frame.transparentIndex(), 2);
    EXPECT_TRUE(fx.log.messages.empty());
    m.clear();
    m.add(0);
    EXPECT_FALSE(m.Optimise());
    // The global map: frames that share it and the background follow; a frame with its own
    // map is not touched.
    gif::Image img;
    TGIFGlobalColorMap& g = img.globalColorMap();
    EXPECT_FALSE(g.Optimise()); // no frames
    for (int i = 0; i < 4; ++i)
        g.add(makeColor(0, uint8_t(i), 0));
    img.header().setBackgroundColorIndex(2);
    for (const Bytes& px : {Bytes{2, 2, 1}, Bytes{1, 1}}) {
        auto f = std::make_unique<TGIFSubImage>(&img);
        f->setBounds(0, 0, int(px.size()), 1);
        std::copy(px.begin(), px.end(), f->data());
        if (px.size() == 2)
            f->colorMap().importPalette(std::vector<TPaletteEntry>{{1, 1, 1, 0}, {2, 2, 2, 0}});
        img.images().add(std::move(f));
    }
    EXPECT_TRUE(g.Optimise());
    EXPECT_EQ(mapOf(g), (std::vector<TGIFColor>{{0, 2, 0}, {0, 1, 0}}));
    EXPECT_EQ(img.header().backgroundColorIndex(), 0);
    EXPECT_EQ(frameData(img.images()[0]), (Bytes{0, 0, 1}));
    EXPECT_EQ(frameData(img.images()[1]), (Bytes{1, 1}));
}

TEST(GifFrame, PixelAccessBoundsGrowingTheScreenAndTheTransparentIndex)
{
    FrameFixture fx(3, 2);
    TGIFSubImage& f = fx.frame;
    WarningLog& log = fx.log;
    EXPECT_EQ(fx.img.width(), 3);
    f.setPixel(2, 1, 7);
    EXPECT_EQ(f.scanline(1)[2], 7);
    for (auto [x, y] : {std::pair{3, 0}, {0, 2}, {-1, 0}, {0, -1}})
        EXPECT_EQ(raisedBy([&] { f.pixel(x, y); }), "Invalid pixel coordinates") << x << "," << y;
    log.messages.clear();
    f.setLeft(2);
    EXPECT_EQ(log.messages, (std::vector<std::string>{"Image width too small for contained frames",
                                                      "Image exceeds Logical Screen size"}));
    EXPECT_EQ(fx.img.width(), 5);
    EXPECT_EQ(f.pixel(2, 1), 7); // moving keeps the pixels
    f.setWidth(4);
    EXPECT_EQ(f.pixel(2, 1), 0); // resizing gives a new zeroed buffer
    // The transparent index is checked against the active map.
    log.messages.clear();
    f.colorMap().add(0);
    f.colorMap().add(makeColor(255, 255, 255));
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    EXPECT_EQ(f.graphicControlExtension(), gce.get());
    gce->setTransparentColorIndex(2);
    EXPECT_EQ(gce->transparentColorIndex(), 0);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Invalid color index"});
    gce->setTransparentColorIndex(1);
    EXPECT_EQ(gce->transparentColorIndex(), 1);
    gce.reset();
    EXPECT_EQ(f.graphicControlExtension(), nullptr);
}
