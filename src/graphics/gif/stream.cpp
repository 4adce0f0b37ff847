#include "graphics/gif/stream.h"

#include "fileio/atomic_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace gif {

void InStream::skip(std::ptrdiff_t delta)
{
    if (delta < 0) {
        size_t back = size_t(-delta);
        pos_ = back > pos_ ? 0 : pos_ - back;
    } else {
        seek(size_t(delta) > remaining() ? size_ : pos_ + size_t(delta));
    }
}

size_t InStream::read(void* dst, size_t n)
{
    if (n > remaining())
        n = remaining();
    if (n)
        std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return n;
}

void OutStream::write(const void* src, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(src);
    bytes_.insert(bytes_.end(), p, p + n);
}

void readCheck(InStream& s, void* dst, size_t n)
{
    if (s.read(dst, n) != n)
        throw GIFException(gifmsg::PrematureEnd);
}

uint8_t readByte(InStream& s)
{
    uint8_t b;
    if (!s.readByte(b))
        throw GIFException(gifmsg::PrematureEnd);
    return b;
}

void writeByte(OutStream& s, uint8_t b)
{
    s.writeByte(b);
}

std::vector<std::string> readStrings(InStream& s, const std::function<void(size_t)>& beforeBlock)
{
    std::vector<std::string> out;
    uint8_t len;
    while (s.readByte(len) && len != 0) {
        if (beforeBlock)
            beforeBlock(len);
        std::string str(len, '\0');
        size_t got = s.read(str.data(), len);
        str.resize(got);
        out.push_back(std::move(str));
        if (got < len)
            break;
    }
    return out;
}

void writeStrings(OutStream& s, const std::vector<std::string>& strings)
{
    for (const std::string& str : strings) {
        size_t pos = 0;
        while (pos < str.size()) {
            size_t n = std::min<size_t>(255, str.size() - pos);
            s.writeByte(uint8_t(n));
            s.write(str.data() + pos, n);
            pos += n;
        }
    }
    s.writeByte(0);
}

std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw GIFException("Cannot open file " + path);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    // Written beside the target and renamed over it, so that a failure leaves the old file.
    try {
        fileio::writeFileReplacing(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const fileio::FileError& e) {
        throw GIFException(e.what());
    }
}

} // namespace gif
