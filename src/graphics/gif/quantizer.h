#pragma once
// Octree colour quantiser and the optimised palette built from it.

#include <array>
#include <cstdint>
#include <vector>

#include "graphics/gif/lookup.h"
#include "graphics/gif/palettes.h"

namespace gifcolour {

// A 24-bit picture: rows top to bottom, pixels of three bytes red, green, blue.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    RgbImage() = default;
    RgbImage(int w, int h);
    bool empty() const { return width <= 0 || height <= 0; }
    const std::uint8_t* rowPtr(int y) const { return pixels.data() + static_cast<std::size_t>(y) * rowBytes(); }
    std::uint8_t* rowPtr(int y) { return pixels.data() + static_cast<std::size_t>(y) * rowBytes(); }
    std::size_t rowBytes() const { return static_cast<std::size_t>(width) * 3; }
    Rgb at(int x, int y) const {
        const std::uint8_t* p = rowPtr(y) + static_cast<std::size_t>(x) * 3;
        return {p[0], p[1], p[2]};
    }
    void set(int x, int y, Rgb c) {
        std::uint8_t* p = rowPtr(y) + static_cast<std::size_t>(x) * 3;
        p[0] = c.red;
        p[1] = c.green;
        p[2] = c.blue;
    }
};

}  // namespace gifcolour

struct TOctreeNode {
    bool leaf = false;
    // 64-bit so that large pictures cannot overflow the sums.
    std::uint64_t pixelCount = 0;
    std::uint64_t redSum = 0;
    std::uint64_t greenSum = 0;
    std::uint64_t blueSum = 0;
    std::int32_t next = -1;  // next reducible node of the same level
    std::array<std::int32_t, 8> children{-1, -1, -1, -1, -1, -1, -1, -1};
};

class TColorQuantizer {
public:
    // colorBits is the depth of the tree (levels); 8 gives full precision.
    TColorQuantizer(int maxColors, int colorBits = 8);

    void AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    void ProcessImage(const gifcolour::RgbImage& image);
    int ColorCount() const { return leafCount_; }
    // Leaf colours in depth-first order, children 0 to 7.
    std::vector<gifcolour::Rgb> ColorTable() const;

private:
    std::int32_t newNode(int level);
    void freeNode(std::int32_t n);
    void reduceTree();
    void collect(std::int32_t n, std::vector<gifcolour::Rgb>& out) const;

    std::vector<TOctreeNode> nodes_;
    std::vector<std::int32_t> free_;
    std::int32_t root_ = -1;
    int leafCount_ = 0;
    std::array<std::int32_t, 9> reducible_{-1, -1, -1, -1, -1, -1, -1, -1, -1};
    int maxColors_;
    int colorBits_;
};

namespace gifcolour {
// A palette for `colors` entries (at most 256) from the octree of the picture. With the
// system colours kept, the 20 static colours take 0-9 and 246-255 and the quantised
// colours fill 10-245. Entries the tree cannot fill are black.
Palette createOptimizedPalette(const RgbImage& image, int colors, int colorBits,
                               bool keepSystemColors);
}  // namespace gifcolour
