#include <gtest/gtest.h>

#include "graphics/gif/lookup.h"
#include "graphics/gif/palettes.h"

using gifcolour::Palette;
using gifcolour::PaletteEntry;
using gifcolour::Rgb;

TEST(FixedPalettes, WebSafeCubeOrderAndLevels) {
    Palette p = gifcolour::webSafePalette();
    ASSERT_EQ(p.size(), 216u);
    EXPECT_EQ(p[0], (PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(p[1], (PaletteEntry{0, 0, 51, 0}));      // blue innermost
    EXPECT_EQ(p[6], (PaletteEntry{0, 51, 0, 0}));
    EXPECT_EQ(p[36], (PaletteEntry{51, 0, 0, 0}));     // red outermost
    EXPECT_EQ(p[36 * 5 + 6 * 2 + 4], (PaletteEntry{255, 102, 204, 0}));
    EXPECT_EQ(p[215], (PaletteEntry{255, 255, 255, 0}));
}

TEST(FixedPalettes, GreysAndSystemColours) {
    Palette g4 = gifcolour::gray4Palette();
    ASSERT_EQ(g4.size(), 4u);
    EXPECT_EQ(g4[1], (PaletteEntry{128, 128, 128, gifcolour::kNoCollapse}));
    EXPECT_EQ(g4[2], (PaletteEntry{192, 192, 192, gifcolour::kNoCollapse}));
    Palette mono = gifcolour::monochromePalette();
    ASSERT_EQ(mono.size(), 2u);
    EXPECT_EQ(mono[0], (PaletteEntry{0, 0, 0, gifcolour::kNoCollapse}));
    EXPECT_EQ(mono[1], (PaletteEntry{255, 255, 255, gifcolour::kNoCollapse}));
    Palette g256 = gifcolour::gray256Palette();
    ASSERT_EQ(g256.size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(g256[static_cast<std::size_t>(i)].green, i);

    Palette sys = gifcolour::system20Palette();
    ASSERT_EQ(sys.size(), 20u);
    EXPECT_EQ(sys[0], (PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(sys[7], (PaletteEntry{192, 192, 192, 0}));
    EXPECT_EQ(sys[19], (PaletteEntry{255, 255, 255, 0}));

    Palette half = gifcolour::halftonePalette();
    ASSERT_EQ(half.size(), 256u);
    EXPECT_EQ(half[0], sys[0]);
    EXPECT_EQ(half[10], (PaletteEntry{0, 0, 0, 0}));    // the cube starts after 10 system colours
    EXPECT_EQ(half[255], sys[19]);
}

TEST(NetscapeLookup, LevelsRoundAtThree) {
    TNetscapeColorLookup lookup;
    EXPECT_EQ(lookup.Colors(), 216);
    Rgb chosen;
    // 25 -> (28 / 51) level 0; 48 -> (51 / 51) level 1; 255 -> level 5.
    EXPECT_EQ(lookup.Lookup(25, 48, 255, chosen), 0 * 36 + 1 * 6 + 5);
    EXPECT_EQ(chosen, (Rgb{0, 51, 255}));
    EXPECT_EQ(lookup.Lookup(47, 0, 0, chosen), 0);      // 50 / 51 = 0
    EXPECT_EQ(lookup.Lookup(255, 255, 255, chosen), 215);
    EXPECT_EQ(lookup.Lookup(150, 100, 200, chosen), 3 * 36 + 2 * 6 + 3);  // 153/51, 103/51, 203/51
    EXPECT_EQ(chosen, (Rgb{153, 102, 153}));
}

TEST(GrayScaleLookup, WeightedLuminance) {
    TGrayScaleLookup lookup;
    EXPECT_EQ(lookup.Colors(), 256);
    Rgb chosen;
    EXPECT_EQ(lookup.Lookup(255, 0, 0, chosen), 76);    // 19635 >> 8
    EXPECT_EQ(chosen, (Rgb{76, 76, 76}));
    EXPECT_EQ(lookup.Lookup(0, 255, 0, chosen), 149);   // 38250 >> 8
    EXPECT_EQ(lookup.Lookup(0, 0, 255, chosen), 28);    // 7395 >> 8
    EXPECT_EQ(lookup.Lookup(10, 20, 30, chosen), 18);   // 4640 >> 8
    EXPECT_EQ(lookup.Lookup(255, 255, 255, chosen), 255);
}

TEST(MonochromeLookup, ThresholdBetween127And128) {
    TMonochromeLookup lookup;
    EXPECT_EQ(lookup.Colors(), 2);
    Rgb chosen;
    EXPECT_EQ(lookup.Lookup(127, 127, 127, chosen), 0);  // 32512
    EXPECT_EQ(chosen, (Rgb{0, 0, 0}));
    EXPECT_EQ(lookup.Lookup(128, 128, 128, chosen), 1);  // 32768
    EXPECT_EQ(chosen, (Rgb{255, 255, 255}));
    EXPECT_EQ(lookup.Lookup(255, 100, 0, chosen), 1);    // 19635 + 15000 = 34635
    EXPECT_EQ(lookup.Lookup(0, 216, 0, chosen), 0);      // 32400
    EXPECT_EQ(lookup.Lookup(0, 217, 0, chosen), 1);      // 32550
}

TEST(FastLookup, EntriesClaimTheirOwnCellsFirstEntryWins) {
    Palette p = {{0, 0, 0, 0}, {7, 7, 7, 0}, {255, 0, 0, 0}, {8, 0, 0, 0}};
    TFastColorLookup lookup(p);
    EXPECT_EQ(lookup.Colors(), 4);
    EXPECT_EQ(lookup.cell(0), 0);    // (0,0,0) and (7,7,7) share cell 0: the first keeps it
    EXPECT_EQ(lookup.cell(31), 2);   // 255 >> 3 = 31
    EXPECT_EQ(lookup.cell(1), 3);    // 8 >> 3 = 1
    EXPECT_EQ(lookup.cell(TFastColorLookup::cellOf(0, 8, 0)), TFastColorLookup::kEmptyCell);
    EXPECT_EQ(TFastColorLookup::cellOf(8, 16, 24), 1 | (2 << 5) | (3 << 10));

    Rgb chosen;
    // (7,7,7) is in the palette, but its cell belongs to entry 0: accepted granularity.
    EXPECT_EQ(lookup.Lookup(7, 7, 7, chosen), 0);
    EXPECT_EQ(chosen, (Rgb{0, 0, 0}));
    // An empty cell is filled by a full scan: distances 100, 107, 155, 92.
    EXPECT_EQ(lookup.Lookup(100, 0, 0, chosen), 3);
    EXPECT_EQ(chosen, (Rgb{8, 0, 0}));
    EXPECT_EQ(lookup.cell(TFastColorLookup::cellOf(100, 0, 0)), 3);
    // Later colours of that cell get the cached answer without a scan.
    EXPECT_EQ(lookup.Lookup(103, 7, 7, chosen), 3);
}

TEST(FastLookup, TieGoesToLowestIndexAndEmptyPaletteHasNoColours) {
    Palette p = {{10, 0, 0, 0}, {0, 10, 0, 0}};
    TFastColorLookup lookup(p);
    Rgb chosen;
    EXPECT_EQ(lookup.Lookup(5, 5, 0, chosen), 0);
    EXPECT_EQ(gifcolour::nearestColor({{10, 0, 0}, {0, 10, 0}, {5, 5, 0}}, 5, 5, 0), 2);

    TFastColorLookup none(Palette{});
    EXPECT_EQ(none.Colors(), 0);
}
