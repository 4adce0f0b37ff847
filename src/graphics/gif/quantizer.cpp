#include "graphics/gif/quantizer.h"

#include <algorithm>

namespace gifcolour {

RgbImage::RgbImage(int w, int h)
    : width(w < 0 ? 0 : w), height(h < 0 ? 0 : h),
      pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0) {}

}  // namespace gifcolour

using gifcolour::Rgb;

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : maxColors_(std::max(1, maxColors)), colorBits_(std::clamp(colorBits, 1, 8)) {
    root_ = newNode(0);
}

std::int32_t TColorQuantizer::newNode(int level) {
    std::int32_t n;
    if (!free_.empty()) {
        n = free_.back();
        free_.pop_back();
        nodes_[static_cast<std::size_t>(n)] = TOctreeNode{};
    } else {
        n = static_cast<std::int32_t>(nodes_.size());
        nodes_.emplace_back();
    }
    TOctreeNode& node = nodes_[static_cast<std::size_t>(n)];
    if (level == colorBits_) {
        node.leaf = true;
        ++leafCount_;
    } else {
        node.next = reducible_[static_cast<std::size_t>(level)];
        reducible_[static_cast<std::size_t>(level)] = n;
    }
    return n;
}

void TColorQuantizer::freeNode(std::int32_t n) { free_.push_back(n); }

void TColorQuantizer::AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    std::int32_t n = root_;
    for (int level = 0;; ++level) {
        TOctreeNode* node = &nodes_[static_cast<std::size_t>(n)];
        if (node->leaf) {
            ++node->pixelCount;
            node->redSum += red;
            node->greenSum += green;
            node->blueSum += blue;
            break;
        }
        int shift = 7 - level;
        int child = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
        std::int32_t c = node->children[static_cast<std::size_t>(child)];
        if (c < 0) {
            c = newNode(level + 1);  // may move nodes_
            nodes_[static_cast<std::size_t>(n)].children[static_cast<std::size_t>(child)] = c;
        }
        n = c;
    }
    while (leafCount_ > maxColors_) reduceTree();
}

void TColorQuantizer::reduceTree() {
    // Deepest level with a reducible node; level 0 (the root) last.
    int level = colorBits_ - 1;
    while (level > 0 && reducible_[static_cast<std::size_t>(level)] < 0) --level;
    std::int32_t n = reducible_[static_cast<std::size_t>(level)];
    if (n < 0) {  // nothing left to fold: cannot happen while there are two leaves
        maxColors_ = leafCount_;
        return;
    }
    TOctreeNode& node = nodes_[static_cast<std::size_t>(n)];
    reducible_[static_cast<std::size_t>(level)] = node.next;
    int children = 0;
    for (auto& c : node.children) {
        if (c < 0) continue;
        const TOctreeNode& child = nodes_[static_cast<std::size_t>(c)];
        node.pixelCount += child.pixelCount;
        node.redSum += child.redSum;
        node.greenSum += child.greenSum;
        node.blueSum += child.blueSum;
        freeNode(c);
        c = -1;
        ++children;
    }
    node.leaf = true;
    leafCount_ -= children - 1;
}

void TColorQuantizer::ProcessImage(const gifcolour::RgbImage& image) {
    // A buffer shorter than its stated size is read only as far as it goes.
    const std::size_t rows = image.rowBytes() == 0 ? 0 : image.pixels.size() / image.rowBytes();
    const int height = static_cast<int>(std::min<std::size_t>(rows, static_cast<std::size_t>(std::max(image.height, 0))));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = image.rowPtr(y);
        for (int x = 0; x < image.width; ++x, p += 3) AddColor(p[0], p[1], p[2]);
    }
}

void TColorQuantizer::collect(std::int32_t n, std::vector<Rgb>& out) const {
    const TOctreeNode& node = nodes_[static_cast<std::size_t>(n)];
    if (node.leaf) {
        if (node.pixelCount == 0) {
            out.push_back({0, 0, 0});
        } else {
            out.push_back({static_cast<std::uint8_t>(node.redSum / node.pixelCount),
                           static_cast<std::uint8_t>(node.greenSum / node.pixelCount),
                           static_cast<std::uint8_t>(node.blueSum / node.pixelCount)});
        }
        return;
    }
    for (std::int32_t c : node.children)
        if (c >= 0) collect(c, out);
}

std::vector<Rgb> TColorQuantizer::ColorTable() const {
    std::vector<Rgb> out;
    out.reserve(static_cast<std::size_t>(leafCount_));
    collect(root_, out);
    return out;
}

namespace gifcolour {

Palette createOptimizedPalette(const RgbImage& image, int colors, int colorBits,
                               bool keepSystemColors) {
    colors = std::clamp(colors, 0, 256);
    Palette palette;
    int first = 0;
    if (keepSystemColors) {
        // Quantised colours go between the two halves of the static colours.
        palette.assign(256, PaletteEntry{});
        Palette system = system20Palette();
        std::copy(system.begin(), system.begin() + 10, palette.begin());
        std::copy(system.begin() + 10, system.end(), palette.begin() + 246);
        for (auto& e : palette) e.flags = 0;
        colors = 236;
        first = 10;
    } else {
        palette.assign(static_cast<std::size_t>(colors), PaletteEntry{});
    }
    if (colors == 0) return palette;
    TColorQuantizer quantizer(colors, colorBits);
    quantizer.ProcessImage(image);
    std::vector<Rgb> table = quantizer.ColorTable();
    for (std::size_t i = 0; i < table.size() && i < static_cast<std::size_t>(colors); ++i)
        palette[static_cast<std::size_t>(first) + i] = {table[i].red, table[i].green, table[i].blue, 0};
    return palette;
}

}  // namespace gifcolour
