#pragma once
// Shared helpers of the GIF codec tests: pixel generators, a hand assembler for GIF streams
// (to build malformed ones), a warning log and the external tools.
#include "graphics/gif/objects.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace giftest {

// Pixels of width x height over `colors` values, in one of three textures: noise, runs of
// random length, or large flat blocks (which grow long LZW strings).
enum class Texture { Noise, Runs, Blocks };

inline std::vector<uint8_t> makePixels(std::mt19937& rng, int width, int height, int colors, Texture t)
{
    std::vector<uint8_t> px(size_t(width) * size_t(height));
    std::uniform_int_distribution<int> color(0, colors - 1);
    if (t == Texture::Noise) {
        for (auto& p : px)
            p = uint8_t(color(rng));
    } else if (t == Texture::Runs) {
        std::uniform_int_distribution<int> run(1, 40);
        size_t i = 0;
        while (i < px.size()) {
            uint8_t c = uint8_t(color(rng));
            for (int k = run(rng); k > 0 && i < px.size(); --k)
                px[i++] = c;
        }
    } else {
        const int bw = 1 + width / 3, bh = 1 + height / 2;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                px[size_t(y) * size_t(width) + size_t(x)] = uint8_t(((x / bw) * 7 + (y / bh) * 3) % colors);
    }
    return px;
}

inline std::vector<uint8_t> makePalette(std::mt19937& rng, int colors)
{
    // Distinct colours, so that an RGB comparison also checks indices.
    std::vector<uint8_t> rgb;
    for (int i = 0; i < colors; ++i) {
        uint8_t r = uint8_t(i), g = uint8_t(rng() & 0xFF), b = uint8_t((i * 37 + 11) & 0xFF);
        rgb.insert(rgb.end(), {r, g, b});
    }
    return rgb;
}

// Packs codes least significant bit first, as GIF image data.
class CodePacker {
public:
    void put(int code, int size)
    {
        acc_ |= uint32_t(code) << bits_;
        bits_ += size;
        while (bits_ >= 8) {
            bytes_.push_back(uint8_t(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    std::vector<uint8_t> finish()
    {
        if (bits_ > 0)
            bytes_.push_back(uint8_t(acc_));
        acc_ = 0;
        bits_ = 0;
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t acc_ = 0;
    int bits_ = 0;
};

// Data as sub-blocks of at most 255 bytes followed by a terminator.
inline std::vector<uint8_t> subBlocks(const std::vector<uint8_t>& data, size_t blockSize = 255)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < data.size(); i += blockSize) {
        size_t n = std::min(blockSize, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    out.push_back(0);
    return out;
}

// Assembles a GIF stream piece by piece.
struct GifAssembler {
    std::vector<uint8_t> bytes;

    GifAssembler& raw(std::initializer_list<uint8_t> b)
    {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    GifAssembler& raw(const std::vector<uint8_t>& b)
    {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    GifAssembler& u16(int v) { return raw({uint8_t(v), uint8_t(v >> 8)}); }
    // Signature, screen descriptor and a global map of 2^bits grey entries (none for 0).
    GifAssembler& header(int width, int height, int mapBits, const char* version = "89a")
    {
        raw({'G', 'I', 'F', uint8_t(version[0]), uint8_t(version[1]), uint8_t(version[2])});
        u16(width).u16(height);
        raw({uint8_t(mapBits ? 0x80 | 0x70 | (mapBits - 1) : 0), 0, 0});
        for (int i = 0; i < (mapBits ? 1 << mapBits : 0); ++i)
            raw({uint8_t(i), uint8_t(i), uint8_t(i)});
        return *this;
    }
    GifAssembler& descriptor(int left, int top, int width, int height, uint8_t packed = 0)
    {
        raw({','});
        u16(left).u16(top).u16(width).u16(height);
        return raw({packed});
    }
    GifAssembler& graphicControl(int disposal, int delay, int transparent)
    {
        raw({'!', 0xF9, 4, uint8_t((disposal << 2) | (transparent >= 0 ? 1 : 0))});
        u16(delay);
        return raw({uint8_t(transparent >= 0 ? transparent : 0), 0});
    }
    GifAssembler& imageData(int minCodeSize, const std::vector<uint8_t>& codes)
    {
        raw({uint8_t(minCodeSize)});
        return raw(subBlocks(codes));
    }
    GifAssembler& trailer() { return raw({';'}); }
};

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
    bool has(const std::string& m) const { return std::find(messages.begin(), messages.end(), m) != messages.end(); }
};

// A scratch folder below the test's working directory.
inline std::filesystem::path scratchDir(const std::string& name)
{
    std::filesystem::path p = std::filesystem::current_path() / ("scratch_" + name);
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}

inline int run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

inline std::vector<uint8_t> readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A binary PPM of RGB pixels.
inline void writePpm(const std::filesystem::path& p, int width, int height, const std::vector<uint8_t>& rgb)
{
    std::string head = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(head.begin(), head.end());
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    writeFile(p, bytes);
}

// The frame's pixels as RGB through its active colour map.
inline std::vector<uint8_t> frameRgb(const TGIFSubImage& f)
{
    const TGIFColorMap& map = f.activeColorMap();
    std::vector<uint8_t> rgb;
    rgb.reserve(f.dataSize() * 3);
    for (size_t i = 0; i < f.dataSize(); ++i) {
        TGIFColor c = map.data()[f.data()[i] < map.count() ? f.data()[i] : 0];
        rgb.insert(rgb.end(), {c.red, c.green, c.blue});
    }
    return rgb;
}

inline const char* kConvert = "/usr/bin/convert";

} // namespace giftest
