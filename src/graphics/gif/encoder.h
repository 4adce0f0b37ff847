#pragma once
// The image-data encoders: a sub-block writer, the LZW encoder and the run-length encoder
// (a valid GIF code stream built without a string table).
#include "graphics/gif/exception.h"
#include "graphics/gif/stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A stream wrapper with a 256-byte buffer whose byte 0 is kept for a sub-block length.
// The base class refuses every operation.
class TGIFStream {
public:
    explicit TGIFStream(gif::OutStream& target) : target_(target) {}
    TGIFStream(const TGIFStream&) = delete;
    TGIFStream& operator=(const TGIFStream&) = delete;
    virtual ~TGIFStream() = default;

    virtual size_t read(void* dst, size_t n);
    virtual void write(const void* src, size_t n);
    virtual size_t seek(std::ptrdiff_t offset, int origin);

    std::function<void(int severity, const std::string& message)> OnWarning;

protected:
    gif::OutStream& target_;
    std::array<uint8_t, 256> buffer_{};
    int bufferCount_ = 1;
    bool dataPending_ = false;
};

// Writes what it is given as data sub-blocks of up to 255 bytes; the last, partly filled
// block goes out on flush() (or when the writer is freed).
class TGIFWriter : public TGIFStream {
public:
    using TGIFStream::TGIFStream;
    ~TGIFWriter() override;
    void write(const void* src, size_t n) override;
    void writeByte(uint8_t b)
    {
        buffer_[size_t(bufferCount_++)] = b;
        dataPending_ = true;
        if (bufferCount_ == 256)
            flushBlock();
    }
    void flush();

private:
    void flushBlock();
};

// Shared by both encoders: the bit packer, the pixel walk (row by row or the four interlace
// passes) and the frame's parameters.
class TGIFEncoder {
public:
    TGIFEncoder() = default;
    TGIFEncoder(const TGIFEncoder&) = delete;
    TGIFEncoder& operator=(const TGIFEncoder&) = delete;
    virtual ~TGIFEncoder() = default;

    // Writes one frame's image data: the minimum code size byte, the codes as sub-blocks and
    // the terminator. A pixel not below colorCount raises "Color not in color table".
    void Encode(gif::OutStream& stream, int bitsPerPixel, int colorCount, const uint8_t* data, bool interlaced,
                int width, int height);

    std::function<void(int severity, const std::string& message)> OnWarning;
    // The widest code written by the last Encode.
    int largestCodeSizeUsed() const { return largestCodeSize_; }

protected:
    // Places the code above the bits held and writes out every whole byte.
    virtual void output(int code)
    {
        bitBuffer_ |= uint32_t(code) << bitCount_;
        bitCount_ += codeSize_;
        largestCodeSize_ = std::max(largestCodeSize_, codeSize_);
        while (bitCount_ >= 8) {
            writer_->writeByte(uint8_t(bitBuffer_));
            bitBuffer_ >>= 8;
            bitCount_ -= 8;
        }
    }
    virtual void clear();
    virtual void compress() = 0;
    // The next pixel in file order, or -1 after the last one.
    int nextPixel()
    {
        if (walkDone_)
            return -1;
        const int v = *pixel_++;
        if (v >= colorCount_)
            throw GIFException(gifmsg::ColorNotInTable);
        if (--rowLeft_ == 0)
            nextRow();
        return v;
    }

    int bitsPerPixel_ = 0;
    int colorCount_ = 0;
    int width_ = 0, height_ = 0;
    bool interlaced_ = false;
    int codeSize_ = 0;
    int initCodeSize_ = 0;
    int maxCode_ = 0;
    int clearCode_ = 0;
    int eofCode_ = 0;
    int baseCode_ = 0;
    bool justCleared_ = false;

private:
    void nextRow();
    void flushBits();

    TGIFWriter* writer_ = nullptr;
    uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    int largestCodeSize_ = 0;
    const uint8_t* data_ = nullptr;
    const uint8_t* pixel_ = nullptr;
    int rowLeft_ = 0;
    int row_ = 0;
    int pass_ = 0;
    bool walkDone_ = true;
};

// Open addressing over 8009 slots; a slot holds (key << 12) | code, all ones when empty.
class THashTable {
public:
    static constexpr int kSize = 8009;
    THashTable() { clear(); }
    void clear() { slots_.fill(0xFFFFFFFFu); }
    void insert(uint32_t key, int code);
    // The code stored for key, or -1.
    int lookup(uint32_t key) const;
    // As lookup, and when the key is absent gives the empty slot an insert would take.
    // Inline: the encoder calls it once per pixel.
    int lookup(uint32_t key, int& emptySlot) const
    {
        int slot = hash(key);
        for (int probes = 0; probes < kSize; ++probes) {
            const uint32_t v = slots_[size_t(slot)];
            if (v == 0xFFFFFFFFu) {
                emptySlot = slot;
                return -1;
            }
            if ((v >> 12) == key)
                return int(v & 0xFFF);
            slot = nextSlot(slot);
        }
        throw GIFException("Hash table full");
    }
    void insertAt(int slot, uint32_t key, int code) { slots_[size_t(slot)] = (key << 12) | uint32_t(code); }

private:
    // ((key >> 4) ^ key) mod kSize. Keys have 20 bits, and below 2^20 a multiply by
    // 2^32 / kSize rounded up and a shift divide exactly: the encoder waits on this for every
    // pixel, and a division takes several times longer.
    static int hash(uint32_t key)
    {
        constexpr uint64_t reciprocal = (uint64_t(1) << 32) / kSize + 1;
        const uint32_t h = ((key >> 4) ^ key) & 0xFFFFF;
        const uint32_t q = uint32_t((uint64_t(h) * reciprocal) >> 32);
        return int(h - q * uint32_t(kSize));
    }
    static int nextSlot(int slot)
    {
        if (slot == 0)
            return kSize - 1;
        int next = slot - (kSize - slot);
        return next < 0 ? next + kSize : next;
    }
    std::array<uint32_t, kSize> slots_;
};

class TLZWEncoder final : public TGIFEncoder {
protected:
    // After each code: back to the first size after a clear, else one bit wider once the
    // next free code needs it (never past 12 bits).
    void output(int code) override
    {
        TGIFEncoder::output(code);
        if (justCleared_) {
            codeSize_ = initCodeSize_;
            maxCode_ = (1 << codeSize_) - 1;
            justCleared_ = false;
        } else if (freeCode_ > maxCode_) {
            ++codeSize_;
            maxCode_ = codeSize_ == 12 ? 4096 : (1 << codeSize_) - 1;
        }
    }
    void clear() override;
    void compress() override;

private:
    int freeCode_ = 0;
    std::unique_ptr<THashTable> hashTable_;
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void clear() override;
    void compress() override;

private:
    void resetAfterClear();
    void outputPlain(int code);
    void raiseThreshold() { clearThreshold_ = maxCodeCount_; }
    void restoreThreshold();
    void flushRun(int count);
    void flushFromClear(int count);
    void flushClearOrRepeat(int count);
    void flushWithTable(int count);
    int triangleCost(int count, int codes) const;

    int runPixel_ = -1;
    int runLength_ = 0;
    int tablePixel_ = -1;
    int longestTableRun_ = 0;
    int outCount_ = 0;
    int bumpStart_ = 0;
    int bump_ = 0;
    int baseClearThreshold_ = 0;
    int clearThreshold_ = 0;
    int maxCodeCount_ = 0;
};
