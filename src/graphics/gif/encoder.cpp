#include "graphics/gif/encoder.h"

#include <algorithm>
#include <cmath>

// ---- streams -------------------------------------------------------------------------------

size_t TGIFStream::read(void*, size_t) { throw GIFException(gifmsg::InvalidStreamOperation); }
void TGIFStream::write(const void*, size_t) { throw GIFException(gifmsg::InvalidStreamOperation); }
size_t TGIFStream::seek(std::ptrdiff_t, int) { throw GIFException(gifmsg::InvalidStreamOperation); }

TGIFWriter::~TGIFWriter()
{
    try {
        flush();
    } catch (...) {
        // A failing target while unwinding: what was written stays as it is.
    }
}

void TGIFWriter::write(const void* src, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(src);
    for (size_t i = 0; i < n; ++i)
        writeByte(p[i]);
}

void TGIFWriter::flushBlock()
{
    buffer_[0] = uint8_t(bufferCount_ - 1);
    target_.write(buffer_.data(), size_t(bufferCount_));
    bufferCount_ = 1;
    dataPending_ = false;
}

void TGIFWriter::flush()
{
    if (dataPending_ && bufferCount_ > 1)
        flushBlock();
}

// ---- encoder base --------------------------------------------------------------------------

void TGIFEncoder::Encode(gif::OutStream& stream, int bitsPerPixel, int colorCount, const uint8_t* data,
                         bool interlaced, int width, int height)
{
    if (bitsPerPixel < 2)
        bitsPerPixel = 2;
    if (bitsPerPixel > 8)
        throw GIFException(gifmsg::ColorNotInTable);
    stream.writeByte(uint8_t(bitsPerPixel));
    bitsPerPixel_ = bitsPerPixel;
    colorCount_ = colorCount;
    width_ = width;
    height_ = height;
    interlaced_ = interlaced;
    initCodeSize_ = bitsPerPixel + 1;
    codeSize_ = initCodeSize_;
    maxCode_ = (1 << codeSize_) - 1;
    clearCode_ = 1 << bitsPerPixel;
    eofCode_ = clearCode_ + 1;
    baseCode_ = clearCode_ + 2;
    justCleared_ = false;
    bitBuffer_ = 0;
    bitCount_ = 0;
    largestCodeSize_ = 0;

    data_ = data;
    pixel_ = data;
    rowLeft_ = width;
    row_ = 0;
    pass_ = 0;
    walkDone_ = !(data && width >= 1 && height >= 1);

    TGIFWriter writer(stream);
    writer.OnWarning = OnWarning;
    writer_ = &writer;
    try {
        if (!walkDone_)
            compress();
        output(eofCode_);
        flushBits();
    } catch (...) {
        writer_ = nullptr;
        throw;
    }
    writer.flush();
    writer_ = nullptr;
    stream.writeByte(0);
}

void TGIFEncoder::nextRow()
{
    {
        rowLeft_ = width_;
        if (!interlaced_) {
            if (++row_ >= height_)
                walkDone_ = true;
        } else {
            static const int start[4] = {0, 4, 2, 1};
            static const int step[4] = {8, 8, 4, 2};
            row_ += step[pass_];
            // Passes that hold no row are skipped too.
            while (row_ >= height_) {
                if (++pass_ >= 4) {
                    walkDone_ = true;
                    break;
                }
                row_ = start[pass_];
            }
            pixel_ = data_ + size_t(row_) * size_t(width_);
        }
    }
}

void TGIFEncoder::flushBits()
{
    if (bitCount_ > 0)
        writer_->writeByte(uint8_t(bitBuffer_));
    bitBuffer_ = 0;
    bitCount_ = 0;
}

void TGIFEncoder::clear()
{
    justCleared_ = true;
    output(clearCode_);
}

// ---- hash table ----------------------------------------------------------------------------

void THashTable::insert(uint32_t key, int code)
{
    int slot = hash(key);
    // Never more than 4096 entries in 8009 slots, so an empty slot is always met; the bound
    // only guards against a broken caller.
    for (int probes = 0; probes < kSize; ++probes) {
        if (slots_[size_t(slot)] == 0xFFFFFFFFu) {
            slots_[size_t(slot)] = (key << 12) | uint32_t(code);
            return;
        }
        slot = nextSlot(slot);
    }
    throw GIFException("Hash table full");
}

int THashTable::lookup(uint32_t key) const
{
    int slot;
    return lookup(key, slot);
}

// ---- LZW -----------------------------------------------------------------------------------

void TLZWEncoder::clear()
{
    freeCode_ = baseCode_;
    hashTable_->clear();
    TGIFEncoder::clear();
}

void TLZWEncoder::compress()
{
    hashTable_ = std::make_unique<THashTable>();
    clear();
    // The prefix stays in a register: every pixel's lookup waits on the one before.
    int prefix = nextPixel();
    for (int c = nextPixel(); c >= 0; c = nextPixel()) {
        const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(c);
        int slot = 0;
        const int code = hashTable_->lookup(key, slot);
        if (code >= 0) {
            prefix = code;
            continue;
        }
        output(prefix);
        prefix = c;
        if (freeCode_ >= 4095)
            clear();
        else
            hashTable_->insertAt(slot, key, freeCode_++);
    }
    output(prefix);
    hashTable_.reset();
}

// ---- run-length ----------------------------------------------------------------------------

void TRLEEncoder::resetAfterClear()
{
    codeSize_ = initCodeSize_;
    outCount_ = 0;
    bump_ = bumpStart_;
    clearThreshold_ = baseClearThreshold_;
    longestTableRun_ = 0;
}

void TRLEEncoder::clear()
{
    TGIFEncoder::clear();
    resetAfterClear();
}

void TRLEEncoder::outputPlain(int code)
{
    justCleared_ = false;
    output(code);
    ++outCount_;
    // "At or above": a count already past a limit (after the threshold was lowered again)
    // must still grow the code or clear, or the codes would outrun the decoder's table.
    if (outCount_ >= bump_) {
        ++codeSize_;
        bump_ += 1 << (codeSize_ - 1);
    }
    if (outCount_ >= clearThreshold_)
        clear();
}

void TRLEEncoder::restoreThreshold()
{
    clearThreshold_ = baseClearThreshold_;
    if (outCount_ >= clearThreshold_)
        clear();
}

int TRLEEncoder::triangleCost(int count, int codes) const
{
    const int64_t per = int64_t(codes) * (codes + 1) / 2;
    int64_t cost = per > 0 ? count / per * codes : 0;
    const int64_t m = per > 0 ? count % per : count;
    if (m > 0) {
        // Smallest k with k(k+1) >= 2m.
        int64_t k = int64_t(std::sqrt(double(2 * m)));
        while (k * (k + 1) < 2 * m)
            ++k;
        while (k > 1 && (k - 1) * k >= 2 * m)
            --k;
        cost += k;
    }
    return int(std::min<int64_t>(cost, 0x7FFFFFFF));
}

void TRLEEncoder::flushFromClear(int count)
{
    raiseThreshold();
    tablePixel_ = runPixel_;
    int k = 1;
    while (count > 0) {
        if (k == 1) {
            longestTableRun_ = 1;
            outputPlain(runPixel_);
            count -= 1;
        } else if (k <= count) {
            longestTableRun_ = k;
            outputPlain(baseCode_ + k - 2);
            count -= k;
        } else {
            ++longestTableRun_;
            outputPlain(count == 1 ? runPixel_ : baseCode_ + count - 2);
            count = 0;
        }
        k = outCount_ == 0 ? 1 : k + 1;
    }
    restoreThreshold();
}

void TRLEEncoder::flushClearOrRepeat(int count)
{
    if (count > triangleCost(count, maxCodeCount_) + 1) {
        clear();
        flushFromClear(count);
    } else {
        for (int i = 0; i < count; ++i)
            outputPlain(runPixel_);
    }
}

void TRLEEncoder::flushWithTable(int count)
{
    int repeats = count / longestTableRun_;
    int leftover = count % longestTableRun_;
    int codes = repeats + (leftover > 0 ? 1 : 0);
    if (outCount_ + codes > maxCodeCount_) {
        repeats = maxCodeCount_ - outCount_;
        leftover = count - repeats * longestTableRun_;
        codes = repeats + triangleCost(leftover, maxCodeCount_) + 1;
    }
    if (triangleCost(count, maxCodeCount_) + 1 < codes) {
        clear();
        flushFromClear(count);
        return;
    }
    raiseThreshold();
    const int runCode = baseCode_ + longestTableRun_ - 2;
    for (int i = 0; i < repeats; ++i)
        outputPlain(runCode);
    if (leftover > 0) {
        if (justCleared_)
            flushFromClear(leftover);
        else if (leftover == 1)
            outputPlain(runPixel_);
        else
            outputPlain(baseCode_ + leftover - 2);
    }
    restoreThreshold();
}

void TRLEEncoder::flushRun(int count)
{
    if (count == 1)
        outputPlain(runPixel_);
    else if (justCleared_)
        flushFromClear(count);
    else if (longestTableRun_ < 2 || tablePixel_ != runPixel_)
        flushClearOrRepeat(count);
    else
        flushWithTable(count);
}

void TRLEEncoder::compress()
{
    bumpStart_ = clearCode_ - 1;
    baseClearThreshold_ = bitsPerPixel_ <= 3 ? 9 : bumpStart_ - 1;
    maxCodeCount_ = 4095 - (clearCode_ + 2);
    clearThreshold_ = baseClearThreshold_;
    tablePixel_ = -1;
    clear();
    runPixel_ = -1;
    runLength_ = 0;
    for (int c = nextPixel(); c >= 0; c = nextPixel()) {
        if (runPixel_ >= 0 && c != runPixel_) {
            flushRun(runLength_);
            runPixel_ = -1;
        }
        if (c == runPixel_) {
            ++runLength_;
        } else {
            runPixel_ = c;
            runLength_ = 1;
        }
    }
    if (runPixel_ >= 0)
        flushRun(runLength_);
}
