#pragma once
// Colour look-ups: map a colour to a palette index and report the palette colour chosen.

#include <array>
#include <cstdint>
#include <vector>

#include "graphics/gif/palettes.h"

namespace gifcolour {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

}  // namespace gifcolour

class TColorLookup {
public:
    explicit TColorLookup(int colors) : colors_(colors) {}
    virtual ~TColorLookup() = default;
    TColorLookup(const TColorLookup&) = delete;
    TColorLookup& operator=(const TColorLookup&) = delete;

    int Colors() const { return colors_; }
    // Index of the colour to use for (red, green, blue); `chosen` receives that colour.
    virtual std::uint8_t Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                gifcolour::Rgb& chosen) = 0;

protected:
    int colors_;
};

// Nearest colour of any palette of up to 256 entries, by the sum of absolute channel
// differences, cached in 32,768 cells of 5 bits per channel.
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const gifcolour::Palette& palette);
    std::uint8_t Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        gifcolour::Rgb& chosen) override;

    static int cellOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return (red >> 3) | ((green >> 3) << 5) | ((blue >> 3) << 10);
    }
    static constexpr std::uint16_t kEmptyCell = 0xFFFF;
    std::uint16_t cell(int index) const { return cache_[static_cast<std::size_t>(index)]; }

private:
    std::vector<gifcolour::Rgb> palette_;
    std::vector<std::uint16_t> cache_;
};

// The 216-colour web-safe cube: level (c + 3) / 51 per channel, index 36r + 6g + b.
class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    std::uint8_t Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        gifcolour::Rgb& chosen) override;
};

// 256 greys: grey = (77 red + 150 green + 29 blue) >> 8.
class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    std::uint8_t Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        gifcolour::Rgb& chosen) override;
};

// Black (0) or white (1) at the luminance threshold 32,513 of 77r + 150g + 29b.
class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    std::uint8_t Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        gifcolour::Rgb& chosen) override;
};

namespace gifcolour {
// Index of the entry nearest to (red, green, blue) by the sum of absolute differences;
// the lowest index wins a tie. The palette must not be empty.
int nearestColor(const std::vector<Rgb>& palette, std::uint8_t red, std::uint8_t green,
                 std::uint8_t blue);
}  // namespace gifcolour
