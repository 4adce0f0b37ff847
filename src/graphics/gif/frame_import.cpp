#include "graphics/gif/frame_import.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace gifcolour {

namespace {

constexpr const char* kConverting = "Converting...";

void progress(TGIFSubImage& frame, int y, int height) {
    if (y % 32 != 0) return;
    if (gif::Image* img = frame.image()) img->Progress(&frame, psRunning, height > 0 ? y * 100 / height : 0, kConverting);
}

void importColors(TGIFColorMap& map, const Palette& colors) {
    std::vector<TPaletteEntry> entries;
    entries.reserve(std::min<std::size_t>(colors.size(), 256));
    for (std::size_t i = 0; i < colors.size() && i < 256; ++i)
        entries.push_back({colors[i].red, colors[i].green, colors[i].blue, 0});
    map.importPalette(entries);
}

// Every pixel must name an entry: a table shorter than the indices used is padded black.
void coverIndices(TGIFSubImage& frame) {
    int highest = -1;
    const std::uint8_t* p = frame.data();
    for (std::size_t i = 0; i < frame.dataSize(); ++i) highest = std::max<int>(highest, p[i]);
    TGIFColorMap& map = frame.colorMap();
    while (map.count() <= highest) map.addEntry({0, 0, 0});
}

// Runs an import; on failure the frame is left cleared rather than half filled.
template <typename F>
void cleanly(TGIFSubImage& target, F&& body) {
    try {
        body();
    } catch (...) {
        target.clear();
        throw;
    }
}

void readIndexedRows(TGIFSubImage& target, const IndexedBitmap& bitmap) {
    const std::size_t needed = static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.bitsPerPixel);
    const std::size_t rowBytes = (needed + 7) / 8;
    if (bitmap.stride < rowBytes || bitmap.bits.size() < bitmap.stride * static_cast<std::size_t>(bitmap.height))
        throw GIFException("Invalid image dimensions");
    importColors(target.colorMap(), bitmap.colors);
    for (int y = 0; y < bitmap.height; ++y) {
        progress(target, y, bitmap.height);
        const std::uint8_t* in = bitmap.bits.data() + static_cast<std::size_t>(y) * bitmap.stride;
        std::uint8_t* out = target.scanline(y);
        switch (bitmap.bitsPerPixel) {
            case 1:
                for (int x = 0; x < bitmap.width; ++x) out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
                break;
            case 4:
                for (int x = 0; x < bitmap.width; ++x) out[x] = (x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4);
                break;
            default:
                std::memcpy(out, in, static_cast<std::size_t>(bitmap.width));
                break;
        }
    }
    coverIndices(target);
}

// Up to 256 distinct colours, looked up first among the 8 most recent ones.
void readTrueColorRows(TGIFSubImage& target, const std::uint8_t* rgb, int width, int height) {
    struct Recent {
        TColor color;
        std::uint8_t index;
    };
    std::array<Recent, 8> ring{};
    int used = 0;  // the ring starts empty: nothing matches before it is seen
    int last = 0;
    int next = 0;
    TGIFColorMap& map = target.colorMap();
    for (int y = 0; y < height; ++y) {
        progress(target, y, height);
        std::uint8_t* out = target.scanline(y);
        const std::uint8_t* p = rgb + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
        for (int x = 0; x < width; ++x, p += 3) {
            const TColor c = makeColor(p[0], p[1], p[2]);
            int found = -1;
            for (int k = 0; k < used; ++k) {
                int slot = (last - k + 8) & 7;
                if (ring[static_cast<std::size_t>(slot)].color == c) {
                    found = ring[static_cast<std::size_t>(slot)].index;
                    last = slot;
                    break;
                }
            }
            if (found < 0) {
                found = map.addUnique(c);
                ring[static_cast<std::size_t>(next)] = {c, static_cast<std::uint8_t>(found)};
                last = next;
                next = (next + 1) & 7;
                used = std::min(used + 1, 8);
            }
            out[x] = static_cast<std::uint8_t>(found);
        }
    }
}

}  // namespace

void assignFrame(TGIFSubImage& target, const TGIFSubImage* source) {
    if (source == &target) return;
    target.clear();
    if (source == nullptr || source->empty()) return;
    cleanly(target, [&] {
        target.setBounds(source->left(), source->top(), source->width(), source->height());
        target.setPackedFields(source->packedFields());
        target.setHasTransparency(source->hasTransparency());
        std::memcpy(target.data(), source->data(), std::min(target.dataSize(), source->dataSize()));
        target.colorMap().assign(source->colorMap());
        // Extensions are copied through their own stream form, read back under this frame.
        gif::OutStream out;
        const_cast<TGIFExtensionList&>(source->extensions()).SaveToStream(out);
        out.writeByte(';');
        gif::InStream in(out.bytes());
        target.extensions().LoadFromStream(in);
    });
}

void importIndexed(TGIFSubImage& target, const IndexedBitmap& bitmap) {
    target.clear();
    if (bitmap.bitsPerPixel != 1 && bitmap.bitsPerPixel != 4 && bitmap.bitsPerPixel != 8)
        throw GIFException("Unsupported PixelFormat");
    cleanly(target, [&] {
        target.setBounds(0, 0, bitmap.width, bitmap.height);
        if (bitmap.width <= 0 || bitmap.height <= 0) return;
        readIndexedRows(target, bitmap);
    });
}

void importTrueColor(TGIFSubImage& target, const RgbImage& image, const ReductionOptions& options) {
    target.clear();
    cleanly(target, [&] {
        target.setBounds(0, 0, image.width, image.height);
        if (image.empty()) return;
        if (options.method == reCustomPalette) throw GIFException("Invalid reduction method");
        ReducedImage reduced = ReduceColors(image, options.method, options.dither, options.bits, nullptr);
        if (reduced.bitsPerPixel == 24) {
            readTrueColorRows(target, reduced.pixels.data(), reduced.width, reduced.height);
        } else if (reduced.bitsPerPixel == 8) {
            IndexedBitmap bitmap;
            bitmap.width = reduced.width;
            bitmap.height = reduced.height;
            bitmap.bitsPerPixel = 8;
            bitmap.stride = static_cast<std::size_t>(reduced.width);
            bitmap.bits = std::move(reduced.pixels);
            bitmap.colors = std::move(reduced.palette);
            readIndexedRows(target, bitmap);
        } else {
            throw GIFException("Invalid reduction method");
        }
    });
}

void markTransparent(TGIFSubImage& target, const std::vector<std::uint8_t>& mask) {
    if (target.empty()) return;
    TGIFLocalColorMap& map = target.colorMap();
    map.Optimise();
    if (map.count() == 0 || map.count() == 256) return;
    const int index = map.addEntry({0, 0, 0});
    bool marked = false;
    std::uint8_t* p = target.data();
    const std::size_t n = std::min(mask.size(), target.dataSize());
    for (std::size_t i = 0; i < n; ++i) {
        if (mask[i] != 0) {
            p[i] = static_cast<std::uint8_t>(index);
            marked = true;
        }
    }
    if (!marked) {
        map.remove(index);
        return;
    }
    auto gce = std::make_unique<TGIFGraphicControlExtension>(target);
    TGIFGraphicControlExtension* raw = gce.get();
    target.extensions().add(std::move(gce));
    raw->setTransparent(true);
    raw->setTransparentColorIndex(index);
}

}  // namespace gifcolour
