#pragma once
// The in-memory model of a GIF file: header with its global colour map, frames with their
// extensions and local colour maps, and the trailer, owned by one gif::Image.
#include "graphics/gif/colormap.h"
#include "graphics/gif/exception.h"
#include "graphics/gif/stream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TGIFItem;
class TGIFHeader;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;
class TGIFPictureList;

enum TProgressStage { psStarting, psRunning, psEnding };

// Disposal methods of the graphic control extension.
enum TDisposalMethod : uint8_t { dmNone = 0, dmNoDisposal = 1, dmBackground = 2, dmPrevious = 3 };

namespace gif {

using WarningHandler = std::function<void(const void* sender, int severity, const std::string& message)>;
using ProgressHandler =
    std::function<void(const void* sender, TProgressStage stage, int percent, const std::string& message)>;

// Frames larger than this many pixels are refused while loading (a hostile descriptor can
// ask for 4 G pixels); the picture class may raise or lower it. The same number bounds the
// pixels that all frames read since the last clear hold beyond what their image data decoded
// (fill, which costs the file nothing).
inline constexpr uint64_t kDefaultMaxPixels = uint64_t(1) << 26;
// What all frames read since the last clear may hold together: their pixels, and each frame
// its own bookkeeping (about 1 K) and its extensions what they keep, a pixel a byte, so that
// many tiny frames or extension blocks are bounded too. Real image data can encode over
// 2,500 pixels a byte, so the file's size bounds nothing; this keeps the frames of a load
// within 128 MB whatever the file.
inline constexpr uint64_t kDefaultMaxTotalPixels = uint64_t(1) << 27;

// The root of the tree: what the picture class owns and loads, saves and draws.
class Image {
public:
    Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    virtual ~Image();

    TGIFHeader& header() { return *header_; }
    const TGIFHeader& header() const { return *header_; }
    TGIFPictureList& images() { return *images_; }
    const TGIFPictureList& images() const { return *images_; }
    TGIFGlobalColorMap& globalColorMap();
    const TGIFGlobalColorMap& globalColorMap() const;

    bool empty() const;
    int width() const;
    int height() const;
    // The largest bits per pixel of the global map and every local map.
    int bitsPerPixel() const;

    // Clears everything: frames, global map, screen size 0 x 0.
    virtual void clear();

    // Header, frames and trailer from the stream's position; on failure the position is put
    // back and the GIFException passes on.
    void LoadFromStream(gif::InStream& s);
    void loadFromMemory(std::span<const uint8_t> bytes);
    void LoadFromFile(const std::string& path);
    // Header, frames and ";" ("Unsupported GIF version" without frames).
    void SaveToStream(gif::OutStream& s);
    std::vector<uint8_t> saveToMemory();
    void SaveToFile(const std::string& path);

    // Warnings go to OnCodecWarning only.
    virtual void Warning(const void* sender, int severity, const std::string& message);
    virtual void Progress(const void* sender, TProgressStage stage, int percent, const std::string& message);
    // Something in the tree changed (a colour map, a frame's bounds).
    virtual void changed() {}

    WarningHandler OnCodecWarning;
    ProgressHandler OnProgress;
    TGIFCompression Compression = gcLZW;
    uint64_t maxPixels = kDefaultMaxPixels;
    uint64_t maxTotalPixels = kDefaultMaxTotalPixels;

private:
    friend class ::TGIFSubImage;

    std::unique_ptr<TGIFHeader> header_;
    std::unique_ptr<TGIFPictureList> images_;
    // Of the frames read since the last clear: the pixels their image data did not decode,
    // and everything they hold (see kDefaultMaxTotalPixels).
    uint64_t fillPixels_ = 0;
    uint64_t heldPixels_ = 0;
};

} // namespace gif

// Every part of the tree that can save and load itself.
class TGIFItem {
public:
    explicit TGIFItem(gif::Image* image) : image_(image) {}
    TGIFItem(const TGIFItem&) = delete;
    TGIFItem& operator=(const TGIFItem&) = delete;
    virtual ~TGIFItem() = default;

    gif::Image* image() const { return image_; }
    virtual TGIFVersion version() const { return gv87a; }
    virtual void Warning(int severity, const std::string& message) const;
    virtual void SaveToStream(gif::OutStream& s) = 0;
    virtual void LoadFromStream(gif::InStream& s) = 0;
    void SaveToFile(const std::string& path);
    void LoadFromFile(const std::string& path);

private:
    gif::Image* image_;
};

// An owning list of items in file order.
class TGIFList {
public:
    explicit TGIFList(gif::Image* image) : image_(image) {}
    TGIFList(const TGIFList&) = delete;
    TGIFList& operator=(const TGIFList&) = delete;
    virtual ~TGIFList();

    gif::Image* image() const { return image_; }
    virtual void Warning(int severity, const std::string& message) const;
    // Saves every item in list order.
    virtual void SaveToStream(gif::OutStream& s);
    virtual void LoadFromStream(gif::InStream& s) = 0;

    int count() const { return int(items_.size()); }
    TGIFItem& item(int index) const { return *items_.at(size_t(index)); }
    int add(std::unique_ptr<TGIFItem> item);
    void insert(int index, std::unique_ptr<TGIFItem> item);
    // Frees the item at index.
    void remove(int index);
    // Hands the item at index to the caller.
    std::unique_ptr<TGIFItem> extract(int index);
    int indexOf(const TGIFItem* item) const;
    void clear();

private:
    gif::Image* image_;
    std::vector<std::unique_ptr<TGIFItem>> items_;
};

class TGIFExtensionList : public TGIFList {
public:
    explicit TGIFExtensionList(TGIFSubImage& subImage);
    TGIFSubImage& subImage() const { return subImage_; }
    TGIFExtension& operator[](int index) const;
    // Reads extensions up to the next "," or ";" (or a stray byte, with a warning).
    void LoadFromStream(gif::InStream& s) override;

private:
    TGIFSubImage& subImage_;
};

class TGIFPictureList : public TGIFList {
public:
    explicit TGIFPictureList(gif::Image* image) : TGIFList(image) {}
    TGIFSubImage& operator[](int index) const;
    // Reads frames up to the trailer, which is left in the stream.
    void LoadFromStream(gif::InStream& s) override;
    void SaveToStream(gif::OutStream& s) override;
};

// Logical screen descriptor (kept verbatim) and the global colour map.
class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(gif::Image* image);

    // The 7 stored bytes: width, height, packed flags, background index, aspect ratio.
    const std::array<uint8_t, 7>& screenDescriptor() const { return sd_; }
    int width() const { return gif::getU16(&sd_[0]); }
    int height() const { return gif::getU16(&sd_[2]); }
    void setWidth(int w) { gif::putU16(&sd_[0], uint16_t(w)); }
    void setHeight(int h) { gif::putU16(&sd_[2], uint16_t(h)); }
    uint8_t packedFields() const { return sd_[4]; }
    void setPackedFields(uint8_t v) { sd_[4] = v; }
    int colorResolution() const { return ((sd_[4] >> 4) & 7) + 1; }
    uint8_t backgroundColorIndex() const { return sd_[5]; }
    void setBackgroundColorIndex(uint8_t v) { sd_[5] = v; }
    uint8_t aspectRatio() const { return sd_[6]; }
    void setAspectRatio(uint8_t v) { sd_[6] = v; }

    TGIFGlobalColorMap& colorMap() { return colorMap_; }
    const TGIFGlobalColorMap& colorMap() const { return colorMap_; }

    // 89a when the global map is sorted or the aspect ratio is set.
    TGIFVersion version() const override;
    void clear();
    // Recomputes the packed flags from the colour maps of the image.
    void preparePackedFields();
    void SaveToStream(gif::OutStream& s) override;
    void LoadFromStream(gif::InStream& s) override;

private:
    std::array<uint8_t, 7> sd_{};
    TGIFGlobalColorMap colorMap_;
};

// What the picture class caches per frame (rendered bitmap, mask, palette).
struct TGIFFrameCache {
    virtual ~TGIFFrameCache() = default;
};

// One frame.
class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(gif::Image* image);
    ~TGIFSubImage() override;

    // The 10 stored descriptor bytes: separator, left, top, width, height, packed flags.
    const std::array<uint8_t, 10>& imageDescriptor() const { return id_; }
    int left() const { return gif::getU16(&id_[1]); }
    int top() const { return gif::getU16(&id_[3]); }
    int width() const { return gif::getU16(&id_[5]); }
    int height() const { return gif::getU16(&id_[7]); }
    uint8_t packedFields() const { return id_[9]; }
    void setPackedFields(uint8_t v) { id_[9] = v; }
    // Every change of position or size goes through here: a new size drops the cache and
    // allocates a zeroed pixel buffer; a frame past the logical screen grows the screen.
    void setBounds(int left, int top, int width, int height);
    void setLeft(int v) { setBounds(v, top(), width(), height()); }
    void setTop(int v) { setBounds(left(), v, width(), height()); }
    void setWidth(int v) { setBounds(left(), top(), v, height()); }
    void setHeight(int v) { setBounds(left(), top(), width(), v); }
    bool interlaced() const { return (id_[9] & 0x40) != 0; }
    void setInterlaced(bool on) { id_[9] = uint8_t(on ? id_[9] | 0x40 : id_[9] & ~0x40); }

    TGIFExtensionList& extensions() { return extensions_; }
    const TGIFExtensionList& extensions() const { return extensions_; }
    TGIFLocalColorMap& colorMap() { return colorMap_; }
    const TGIFLocalColorMap& colorMap() const { return colorMap_; }
    // The local map when it has entries, else the global map, unless that is empty too.
    TGIFColorMap& activeColorMap();
    const TGIFColorMap& activeColorMap() const;
    bool usesGlobalColorMap() const;
    // Bits per pixel of the active map.
    int bitsPerPixel() const;

    // One byte per pixel, rows top to bottom.
    uint8_t* data() { return pixels_.data(); }
    const uint8_t* data() const { return pixels_.data(); }
    size_t dataSize() const { return pixels_.size(); }
    uint8_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint8_t value);
    uint8_t* scanline(int y);
    const uint8_t* scanline(int y) const;
    bool empty() const;

    bool hasTransparency() const { return hasTransparency_; }
    void setHasTransparency(bool on) { hasTransparency_ = on; }
    // The frame's graphic control extension (owned by the extension list), if any.
    TGIFGraphicControlExtension* graphicControlExtension() const { return gce_; }
    void setGraphicControlExtension(TGIFGraphicControlExtension* gce) { gce_ = gce; }
    // The transparent index when the frame has transparency, else -1.
    int transparentIndex() const;

    // 89a when the local map is sorted or the frame has extensions.
    TGIFVersion version() const override;
    // Drops pixels, map, extensions and cache; descriptor back to "," and zeroes.
    void clear();
    // Recomputes the descriptor's packed flags from the local map.
    void preparePackedFields();
    void SaveToStream(gif::OutStream& s) override;
    void LoadFromStream(gif::InStream& s) override;
    // Decodes the frame's image data at the stream position into the pixel buffer.
    void decompress(gif::InStream& s);
    // Writes the frame's image data (code size byte, sub-blocks, terminator).
    void compress(gif::OutStream& s);
    // Becomes a copy of another frame: descriptor, transparency, pixels, local map and
    // extensions.
    void assign(const TGIFSubImage& source);

    std::unique_ptr<TGIFFrameCache> cache;
    void dropCache() { cache.reset(); }

private:
    friend class TGIFExtension;

    // Width x height, refused past the frame limit.
    uint64_t checkedPixelCount() const;
    void allocatePixels();
    // Counts `pixels` more against what the image's frames may hold together, or against the
    // fill they may hold; refuses past the limit.
    void hold(uint64_t pixels) const;
    void holdFill(uint64_t pixels) const;

    std::array<uint8_t, 10> id_{};
    bool hasTransparency_ = false;
    TGIFGraphicControlExtension* gce_ = nullptr;
    TGIFLocalColorMap colorMap_;
    std::vector<uint8_t> pixels_;
    TGIFExtensionList extensions_;
};

class TGIFTrailer : public TGIFItem {
public:
    explicit TGIFTrailer(gif::Image* image) : TGIFItem(image) {}
    void SaveToStream(gif::OutStream& s) override;
    // Reads one byte; anything but ";" is the warning "Invalid Image trailer".
    void LoadFromStream(gif::InStream& s) override;
};

#include "graphics/gif/extensions.h"
