#pragma once
// An independent reader and writer for checking the codec: the system's giflib, used only by
// the tests and the benchmarks.
#include <cstring>
#include <gif_lib.h>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace giforacle {

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<uint8_t> map{}; // RGB triples; empty = uses the global map
    std::vector<uint8_t> pixels{};
    bool hasGcb = false;
    int disposal = 0, delay = 0, transparent = -1;
    std::vector<std::string> comments{};
    int loops = -1; // -1: no loop extension
    bool operator==(const Frame&) const = default;
};

struct Picture {
    int width = 0, height = 0, background = 0;
    std::vector<uint8_t> globalMap{};
    std::vector<Frame> frames{};
    bool operator==(const Picture&) const = default;
};

namespace detail {
inline int writeToVector(GifFileType* gf, const GifByteType* bytes, int n)
{
    auto* out = static_cast<std::vector<uint8_t>*>(gf->UserData);
    out->insert(out->end(), bytes, bytes + n);
    return n;
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

inline int readFromMemory(GifFileType* gf, GifByteType* bytes, int n)
{
    auto* in = static_cast<Input*>(gf->UserData);
    size_t k = std::min(size_t(n), in->size - in->pos);
    std::memcpy(bytes, in->data + in->pos, k);
    in->pos += k;
    return int(k);
}

// giflib wants power-of-two maps; the rest is padded with black.
inline ColorMapObject* makeMap(const std::vector<uint8_t>& rgb)
{
    if (rgb.empty())
        return nullptr;
    std::vector<GifColorType> colors;
    for (size_t i = 0; i < rgb.size(); i += 3)
        colors.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    while (colors.size() < 2 || (colors.size() & (colors.size() - 1)))
        colors.push_back({0, 0, 0});
    return GifMakeMapObject(int(colors.size()), colors.data());
}

inline std::vector<uint8_t> mapBytes(const ColorMapObject* map)
{
    std::vector<uint8_t> rgb;
    for (int i = 0; map && i < map->ColorCount; ++i)
        rgb.insert(rgb.end(), {map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    return rgb;
}
} // namespace detail

// Writes the picture with giflib's encoder.
inline std::vector<uint8_t> encode(const Picture& p)
{
    std::vector<uint8_t> out;
    int err = 0;
    GifFileType* gf = EGifOpen(&out, detail::writeToVector, &err);
    if (!gf)
        throw std::runtime_error("EGifOpen failed");
    EGifSetGifVersion(gf, true);
    // giflib keeps copies of the maps it is given.
    ColorMapObject* map = detail::makeMap(p.globalMap);
    bool ok = EGifPutScreenDesc(gf, p.width, p.height, 8, p.background, map) == GIF_OK;
    GifFreeMapObject(map);
    for (const Frame& f : p.frames) {
        if (f.hasGcb) {
            const GraphicsControlBlock gcb{f.disposal, false, f.delay, f.transparent};
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            ok = ok && EGifPutExtension(gf, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
        }
        // A comment longer than one sub-block continues in further blocks.
        for (const std::string& c : f.comments) {
            ok = ok && EGifPutExtensionLeader(gf, COMMENT_EXT_FUNC_CODE) == GIF_OK;
            for (size_t pos = 0; pos < c.size(); pos += 255)
                ok = ok && EGifPutExtensionBlock(gf, int(std::min<size_t>(255, c.size() - pos)),
                                                 c.data() + pos) == GIF_OK;
            ok = ok && EGifPutExtensionTrailer(gf) == GIF_OK;
        }
        if (f.loops >= 0) {
            const uint8_t loop[3] = {1, uint8_t(f.loops), uint8_t(f.loops >> 8)};
            ok = ok && EGifPutExtensionLeader(gf, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                 EGifPutExtensionBlock(gf, 11, "NETSCAPE2.0") == GIF_OK &&
                 EGifPutExtensionBlock(gf, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gf) == GIF_OK;
        }
        map = detail::makeMap(f.map);
        ok = ok && EGifPutImageDesc(gf, f.left, f.top, f.width, f.height, f.interlaced, map) == GIF_OK;
        GifFreeMapObject(map);
        // Its copy of a local map is lost when the next frame has none.
        GifFreeMapObject(std::exchange(gf->Image.ColorMap, nullptr));
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < (f.interlaced ? 4 : 1); ++pass)
            for (int y = f.interlaced ? start[pass] : 0; ok && y < f.height;
                 y += f.interlaced ? step[pass] : 1)
                ok = EGifPutLine(gf, const_cast<GifByteType*>(f.pixels.data()) + size_t(y) * size_t(f.width),
                                 f.width) == GIF_OK;
    }
    ok = EGifCloseFile(gf, &err) == GIF_OK && ok;
    if (!ok)
        throw std::runtime_error("giflib could not write the picture");
    return out;
}

// Reads a whole file with giflib; throws when giflib refuses it.
inline Picture decode(const std::vector<uint8_t>& bytes)
{
    detail::Input in{bytes.data(), bytes.size(), 0};
    int err = 0;
    GifFileType* gf = DGifOpen(&in, detail::readFromMemory, &err);
    if (!gf)
        throw std::runtime_error("DGifOpen failed");
    if (DGifSlurp(gf) != GIF_OK) {
        DGifCloseFile(gf, &err);
        throw std::runtime_error("DGifSlurp failed");
    }
    Picture p{gf->SWidth, gf->SHeight, gf->SBackGroundColor, detail::mapBytes(gf->SColorMap)};
    for (int i = 0; i < gf->ImageCount; ++i) {
        const SavedImage& sp = gf->SavedImages[i];
        const GifImageDesc& d = sp.ImageDesc;
        Frame& f = p.frames.emplace_back(
            Frame{d.Left, d.Top, d.Width, d.Height, d.Interlace, detail::mapBytes(d.ColorMap)});
        f.pixels.assign(sp.RasterBits, sp.RasterBits + size_t(d.Width) * size_t(d.Height));
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gf, i, &gcb) == GIF_OK)
            std::tie(f.hasGcb, f.disposal, f.delay, f.transparent) =
                std::tuple(true, gcb.DisposalMode, gcb.DelayTime, gcb.TransparentColor);
        // A comment's blocks each read as a line; the loop count from its data sub-block.
        for (int k = 0, kind = 0; k < sp.ExtensionBlockCount; ++k) {
            const ExtensionBlock& e = sp.ExtensionBlocks[k];
            kind = e.Function == CONTINUE_EXT_FUNC_CODE ? kind : e.Function;
            if (kind == COMMENT_EXT_FUNC_CODE)
                f.comments.emplace_back(reinterpret_cast<const char*>(e.Bytes), size_t(e.ByteCount));
            const ExtensionBlock* data =
                k + 1 < sp.ExtensionBlockCount ? &sp.ExtensionBlocks[k + 1] : nullptr;
            if (e.Function == APPLICATION_EXT_FUNC_CODE && e.ByteCount == 11 &&
                std::memcmp(e.Bytes, "NETSCAPE2.0", 11) == 0 && data && data->ByteCount >= 3 &&
                data->Bytes[0] == 1)
                f.loops = data->Bytes[1] | (data->Bytes[2] << 8);
        }
    }
    DGifCloseFile(gf, &err);
    return p;
}

} // namespace giforacle
