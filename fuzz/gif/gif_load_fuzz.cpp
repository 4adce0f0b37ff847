// Any bytes through the GIF reader: it must end in a tree or a GIFException, within bounds.
#include "graphics/gif/objects.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gif::Image img;
    img.maxPixels = 1 << 22;
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
    try {
        img.globalColorMap().Optimise();
        for (int i = 0; i < img.images().count(); ++i)
            img.images()[i].colorMap().Optimise();
    } catch (const GIFException&) {
    }
    return int(sum & 0);
}
