// The error-diffusion ditherers against their published weights, small cases worked by hand
// and a plain whole-image reading of error diffusion.
#include "graphics/gif/dither.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using gifcolour::Rgb;

namespace {

struct Tap {
    int dx, line, weight;
};

struct Kernel {
    int mode, divisor, lines, margin;
    std::vector<Tap> taps; // published weights, written out by hand
};

const std::vector<Kernel> kKernels = {
    {dtFloydSteinberg, 16, 2, 1, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
    {dtStucki,
     42,
     3,
     2,
     {{1, 0, 8},
      {2, 0, 4},
      {-2, 1, 2},
      {-1, 1, 4},
      {0, 1, 8},
      {1, 1, 4},
      {2, 1, 2},
      {-2, 2, 1},
      {-1, 2, 2},
      {0, 2, 4},
      {1, 2, 2},
      {2, 2, 1}}},
    {dtSierra,
     32,
     3,
     2,
     {{1, 0, 5},
      {2, 0, 3},
      {-2, 1, 2},
      {-1, 1, 4},
      {0, 1, 5},
      {1, 1, 4},
      {2, 1, 2},
      {-1, 2, 2},
      {0, 2, 3},
      {1, 2, 2}}},
    {dtJaJuNi,
     48,
     3,
     2,
     {{1, 0, 7},
      {2, 0, 5},
      {-2, 1, 3},
      {-1, 1, 5},
      {0, 1, 7},
      {1, 1, 5},
      {2, 1, 3},
      {-2, 2, 1},
      {-1, 2, 3},
      {0, 2, 5},
      {1, 2, 3},
      {2, 2, 1}}},
    {dtSteveArche,
     200,
     4,
     3,
     {{2, 0, 32},
      {-3, 1, 12},
      {-1, 1, 26},
      {1, 1, 30},
      {3, 1, 16},
      {-2, 2, 12},
      {0, 2, 26},
      {2, 2, 12},
      {-3, 3, 5},
      {-1, 3, 12},
      {1, 3, 12},
      {3, 3, 5}}},
    {dtBurkes, 32, 2, 2, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
};

gifcolour::KernelDitherer& asKernel(TDitherEngine& e)
{
    return dynamic_cast<gifcolour::KernelDitherer&>(e);
}

} // namespace

// One black pixel chosen for a grey of 100 leaves an error of 100 on each channel; it must
// land ahead in the walking direction, mirrored on the right-to-left rows, and nowhere else.
TEST(Ditherers, ErrorSpreadsAheadByTheWeightsAndMirrorsOnReturnRows)
{
    const int width = 9, at = 4;
    for (const Kernel& k : kKernels)
        for (int direction : {1, -1}) {
            int sum = 0;
            for (const Tap& t : k.taps)
                sum += t.weight;
            EXPECT_EQ(sum, k.divisor);
            TMonochromeLookup mono;
            auto engine = gifcolour::makeDitherEngine(k.mode, width, mono);
            EXPECT_EQ(asKernel(*engine).Divisor(), k.divisor);
            Rgb chosen;
            if (direction < 0) {
                for (int x = 0; x < width; ++x)
                    engine->Dither(0, 0, 0, chosen);
                engine->NextLine();
                EXPECT_EQ(engine->Column(), width - 1);
            }
            while (engine->Column() != at)
                engine->Dither(0, 0, 0, chosen);
            EXPECT_EQ(engine->Dither(100, 100, 100, chosen), 0);
            EXPECT_EQ(engine->Column(), at + direction);
            for (int line = 0; line < k.lines; ++line)
                for (int x = -k.margin; x < width + k.margin; ++x) {
                    int want = 0;
                    for (const Tap& t : k.taps)
                        want += t.line == line && at + t.dx * direction == x ? 100 * t.weight : 0;
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(asKernel(*engine).accumulated(line, c, x), want)
                            << "mode " << k.mode << " dir " << direction << " line " << line << " x " << x;
                }
        }
}

// Floyd-Steinberg, 3 x 2 grey 100 into black/white, worked by hand:
// row 0 ->: 100 black (err 100); 100+(700+8)/16=144 white (err -111);
//           100+(-777+8)/16=100-48=52 black (err 52; truncation toward zero, not -49)
// next row then holds 500-333=167, 100-555+156=-299, -111+260=149
// row 1 <-: 100+(149+8)/16=109 black (err 109); 100+(-299+763+8)/16=129 white (err -126);
//           100+(167-882+8)/16=100-44=56 black.
// Stucki, one row of five (divisor 42, rounding 21): 100 black (+800, +400);
// 100+(800+21)/42=119 black (+952, +476); 100+(1352+21)/42=132 white (-984, -492);
// 100+(-508+21)/42=89 black (+712); 100+(220+21)/42=105 black.
TEST(Ditherers, SmallImagesByHand)
{
    TMonochromeLookup mono;
    TFloydSteinbergDitherer fs(3, mono);
    Rgb chosen;
    std::vector<int> row0, row1(3);
    for (int i = 0; i < 3; ++i)
        row0.push_back(fs.Dither(100, 100, 100, chosen));
    EXPECT_EQ(row0, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(fs.accumulated(1, 0, 0), 167);
    EXPECT_EQ(fs.accumulated(1, 1, 1), -299);
    EXPECT_EQ(fs.accumulated(1, 2, 2), 149);
    fs.NextLine();
    EXPECT_EQ(fs.Direction(), -1);
    EXPECT_EQ(fs.accumulated(0, 0, 0), 167); // the next row became the current one
    EXPECT_EQ(fs.accumulated(1, 0, 0), 0); // and the old one was cleared
    for (int i = 0; i < 3; ++i) {
        const int x = fs.Column();
        row1[size_t(x)] = fs.Dither(100, 100, 100, chosen);
    }
    EXPECT_EQ(row1, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(fs.accumulated(0, 0, 0), 167 - 882);

    TStuckiDitherer st(5, mono);
    std::vector<int> row;
    for (int i = 0; i < 5; ++i)
        row.push_back(st.Dither(100, 100, 100, chosen));
    EXPECT_EQ(row, (std::vector<int>{0, 0, 1, 0, 0}));

    // Nearest colour only looks up, in the same serpentine order; unknown modes give none.
    TNetscapeColorLookup web;
    auto nearest = gifcolour::makeDitherEngine(dtNearest, 3, web);
    EXPECT_EQ(nearest->Dither(25, 48, 255, chosen), 11);
    EXPECT_EQ(nearest->Dither(25, 48, 255, chosen), 11); // no error carried
    EXPECT_EQ(nearest->Column(), 2);
    nearest->NextLine();
    EXPECT_EQ(nearest->Column(), 2);
    EXPECT_EQ(nearest->Direction(), -1);
    EXPECT_EQ(gifcolour::makeDitherEngine(7, 3, web), nullptr);
    EXPECT_EQ(gifcolour::makeDitherEngine(-1, 3, web), nullptr);
}

// A second, plain reading of error diffusion: whole-image error planes, no line rotation.
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
                        for (const Tap& t : k.taps)
                            e(y + t.line, rx + t.dx * dir, c) += (corr[c] - pick[c]) * t.weight;
                }
                engine->NextLine();
            }
            EXPECT_EQ(got, want) << "mode " << k.mode << " width " << width;
        }
    }
}
