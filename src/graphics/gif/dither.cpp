#include "graphics/gif/dither.h"

#include <algorithm>
#include <array>

using gifcolour::KernelTap;
using gifcolour::Rgb;

TDitherEngine::TDitherEngine(int width, TColorLookup& lookup)
    : width_(width < 0 ? 0 : width), lookup_(lookup) {}

std::uint8_t TDitherEngine::Dither(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                   Rgb& chosen) {
    std::uint8_t index = lookup_.Lookup(red, green, blue, chosen);
    column_ += direction_;
    return index;
}

void TDitherEngine::NextLine() {
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
}

namespace gifcolour {

KernelDitherer::KernelDitherer(int width, TColorLookup& lookup, std::span<const KernelTap> kernel,
                               int divisor, int lines, int margin)
    : TDitherEngine(width, lookup),
      kernel_(kernel),
      divisor_(divisor),
      lines_(lines),
      margin_(margin),
      stride_(static_cast<std::size_t>(width_ + 2 * margin)),
      errors_(static_cast<std::size_t>(lines) * 3 * stride_, 0),
      lineOrder_(static_cast<std::size_t>(lines)) {
    for (int i = 0; i < lines; ++i) lineOrder_[static_cast<std::size_t>(i)] = i;
}

std::uint8_t KernelDitherer::Dither(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                    Rgb& chosen) {
    if (column_ < 0 || column_ >= width_) return TDitherEngine::Dither(red, green, blue, chosen);
    const std::size_t at = static_cast<std::size_t>(column_ + margin_);
    const int input[3] = {red, green, blue};
    int corrected[3];
    for (int c = 0; c < 3; ++c) {
        int accumulated = row(lineOrder_[0], c)[at];
        int v = input[c] + (accumulated + divisor_ / 2) / divisor_;
        corrected[c] = std::clamp(v, 0, 255);
    }
    std::uint8_t index = lookup_.Lookup(static_cast<std::uint8_t>(corrected[0]),
                                        static_cast<std::uint8_t>(corrected[1]),
                                        static_cast<std::uint8_t>(corrected[2]), chosen);
    const int picked[3] = {chosen.red, chosen.green, chosen.blue};
    for (int c = 0; c < 3; ++c) {
        int error = corrected[c] - picked[c];
        if (error != 0) SpreadError(c, error);
    }
    column_ += direction_;
    return index;
}

void KernelDitherer::SpreadError(int channel, int error) {
    for (const KernelTap& t : kernel_) {
        std::int32_t* r = row(lineOrder_[static_cast<std::size_t>(t.line)], channel);
        r[column_ + margin_ + t.dx * direction_] += error * t.weight;
    }
}

void KernelDitherer::NextLine() {
    // The line just finished is cleared and becomes the newest.
    int oldest = lineOrder_[0];
    for (int c = 0; c < 3; ++c) std::fill_n(row(oldest, c), stride_, 0);
    std::rotate(lineOrder_.begin(), lineOrder_.begin() + 1, lineOrder_.end());
    TDitherEngine::NextLine();
}

}  // namespace gifcolour

namespace {

constexpr std::array<KernelTap, 4> kFloydSteinberg = {{
    {1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1},
}};

constexpr std::array<KernelTap, 12> kStucki = {{
    {1, 0, 8}, {2, 0, 4},
    {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
    {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1},
}};

constexpr std::array<KernelTap, 10> kSierra = {{
    {1, 0, 5}, {2, 0, 3},
    {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
    {-1, 2, 2}, {0, 2, 3}, {1, 2, 2},
}};

constexpr std::array<KernelTap, 12> kJaJuNi = {{
    {1, 0, 7}, {2, 0, 5},
    {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
    {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1},
}};

constexpr std::array<KernelTap, 12> kSteveArche = {{
    {2, 0, 32},
    {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16},
    {-2, 2, 12}, {0, 2, 26}, {2, 2, 12},
    {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5},
}};

constexpr std::array<KernelTap, 7> kBurkes = {{
    {1, 0, 8}, {2, 0, 4},
    {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
}};

}  // namespace

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup)
    : KernelDitherer(width, lookup, kFloydSteinberg, 16, 2, 1) {}

T5by3Ditherer::T5by3Ditherer(int width, TColorLookup& lookup, std::span<const KernelTap> kernel,
                             int divisor)
    : KernelDitherer(width, lookup, kernel, divisor, 3, 2) {}

TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, kStucki, 42) {}

TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, kSierra, 32) {}

TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, kJaJuNi, 48) {}

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : KernelDitherer(width, lookup, kSteveArche, 200, 4, 3) {}

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : KernelDitherer(width, lookup, kBurkes, 32, 2, 2) {}

namespace gifcolour {

std::unique_ptr<TDitherEngine> makeDitherEngine(int mode, int width, TColorLookup& lookup) {
    switch (mode) {
        case dtNearest: return std::make_unique<TDitherEngine>(width, lookup);
        case dtFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
        case dtStucki: return std::make_unique<TStuckiDitherer>(width, lookup);
        case dtSierra: return std::make_unique<TSierraDitherer>(width, lookup);
        case dtJaJuNi: return std::make_unique<TJaJuNiDitherer>(width, lookup);
        case dtSteveArche: return std::make_unique<TSteveArcheDitherer>(width, lookup);
        case dtBurkes: return std::make_unique<TBurkesDitherer>(width, lookup);
        default: return nullptr;
    }
}

}  // namespace gifcolour
