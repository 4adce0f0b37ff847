#pragma once
// Byte streams the codec reads from and writes to. The reader works on memory (a file is read
// whole first); positions and sizes are 64-bit so that hostile headers cannot wrap them.
#include "graphics/gif/exception.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace gif {

// A positionable, readable stream over bytes it does not own.
class InStream {
public:
    InStream() = default;
    explicit InStream(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

    size_t position() const { return pos_; }
    size_t size() const { return size_; }
    size_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }
    // Moves to an absolute position, clamped to the stream.
    void seek(size_t pos) { pos_ = pos > size_ ? size_ : pos; }
    // Moves relative to the current position, clamped to the stream.
    void skip(std::ptrdiff_t delta);

    // Reads up to n bytes; returns how many were read.
    size_t read(void* dst, size_t n);
    bool readByte(uint8_t& b)
    {
        if (pos_ >= size_)
            return false;
        b = data_[pos_++];
        return true;
    }
    // Direct view of the unread bytes.
    const uint8_t* current() const { return data_ + pos_; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
};

// A writable stream that appends to a byte vector.
class OutStream {
public:
    OutStream() = default;
    virtual ~OutStream() = default;
    virtual void write(const void* src, size_t n);
    void writeByte(uint8_t b) { bytes_.push_back(b); }
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Reads exactly n bytes or raises "Premature end of data".
void readCheck(InStream& s, void* dst, size_t n);
// Reads one byte or raises "Premature end of data".
uint8_t readByte(InStream& s);
void writeByte(OutStream& s, uint8_t b);
// Data sub-blocks, each one string, up to a zero length or the end of the stream.
// `beforeBlock`, when set, is told each sub-block's length before the block is kept, and may
// refuse it by throwing.
std::vector<std::string> readStrings(InStream& s, const std::function<void(size_t)>& beforeBlock = {});
// Each string as sub-blocks of at most 255 bytes (none for an empty string), then one 0.
void writeStrings(OutStream& s, const std::vector<std::string>& strings);

inline uint16_t getU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void putU16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace gif
