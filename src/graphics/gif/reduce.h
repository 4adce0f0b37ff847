#pragma once
// Colour reduction of a 24-bit picture to at most 256 colours: palette, look-up, ditherer.

#include <cstdint>
#include <vector>

#include "graphics/gif/dither.h"
#include "graphics/gif/palettes.h"
#include "graphics/gif/quantizer.h"

enum TColorReduction : std::uint8_t {
    reNone = 0,
    reSystem20 = 1,
    reHalftone = 2,
    reGray4 = 3,
    reMonochrome = 4,
    reGray256 = 5,
    reWebSafe216 = 6,
    reQuantize = 7,
    reQuantizeSystem = 8,
    reCustomPalette = 9,
};

namespace gifcolour {

// Pictures above this many pixels go through device-independent bitmaps.
inline constexpr long kLargeImagePixels = 500000;

// The outcome of a reduction: empty (bitsPerPixel 0), a 24-bit copy, or 8-bit indices
// with their palette.
struct ReducedImage {
    int bitsPerPixel = 0;
    int width = 0;
    int height = 0;
    bool deviceIndependent = false;  // set for pictures above kLargeImagePixels
    std::vector<std::uint8_t> pixels;  // 24 bits: RGB triples; 8 bits: one index per pixel
    Palette palette;

    bool empty() const { return bitsPerPixel == 0; }
    std::uint8_t index(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// Limits reduction bits to 1..8.
int clampReductionBits(int bits);

// The palette each method reduces to (reQuantize and reQuantizeSystem build it from the
// picture, reCustomPalette copies `custom`). Empty for reNone or an unknown method.
Palette reductionPalette(const RgbImage& source, int method, int reductionBits, const Palette* custom);

// Dithers the picture into the indices of `palette` with the look-up that the method
// uses. Returns the empty image when the look-up has no colours or the mode is unknown.
ReducedImage ditherToPalette(const RgbImage& source, int method, int ditherMode, Palette palette);

}  // namespace gifcolour

// Reduces `source` by the method and dither mode; `customPalette` is needed only for
// reCustomPalette ("Invalid reduction method" without one). An unknown method or dither
// mode yields the empty image; a picture without pixels raises "Invalid image dimensions".
gifcolour::ReducedImage ReduceColors(const gifcolour::RgbImage& source, int method, int ditherMode,
                                     int reductionBits, const gifcolour::Palette* customPalette);
