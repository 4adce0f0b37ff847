#pragma once
// An independent reader and writer for checking the codec: the system's giflib, used only by
// the tests and the benchmarks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <stdexcept>
#include <string>
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
    int n = int(rgb.size() / 3);
    int size = 2;
    while (size < n)
        size *= 2;
    std::vector<GifColorType> colors(size_t(size), GifColorType{0, 0, 0});
    for (int i = 0; i < n; ++i)
        colors[size_t(i)] = GifColorType{rgb[size_t(3 * i)], rgb[size_t(3 * i + 1)], rgb[size_t(3 * i + 2)]};
    return GifMakeMapObject(size, colors.data());
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
    gf->SWidth = p.width;
    gf->SHeight = p.height;
    gf->SColorResolution = 8;
    gf->SBackGroundColor = p.background;
    gf->SColorMap = p.globalMap.empty() ? nullptr : detail::makeMap(p.globalMap);
    for (size_t i = 0; i < p.frames.size(); ++i) {
        const Frame& f = p.frames[i];
        SavedImage* sp = GifMakeSavedImage(gf, nullptr);
        sp->ImageDesc.Left = f.left;
        sp->ImageDesc.Top = f.top;
        sp->ImageDesc.Width = f.width;
        sp->ImageDesc.Height = f.height;
        sp->ImageDesc.Interlace = f.interlaced;
        sp->ImageDesc.ColorMap = f.map.empty() ? nullptr : detail::makeMap(f.map);
        sp->RasterBits = static_cast<GifByteType*>(std::malloc(f.pixels.size() ? f.pixels.size() : 1));
        if (!f.pixels.empty())
            std::memcpy(sp->RasterBits, f.pixels.data(), f.pixels.size());
        if (f.hasGcb) {
            GraphicsControlBlock gcb{};
            gcb.DisposalMode = f.disposal;
            gcb.UserInputFlag = false;
            gcb.DelayTime = f.delay;
            gcb.TransparentColor = f.transparent;
            EGifGCBToSavedExtension(&gcb, gf, int(i));
        }
        // A comment longer than one sub-block continues in further blocks.
        for (const std::string& c : f.comments)
            for (size_t pos = 0; pos < c.size(); pos += 255)
                GifAddExtensionBlock(&sp->ExtensionBlockCount, &sp->ExtensionBlocks,
                                     pos == 0 ? COMMENT_EXT_FUNC_CODE : CONTINUE_EXT_FUNC_CODE,
                                     unsigned(std::min<size_t>(255, c.size() - pos)),
                                     reinterpret_cast<unsigned char*>(const_cast<char*>(c.data() + pos)));
        if (f.loops >= 0) {
            unsigned char id[] = "NETSCAPE2.0";
            unsigned char loop[3] = {1, uint8_t(f.loops), uint8_t(f.loops >> 8)};
            GifAddExtensionBlock(&sp->ExtensionBlockCount, &sp->ExtensionBlocks, APPLICATION_EXT_FUNC_CODE,
                                 11, id);
            GifAddExtensionBlock(&sp->ExtensionBlockCount, &sp->ExtensionBlocks, CONTINUE_EXT_FUNC_CODE, 3,
                                 loop);
        }
    }
    // The frames are written here rather than by EGifSpew, which leaks copied colour maps.
    // The screen descriptor keeps its own copy of the global map.
    ColorMapObject* globalMap = gf->SColorMap;
    bool ok = EGifPutScreenDesc(gf, gf->SWidth, gf->SHeight, gf->SColorResolution, gf->SBackGroundColor,
                                gf->SColorMap) == GIF_OK;
    for (int i = 0; ok && i < gf->ImageCount; ++i) {
        const SavedImage& sp = gf->SavedImages[i];
        for (int k = 0; ok && k < sp.ExtensionBlockCount; ++k) {
            const ExtensionBlock& e = sp.ExtensionBlocks[k];
            if (e.Function != CONTINUE_EXT_FUNC_CODE)
                ok = ok && EGifPutExtensionLeader(gf, e.Function) == GIF_OK;
            ok = ok && EGifPutExtensionBlock(gf, e.ByteCount, e.Bytes) == GIF_OK;
            if (k == sp.ExtensionBlockCount - 1 ||
                sp.ExtensionBlocks[k + 1].Function != CONTINUE_EXT_FUNC_CODE)
                ok = ok && EGifPutExtensionTrailer(gf) == GIF_OK;
        }
        const GifImageDesc& d = sp.ImageDesc;
        ok = ok && EGifPutImageDesc(gf, d.Left, d.Top, d.Width, d.Height, d.Interlace, d.ColorMap) == GIF_OK;
        // Its copy of a local map is lost when the next frame has none.
        if (gf->Image.ColorMap) {
            GifFreeMapObject(gf->Image.ColorMap);
            gf->Image.ColorMap = nullptr;
        }
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < (d.Interlace ? 4 : 1); ++pass)
            for (int y = d.Interlace ? start[pass] : 0; ok && y < d.Height; y += d.Interlace ? step[pass] : 1)
                ok = EGifPutLine(gf, sp.RasterBits + size_t(y) * size_t(d.Width), d.Width) == GIF_OK;
    }
    GifFreeSavedImages(gf);
    ok = EGifCloseFile(gf, &err) == GIF_OK && ok;
    GifFreeMapObject(globalMap);
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
    Picture p;
    p.width = gf->SWidth;
    p.height = gf->SHeight;
    p.background = gf->SBackGroundColor;
    if (gf->SColorMap)
        for (int i = 0; i < gf->SColorMap->ColorCount; ++i) {
            const GifColorType& c = gf->SColorMap->Colors[i];
            p.globalMap.insert(p.globalMap.end(), {c.Red, c.Green, c.Blue});
        }
    for (int i = 0; i < gf->ImageCount; ++i) {
        const SavedImage& sp = gf->SavedImages[i];
        Frame f;
        f.left = sp.ImageDesc.Left;
        f.top = sp.ImageDesc.Top;
        f.width = sp.ImageDesc.Width;
        f.height = sp.ImageDesc.Height;
        f.interlaced = sp.ImageDesc.Interlace;
        if (sp.ImageDesc.ColorMap)
            for (int k = 0; k < sp.ImageDesc.ColorMap->ColorCount; ++k) {
                const GifColorType& c = sp.ImageDesc.ColorMap->Colors[k];
                f.map.insert(f.map.end(), {c.Red, c.Green, c.Blue});
            }
        f.pixels.assign(sp.RasterBits, sp.RasterBits + size_t(f.width) * size_t(f.height));
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gf, i, &gcb) == GIF_OK) {
            f.hasGcb = true;
            f.disposal = gcb.DisposalMode;
            f.delay = gcb.DelayTime;
            f.transparent = gcb.TransparentColor;
        }
        for (int k = 0; k < sp.ExtensionBlockCount; ++k) {
            const ExtensionBlock& e = sp.ExtensionBlocks[k];
            if (e.Function == COMMENT_EXT_FUNC_CODE)
                for (int j = k; j < sp.ExtensionBlockCount; ++j) {
                    const ExtensionBlock& b = sp.ExtensionBlocks[j];
                    if (j > k && b.Function != CONTINUE_EXT_FUNC_CODE)
                        break;
                    f.comments.emplace_back(reinterpret_cast<const char*>(b.Bytes), size_t(b.ByteCount));
                }
            if (e.Function == APPLICATION_EXT_FUNC_CODE && e.ByteCount == 11 &&
                std::memcmp(e.Bytes, "NETSCAPE2.0", 11) == 0 && k + 1 < sp.ExtensionBlockCount) {
                const ExtensionBlock& d = sp.ExtensionBlocks[k + 1];
                if (d.ByteCount >= 3 && d.Bytes[0] == 1)
                    f.loops = d.Bytes[1] | (d.Bytes[2] << 8);
            }
        }
        p.frames.push_back(std::move(f));
    }
    DGifCloseFile(gf, &err);
    return p;
}

} // namespace giforacle
