// Octree quantiser against two yardsticks on photograph-like pictures: time and PSNR.
// Yardsticks: ImageMagick's "convert -colors 256" (run as a process, so its time includes
// start-up and file I/O; BM_ImageMagick_CopyOnly shows that share) and libimagequant.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#ifdef IOS_HAVE_IMAGEQUANT
#include <libimagequant.h>
#endif
#include <unistd.h>

#include "synthetic_photo.h"
#include "graphics/gif/reduce.h"

namespace {

using gifcolour::RgbImage;

bool smoke() { return std::getenv("IOS_BENCH_SMOKE") != nullptr; }

struct Size {
    int w, h;
};

Size sizeOf(int i) {
    if (smoke()) return {96, 64};
    static const Size sizes[] = {{640, 480}, {1280, 960}};
    return sizes[i];
}

const RgbImage& photo(int sizeIndex, int seed) {
    static std::map<std::pair<int, int>, RgbImage> cache;
    auto key = std::make_pair(sizeIndex, seed);
    auto it = cache.find(key);
    if (it == cache.end()) {
        Size s = sizeOf(sizeIndex);
        it = cache.emplace(key, gifcolour::testing::syntheticPhoto(s.w, s.h, static_cast<unsigned>(seed))).first;
    }
    return it->second;
}

std::vector<std::uint8_t> expand(const gifcolour::ReducedImage& r) {
    std::vector<std::uint8_t> rgb(r.pixels.size() * 3);
    for (std::size_t i = 0; i < r.pixels.size(); ++i) {
        const auto& e = r.palette[r.pixels[i]];
        rgb[i * 3] = e.red;
        rgb[i * 3 + 1] = e.green;
        rgb[i * 3 + 2] = e.blue;
    }
    return rgb;
}

void label(benchmark::State& state, const RgbImage& img, double psnr) {
    state.counters["PSNR_dB"] = psnr;
    state.counters["Mpx"] = img.width * img.height / 1e6;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(img.width) * img.height);
}

void octree(benchmark::State& state, int dither) {
    const RgbImage& img = photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    gifcolour::ReducedImage r;
    for (auto _ : state) {
        r = ReduceColors(img, reQuantize, dither, 8, nullptr);
        benchmark::DoNotOptimize(r.pixels.data());
    }
    auto rgb = expand(r);
    label(state, img, gifcolour::testing::psnr(img.pixels.data(), rgb.data(), rgb.size()));
}

void BM_Octree_Nearest(benchmark::State& state) { octree(state, dtNearest); }
void BM_Octree_FloydSteinberg(benchmark::State& state) { octree(state, dtFloydSteinberg); }

void BM_Octree_PaletteOnly(benchmark::State& state) {
    const RgbImage& img = photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto p = gifcolour::createOptimizedPalette(img, 256, 8, false);
        benchmark::DoNotOptimize(p.data());
    }
    label(state, img, 0);
}

// Same palette, but every pixel matched exactly (no 5-bit cell cache): shows how much of
// the gap to the yardsticks is the look-up's cell granularity rather than the tree.
void BM_Octree_ExactNearest(benchmark::State& state) {
    const RgbImage& img = photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> rgb(img.pixels.size());
    for (auto _ : state) {
        auto p = gifcolour::createOptimizedPalette(img, 256, 8, false);
        std::vector<gifcolour::Rgb> colours;
        for (const auto& e : p) colours.push_back({e.red, e.green, e.blue});
        for (std::size_t i = 0; i < img.pixels.size(); i += 3) {
            const auto& c = colours[static_cast<std::size_t>(
                gifcolour::nearestColor(colours, img.pixels[i], img.pixels[i + 1], img.pixels[i + 2]))];
            rgb[i] = c.red;
            rgb[i + 1] = c.green;
            rgb[i + 2] = c.blue;
        }
    }
    label(state, img, gifcolour::testing::psnr(img.pixels.data(), rgb.data(), rgb.size()));
}

#ifdef IOS_HAVE_IMAGEQUANT
void imagequant(benchmark::State& state, float ditherLevel) {
    const RgbImage& img = photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(img.width) * img.height * 4);
    for (std::size_t i = 0, n = rgba.size() / 4; i < n; ++i) {
        std::memcpy(&rgba[i * 4], &img.pixels[i * 3], 3);
        rgba[i * 4 + 3] = 255;
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(img.width) * img.height);
    std::vector<std::uint8_t> rgb(img.pixels.size());
    for (auto _ : state) {
        liq_attr* attr = liq_attr_create();
        liq_set_max_colors(attr, 256);
        liq_image* image = liq_image_create_rgba(attr, rgba.data(), img.width, img.height, 0);
        liq_result* result = nullptr;
        if (liq_image_quantize(image, attr, &result) != LIQ_OK) {
            state.SkipWithError("libimagequant failed");
            liq_image_destroy(image);
            liq_attr_destroy(attr);
            return;
        }
        liq_set_dithering_level(result, ditherLevel);
        liq_write_remapped_image(result, image, out.data(), out.size());
        const liq_palette* pal = liq_get_palette(result);
        state.PauseTiming();
        for (std::size_t i = 0; i < out.size(); ++i) {
            const liq_color& c = pal->entries[out[i]];
            rgb[i * 3] = c.r;
            rgb[i * 3 + 1] = c.g;
            rgb[i * 3 + 2] = c.b;
        }
        state.ResumeTiming();
        liq_result_destroy(result);
        liq_image_destroy(image);
        liq_attr_destroy(attr);
    }
    label(state, img, gifcolour::testing::psnr(img.pixels.data(), rgb.data(), rgb.size()));
}

void BM_Libimagequant_NoDither(benchmark::State& state) { imagequant(state, 0.0f); }
void BM_Libimagequant_Dither(benchmark::State& state) { imagequant(state, 1.0f); }
#endif

constexpr const char* kConvert = "/usr/bin/convert";

std::filesystem::path workDir() {
    static std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("gif_colour_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

void writePpm(const std::filesystem::path& path, const RgbImage& img) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << img.width << " " << img.height << "\n255\n";
    f.write(reinterpret_cast<const char*>(img.pixels.data()), static_cast<std::streamsize>(img.pixels.size()));
}

bool readPpm(const std::filesystem::path& path, int w, int h, std::vector<std::uint8_t>& rgb) {
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int fw = 0, fh = 0, maxv = 0;
    f >> magic >> fw >> fh >> maxv;
    f.get();
    if (magic != "P6" || fw != w || fh != h || maxv != 255) return false;
    rgb.resize(static_cast<std::size_t>(w) * h * 3);
    f.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(f);
}

void imageMagick(benchmark::State& state, const std::string& options) {
    if (!std::filesystem::exists(kConvert)) {
        state.SkipWithError("ImageMagick not installed");
        return;
    }
    const RgbImage& img = photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    auto in = workDir() / ("in_" + std::to_string(state.range(0)) + "_" + std::to_string(state.range(1)) + ".ppm");
    auto out = workDir() / "out.ppm";
    if (!std::filesystem::exists(in)) writePpm(in, img);
    const std::string cmd = std::string(kConvert) + " " + in.string() + " " + options + " " + out.string();
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("convert failed");
            return;
        }
    }
    std::vector<std::uint8_t> rgb;
    if (!readPpm(out, img.width, img.height, rgb)) {
        state.SkipWithError("convert wrote an unexpected file");
        return;
    }
    label(state, img, gifcolour::testing::psnr(img.pixels.data(), rgb.data(), rgb.size()));
}

void BM_ImageMagick_Colors256(benchmark::State& state) { imageMagick(state, "-colors 256"); }
void BM_ImageMagick_Colors256_NoDither(benchmark::State& state) { imageMagick(state, "+dither -colors 256"); }
void BM_ImageMagick_CopyOnly(benchmark::State& state) { imageMagick(state, ""); }

void photos(benchmark::internal::Benchmark* b) {
    int sizes = smoke() ? 1 : 2;
    for (int s = 0; s < sizes; ++s)
        for (int seed : {1, 2}) b->Args({s, seed});
    b->ArgNames({"size", "photo"})->UseRealTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_Octree_Nearest)->Apply(photos);
BENCHMARK(BM_Octree_FloydSteinberg)->Apply(photos);
BENCHMARK(BM_Octree_PaletteOnly)->Apply(photos);
BENCHMARK(BM_Octree_ExactNearest)->Apply(photos);
#ifdef IOS_HAVE_IMAGEQUANT
BENCHMARK(BM_Libimagequant_NoDither)->Apply(photos);
BENCHMARK(BM_Libimagequant_Dither)->Apply(photos);
#endif
BENCHMARK(BM_ImageMagick_Colors256)->Apply(photos);
BENCHMARK(BM_ImageMagick_Colors256_NoDither)->Apply(photos);
BENCHMARK(BM_ImageMagick_CopyOnly)->Apply(photos);

// The pictures are written to a work folder, removed after the run.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(workDir(), ec);
    return 0;
}
