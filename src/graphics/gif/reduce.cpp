#include "graphics/gif/reduce.h"

#include <algorithm>
#include <memory>
#include <new>

#include "graphics/gif/exception.h"

namespace gifcolour {

int clampReductionBits(int bits) { return std::clamp(bits, 1, 8); }

Palette reductionPalette(const RgbImage& source, int method, int reductionBits, const Palette* custom) {
    switch (method) {
        case reSystem20: return system20Palette();
        case reHalftone: return halftonePalette();
        case reGray4: return gray4Palette();
        case reMonochrome: return monochromePalette();
        case reGray256: return gray256Palette();
        case reWebSafe216: return webSafePalette();
        case reQuantize:
            return createOptimizedPalette(source, 1 << clampReductionBits(reductionBits), 8, false);
        case reQuantizeSystem: return createOptimizedPalette(source, 256, 8, true);
        case reCustomPalette:
            if (custom == nullptr) throw GIFException("Invalid reduction method");
            return Palette(custom->begin(), custom->begin() + std::min<std::size_t>(custom->size(), 256));
        default: return {};
    }
}

namespace {

std::unique_ptr<TColorLookup> makeLookup(int method, const Palette& palette) {
    switch (method) {
        case reMonochrome: return std::make_unique<TMonochromeLookup>();
        case reGray256: return std::make_unique<TGrayScaleLookup>();
        case reWebSafe216: return std::make_unique<TNetscapeColorLookup>();
        default: return std::make_unique<TFastColorLookup>(palette);
    }
}

}  // namespace

ReducedImage ditherToPalette(const RgbImage& source, int method, int ditherMode, Palette palette) {
    ReducedImage result;
    std::unique_ptr<TColorLookup> lookup = makeLookup(method, palette);
    if (lookup->Colors() == 0) return result;
    std::unique_ptr<TDitherEngine> engine = makeDitherEngine(ditherMode, source.width, *lookup);
    if (!engine) return result;
    if (source.empty()) throw GIFException("Invalid image dimensions");

    result.bitsPerPixel = 8;
    result.width = source.width;
    result.height = source.height;
    result.deviceIndependent = static_cast<long>(source.width) * source.height > kLargeImagePixels;
    result.palette = std::move(palette);
    try {
        result.pixels.assign(static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height), 0);
    } catch (const std::bad_alloc&) {
        throw GIFException("Failed to allocate memory for GIF DIB");
    }
    Rgb chosen;
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.rowPtr(y);
        std::uint8_t* out = result.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(source.width);
        for (int i = 0; i < source.width; ++i) {
            int x = engine->Column();
            const std::uint8_t* p = in + static_cast<std::size_t>(x) * 3;
            out[x] = engine->Dither(p[0], p[1], p[2], chosen);
        }
        engine->NextLine();
    }
    return result;
}

}  // namespace gifcolour

gifcolour::ReducedImage ReduceColors(const gifcolour::RgbImage& source, int method, int ditherMode,
                                     int reductionBits, const gifcolour::Palette* customPalette) {
    using namespace gifcolour;
    if (!source.empty() && source.pixels.size() < source.rowBytes() * static_cast<std::size_t>(source.height))
        throw GIFException("Invalid image dimensions");
    if (method == reNone) {
        ReducedImage copy;
        copy.bitsPerPixel = 24;
        copy.width = source.width;
        copy.height = source.height;
        copy.pixels = source.pixels;
        return copy;
    }
    if (method < reNone || method > reCustomPalette) return {};
    Palette palette = reductionPalette(source, method, reductionBits, customPalette);
    return ditherToPalette(source, method, ditherMode, std::move(palette));
}
