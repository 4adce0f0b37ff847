// The LZW decoder of one frame's image data.
#include "graphics/gif/objects.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxCodes = 4096;

// Codes least significant bit first across data sub-blocks. The length byte of every
// sub-block is checked against what the stream still holds.
class BitReader {
public:
    BitReader(gif::InStream& s, const TGIFItem& owner) : s_(s), owner_(owner) {}

    // The next code of `size` bits; -1 when the data has run out.
    int read(int size)
    {
        while (bits_ < size) {
            if (left_ == 0 && !nextBlock()) {
                owner_.Warning(kGIFWarningSeverity, gifmsg::BitBufferUnderrun);
                return -1;
            }
            acc_ |= uint32_t(*p_++) << bits_;
            bits_ += 8;
            --left_;
        }
        const int code = int(acc_ & ((1u << size) - 1));
        acc_ >>= size;
        bits_ -= size;
        return code;
    }

    // Reads and drops the remaining sub-blocks up to and including the terminator.
    void drain()
    {
        left_ = 0;
        while (nextBlock())
            left_ = 0;
    }

private:
    bool nextBlock()
    {
        if (endSeen_)
            return false;
        uint8_t len;
        if (!s_.readByte(len)) {
            endSeen_ = true;
            owner_.Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
            return false;
        }
        if (len == 0) {
            endSeen_ = true;
            return false;
        }
        size_t n = len;
        if (n > s_.remaining()) {
            owner_.Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
            n = s_.remaining();
            if (n == 0) {
                endSeen_ = true;
                return false;
            }
        }
        p_ = s_.current();
        s_.skip(std::ptrdiff_t(n));
        left_ = n;
        return true;
    }

    gif::InStream& s_;
    const TGIFItem& owner_;
    const uint8_t* p_ = nullptr;
    size_t left_ = 0;
    uint32_t acc_ = 0;
    int bits_ = 0;
    bool endSeen_ = false;
};

// Where decoded pixels go: row by row, or through the four interlace passes.
class PixelSink {
public:
    PixelSink(uint8_t* pixels, int width, int height, bool interlaced)
        : pixels_(pixels), width_(width), height_(height), interlaced_(interlaced)
    {
        done_ = width <= 0 || height <= 0;
        row_ = pixels_;
    }

    bool done() const { return done_; }

    // Writes a string held back to front in stack[0..n).
    void putReversed(const uint8_t* stack, int n)
    {
        while (n > 0 && !done_) {
            const int k = std::min(n, width_ - x_);
            uint8_t* out = row_ + x_;
            for (int i = 0; i < k; ++i)
                out[i] = stack[n - 1 - i];
            n -= k;
            x_ += k;
            if (x_ == width_)
                nextRow();
        }
    }

private:
    void nextRow()
    {
        x_ = 0;
        if (!interlaced_) {
            if (++y_ >= height_)
                done_ = true;
        } else {
            static const int start[4] = {0, 4, 2, 1};
            static const int step[4] = {8, 8, 4, 2};
            y_ += step[pass_];
            // Passes that hold no row are skipped too.
            while (y_ >= height_) {
                if (++pass_ >= 4) {
                    done_ = true;
                    return;
                }
                y_ = start[pass_];
            }
        }
        row_ = pixels_ + size_t(y_) * size_t(width_);
    }

    uint8_t* pixels_;
    uint8_t* row_;
    int width_, height_;
    bool interlaced_;
    int x_ = 0, y_ = 0, pass_ = 0;
    bool done_ = false;
};

} // namespace

void TGIFSubImage::decompress(gif::InStream& s)
{
    allocatePixels();
    const int fill = transparentIndex();
    if (fill > 0 && !pixels_.empty())
        std::memset(pixels_.data(), fill, pixels_.size());

    uint8_t minSize;
    if (!s.readByte(minSize)) {
        Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
        return;
    }
    BitReader reader(s, *this);
    if (minSize < 2 || minSize > 8) {
        Warning(kGIFWarningSeverity, gifmsg::InvalidCodeSize);
        reader.drain();
        return;
    }

    const int clearCode = 1 << minSize;
    const int endCode = clearCode + 1;
    int codeSize = minSize + 1;
    int limit = 2 * clearCode;
    int nextFree = clearCode + 2;

    uint16_t prefix[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t stack[kMaxCodes + 1];
    for (int i = 0; i < clearCode; ++i) {
        prefix[i] = 0;
        suffix[i] = uint8_t(i);
    }

    PixelSink sink(pixels_.data(), width(), height(), interlaced());
    int prev = -1; // -1: a clear code (real or the virtual first one) was the last code
    uint8_t firstChar = 0;
    while (!sink.done()) {
        int code = reader.read(codeSize);
        if (code < 0)
            break;
        if (code == clearCode) {
            codeSize = minSize + 1;
            limit = 2 * clearCode;
            nextFree = clearCode + 2;
            prev = -1;
            continue;
        }
        if (code == endCode)
            break;
        if (prev < 0) {
            // After a clear only a literal can come.
            if (code > clearCode) {
                Warning(kGIFWarningSeverity, gifmsg::InvalidCode);
                break;
            }
            firstChar = uint8_t(code);
            prev = code;
            stack[0] = firstChar;
            sink.putReversed(stack, 1);
            continue;
        }
        if (code > nextFree) {
            Warning(kGIFWarningSeverity, gifmsg::InvalidCode);
            break;
        }
        const int in = code;
        int sp = 0;
        if (code == nextFree) {
            stack[sp++] = firstChar;
            code = prev;
        }
        while (code > clearCode) {
            if (sp >= kMaxCodes || prefix[code] == code)
                throw GIFException(gifmsg::CircularTable);
            stack[sp++] = suffix[code];
            code = prefix[code];
        }
        firstChar = uint8_t(code);
        stack[sp++] = firstChar;
        if (nextFree < kMaxCodes) {
            prefix[nextFree] = uint16_t(prev);
            suffix[nextFree] = firstChar;
            ++nextFree;
            if (nextFree >= limit && limit < kMaxCodes) {
                limit <<= 1;
                ++codeSize;
            }
        }
        prev = in;
        sink.putReversed(stack, sp);
    }
    // Whatever follows the pixels (an end code, padding, surplus data) is read up to the
    // terminator so that the next block starts in the right place.
    reader.drain();
}
