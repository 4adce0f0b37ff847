#pragma once
// The pictures both GIF benchmarks work on, made at run time, and their shared main.
#include "gif_codec/giflib_oracle.h"
#include "graphics/gif/objects.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace gifbench {

inline bool& smokeFlag()
{
    static bool flag = false;
    return flag;
}
inline bool smoke() { return smokeFlag() || std::getenv("IOS_BENCH_SMOKE") != nullptr; }

// A picture-like frame: smooth areas with some noise, over `colors` entries.
inline giforacle::Frame photoFrame(std::mt19937& rng, int w, int h, int colors, bool interlaced)
{
    giforacle::Frame f;
    f.width = w;
    f.height = h;
    f.interlaced = interlaced;
    f.pixels.resize(size_t(w) * size_t(h));
    std::uniform_int_distribution<int> noise(-2, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = (std::sin(x * 0.03) + std::cos(y * 0.045) + 2.0) / 4.0 * (colors - 1);
            int c = std::clamp(int(v) + (x % 7 == 0 ? noise(rng) : 0), 0, colors - 1);
            f.pixels[size_t(y) * size_t(w) + size_t(x)] = uint8_t(c);
        }
    return f;
}

// A drawing-like frame: flat areas with straight edges in a few colours.
inline giforacle::Frame flatFrame(int w, int h, int colors)
{
    giforacle::Frame f;
    f.width = w;
    f.height = h;
    f.pixels.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.pixels[size_t(y) * size_t(w) + size_t(x)] = uint8_t(((x / 37) + (y / 23) * 3) % colors);
    return f;
}

inline std::vector<uint8_t> palette(int colors)
{
    std::vector<uint8_t> rgb;
    for (int i = 0; i < colors; ++i)
        rgb.insert(rgb.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    return rgb;
}

// A large picture, an interlaced one, a 16-colour one, a flat drawing and an animation.
inline const std::vector<giforacle::Picture>& pictures()
{
    static const std::vector<giforacle::Picture> all = [] {
        std::mt19937 rng(2024);
        const int scale = smoke() ? 8 : 1;
        std::vector<giforacle::Picture> out;
        for (auto [w, h, colors, interlaced] : {std::tuple{800, 600, 256, false}, std::tuple{640, 480, 256, true},
                                                 std::tuple{512, 512, 16, false}}) {
            giforacle::Picture p;
            p.width = w / scale;
            p.height = h / scale;
            p.globalMap = palette(colors);
            p.frames.push_back(photoFrame(rng, p.width, p.height, colors, interlaced));
            out.push_back(p);
        }
        giforacle::Picture flat;
        flat.width = 640 / scale;
        flat.height = 480 / scale;
        flat.globalMap = palette(8);
        flat.frames.push_back(flatFrame(flat.width, flat.height, 8));
        out.push_back(flat);
        giforacle::Picture anim;
        anim.width = anim.height = 200 / scale;
        anim.globalMap = palette(64);
        for (int i = 0; i < 10; ++i) {
            giforacle::Frame f = photoFrame(rng, anim.width, anim.height, 64, false);
            f.hasGcb = true;
            f.delay = 4;
            anim.frames.push_back(f);
        }
        out.push_back(anim);
        return out;
    }();
    return all;
}

inline const std::vector<std::vector<uint8_t>>& encodedByGiflib()
{
    static const std::vector<std::vector<uint8_t>> files = [] {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& p : pictures())
            out.push_back(giforacle::encode(p));
        return out;
    }();
    return files;
}

inline int64_t totalPixels()
{
    int64_t n = 0;
    for (const auto& p : pictures())
        for (const auto& f : p.frames)
            n += int64_t(f.pixels.size());
    return n;
}

} // namespace gifbench

// CTest's quick run passes --ios_smoke, which the benchmark library does not know.
#define GIF_BENCH_MAIN()                                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        std::vector<char*> args;                                                                                       \
        for (int i = 0; i < argc; ++i) {                                                                               \
            if (std::string(argv[i]) == "--ios_smoke")                                                                 \
                gifbench::smokeFlag() = true;                                                                          \
            else                                                                                                       \
                args.push_back(argv[i]);                                                                               \
        }                                                                                                              \
        int n = int(args.size());                                                                                      \
        benchmark::Initialize(&n, args.data());                                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                                           \
        benchmark::Shutdown();                                                                                         \
        return 0;                                                                                                      \
    }
