#include "graphics/gif/palettes.h"

#include <array>

namespace gifcolour {

namespace {

constexpr std::array<PaletteEntry, 20> kSystem20 = {{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};

Palette greys(std::initializer_list<int> levels) {
    Palette p;
    for (int v : levels) {
        auto c = static_cast<std::uint8_t>(v);
        p.push_back({c, c, c, kNoCollapse});
    }
    return p;
}

}  // namespace

Palette webSafePalette() {
    Palette p;
    p.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                             static_cast<std::uint8_t>(b * 51), 0});
    return p;
}

Palette system20Palette() { return Palette(kSystem20.begin(), kSystem20.end()); }

Palette halftonePalette() {
    Palette p(kSystem20.begin(), kSystem20.begin() + 10);
    Palette cube = webSafePalette();
    p.insert(p.end(), cube.begin(), cube.end());
    // 20 greys evenly between the cube's grey steps (multiples of 51 are already there).
    for (int i = 1; i <= 24 && p.size() < 246; ++i) {
        int v = i * 255 / 25;
        if (v % 51 == 0) continue;
        auto c = static_cast<std::uint8_t>(v);
        p.push_back({c, c, c, 0});
    }
    p.insert(p.end(), kSystem20.begin() + 10, kSystem20.end());
    return p;
}

Palette gray4Palette() { return greys({0, 128, 192, 255}); }

Palette monochromePalette() { return greys({0, 255}); }

Palette gray256Palette() {
    Palette p;
    p.reserve(256);
    for (int v = 0; v < 256; ++v) {
        auto c = static_cast<std::uint8_t>(v);
        p.push_back({c, c, c, kNoCollapse});
    }
    return p;
}

}  // namespace gifcolour
