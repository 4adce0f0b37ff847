#pragma once
// Filling a frame from another frame or from a bitmap: palette bitmaps keep their indices,
// true-colour pictures are reduced first by the picture's reduction options.

#include <cstdint>
#include <vector>

#include "graphics/gif/objects.h"
#include "graphics/gif/reduce.h"

namespace gifcolour {

// The picture's choices for turning true colour into at most 256 colours.
struct ReductionOptions {
    int method = reWebSafe216;
    int dither = dtNearest;
    int bits = 8;
};

// A palette bitmap as the import reads it: 1, 4 or 8 bits per pixel, rows top to bottom,
// `stride` bytes each; 1 bit most significant bit first, 4 bits high nibble first.
struct IndexedBitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 8;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;
    Palette colors;  // the bitmap's own table; its size is the colour count
};

// Copies descriptor, transparency, pixels, local map and extensions; a null source clears
// the target, the target itself as source does nothing.
void assignFrame(TGIFSubImage& target, const TGIFSubImage* source);

// The frame becomes the bitmap at (0, 0) with the bitmap's colours. Indices past the end
// of the bitmap's table get black entries so that every pixel names a colour.
void importIndexed(TGIFSubImage& target, const IndexedBitmap& bitmap);

// The frame becomes the picture at (0, 0), reduced by `options` (reNone keeps every colour
// and raises "Color table overflow" past 256). An unknown method or dither mode, or
// reCustomPalette (no palette is given here), raises "Invalid reduction method".
void importTrueColor(TGIFSubImage& target, const RgbImage& image, const ReductionOptions& options);

// After an icon or metafile import: pixels whose mask byte is not 0 become a new black
// entry marked transparent by a graphic control extension. The local map is optimised
// first; a map of 0 or 256 entries, or a mask without a set byte, marks nothing.
void markTransparent(TGIFSubImage& target, const std::vector<std::uint8_t>& mask);

}  // namespace gifcolour
