#pragma once
// Dither engines: walk each row in serpentine order, look every pixel up, and (for the
// error-diffusion engines) spread the rounding error to the neighbours not yet visited.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "graphics/gif/lookup.h"

enum TDitherMode : std::uint8_t {
    dtNearest = 0,
    dtFloydSteinberg = 1,
    dtStucki = 2,
    dtSierra = 3,
    dtJaJuNi = 4,
    dtSteveArche = 5,
    dtBurkes = 6,
};

// The plain engine: nearest colour only.
class TDitherEngine {
public:
    TDitherEngine(int width, TColorLookup& lookup);
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine&) = delete;
    TDitherEngine& operator=(const TDitherEngine&) = delete;

    // Dithers the pixel at Column(), returns its index and moves one column on.
    virtual std::uint8_t Dither(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                gifcolour::Rgb& chosen);
    // Flips the direction and moves to the first column of the next row.
    virtual void NextLine();

    int Direction() const { return direction_; }
    int Column() const { return column_; }
    int Width() const { return width_; }

protected:
    int direction_ = 1;
    int column_ = 0;
    int width_;
    TColorLookup& lookup_;
};

namespace gifcolour {

struct KernelTap {
    int dx;      // columns ahead in the walking direction
    int line;    // 0 = this row, 1 = the next, ...
    int weight;
};

// Error diffusion with a fixed kernel. Errors are kept unscaled per channel and per line;
// a pixel takes (accumulated + divisor/2) / divisor, truncated toward zero.
class KernelDitherer : public TDitherEngine {
public:
    KernelDitherer(int width, TColorLookup& lookup, std::span<const KernelTap> kernel,
                   int divisor, int lines, int margin);
    std::uint8_t Dither(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        gifcolour::Rgb& chosen) override;
    void NextLine() override;
    int Divisor() const { return divisor_; }
    // Unscaled error waiting for `column` (-margin .. width + margin - 1) on the row
    // `line` rows below the current one.
    int accumulated(int line, int channel, int column) const {
        return errors_[(static_cast<std::size_t>(lineOrder_[static_cast<std::size_t>(line)]) * 3 +
                        static_cast<std::size_t>(channel)) * stride_ +
                       static_cast<std::size_t>(column + margin_)];
    }

protected:
    // Adds weight * error for one channel to every tap of the kernel.
    virtual void SpreadError(int channel, int error);

    std::int32_t* row(int line, int channel) {
        return errors_.data() + (static_cast<std::size_t>(line) * 3 + static_cast<std::size_t>(channel)) * stride_;
    }

    std::span<const KernelTap> kernel_;
    int divisor_;
    int lines_;
    int margin_;
    std::size_t stride_;
    std::vector<std::int32_t> errors_;  // lines * 3 channels * (width + 2 * margin)
    std::vector<int> lineOrder_;        // physical line of logical line i
};

}  // namespace gifcolour

class TFloydSteinbergDitherer : public gifcolour::KernelDitherer {
public:
    TFloydSteinbergDitherer(int width, TColorLookup& lookup);
};

// The three-line kernels of five columns.
class T5by3Ditherer : public gifcolour::KernelDitherer {
protected:
    T5by3Ditherer(int width, TColorLookup& lookup, std::span<const gifcolour::KernelTap> kernel,
                  int divisor);
};

class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int width, TColorLookup& lookup);
};

class TSierraDitherer : public T5by3Ditherer {
public:
    TSierraDitherer(int width, TColorLookup& lookup);
};

class TJaJuNiDitherer : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int width, TColorLookup& lookup);
};

class TSteveArcheDitherer : public gifcolour::KernelDitherer {
public:
    TSteveArcheDitherer(int width, TColorLookup& lookup);
};

class TBurkesDitherer : public gifcolour::KernelDitherer {
public:
    TBurkesDitherer(int width, TColorLookup& lookup);
};

namespace gifcolour {
// The engine for a dither mode, or null for a value outside the seven modes.
std::unique_ptr<TDitherEngine> makeDitherEngine(int mode, int width, TColorLookup& lookup);
}  // namespace gifcolour
