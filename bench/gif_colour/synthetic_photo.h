#pragma once
// Photograph-like pictures made from a seed: a sky gradient, soft coloured light blobs,
// hard-edged objects, shading and fine grain, so that a quantiser meets thousands of
// close colours as it would in a real photograph.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "graphics/gif/quantizer.h"

namespace gifcolour::testing {

inline RgbImage syntheticPhoto(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    struct Blob {
        double x, y, r, cr, cg, cb;
    };
    Blob blobs[7];
    for (auto& b : blobs) b = {u(rng), u(rng), 0.1 + 0.3 * u(rng), u(rng), u(rng), u(rng)};
    struct Disc {
        double x, y, r, cr, cg, cb;
    };
    Disc discs[5];
    for (auto& d : discs) d = {u(rng), 0.4 + 0.6 * u(rng), 0.03 + 0.12 * u(rng), u(rng), u(rng), u(rng)};
    std::normal_distribution<double> grain(0.0, 0.025);

    RgbImage img(width, height);
    for (int y = 0; y < height; ++y) {
        double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            double fx = static_cast<double>(x) / width;
            // Sky above a horizon, ground below.
            double r, g, b;
            double horizon = 0.45 + 0.05 * std::sin(fx * 6.0);
            if (fy < horizon) {
                double t = fy / horizon;
                r = 0.25 + 0.5 * t;
                g = 0.45 + 0.35 * t;
                b = 0.85 - 0.1 * t;
            } else {
                double t = (fy - horizon) / (1.0 - horizon);
                r = 0.35 - 0.15 * t + 0.1 * std::sin(fx * 40.0 + fy * 13.0);
                g = 0.45 - 0.2 * t;
                b = 0.2 - 0.1 * t;
            }
            for (const auto& bl : blobs) {
                double dx = fx - bl.x, dy = fy - bl.y;
                double w = std::exp(-(dx * dx + dy * dy) / (bl.r * bl.r)) * 0.35;
                r += w * (bl.cr - 0.3);
                g += w * (bl.cg - 0.3);
                b += w * (bl.cb - 0.3);
            }
            for (const auto& d : discs) {
                double dx = fx - d.x, dy = (fy - d.y) * height / width;
                double dist = std::sqrt(dx * dx + dy * dy);
                if (dist < d.r) {
                    double shade = 0.55 + 0.45 * (1.0 - dist / d.r) - 0.3 * (dy / d.r);
                    r = d.cr * shade;
                    g = d.cg * shade;
                    b = d.cb * shade;
                }
            }
            double n = grain(rng);
            auto to8 = [](double v) {
                return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L));
            };
            img.set(x, y, {to8(r + n), to8(g + n + grain(rng) * 0.5), to8(b + n)});
        }
    }
    return img;
}

// Peak signal-to-noise ratio of `b` against `a` over all three channels, in dB.
inline double psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t bytes) {
    double sum = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99.0;
    double mse = sum / static_cast<double>(bytes);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace gifcolour::testing
