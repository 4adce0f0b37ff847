// The error-diffusion ditherers against a plain whole-image reading of error diffusion with
// their published weights.
#include "graphics/gif/dither.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using gifcolour::Rgb;

namespace {

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

} // namespace

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
