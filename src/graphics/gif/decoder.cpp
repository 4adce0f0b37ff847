// The LZW decoder of one frame's image data.
#include "graphics/gif/objects.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <vector>

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

// Decoded pixels in the order the file gives them, appended to a buffer that grows with them.
class PixelSink {
public:
    PixelSink(std::vector<uint8_t>& out, size_t total) : out_(out), total_(total) {}

    bool done() const { return out_.size() >= total_; }

    // Appends a string held back to front in stack[0..n), as far as the frame takes it.
    void putReversed(const uint8_t* stack, int n)
    {
        const size_t k = std::min(size_t(n), total_ - out_.size());
        out_.insert(out_.end(), std::make_reverse_iterator(stack + n),
                    std::make_reverse_iterator(stack + n - k));
    }

private:
    std::vector<uint8_t>& out_;
    size_t total_;
};

// Rows come in the order of the four interlace passes (start 0 step 8, 4 step 8, 2 step 4,
// 1 step 2); moves each to its place, in the buffer itself.
void deinterlace(std::vector<uint8_t>& pixels, int width, int height)
{
    static const int start[4] = {0, 4, 2, 1};
    static const int step[4] = {8, 8, 4, 2};
    std::vector<int> place; // the row that the k-th row of the file is
    place.reserve(size_t(height));
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            place.push_back(y);
    auto row = [&](int k) { return pixels.begin() + std::ptrdiff_t(k) * width; };
    std::vector<bool> placed(static_cast<size_t>(height));
    std::vector<uint8_t> carried(static_cast<size_t>(width));
    for (int k = 0; k < height; ++k) {
        if (placed[size_t(k)])
            continue;
        // Along the cycle through k, each row carried to its place takes out the one there.
        std::copy(row(k), row(k + 1), carried.begin());
        int at = k;
        do {
            at = place[size_t(at)];
            std::swap_ranges(carried.begin(), carried.end(), row(at));
            placed[size_t(at)] = true;
        } while (at != k);
    }
}

// Decodes one frame's image data at the stream position: up to `total` pixels are appended
// to `out`, in file order.
void decode(gif::InStream& s, const TGIFItem& owner, std::vector<uint8_t>& out, size_t total)
{
    uint8_t minSize;
    if (!s.readByte(minSize)) {
        owner.Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
        return;
    }
    BitReader reader(s, owner);
    if (minSize < 2 || minSize > 8) {
        owner.Warning(kGIFWarningSeverity, gifmsg::InvalidCodeSize);
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

    PixelSink sink(out, total);
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
                owner.Warning(kGIFWarningSeverity, gifmsg::InvalidCode);
                break;
            }
            firstChar = uint8_t(code);
            prev = code;
            stack[0] = firstChar;
            sink.putReversed(stack, 1);
            continue;
        }
        if (code > nextFree) {
            owner.Warning(kGIFWarningSeverity, gifmsg::InvalidCode);
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

} // namespace

void TGIFSubImage::decompress(gif::InStream& s)
{
    // A few bytes may describe millions of pixels and decode none of them. So the buffer is
    // only reserved at the frame's size (address space, within the whole-picture limit) and
    // grows with what is decoded; the rest is filled once that fill has been counted.
    const uint64_t n = checkedPixelCount();
    hold(n);
    pixels_.clear();
    try {
        pixels_.reserve(size_t(n));
    } catch (const std::bad_alloc&) {
        throw GIFException(gifmsg::OutOfMemory);
    }
    decode(s, *this, pixels_, size_t(n));
    // The rest is fill (the transparent index, or 0), which the frames together may hold only
    // up to the frame limit.
    holdFill(n - pixels_.size());
    const int transparent = transparentIndex();
    pixels_.resize(size_t(n), uint8_t(transparent > 0 ? transparent : 0));
    if (interlaced() && n > 0)
        deinterlace(pixels_, width(), height());
}
