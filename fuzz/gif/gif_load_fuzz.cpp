// Any bytes through the GIF reader: it must end in a tree or a GIFException, within bounds.
#include "graphics/gif/objects.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gif::Image img;
    // Small limits: what loads is written twice and read back, under the sanitizers, and must
    // stay within the replay's time.
    img.maxPixels = 1 << 22;
    img.maxTotalPixels = 1 << 22;
    try {
        img.loadFromMemory(std::span<const uint8_t>(data, size));
    } catch (const GIFException&) {
        return 0;
    }
    // Walk what was read, and sort the maps as the picture class would.
    unsigned sum = 0;
    for (int i = 0; i < img.images().count(); ++i) {
        const TGIFSubImage& f = img.images()[i];
        for (size_t k = 0; k < f.dataSize(); ++k)
            sum += f.data()[k];
        if (!f.empty())
            sum += f.pixel(f.width() - 1, f.height() - 1);
    }
    // What was read must write back (or be refused cleanly) and read again to the same pixels.
    for (TGIFCompression c : {gcLZW, gcRLE}) {
        img.Compression = c;
        std::vector<uint8_t> again;
        try {
            again = img.saveToMemory();
        } catch (const GIFException&) {
            break;
        }
        gif::Image back;
        back.loadFromMemory(again);
        int j = 0;
        for (int i = 0; i < img.images().count(); ++i) {
            const TGIFSubImage& f = img.images()[i];
            if (f.empty())
                continue;
            while (j < back.images().count() && back.images()[j].empty())
                ++j;
            if (j >= back.images().count())
                __builtin_trap();
            const TGIFSubImage& g = back.images()[j++];
            if (g.dataSize() != f.dataSize() || !std::equal(f.data(), f.data() + f.dataSize(), g.data()))
                __builtin_trap();
        }
    }
    try {
        img.globalColorMap().Optimise();
        for (int i = 0; i < img.images().count(); ++i)
            img.images()[i].colorMap().Optimise();
    } catch (const GIFException&) {
    }
    return int(sum & 0);
}
