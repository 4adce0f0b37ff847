#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "graphics/gif/quantizer.h"

using gifcolour::Palette;
using gifcolour::PaletteEntry;
using gifcolour::Rgb;
using gifcolour::RgbImage;

TEST(Octree, FewColoursComeBackExactlyInTreeOrder) {
    TColorQuantizer q(256);
    // Tree order is by the interleaved bits, most significant first: blue is the low bit.
    q.AddColor(255, 0, 0);
    q.AddColor(0, 0, 255);
    q.AddColor(0, 0, 0);
    q.AddColor(0, 0, 255);
    EXPECT_EQ(q.ColorCount(), 3);
    EXPECT_EQ(q.ColorTable(), (std::vector<Rgb>{{0, 0, 0}, {0, 0, 255}, {255, 0, 0}}));
}

// Limit 2: black, white and (255,255,254) share no level-1 node with black, so the deepest
// reducible node, the parent of the two near-whites at level 7, is folded:
// (255+255)/2, (255+255)/2, (255+254)/2 = 254 (integer division).
TEST(Octree, FoldsTheDeepestNodeAndAveragesItsChildren) {
    TColorQuantizer q(2);
    q.AddColor(0, 0, 0);
    q.AddColor(255, 255, 255);
    q.AddColor(255, 255, 254);
    EXPECT_EQ(q.ColorCount(), 2);
    EXPECT_EQ(q.ColorTable(), (std::vector<Rgb>{{0, 0, 0}, {255, 255, 254}}));
}

// Two level-7 parents are reducible; the one created last is folded first.
TEST(Octree, FoldsTheMostRecentNodeOfALevelFirst) {
    TColorQuantizer q(3);
    q.AddColor(0, 0, 0);
    q.AddColor(0, 0, 1);
    q.AddColor(255, 255, 255);
    q.AddColor(255, 255, 254);
    EXPECT_EQ(q.ColorTable(), (std::vector<Rgb>{{0, 0, 0}, {0, 0, 1}, {255, 255, 254}}));
}

TEST(Octree, NeverKeepsMoreLeavesThanTheLimit) {
    for (int limit : {2, 3, 16, 100, 236, 256}) {
        TColorQuantizer q(limit);
        std::set<std::tuple<int, int, int>> seen;
        std::uint32_t s = 1;
        for (int i = 0; i < 20000; ++i) {
            s = s * 1664525u + 1013904223u;
            q.AddColor(static_cast<std::uint8_t>(s >> 24), static_cast<std::uint8_t>(s >> 16),
                       static_cast<std::uint8_t>(s >> 8));
            ASSERT_LE(q.ColorCount(), limit);
        }
        EXPECT_GE(q.ColorCount(), limit == 2 ? 1 : limit / 2);
        EXPECT_EQ(static_cast<int>(q.ColorTable().size()), q.ColorCount());
    }
}

// 16,843,010 pixels of 255 sum to more than 2^32: the average must still be 255.
TEST(Octree, SumsDoNotOverflowOnLargePictures) {
    TColorQuantizer q(4);
    for (int i = 0; i < 16843010; ++i) q.AddColor(255, 255, 255);
    q.AddColor(0, 0, 0);
    EXPECT_EQ(q.ColorTable(), (std::vector<Rgb>{{0, 0, 0}, {255, 255, 255}}));
}

TEST(OptimizedPalette, SizesAndSystemColours) {
    RgbImage img(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            img.set(x, y, {static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4),
                           static_cast<std::uint8_t>((x + y) * 2)});
    Palette p16 = gifcolour::createOptimizedPalette(img, 16, 8, false);
    EXPECT_EQ(p16.size(), 16u);
    for (const auto& e : p16) EXPECT_EQ(e.flags, 0);

    Palette sys = gifcolour::createOptimizedPalette(img, 256, 8, true);
    ASSERT_EQ(sys.size(), 256u);
    Palette stock = gifcolour::system20Palette();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(sys[static_cast<std::size_t>(i)], stock[static_cast<std::size_t>(i)]);
        EXPECT_EQ(sys[static_cast<std::size_t>(246 + i)], stock[static_cast<std::size_t>(10 + i)]);
    }
    // 4096 distinct colours fill all 236 places between them.
    std::set<std::tuple<int, int, int>> middle;
    for (int i = 10; i < 246; ++i) {
        const auto& e = sys[static_cast<std::size_t>(i)];
        middle.insert({e.red, e.green, e.blue});
    }
    EXPECT_GT(middle.size(), 200u);

    // Fewer colours than asked: the rest of the palette stays black.
    RgbImage two(2, 1);
    two.set(0, 0, {10, 20, 30});
    two.set(1, 0, {200, 100, 50});
    Palette p = gifcolour::createOptimizedPalette(two, 8, 8, false);
    ASSERT_EQ(p.size(), 8u);
    EXPECT_EQ(p[0], (PaletteEntry{10, 20, 30, 0}));
    EXPECT_EQ(p[1], (PaletteEntry{200, 100, 50, 0}));
    for (int i = 2; i < 8; ++i) EXPECT_EQ(p[static_cast<std::size_t>(i)], PaletteEntry{});
}
