#include "graphics/gif/objects.h"

#include <algorithm>
#include <cctype>
#include <new>

// ---- gif::Image ----------------------------------------------------------------------------

namespace gif {

Image::Image() : header_(std::make_unique<TGIFHeader>(this)), images_(std::make_unique<TGIFPictureList>(this)) {}

Image::~Image()
{
    // Frames first: their colour maps and extensions still look at the header.
    images_.reset();
}

TGIFGlobalColorMap& Image::globalColorMap() { return header_->colorMap(); }
const TGIFGlobalColorMap& Image::globalColorMap() const { return header_->colorMap(); }

bool Image::empty() const { return images_->count() == 0; }
int Image::width() const { return header_->width(); }
int Image::height() const { return header_->height(); }

int Image::bitsPerPixel() const
{
    int bits = header_->colorMap().bitsPerPixel();
    for (int i = 0; i < images_->count(); ++i)
        bits = std::max(bits, (*images_)[i].colorMap().bitsPerPixel());
    return bits;
}

void Image::clear()
{
    images_->clear();
    header_->clear();
    fillPixels_ = 0;
    heldPixels_ = 0;
    changed();
}

void Image::LoadFromStream(InStream& s)
{
    Progress(this, psStarting, 0, "Loading...");
    clear();
    const size_t start = s.position();
    try {
        header_->LoadFromStream(s);
        images_->LoadFromStream(s);
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(s);
    } catch (const std::bad_alloc&) {
        // A refused file leaves no half-read picture behind.
        clear();
        s.seek(start);
        Progress(this, psEnding, 0, "Loading...");
        throw GIFException(gifmsg::OutOfMemory);
    } catch (...) {
        clear();
        s.seek(start);
        Progress(this, psEnding, 0, "Loading...");
        throw;
    }
    Progress(this, psEnding, 100, "Loading...");
    changed();
}

void Image::loadFromMemory(std::span<const uint8_t> bytes)
{
    InStream s(bytes);
    LoadFromStream(s);
}

void Image::LoadFromFile(const std::string& path)
{
    std::vector<uint8_t> bytes = readFileBytes(path);
    loadFromMemory(bytes);
}

void Image::Warning(const void* sender, int severity, const std::string& message)
{
    if (OnCodecWarning)
        OnCodecWarning(sender, severity, message);
}

void Image::Progress(const void* sender, TProgressStage stage, int percent, const std::string& message)
{
    if (OnProgress)
        OnProgress(sender, stage, percent, message);
}

} // namespace gif

// ---- items and lists -----------------------------------------------------------------------

void TGIFItem::Warning(int severity, const std::string& message) const
{
    if (image_)
        image_->Warning(this, severity, message);
}

void TGIFItem::SaveToFile(const std::string& path)
{
    gif::OutStream s;
    SaveToStream(s);
    gif::writeFileBytes(path, s.bytes());
}

void TGIFItem::LoadFromFile(const std::string& path)
{
    std::vector<uint8_t> bytes = gif::readFileBytes(path);
    gif::InStream s(bytes);
    LoadFromStream(s);
}

TGIFList::~TGIFList() = default;

void TGIFList::Warning(int severity, const std::string& message) const
{
    if (image_)
        image_->Warning(this, severity, message);
}

void TGIFList::SaveToStream(gif::OutStream& s)
{
    for (auto& item : items_)
        item->SaveToStream(s);
}

int TGIFList::add(std::unique_ptr<TGIFItem> item)
{
    items_.push_back(std::move(item));
    return int(items_.size()) - 1;
}

void TGIFList::insert(int index, std::unique_ptr<TGIFItem> item)
{
    index = std::clamp(index, 0, count());
    items_.insert(items_.begin() + index, std::move(item));
}

void TGIFList::remove(int index) { extract(index).reset(); }

std::unique_ptr<TGIFItem> TGIFList::extract(int index)
{
    if (index < 0 || index >= count())
        throw GIFException("List index out of bounds");
    std::unique_ptr<TGIFItem> item = std::move(items_[size_t(index)]);
    items_.erase(items_.begin() + index);
    return item;
}

int TGIFList::indexOf(const TGIFItem* item) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item)
            return int(i);
    return -1;
}

void TGIFList::clear()
{
    // Last first, so that later items never outlive what they point at.
    while (!items_.empty())
        items_.pop_back();
}

TGIFExtensionList::TGIFExtensionList(TGIFSubImage& subImage) : TGIFList(subImage.image()), subImage_(subImage) {}

TGIFExtension& TGIFExtensionList::operator[](int index) const { return static_cast<TGIFExtension&>(item(index)); }

void TGIFExtensionList::LoadFromStream(gif::InStream& s)
{
    clear();
    uint8_t b = gif::readByte(s);
    while (b != ',' && b != ';') {
        if (b != '!') {
            Warning(kGIFWarningSeverity, gifmsg::InvalidIntroducer);
            break;
        }
        const TGIFExtensionClass* cls = TGIFExtension::findExtensionClass(s);
        if (!cls)
            throw GIFException(gifmsg::UnknownExtension);
        s.skip(-1);
        std::unique_ptr<TGIFExtension> ext = cls->create(subImage_);
        ext->LoadFromStream(s);
        add(std::move(ext));
        b = gif::readByte(s);
    }
    s.skip(-1);
}

TGIFSubImage& TGIFPictureList::operator[](int index) const { return static_cast<TGIFSubImage&>(item(index)); }

void TGIFPictureList::LoadFromStream(gif::InStream& s)
{
    for (;;) {
        uint8_t b = 0;
        do {
            if (!s.readByte(b)) {
                // No trailer: keep what was read.
                Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
                return;
            }
        } while (b == 0);
        s.skip(-1);
        if (b == ';')
            return;
        if (b != '!' && b != ',') {
            Warning(kGIFWarningSeverity, gifmsg::UnknownBlock);
            return;
        }
        auto frame = std::make_unique<TGIFSubImage>(image());
        try {
            frame->LoadFromStream(s);
        } catch (const GIFException& e) {
            // The stream ended inside the frame's extensions or descriptor: keep the frames
            // read so far.
            if (s.atEnd() && std::string(e.what()) == gifmsg::PrematureEnd) {
                Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
                return;
            }
            throw;
        }
        add(std::move(frame));
        if (image() && s.size() > 0)
            image()->Progress(this, psRunning, int(uint64_t(s.position()) * 100 / s.size()), "Loading...");
    }
}

// ---- header --------------------------------------------------------------------------------

TGIFHeader::TGIFHeader(gif::Image* image) : TGIFItem(image), colorMap_(*this) {}

TGIFVersion TGIFHeader::version() const
{
    return colorMap_.optimized() || aspectRatio() != 0 ? gv89a : gv87a;
}

void TGIFHeader::clear()
{
    colorMap_.clear();
    sd_.fill(0);
}

void TGIFHeader::LoadFromStream(gif::InStream& s)
{
    auto isGif = [](const char* p) {
        return std::toupper(uint8_t(p[0])) == 'G' && std::toupper(uint8_t(p[1])) == 'I' &&
               std::toupper(uint8_t(p[2])) == 'F';
    };
    const size_t start = s.position();
    char sig[6];
    gif::readCheck(s, sig, 6);
    if (!isGif(sig)) {
        // Some files carry a few bytes of other data before the signature.
        s.seek(start);
        s.skip(4);
        gif::readCheck(s, sig, 6);
        if (!isGif(sig))
            throw GIFException(gifmsg::InvalidSignature);
    }
    gif::readCheck(s, sd_.data(), sd_.size());
    if (sd_[4] & 0x80) {
        int count = 2 << (sd_[4] & 7);
        if (count < 2 || count > 256)
            throw GIFException(gifmsg::ScreenColors);
        colorMap_.loadFromStream(s, count);
    } else {
        colorMap_.clear();
    }
}

// ---- frame ---------------------------------------------------------------------------------

TGIFSubImage::TGIFSubImage(gif::Image* image) : TGIFItem(image), colorMap_(*this), extensions_(*this)
{
    id_[0] = ',';
}

TGIFSubImage::~TGIFSubImage() { extensions_.clear(); }

uint64_t TGIFSubImage::checkedPixelCount() const
{
    const uint64_t n = uint64_t(width()) * uint64_t(height());
    if (n > (image() ? image()->maxPixels : gif::kDefaultMaxPixels))
        throw GIFException(gifmsg::ImageTooLarge);
    return n;
}

void TGIFSubImage::allocatePixels()
{
    const uint64_t n = checkedPixelCount();
    try {
        pixels_.assign(size_t(n), 0);
    } catch (const std::bad_alloc&) {
        pixels_.clear();
        throw GIFException(gifmsg::OutOfMemory);
    }
}

void TGIFSubImage::setBounds(int left, int top, int width, int height)
{
    auto clamp16 = [](int v) { return uint16_t(std::clamp(v, 0, 0xFFFF)); };
    const bool resized = clamp16(width) != this->width() || clamp16(height) != this->height();
    gif::putU16(&id_[1], clamp16(left));
    gif::putU16(&id_[3], clamp16(top));
    gif::putU16(&id_[5], clamp16(width));
    gif::putU16(&id_[7], clamp16(height));
    if (resized) {
        dropCache();
        pixels_.clear();
        allocatePixels();
    }
    gif::Image* img = image();
    if (!img)
        return;
    TGIFHeader& header = img->header();
    bool grown = false;
    const int right = std::min(this->left() + this->width(), 0xFFFF);
    const int bottom = std::min(this->top() + this->height(), 0xFFFF);
    if (right > header.width()) {
        if (header.width() != 0)
            Warning(kGIFWarningSeverity, gifmsg::WidthTooSmall);
        header.setWidth(right);
        grown = true;
    }
    if (bottom > header.height()) {
        if (header.height() != 0)
            Warning(kGIFWarningSeverity, gifmsg::HeightTooSmall);
        header.setHeight(bottom);
        grown = true;
    }
    if (grown)
        Warning(kGIFWarningSeverity, gifmsg::ExceedsScreen);
    img->changed();
}

namespace {

void charge(uint64_t& used, uint64_t limit, uint64_t pixels)
{
    if (pixels > limit - std::min(used, limit))
        throw GIFException(gifmsg::ImageTooLarge);
    used += pixels;
}

} // namespace

void TGIFSubImage::hold(uint64_t pixels) const
{
    if (gif::Image* img = image())
        charge(img->heldPixels_, img->maxTotalPixels, pixels);
}

void TGIFSubImage::holdFill(uint64_t pixels) const
{
    if (gif::Image* img = image())
        charge(img->fillPixels_, img->maxPixels, pixels);
}

bool TGIFSubImage::usesGlobalColorMap() const
{
    return colorMap_.count() == 0 && image() && image()->globalColorMap().count() > 0;
}

TGIFColorMap& TGIFSubImage::activeColorMap()
{
    if (usesGlobalColorMap())
        return image()->globalColorMap();
    return colorMap_;
}

const TGIFColorMap& TGIFSubImage::activeColorMap() const
{
    if (usesGlobalColorMap())
        return image()->globalColorMap();
    return colorMap_;
}

int TGIFSubImage::bitsPerPixel() const { return activeColorMap().bitsPerPixel(); }

uint8_t TGIFSubImage::pixel(int x, int y) const
{
    if (x < 0 || x >= width())
        throw GIFException(gifmsg::InvalidPixel);
    return scanline(y)[x];
}

void TGIFSubImage::setPixel(int x, int y, uint8_t value)
{
    if (x < 0 || x >= width())
        throw GIFException(gifmsg::InvalidPixel);
    scanline(y)[x] = value;
}

uint8_t* TGIFSubImage::scanline(int y)
{
    return const_cast<uint8_t*>(static_cast<const TGIFSubImage*>(this)->scanline(y));
}

const uint8_t* TGIFSubImage::scanline(int y) const
{
    if (y < 0 || y >= height() || size_t(y + 1) * size_t(width()) > pixels_.size())
        throw GIFException(gifmsg::InvalidPixel);
    return pixels_.data() + size_t(y) * size_t(width());
}

bool TGIFSubImage::empty() const { return pixels_.empty() || width() == 0 || height() == 0; }

int TGIFSubImage::transparentIndex() const
{
    return hasTransparency_ && gce_ ? gce_->transparentColorIndex() : -1;
}

TGIFVersion TGIFSubImage::version() const
{
    return colorMap_.optimized() || extensions_.count() > 0 ? gv89a : gv87a;
}

void TGIFSubImage::clear()
{
    dropCache();
    extensions_.clear();
    colorMap_.clear();
    pixels_.clear();
    pixels_.shrink_to_fit();
    id_.fill(0);
    id_[0] = ',';
    hasTransparency_ = false;
    gce_ = nullptr;
}

void TGIFSubImage::LoadFromStream(gif::InStream& s)
{
    clear();
    hold(sizeof(TGIFSubImage));
    extensions_.LoadFromStream(s);
    uint8_t b = 0;
    if (!s.readByte(b))
        throw GIFException(gifmsg::PrematureEnd);
    s.skip(-1);
    // Only a "," introduces a descriptor; a trailer, a zero or a stray byte leaves the frame
    // empty (with whatever extensions it has).
    if (b != ',')
        return;
    gif::readCheck(s, id_.data(), id_.size());
    if (width() == 0 || height() == 0) {
        if (gif::Image* img = image()) {
            gif::putU16(&id_[5], uint16_t(img->header().width()));
            gif::putU16(&id_[7], uint16_t(img->header().height()));
        }
        Warning(kGIFWarningSeverity, gifmsg::ExceedsScreen);
    }
    if (id_[9] & 0x80) {
        int count = 2 << (id_[9] & 7);
        if (count < 2 || count > 256)
            throw GIFException(gifmsg::ImageColors);
        colorMap_.loadFromStream(s, count);
    }
    decompress(s);
}

// ---- trailer -------------------------------------------------------------------------------

void TGIFTrailer::SaveToStream(gif::OutStream& s) { s.writeByte(';'); }

void TGIFTrailer::LoadFromStream(gif::InStream& s)
{
    uint8_t b;
    if (s.readByte(b) && b != ';')
        Warning(kGIFWarningSeverity, gifmsg::InvalidTrailer);
}
