#include "graphics/gif/colormap.h"

#include "graphics/gif/objects.h"

#include <algorithm>

namespace {
TGIFColor toEntry(TColor c) { return {colorRed(c), colorGreen(c), colorBlue(c)}; }
TColor fromEntry(TGIFColor e) { return makeColor(e.red, e.green, e.blue); }
} // namespace

int TGIFColorMap::bitsPerPixelOf(int count)
{
    if (count <= 0)
        return 0;
    if (count <= 2)
        return 1;
    int n = 1;
    while ((1 << n) < count)
        ++n;
    return n;
}

void TGIFColorMap::ensureCapacity(int request)
{
    if (request <= capacity_)
        return;
    if (request > kMaxColors)
        throw GIFException(gifmsg::ColorTableOverflow);
    capacity_ = request <= 16 ? 16 : std::min(kMaxColors, (request + 31) / 32 * 32);
}

TColor TGIFColorMap::color(int index) const { return fromEntry(entry(index)); }

TGIFColor TGIFColorMap::entry(int index) const
{
    if (index < 0 || index >= count_) {
        if (count_ == 0)
            throw GIFException(gifmsg::ColorTableEmpty);
        Warning(kGIFWarningSeverity, gifmsg::InvalidColorIndex);
        return data_[0];
    }
    return data_[size_t(index)];
}

void TGIFColorMap::setColor(int index, TColor color) { setEntry(index, toEntry(color)); }

void TGIFColorMap::setEntry(int index, TGIFColor color)
{
    if (index < 0 || index >= count_)
        throw GIFException(gifmsg::InvalidColorIndex);
    data_[size_t(index)] = color;
    changed();
}

int TGIFColorMap::add(TColor color) { return addEntry(toEntry(color)); }

int TGIFColorMap::addEntry(TGIFColor color)
{
    if (count_ >= kMaxColors)
        throw GIFException(gifmsg::ColorTableOverflow);
    ensureCapacity(count_ + 1);
    data_[size_t(count_)] = color;
    optimized_ = false;
    ++count_;
    changed();
    return count_ - 1;
}

int TGIFColorMap::addUnique(TColor color)
{
    int i = indexOf(color);
    return i >= 0 ? i : add(color);
}

void TGIFColorMap::remove(int index)
{
    if (index < 0 || index >= count_)
        throw GIFException(gifmsg::InvalidColorIndex);
    std::copy(data_.begin() + index + 1, data_.begin() + count_, data_.begin() + index);
    --count_;
    optimized_ = false;
    changed();
}

int TGIFColorMap::indexOf(TColor color) const
{
    const TGIFColor e = toEntry(color);
    if (!optimized_) {
        for (int i = count_ - 1; i >= 0; --i)
            if (data_[size_t(i)] == e)
                return i;
    } else {
        for (int i = 0; i < count_; ++i)
            if (data_[size_t(i)] == e)
                return i;
    }
    return -1;
}

void TGIFColorMap::clear()
{
    count_ = 0;
    capacity_ = 0;
    optimized_ = false;
    changed();
}

void TGIFColorMap::assign(const TGIFColorMap& other)
{
    if (&other == this)
        return;
    capacity_ = other.capacity_;
    count_ = other.count_;
    optimized_ = other.optimized_;
    data_ = other.data_;
    changed();
}

void TGIFColorMap::importPalette(std::span<const TPaletteEntry> palette)
{
    size_t n = std::min<size_t>(palette.size(), kMaxColors);
    ensureCapacity(int(n));
    for (size_t i = 0; i < n; ++i)
        data_[i] = {palette[i].peRed, palette[i].peGreen, palette[i].peBlue};
    count_ = int(n);
    optimized_ = false;
    changed();
}

void TGIFColorMap::importRGB(std::span<const TRGBQuad> quads)
{
    size_t n = std::min<size_t>(quads.size(), kMaxColors);
    ensureCapacity(int(n));
    for (size_t i = 0; i < n; ++i)
        data_[i] = {quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue};
    count_ = int(n);
    optimized_ = false;
    changed();
}

void TGIFColorMap::importDIBColors(std::span<const TRGBQuad> quads) { importRGB(quads); }

std::vector<TPaletteEntry> TGIFColorMap::exportPalette() const
{
    std::vector<TPaletteEntry> out;
    out.reserve(size_t(count_));
    for (int i = 0; i < count_; ++i) {
        const TGIFColor& e = data_[size_t(i)];
        out.push_back({e.red, e.green, e.blue, PC_NOCOLLAPSE});
    }
    return out;
}

void TGIFColorMap::loadFromStream(gif::InStream& s, int count)
{
    if (count < 0 || count > kMaxColors)
        throw GIFException(gifmsg::ColorTableOverflow);
    clear();
    ensureCapacity(count);
    gif::readCheck(s, data_.data(), size_t(count) * 3);
    count_ = count;
    changed();
}

void TGIFColorMap::saveToStream(gif::OutStream& s) const
{
    if (count_ == 0)
        return;
    s.write(data_.data(), size_t(count_) * 3);
    int padded = 1 << bitsPerPixel();
    static const uint8_t zeros[3 * kMaxColors] = {};
    if (padded > count_)
        s.write(zeros, size_t(padded - count_) * 3);
}

bool TGIFColorMap::doOptimise()
{
    if (count_ <= 1)
        return false;
    optimized_ = true;
    std::vector<TUsageCount> histogram(static_cast<size_t>(count_));
    for (int i = 0; i < count_; ++i)
        histogram[size_t(i)] = {0, i};
    buildHistogram(histogram);
    std::stable_sort(histogram.begin(), histogram.end(),
                     [](const TUsageCount& a, const TUsageCount& b) { return a.count > b.count; });
    bool identity = true;
    for (int i = 0; i < count_; ++i)
        identity = identity && histogram[size_t(i)].index == i;
    if (!identity) {
        std::vector<int> newIndexOf(static_cast<size_t>(count_));
        for (int i = 0; i < count_; ++i)
            newIndexOf[size_t(histogram[size_t(i)].index)] = i;
        mapValues(newIndexOf);
        std::array<TGIFColor, kMaxColors> sorted{};
        for (int i = 0; i < count_; ++i)
            sorted[size_t(i)] = data_[size_t(histogram[size_t(i)].index)];
        data_ = sorted;
    }
    int used = count_;
    for (int i = 0; i < count_; ++i)
        if (histogram[size_t(i)].count == 0) {
            used = i;
            break;
        }
    count_ = used;
    changed();
    return true;
}

// ---- global map ----------------------------------------------------------------------------

void TGIFGlobalColorMap::Warning(int severity, const std::string& message) const
{
    header_.Warning(severity, message);
}

namespace {
// Adds a frame's pixels (and its transparent index, which must survive the truncation) to the
// histogram; values beyond the map are not counted.
void countFrame(const TGIFSubImage& frame, std::vector<TUsageCount>& histogram)
{
    const size_t n = histogram.size();
    const uint8_t* p = frame.data();
    for (size_t i = 0, size = frame.dataSize(); i < size; ++i)
        if (p[i] < n)
            ++histogram[p[i]].count;
    int t = frame.transparentIndex();
    if (t >= 0 && size_t(t) < n)
        ++histogram[size_t(t)].count;
}

void remapFrame(TGIFSubImage& frame, const std::vector<int>& newIndexOf)
{
    const size_t n = newIndexOf.size();
    uint8_t* p = frame.data();
    for (size_t i = 0, size = frame.dataSize(); i < size; ++i)
        if (p[i] < n)
            p[i] = uint8_t(newIndexOf[p[i]]);
    if (TGIFGraphicControlExtension* gce = frame.graphicControlExtension()) {
        int t = gce->transparentColorIndex();
        if (size_t(t) < n)
            gce->setTransparentColorIndex(newIndexOf[size_t(t)]);
    }
    frame.dropCache();
}
} // namespace

void TGIFGlobalColorMap::buildHistogram(std::vector<TUsageCount>& histogram) const
{
    gif::Image* image = header_.image();
    if (!image)
        return;
    TGIFPictureList& frames = image->images();
    for (int i = 0; i < frames.count(); ++i)
        if (frames[i].usesGlobalColorMap())
            countFrame(frames[i], histogram);
}

void TGIFGlobalColorMap::mapValues(const std::vector<int>& newIndexOf)
{
    if (gif::Image* image = header_.image()) {
        TGIFPictureList& frames = image->images();
        for (int i = 0; i < frames.count(); ++i)
            if (frames[i].usesGlobalColorMap())
                remapFrame(frames[i], newIndexOf);
    }
    uint8_t bg = header_.backgroundColorIndex();
    if (bg < newIndexOf.size())
        header_.setBackgroundColorIndex(uint8_t(newIndexOf[bg]));
}

bool TGIFGlobalColorMap::Optimise()
{
    gif::Image* image = header_.image();
    if (!image || image->images().count() == 0)
        return false;
    bool result = doOptimise();
    // An unused background colour may have been cut off.
    if (header_.backgroundColorIndex() >= count())
        header_.setBackgroundColorIndex(0);
    return result;
}

void TGIFGlobalColorMap::changed()
{
    if (gif::Image* image = header_.image())
        image->changed();
}

// ---- local map -----------------------------------------------------------------------------

void TGIFLocalColorMap::Warning(int severity, const std::string& message) const
{
    subImage_.Warning(severity, message);
}

void TGIFLocalColorMap::buildHistogram(std::vector<TUsageCount>& histogram) const
{
    countFrame(subImage_, histogram);
}

void TGIFLocalColorMap::mapValues(const std::vector<int>& newIndexOf) { remapFrame(subImage_, newIndexOf); }

bool TGIFLocalColorMap::Optimise() { return doOptimise(); }

void TGIFLocalColorMap::changed()
{
    subImage_.dropCache();
    if (gif::Image* image = subImage_.image())
        image->changed();
}
