#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "graphics/gif/dither.h"

using gifcolour::Rgb;

namespace {

struct Tap {
    int dx, line, weight;
};

struct Kernel {
    int mode;
    int divisor;
    int lines;
    int margin;
    std::vector<Tap> taps;  // published weights, written out by hand
};

const std::vector<Kernel>& kernels() {
    static const std::vector<Kernel> k = {
        {dtFloydSteinberg, 16, 2, 1, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
        {dtStucki, 42, 3, 2,
         {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
          {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}},
        {dtSierra, 32, 3, 2,
         {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
          {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}},
        {dtJaJuNi, 48, 3, 2,
         {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
          {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}},
        {dtSteveArche, 200, 4, 3,
         {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12}, {0, 2, 26},
          {2, 2, 12}, {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}},
        {dtBurkes, 32, 2, 2,
         {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
    };
    return k;
}

gifcolour::KernelDitherer& asKernel(TDitherEngine& e) {
    return dynamic_cast<gifcolour::KernelDitherer&>(e);
}

// Expected error at (line, column) after one pixel at `at` left an error of 100.
int expectedProbe(const Kernel& k, int direction, int at, int line, int column) {
    int sum = 0;
    for (const Tap& t : k.taps)
        if (t.line == line && at + t.dx * direction == column) sum += 100 * t.weight;
    return sum;
}

}  // namespace

TEST(Ditherers, WeightsSumToTheirDivisor) {
    for (const Kernel& k : kernels()) {
        int sum = 0;
        for (const Tap& t : k.taps) sum += t.weight;
        EXPECT_EQ(sum, k.divisor) << "mode " << k.mode;
        TMonochromeLookup mono;
        auto engine = gifcolour::makeDitherEngine(k.mode, 5, mono);
        EXPECT_EQ(asKernel(*engine).Divisor(), k.divisor);
    }
}

// One black pixel chosen for a grey of 100 leaves an error of 100 on each channel; it must
// land ahead in the walking direction, mirrored on the right-to-left rows.
TEST(Ditherers, ErrorSpreadsAheadAndMirrorsOnReturnRows) {
    const int width = 9, at = 4;
    for (const Kernel& k : kernels()) {
        for (int direction : {1, -1}) {
            TMonochromeLookup mono;
            auto engine = gifcolour::makeDitherEngine(k.mode, width, mono);
            Rgb chosen;
            if (direction < 0) {
                for (int x = 0; x < width; ++x) engine->Dither(0, 0, 0, chosen);
                engine->NextLine();
                EXPECT_EQ(engine->Column(), width - 1);
            }
            while (engine->Column() != at) engine->Dither(0, 0, 0, chosen);
            EXPECT_EQ(engine->Dither(100, 100, 100, chosen), 0);
            EXPECT_EQ(engine->Column(), at + direction);
            auto& kd = asKernel(*engine);
            for (int line = 0; line < k.lines; ++line)
                for (int c = 0; c < 3; ++c)
                    for (int x = -k.margin; x < width + k.margin; ++x)
                        ASSERT_EQ(kd.accumulated(line, c, x), expectedProbe(k, direction, at, line, x))
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
TEST(Ditherers, FloydSteinbergSmallImageByHand) {
    TMonochromeLookup mono;
    TFloydSteinbergDitherer fs(3, mono);
    Rgb chosen;
    std::vector<int> row0;
    for (int i = 0; i < 3; ++i) row0.push_back(fs.Dither(100, 100, 100, chosen));
    EXPECT_EQ(row0, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(fs.accumulated(1, 0, 0), 167);
    EXPECT_EQ(fs.accumulated(1, 1, 1), -299);
    EXPECT_EQ(fs.accumulated(1, 2, 2), 149);
    fs.NextLine();
    EXPECT_EQ(fs.Direction(), -1);
    EXPECT_EQ(fs.accumulated(0, 0, 0), 167);  // the next row became the current one
    EXPECT_EQ(fs.accumulated(1, 0, 0), 0);    // and the old one was cleared
    std::vector<int> row1(3);
    for (int i = 0; i < 3; ++i) {
        int x = fs.Column();
        row1[static_cast<std::size_t>(x)] = fs.Dither(100, 100, 100, chosen);
    }
    EXPECT_EQ(row1, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(fs.accumulated(0, 0, 0), 167 - 882);
}

// Stucki, one row of five greys of 100 (divisor 42, rounding 21):
// 100 black (err 100: +800, +400); 100+(800+21)/42=119 black (err 119: +952, +476);
// 100+(1352+21)/42=132 white (err -123: -984, -492); 100+(-508+21)/42=89 black (err 89: +712);
// 100+(220+21)/42=105 black.
TEST(Ditherers, StuckiRowByHand) {
    TMonochromeLookup mono;
    TStuckiDitherer st(5, mono);
    Rgb chosen;
    std::vector<int> row;
    for (int i = 0; i < 5; ++i) row.push_back(st.Dither(100, 100, 100, chosen));
    EXPECT_EQ(row, (std::vector<int>{0, 0, 1, 0, 0}));
}

// A column one pixel wide walks down in both directions:
// 100 black (err 100 -> below +500); 100+508/16=131 white (err -124 -> -620);
// 100+(-612)/16=62 black (err 62 -> +310); 100+318/16=119 black.
TEST(Ditherers, OnePixelWideImage) {
    TMonochromeLookup mono;
    for (const Kernel& k : kernels()) {
        auto engine = gifcolour::makeDitherEngine(k.mode, 1, mono);
        Rgb chosen;
        std::vector<int> column;
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(engine->Column(), 0);
            column.push_back(engine->Dither(100, 100, 100, chosen));
            engine->NextLine();
        }
        if (k.mode == dtFloydSteinberg) {
            EXPECT_EQ(column, (std::vector<int>{0, 1, 0, 0}));
        }
    }
}

TEST(Ditherers, NearestOnlyLooksUpInSerpentineOrder) {
    TNetscapeColorLookup web;
    auto engine = gifcolour::makeDitherEngine(dtNearest, 3, web);
    Rgb chosen;
    EXPECT_EQ(engine->Dither(25, 48, 255, chosen), 11);
    EXPECT_EQ(engine->Dither(25, 48, 255, chosen), 11);  // no error carried
    EXPECT_EQ(engine->Column(), 2);
    engine->NextLine();
    EXPECT_EQ(engine->Column(), 2);
    EXPECT_EQ(engine->Direction(), -1);
    EXPECT_EQ(gifcolour::makeDitherEngine(7, 3, web), nullptr);
    EXPECT_EQ(gifcolour::makeDitherEngine(-1, 3, web), nullptr);
}

// A second, plain reading of error diffusion: whole-image error planes, no line rotation.
TEST(Ditherers, AgreeWithWholeImageReference) {
    std::mt19937 rng(12);
    const int width = 13, height = 7;
    gifcolour::Palette palette;
    for (int i = 0; i < 8; ++i)
        palette.push_back({static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                           static_cast<std::uint8_t>(rng()), 0});
    std::vector<Rgb> image(width * height);
    for (auto& p : image)
        p = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};

    for (const Kernel& k : kernels()) {
        TFastColorLookup lookup(palette);
        auto engine = gifcolour::makeDitherEngine(k.mode, width, lookup);
        std::vector<int> got(width * height);
        Rgb chosen;
        for (int y = 0; y < height; ++y) {
            for (int i = 0; i < width; ++i) {
                int x = engine->Column();
                const Rgb& p = image[static_cast<std::size_t>(y * width + x)];
                got[static_cast<std::size_t>(y * width + x)] = engine->Dither(p.red, p.green, p.blue, chosen);
            }
            engine->NextLine();
        }

        TFastColorLookup refLookup(palette);
        const int pad = 4;
        const int pw = width + 2 * pad;
        std::vector<long> err(static_cast<std::size_t>((height + 4) * pw * 3), 0);
        auto e = [&](int y, int x, int c) -> long& {
            return err[static_cast<std::size_t>((y * pw + x + pad) * 3 + c)];
        };
        std::vector<int> want(width * height);
        for (int y = 0; y < height; ++y) {
            int dir = (y % 2 == 0) ? 1 : -1;
            for (int i = 0; i < width; ++i) {
                int x = dir > 0 ? i : width - 1 - i;
                const Rgb& p = image[static_cast<std::size_t>(y * width + x)];
                int in[3] = {p.red, p.green, p.blue};
                int corr[3];
                for (int c = 0; c < 3; ++c) {
                    long q = (e(y, x, c) + k.divisor / 2) / k.divisor;
                    corr[c] = std::clamp(static_cast<int>(in[c] + q), 0, 255);
                }
                Rgb ch;
                want[static_cast<std::size_t>(y * width + x)] =
                    refLookup.Lookup(static_cast<std::uint8_t>(corr[0]), static_cast<std::uint8_t>(corr[1]),
                                     static_cast<std::uint8_t>(corr[2]), ch);
                int pick[3] = {ch.red, ch.green, ch.blue};
                for (int c = 0; c < 3; ++c)
                    for (const Tap& t : k.taps) e(y + t.line, x + t.dx * dir, c) += (corr[c] - pick[c]) * t.weight;
            }
        }
        EXPECT_EQ(got, want) << "mode " << k.mode;
    }
}
