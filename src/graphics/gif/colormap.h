#pragma once
// GIF colour tables: the global one of the header and the local one of each frame.
#include "graphics/gif/exception.h"
#include "graphics/gif/stream.h"

#include <array>
#include <span>
#include <string>
#include <vector>

class TGIFHeader;
class TGIFSubImage;
namespace gif {
class Image;
}

// One histogram cell: how many pixels use an entry, and the entry's index before sorting.
struct TUsageCount {
    int count = 0;
    int index = 0;
};

class TGIFColorMap {
public:
    static constexpr int kMaxColors = 256;

    TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap&) = delete;
    TGIFColorMap& operator=(const TGIFColorMap&) = delete;
    virtual ~TGIFColorMap() = default;

    int count() const { return count_; }
    int capacity() const { return capacity_; }
    bool empty() const { return count_ == 0; }
    // True after the map was sorted by usage; written as the sort flag.
    bool optimized() const { return optimized_; }
    void setOptimized(bool on) { optimized_ = on; }

    // Entry by index; outside the map: the warning "Invalid color index" and entry 0
    // ("Color table is empty" is raised when there is none).
    TColor color(int index) const;
    TGIFColor entry(int index) const;
    // Replaces an entry; outside the map raises "Invalid color index".
    void setColor(int index, TColor color);
    void setEntry(int index, TGIFColor color);
    std::span<const TGIFColor> entries() const { return {data_.data(), size_t(count_)}; }
    // Raw entries for fast per-pixel access (count() of them are valid).
    const TGIFColor* data() const { return data_.data(); }

    // Appends a colour; returns its index. "Color table overflow" at 256 entries.
    int add(TColor color);
    int addEntry(TGIFColor color);
    // Returns the index of the colour when present, else adds it.
    int addUnique(TColor color);
    // Removes one entry; outside the map raises "Invalid color index".
    void remove(int index);
    // Index of a colour, -1 when absent: the highest match before optimisation, the lowest
    // after it.
    int indexOf(TColor color) const;
    void clear();
    // Copies capacity, count, optimised flag and entries.
    void assign(const TGIFColorMap& other);

    // 0 for no entries, 1 for up to 2, else the smallest n with 2^n >= count.
    int bitsPerPixel() const { return bitsPerPixelOf(count_); }
    static int bitsPerPixelOf(int count);

    // Imports: palette entries (up to 256), RGB quads (red and blue swapped into the entry),
    // a bitmap's colour table (quads, up to 256).
    void importPalette(std::span<const TPaletteEntry> palette);
    void importRGB(std::span<const TRGBQuad> quads);
    void importDIBColors(std::span<const TRGBQuad> quads);
    // A palette of count entries with the no-collapse flag; empty when the map is.
    std::vector<TPaletteEntry> exportPalette() const;

    // Reads count triples from the stream ("Premature end of data" when short).
    void loadFromStream(gif::InStream& s, int count);
    // Writes the entries and zero triples up to 2^bitsPerPixel() entries.
    void saveToStream(gif::OutStream& s) const;

    // The five operations each concrete map gives.
    virtual void Warning(int severity, const std::string& message) const = 0;
    virtual void buildHistogram(std::vector<TUsageCount>& histogram) const = 0;
    // Rewrites the pixels (and transparent index) of the frames this map colours.
    virtual void mapValues(const std::vector<int>& newIndexOf) = 0;
    // Sorts the entries by usage, most used first, and drops entries no pixel uses.
    // Returns whether the map had more than one entry.
    virtual bool Optimise() = 0;
    virtual void changed() = 0;

protected:
    bool doOptimise();
    void ensureCapacity(int request);

private:
    std::array<TGIFColor, kMaxColors> data_{};
    int count_ = 0;
    int capacity_ = 0;
    bool optimized_ = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader& header) : header_(header) {}
    TGIFHeader& header() const { return header_; }

    void Warning(int severity, const std::string& message) const override;
    void buildHistogram(std::vector<TUsageCount>& histogram) const override;
    void mapValues(const std::vector<int>& newIndexOf) override;
    bool Optimise() override;
    void changed() override;

private:
    TGIFHeader& header_;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage& subImage) : subImage_(subImage) {}
    TGIFSubImage& subImage() const { return subImage_; }

    void Warning(int severity, const std::string& message) const override;
    void buildHistogram(std::vector<TUsageCount>& histogram) const override;
    void mapValues(const std::vector<int>& newIndexOf) override;
    bool Optimise() override;
    void changed() override;

private:
    TGIFSubImage& subImage_;
};
