#pragma once
// The fixed palettes used by colour reduction.

#include <cstdint>
#include <vector>

namespace gifcolour {

// Entry flag that asks the display not to merge the entry with an existing system colour.
inline constexpr std::uint8_t kNoCollapse = 0x04;

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

using Palette = std::vector<PaletteEntry>;

// 216 entries, red outermost, blue innermost, each component level * 51; index 36r + 6g + b.
Palette webSafePalette();
// The 20 static colours of the default system palette.
Palette system20Palette();
// A 256-entry halftone palette: the first 10 system colours, the 216-colour cube,
// 20 greys that the cube lacks, the last 10 system colours.
Palette halftonePalette();
// Greys 0, 128, 192, 255 (no-collapse).
Palette gray4Palette();
// Black and white (no-collapse).
Palette monochromePalette();
// Greys 0..255 (no-collapse).
Palette gray256Palette();

}  // namespace gifcolour
