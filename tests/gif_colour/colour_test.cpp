// Fixed palettes, colour look-ups, the octree quantiser and the colour reduction they serve; the
// error-diffusion ditherers against a plain whole-image reading with their published weights;
// frames filled from indexed and true-colour bitmaps, transparency masks and frame copies.
#include "gif_codec/gif_test_util.h"
#include "graphics/gif/dither.h"
#include "graphics/gif/frame_import.h"
#include "graphics/gif/lookup.h"
#include "graphics/gif/palettes.h"
#include "graphics/gif/reduce.h"

using gifcolour::IndexedBitmap;
using gifcolour::Palette;
using gifcolour::PaletteEntry;
using gifcolour::ReducedImage;
using gifcolour::Rgb;
using gifcolour::RgbImage;
using giftest::Bytes;
using giftest::frameData;
using giftest::raisedBy;
using giftest::rgbPicture;

namespace {

RgbImage gradient(int w, int h)
{
    return rgbPicture(w, h, [&](int i) {
        const int x = i % w, y = i / w;
        return Rgb{uint8_t(x * 255 / std::max(w - 1, 1)), uint8_t(y * 255 / std::max(h - 1, 1)),
                   uint8_t((x * 7 + y * 3) & 255)};
    });
}

RgbImage picture(int w, int h, const std::vector<Rgb>& pixels)
{
    return rgbPicture(w, h, [&](int i) { return pixels[size_t(i)]; });
}

int reducedIndex(Rgb c, int method)
{
    return ReduceColors(picture(1, 1, {c}), method, dtNearest, 8, nullptr).index(0, 0);
}

struct Kernel {
    int mode, divisor;
    std::vector<int> taps; // (dx, line, weight) of the published weights, written out by hand
};

const std::vector<Kernel> kKernels = {
    {dtFloydSteinberg, 16, {1, 0, 7, -1, 1, 3, 0, 1, 5, 1, 1, 1}},
    {dtStucki, 42, {1, 0, 8, 2,  0, 4, -2, 1, 2, -1, 1, 4, 0, 1, 8, 1, 1, 4,
                    2, 1, 2, -2, 2, 1, -1, 2, 2, 0,  2, 4, 1, 2, 2, 2, 2, 1}},
    {dtSierra, 32, {1, 0, 5, 2, 0, 3, -2, 1, 2, -1, 1, 4, 0, 1, 5,
                    1, 1, 4, 2, 1, 2, -1, 2, 2, 0,  2, 3, 1, 2, 2}},
    {dtJaJuNi, 48, {1, 0, 7, 2,  0, 5, -2, 1, 3, -1, 1, 5, 0, 1, 7, 1, 1, 5,
                    2, 1, 3, -2, 2, 1, -1, 2, 3, 0,  2, 5, 1, 2, 3, 2, 2, 1}},
    {dtSteveArche, 200, {2, 0, 32, -3, 1, 12, -1, 1, 26, 1,  1, 30, 3, 1, 16, -2, 2, 12,
                         0, 2, 26, 2,  2, 12, -3, 3, 5,  -1, 3, 12, 1, 3, 12, 3,  3, 5}},
    {dtBurkes, 32, {1, 0, 8, 2, 0, 4, -2, 1, 2, -1, 1, 4, 0, 1, 8, 1, 1, 4, 2, 1, 2}},
};

std::vector<TGIFColor> mapOf(const TGIFSubImage& f)
{
    return {f.colorMap().entries().begin(), f.colorMap().entries().end()};
}

const gifcolour::ReductionOptions kExact{reNone, dtNearest, 8};

} // namespace

TEST(FixedPalettes, CubeGreysAndSystemColours)
{
    const uint8_t nc = gifcolour::kNoCollapse;
    const Palette web = gifcolour::webSafePalette(), g4 = gifcolour::gray4Palette(),
                  g256 = gifcolour::gray256Palette(), mono = gifcolour::monochromePalette(),
                  sys = gifcolour::system20Palette(), half = gifcolour::halftonePalette();
    EXPECT_EQ(g4, (Palette{{0, 0, 0, nc}, {128, 128, 128, nc}, {192, 192, 192, nc}, {255, 255, 255, nc}}));
    EXPECT_EQ(mono, (Palette{{0, 0, 0, nc}, {255, 255, 255, nc}}));
    // The cube: blue innermost, red outermost.
    EXPECT_EQ((Palette{web[0], web[1], web[6]}), (Palette{{0, 0, 0, 0}, {0, 0, 51, 0}, {0, 51, 0, 0}}));
    EXPECT_EQ((Palette{web[36], web[196], web[215]}),
              (Palette{{51, 0, 0, 0}, {255, 102, 204, 0}, {255, 255, 255, 0}}));
    EXPECT_EQ((Palette{sys[0], sys[7], sys[19]}),
              (Palette{{0, 0, 0, 0}, {192, 192, 192, 0}, {255, 255, 255, 0}}));
    // Ten system colours, the cube, greys between the cube's grey steps, ten system colours.
    EXPECT_TRUE(std::equal(sys.begin(), sys.begin() + 10, half.begin()));
    EXPECT_TRUE(std::equal(web.begin(), web.end(), half.begin() + 10));
    EXPECT_EQ((Palette{half[226], half[245]}), (Palette{{10, 10, 10, 0}, {244, 244, 244, 0}}));
    EXPECT_TRUE(std::equal(sys.begin() + 10, sys.end(), half.begin() + 246));
    EXPECT_EQ(g256[100], (PaletteEntry{100, 100, 100, nc}));
}

TEST(ColourLookups, CubeGreyAndMonochromeByTheirRules)
{
    TNetscapeColorLookup web;
    TGrayScaleLookup grey;
    TMonochromeLookup mono;
    struct Row {
        TColorLookup& lookup;
        Rgb in;
        int index;
        Rgb chosen;
    };
    const Row rows[] = {
        // Levels round at 3: 25 -> 28 / 51 = 0; 48 -> 51 / 51 = 1; 50 / 51 = 0.
        {web, {25, 48, 255}, 0 * 36 + 1 * 6 + 5, {0, 51, 255}},
        {web, {150, 100, 200}, 3 * 36 + 2 * 6 + 3, {153, 102, 153}},
        // (77 r + 150 g + 29 b) >> 8.
        {grey, {255, 0, 0}, 76, {76, 76, 76}},
        {grey, {0, 255, 0}, 149, {149, 149, 149}},
        {grey, {0, 0, 255}, 28, {28, 28, 28}},
        // White from 32513 on.
        {mono, {127, 127, 127}, 0, {0, 0, 0}},
        {mono, {128, 128, 128}, 1, {255, 255, 255}},
        {mono, {0, 216, 0}, 0, {0, 0, 0}},
        {mono, {0, 217, 0}, 1, {255, 255, 255}},
    };
    for (const Row& r : rows) {
        Rgb chosen;
        EXPECT_EQ(r.lookup.Lookup(r.in.red, r.in.green, r.in.blue, chosen), r.index) << int(r.in.red);
        EXPECT_EQ(chosen, r.chosen) << int(r.in.red);
    }
}

TEST(ColourLookups, FastLookupCellsFirstEntryWinsThenNearestLowestIndex)
{
    TFastColorLookup lookup(Palette{{0, 0, 0, 0}, {7, 7, 7, 0}, {255, 0, 0, 0}, {8, 0, 0, 0}});
    EXPECT_EQ(lookup.Colors(), 4);
    Rgb chosen;
    // Cells of 5 bits a channel: (7,7,7) is in the palette, but its cell belongs to entry 0,
    // which claimed it first; accepted granularity.
    EXPECT_EQ(lookup.Lookup(7, 7, 7, chosen), 0);
    EXPECT_EQ(chosen, (Rgb{0, 0, 0}));
    // An empty cell is filled by a full scan: distances 100, 107, 155, 92. Later colours of
    // that cell get the cached answer without a scan (it would pick entry 1).
    EXPECT_EQ(lookup.Lookup(100, 0, 0, chosen), 3);
    EXPECT_EQ(chosen, (Rgb{8, 0, 0}));
    EXPECT_EQ(lookup.Lookup(103, 7, 7, chosen), 3);

    TFastColorLookup tie(Palette{{10, 0, 0, 0}, {0, 10, 0, 0}});
    EXPECT_EQ(tie.Lookup(5, 5, 0, chosen), 0);
    EXPECT_EQ(gifcolour::nearestColor({{10, 0, 0}, {0, 10, 0}, {5, 5, 0}}, 5, 5, 0), 2);
    EXPECT_EQ(TFastColorLookup(Palette{}).Colors(), 0);
}

TEST(Octree, ColoursInTreeOrderFoldingTheDeepestNewestNodeFirst)
{
    auto table = [](int limit, std::initializer_list<Rgb> colours) {
        TColorQuantizer q(limit);
        for (Rgb c : colours)
            q.AddColor(c.red, c.green, c.blue);
        EXPECT_EQ(q.ColorCount(), int(q.ColorTable().size()));
        return q.ColorTable();
    };
    using Table = std::vector<Rgb>;
    // Tree order is by the interleaved bits, most significant first: blue is the low bit.
    EXPECT_EQ(table(256, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}, {0, 0, 255}}),
              (Table{{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}}));
    // The parent of the two near-whites at level 7 is folded: (255 + 254) / 2 = 254.
    EXPECT_EQ(table(2, {{0, 0, 0}, {255, 255, 255}, {255, 255, 254}}), (Table{{0, 0, 0}, {255, 255, 254}}));
    // Two level-7 parents are reducible; the one created last is folded first.
    EXPECT_EQ(table(3, {{0, 0, 0}, {0, 0, 1}, {255, 255, 255}, {255, 255, 254}}),
              (Table{{0, 0, 0}, {0, 0, 1}, {255, 255, 254}}));
    // 16,843,010 pixels of 255 sum to more than 2^32: the average must still be 255.
    TColorQuantizer big(4);
    for (int i = 0; i < 16843010; ++i)
        big.AddColor(255, 255, 255);
    big.AddColor(0, 0, 0);
    EXPECT_EQ(big.ColorTable(), (Table{{0, 0, 0}, {255, 255, 255}}));
}

TEST(ReduceColors, EachMethodUsesItsPaletteAndLookup)
{
    const RgbImage img = gradient(16, 8);
    struct Case {
        int method;
        size_t entries;
    };
    for (Case c : {Case{reSystem20, 20}, Case{reHalftone, 256}, Case{reGray4, 4}, Case{reMonochrome, 2},
                   Case{reGray256, 256}, Case{reWebSafe216, 216}, Case{reQuantize, 256},
                   Case{reQuantizeSystem, 256}}) {
        ReducedImage r = ReduceColors(img, c.method, dtNearest, 8, nullptr);
        ASSERT_EQ(r.bitsPerPixel, 8) << c.method;
        EXPECT_EQ(r.palette.size(), c.entries) << c.method;
        ASSERT_EQ(r.pixels.size(), 16u * 8u);
        EXPECT_LT(*std::max_element(r.pixels.begin(), r.pixels.end()), c.entries) << c.method;
    }
    // The quantised colours go between the two halves of the system colours.
    const Palette sys = ReduceColors(img, reQuantizeSystem, dtNearest, 8, nullptr).palette,
                  stock = gifcolour::system20Palette();
    EXPECT_TRUE(std::equal(stock.begin(), stock.begin() + 10, sys.begin()));
    EXPECT_TRUE(std::equal(stock.begin() + 10, stock.end(), sys.begin() + 246));
    // The cube through its look-up; grey 256 through the luminance; monochrome at its
    // threshold; four greys by nearest distance (150 is nearer 128 than 192).
    EXPECT_EQ(reducedIndex({25, 48, 255}, reWebSafe216), 11);
    EXPECT_EQ(reducedIndex({255, 0, 0}, reGray256), 76);
    EXPECT_EQ(reducedIndex({127, 127, 127}, reMonochrome), 0);
    EXPECT_EQ(reducedIndex({128, 128, 128}, reMonochrome), 1);
    EXPECT_EQ(reducedIndex({150, 150, 150}, reGray4), 1);
    // The quantiser takes the reduction bits, clamped to 1..8.
    for (auto [bits, size] : {std::pair{4, 16u}, {0, 2u}, {-5, 2u}, {12, 256u}})
        EXPECT_EQ(ReduceColors(gradient(32, 32), reQuantize, dtNearest, bits, nullptr).palette.size(), size)
            << bits;
    EXPECT_FALSE(ReduceColors(RgbImage(500, 1000), reGray4, dtNearest, 8, nullptr).deviceIndependent);
    EXPECT_TRUE(ReduceColors(RgbImage(501, 1000), reGray4, dtNearest, 8, nullptr).deviceIndependent);
}

TEST(ReduceColors, ACustomPaletteIsTakenAsGiven)
{
    const RgbImage img = picture(3, 3, std::vector<Rgb>(9, {200, 10, 10}));
    const Palette custom = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}};
    ReducedImage r = ReduceColors(img, reCustomPalette, dtFloydSteinberg, 8, &custom);
    ASSERT_EQ(r.bitsPerPixel, 8);
    EXPECT_EQ(r.palette, custom);
}

TEST(ReduceColors, RefusalsRaiseOrGiveTheEmptyImage)
{
    const RgbImage img = picture(3, 3, std::vector<Rgb>(9, {200, 10, 10}));
    EXPECT_EQ(raisedBy([&] { ReduceColors(img, reCustomPalette, dtNearest, 8, nullptr); }),
              "Invalid reduction method");
    EXPECT_EQ(raisedBy([&] { ReduceColors(RgbImage(0, 3), reWebSafe216, dtNearest, 8, nullptr); }),
              "Invalid image dimensions");
    RgbImage shortBuffer = gradient(4, 4);
    shortBuffer.pixels.resize(40);
    EXPECT_EQ(raisedBy([&] { ReduceColors(shortBuffer, reNone, dtNearest, 8, nullptr); }),
              "Invalid image dimensions");
    // Nothing to look up in, an unknown method or ditherer: the empty image.
    const Palette empty;
    EXPECT_TRUE(ReduceColors(img, reCustomPalette, dtNearest, 8, &empty).empty());
    EXPECT_TRUE(ReduceColors(img, 10, dtNearest, 8, nullptr).empty());
    EXPECT_TRUE(ReduceColors(img, -1, dtNearest, 8, nullptr).empty());
    EXPECT_TRUE(ReduceColors(img, reWebSafe216, 7, 8, nullptr).empty());
}

// A second, plain reading of error diffusion: whole-image error planes, no line rotation,
// each pixel takes (error + divisor / 2) / divisor, truncated toward zero.
TEST(Ditherers, AgreeWithWholeImageReference)
{
    std::mt19937 rng(12);
    gifcolour::Palette palette;
    for (int i = 0; i < 8; ++i)
        palette.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
    for (const int width : {13, 1}) {
        const int height = 7, pad = 4, pw = width + 2 * pad;
        std::vector<Rgb> image(size_t(width * height));
        for (auto& p : image)
            p = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        for (const Kernel& k : kKernels) {
            TFastColorLookup lookup(palette), refLookup(palette);
            auto engine = gifcolour::makeDitherEngine(k.mode, width, lookup);
            std::vector<int> got(image.size()), want(image.size());
            std::vector<long> err(size_t((height + 4) * pw * 3), 0);
            auto e = [&](int y, int x, int c) -> long& { return err[size_t((y * pw + x + pad) * 3 + c)]; };
            Rgb chosen;
            for (int y = 0; y < height; ++y) {
                for (int i = 0; i < width; ++i) {
                    const int x = engine->Column();
                    const Rgb& p = image.at(size_t(y * width + x));
                    got.at(size_t(y * width + x)) = engine->Dither(p.red, p.green, p.blue, chosen);
                    // The reference: rows alternate direction; errors stay in whole planes.
                    const int rx = y % 2 == 0 ? i : width - 1 - i, dir = y % 2 == 0 ? 1 : -1;
                    const Rgb& q = image[size_t(y * width + rx)];
                    const int in[3] = {q.red, q.green, q.blue};
                    int corr[3];
                    for (int c = 0; c < 3; ++c)
                        corr[c] = std::clamp(int(in[c] + (e(y, rx, c) + k.divisor / 2) / k.divisor), 0, 255);
                    Rgb ch;
                    want[size_t(y * width + rx)] =
                        refLookup.Lookup(uint8_t(corr[0]), uint8_t(corr[1]), uint8_t(corr[2]), ch);
                    const int pick[3] = {ch.red, ch.green, ch.blue};
                    for (int c = 0; c < 3; ++c)
                        for (size_t t = 0; t < k.taps.size(); t += 3)
                            e(y + k.taps[t + 1], rx + k.taps[t] * dir, c) +=
                                (corr[c] - pick[c]) * k.taps[t + 2];
                }
                engine->NextLine();
            }
            EXPECT_EQ(got, want) << "mode " << k.mode << " width " << width;
        }
    }
}

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
        ASSERT_EQ(frame.colorMap().entries()[frame.pixel(i % 60, i / 60)].red, twelve.at(i % 60, i / 60).red);
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
    EXPECT_EQ(frame.colorMap().entries()[frame.pixel(31, 7)], (TGIFColor{204, 204, 51}));
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
