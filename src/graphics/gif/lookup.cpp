#include "graphics/gif/lookup.h"

#include <cstdlib>

using gifcolour::Rgb;

namespace gifcolour {

int nearestColor(const std::vector<Rgb>& palette, std::uint8_t red, std::uint8_t green,
                 std::uint8_t blue) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const Rgb& c = palette[i];
        int d = std::abs(c.red - red) + std::abs(c.green - green) + std::abs(c.blue - blue);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
            if (d == 0) break;
        }
    }
    return best;
}

}  // namespace gifcolour

TFastColorLookup::TFastColorLookup(const gifcolour::Palette& palette)
    : TColorLookup(static_cast<int>(palette.size() > 256 ? 256 : palette.size())),
      cache_(32768, kEmptyCell) {
    palette_.reserve(static_cast<std::size_t>(colors_));
    for (int i = 0; i < colors_; ++i) {
        const auto& e = palette[static_cast<std::size_t>(i)];
        palette_.push_back({e.red, e.green, e.blue});
        // Each entry claims its own cell; the first entry of a cell keeps it.
        auto& c = cache_[static_cast<std::size_t>(cellOf(e.red, e.green, e.blue))];
        if (c == kEmptyCell) c = static_cast<std::uint16_t>(i);
    }
}

std::uint8_t TFastColorLookup::Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                      Rgb& chosen) {
    if (palette_.empty()) {
        chosen = {};
        return 0;
    }
    auto& c = cache_[static_cast<std::size_t>(cellOf(red, green, blue))];
    if (c == kEmptyCell) c = static_cast<std::uint16_t>(gifcolour::nearestColor(palette_, red, green, blue));
    chosen = palette_[c];
    return static_cast<std::uint8_t>(c);
}

std::uint8_t TNetscapeColorLookup::Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                          Rgb& chosen) {
    int r = (red + 3) / 51;
    int g = (green + 3) / 51;
    int b = (blue + 3) / 51;
    chosen = {static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
              static_cast<std::uint8_t>(b * 51)};
    return static_cast<std::uint8_t>(36 * r + 6 * g + b);
}

std::uint8_t TGrayScaleLookup::Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                      Rgb& chosen) {
    auto grey = static_cast<std::uint8_t>((77 * red + 150 * green + 29 * blue) >> 8);
    chosen = {grey, grey, grey};
    return grey;
}

std::uint8_t TMonochromeLookup::Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                       Rgb& chosen) {
    if (77 * red + 150 * green + 29 * blue < 32513) {
        chosen = {0, 0, 0};
        return 0;
    }
    chosen = {255, 255, 255};
    return 1;
}
