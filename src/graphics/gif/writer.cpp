// Writing the object tree back as a GIF stream.
#include "graphics/gif/encoder.h"
#include "graphics/gif/objects.h"

#include <algorithm>

namespace {
// The highest version among the frames; gvUnknown without frames.
TGIFVersion writtenVersion(const gif::Image& image)
{
    TGIFVersion v = gvUnknown;
    const TGIFPictureList& frames = image.images();
    for (int i = 0; i < frames.count() && v != gv89a; ++i)
        v = std::max(v, frames[i].version());
    return v;
}
} // namespace

namespace gif {

void Image::SaveToStream(OutStream& s)
{
    Progress(this, psStarting, 0, "Saving...");
    try {
        header_->SaveToStream(s);
        images_->SaveToStream(s);
        TGIFTrailer trailer(this);
        trailer.SaveToStream(s);
    } catch (...) {
        Progress(this, psEnding, 0, "Saving...");
        throw;
    }
    Progress(this, psEnding, 100, "Saving...");
}

std::vector<uint8_t> Image::saveToMemory()
{
    OutStream s;
    SaveToStream(s);
    return std::move(s.bytes());
}

void Image::SaveToFile(const std::string& path)
{
    // Encoded in full first: a failure leaves no half-written file behind.
    writeFileBytes(path, saveToMemory());
}

} // namespace gif

void TGIFPictureList::SaveToStream(gif::OutStream& s)
{
    for (int i = 0; i < count(); ++i) {
        (*this)[i].SaveToStream(s);
        if (image())
            image()->Progress(this, psRunning, (i + 1) * 100 / count(), "Saving...");
    }
}

void TGIFHeader::preparePackedFields()
{
    const int globalBits = colorMap_.bitsPerPixel();
    int resolution = globalBits - 1;
    int largestBits = globalBits;
    if (gif::Image* img = image()) {
        const TGIFPictureList& frames = img->images();
        for (int i = 0; i < frames.count(); ++i) {
            const int bits = frames[i].colorMap().bitsPerPixel();
            resolution = std::max(resolution, bits - 1);
            largestBits = std::max(largestBits, bits);
        }
    }
    uint8_t packed = 0;
    if (colorMap_.count() > 0) {
        packed |= 0x80;
        if (colorMap_.optimized())
            packed |= 0x08;
    }
    // Both fields keep only their low 3 bits, so "no map at all" (-1) is written as 7.
    packed |= uint8_t((resolution & 7) << 4);
    packed |= uint8_t(((colorMap_.count() > 0 ? globalBits : largestBits) - 1) & 7);
    sd_[4] = packed;
}

void TGIFHeader::SaveToStream(gif::OutStream& s)
{
    const TGIFVersion version = image() ? writtenVersion(*image()) : gvUnknown;
    if (version == gvUnknown)
        throw GIFException(gifmsg::UnsupportedVersion);
    preparePackedFields();
    s.write("GIF", 3);
    s.write(version == gv89a ? "89a" : "87a", 3);
    s.write(sd_.data(), sd_.size());
    if (sd_[4] & 0x80)
        colorMap_.saveToStream(s);
}

void TGIFSubImage::preparePackedFields()
{
    // Interlace and the reserved bits stay; the map bits follow the local map (cleared when
    // there is none).
    uint8_t packed = id_[9] & 0x58;
    if (colorMap_.count() > 0) {
        packed |= 0x80;
        if (colorMap_.optimized())
            packed |= 0x20;
        packed |= uint8_t((colorMap_.bitsPerPixel() - 1) & 7);
    }
    id_[9] = packed;
}

void TGIFSubImage::SaveToStream(gif::OutStream& s)
{
    extensions_.SaveToStream(s);
    if (empty())
        return;
    preparePackedFields();
    id_[0] = ',';
    s.write(id_.data(), id_.size());
    colorMap_.saveToStream(s);
    compress(s);
}

void TGIFSubImage::compress(gif::OutStream& s)
{
    int bits, colors;
    if (colorMap_.count() > 0) {
        colors = colorMap_.count();
        bits = colorMap_.bitsPerPixel();
    } else {
        bits = image() ? image()->bitsPerPixel() : 0;
        colors = 1 << bits;
    }
    std::unique_ptr<TGIFEncoder> encoder;
    if (image() && image()->Compression == gcRLE)
        encoder = std::make_unique<TRLEEncoder>();
    else
        encoder = std::make_unique<TLZWEncoder>();
    encoder->OnWarning = [this](int severity, const std::string& m) { Warning(severity, m); };
    encoder->Encode(s, bits, colors, pixels_.empty() ? nullptr : pixels_.data(), interlaced(), width(), height());
}

void TGIFSubImage::assign(const TGIFSubImage& source)
{
    if (&source == this)
        return;
    clear();
    if (source.empty())
        return;
    id_ = source.id_;
    hasTransparency_ = source.hasTransparency_;
    allocatePixels();
    std::copy(source.pixels_.begin(), source.pixels_.end(), pixels_.begin());
    colorMap_.assign(source.colorMap_);
    // The extensions travel through a stream, so that each one is rebuilt for this frame.
    gif::OutStream out;
    const_cast<TGIFExtensionList&>(source.extensions_).SaveToStream(out);
    out.writeByte(',');
    gif::InStream in(out.bytes());
    extensions_.LoadFromStream(in);
}
