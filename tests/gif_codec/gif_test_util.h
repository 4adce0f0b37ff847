#pragma once
// Shared helpers of the GIF tests: pixel generators, a hand assembler for GIF streams (to build
// malformed ones), a warning log, files and the external tools.
#include "graphics/gif/objects.h"
#include "graphics/gif/quantizer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

// Pixels of width x height over `colors` values, in one of three textures: noise, runs of
// random length, or large flat blocks (which grow long LZW strings).
enum class Texture { Noise, Runs, Blocks };

inline Bytes makePixels(std::mt19937& rng, int width, int height, int colors, Texture t)
{
    Bytes px(size_t(width) * size_t(height));
    std::uniform_int_distribution<int> color(0, colors - 1), run(1, 40);
    for (size_t i = 0; i < px.size();) {
        const uint8_t c = uint8_t(color(rng));
        for (int k = t == Texture::Runs ? run(rng) : 1; k > 0 && i < px.size(); --k, ++i) {
            const int x = int(i) % width, y = int(i) / width;
            px[i] = t == Texture::Blocks
                        ? uint8_t(((x / (1 + width / 3)) * 7 + (y / (1 + height / 2)) * 3) % colors)
                        : c;
        }
    }
    return px;
}

// Distinct colours, so that an RGB comparison also checks indices.
inline Bytes makePalette(std::mt19937& rng, int colors)
{
    Bytes rgb;
    for (int i = 0; i < colors; ++i)
        rgb.insert(rgb.end(), {uint8_t(i), uint8_t(rng() & 0xFF), uint8_t((i * 37 + 11) & 0xFF)});
    return rgb;
}

// Codes packed least significant bit first, as GIF image data; a negative entry sets the
// width of the codes after it.
inline Bytes pack(const std::vector<int>& codes)
{
    Bytes out;
    uint32_t acc = 0;
    int bits = 0, size = 0;
    for (int code : codes) {
        if (code < 0) {
            size = -code;
            continue;
        }
        acc |= uint32_t(code) << bits;
        for (bits += size; bits >= 8; bits -= 8, acc >>= 8)
            out.push_back(uint8_t(acc));
    }
    if (bits > 0)
        out.push_back(uint8_t(acc));
    return out;
}

// Assembles a GIF stream piece by piece.
struct GifAssembler {
    Bytes bytes;

    GifAssembler& raw(const Bytes& b)
    {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    GifAssembler& u16(int v) { return raw({uint8_t(v), uint8_t(v >> 8)}); }
    // Signature, screen descriptor and a global map of 2^bits grey entries (none for 0).
    GifAssembler& header(int width, int height, int mapBits, const char* version = "89a")
    {
        raw({'G', 'I', 'F', uint8_t(version[0]), uint8_t(version[1]), uint8_t(version[2])});
        u16(width).u16(height).raw({uint8_t(mapBits ? 0x80 | 0x70 | (mapBits - 1) : 0), 0, 0});
        for (int i = 0; i < (mapBits ? 1 << mapBits : 0); ++i)
            raw({uint8_t(i), uint8_t(i), uint8_t(i)});
        return *this;
    }
    GifAssembler& descriptor(int left, int top, int width, int height, uint8_t packed = 0)
    {
        return raw({','}).u16(left).u16(top).u16(width).u16(height).raw({packed});
    }
    GifAssembler& graphicControl(int disposal, int delay, int transparent)
    {
        raw({'!', 0xF9, 4, uint8_t((disposal << 2) | (transparent >= 0 ? 1 : 0))}).u16(delay);
        return raw({uint8_t(transparent >= 0 ? transparent : 0), 0});
    }
    // The data as sub-blocks of at most 255 bytes and a terminator.
    GifAssembler& imageData(int minCodeSize, const Bytes& codes)
    {
        raw({uint8_t(minCodeSize)});
        for (size_t i = 0; i < codes.size(); i += 255)
            raw({uint8_t(std::min<size_t>(255, codes.size() - i))})
                .raw(Bytes(codes.begin() + long(i), codes.begin() + long(std::min(i + 255, codes.size()))));
        return raw({0});
    }
    // A frame at 0, 0 with its image data.
    GifAssembler& frame(int width, int height, const Bytes& codes, int minCodeSize = 2, uint8_t packed = 0)
    {
        return descriptor(0, 0, width, height, packed).imageData(minCodeSize, codes);
    }
    Bytes end() { return raw({';'}).bytes; }
};

inline GifAssembler gifOf(int width, int height, int mapBits = 2)
{
    return GifAssembler().header(width, height, mapBits);
}

// Collects the warnings of one image.
struct WarningLog {
    std::vector<std::string> messages;
    void attach(gif::Image& image)
    {
        image.OnCodecWarning = [this](const void*, int severity, const std::string& m) {
            EXPECT_EQ(severity, 1);
            messages.push_back(m);
        };
    }
    bool has(const std::string& m) const
    {
        return std::find(messages.begin(), messages.end(), m) != messages.end();
    }
};

// An image loaded from bytes, with the warnings it gave.
struct Loaded {
    gif::Image img;
    WarningLog log;
    explicit Loaded(const Bytes& bytes)
    {
        log.attach(img);
        img.loadFromMemory(bytes);
    }
};

template <class T> T& addExtension(TGIFSubImage& frame)
{
    auto ext = std::make_unique<T>(frame);
    T& added = *ext;
    frame.extensions().add(std::move(ext));
    return added;
}

// A scratch folder below the test's working directory.
inline std::filesystem::path scratchDir(const std::string& name)
{
    std::filesystem::path p = std::filesystem::current_path() / ("scratch_" + name);
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}

inline Bytes readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& p, const Bytes& bytes)
{
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The message of the exception that f raises; "" when it raises none.
inline std::string raisedBy(const std::function<void()>& f)
{
    try {
        f();
    } catch (const GIFException& e) {
        return e.what();
    }
    return "";
}

inline Bytes frameData(const TGIFSubImage& f)
{
    return Bytes(f.data(), f.data() + f.dataSize());
}

// A true-colour picture whose pixel i, row by row, is colour(i).
inline gifcolour::RgbImage rgbPicture(int w, int h, const std::function<gifcolour::Rgb(int)>& colour)
{
    gifcolour::RgbImage img(w, h);
    for (int i = 0; i < w * h; ++i)
        img.set(i % w, i / w, colour(i));
    return img;
}

// ImageMagick: writes `out` from `in` (a GIF or raw RGB) with the options between them.
inline void convert(const std::string& in, const std::string& options, const std::string& out)
{
    const std::string cmd = "/usr/bin/convert " + in + " " + options + " " + out + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

} // namespace giftest
