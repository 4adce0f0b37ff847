#include "graphics/gif/objects.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T>
std::unique_ptr<TGIFExtension> makeExtension(TGIFSubImage& subImage)
{
    return std::make_unique<T>(subImage);
}

// What loading keeps, beyond the bytes of the file: an extension object with its slot in its
// frame's list, and for each kept sub-block its slot in a list that may have grown to twice
// its length (and is copied as it grows) and the heap block of its bytes. One-byte blocks
// would otherwise cost some 50 times their size in the file.
constexpr uint64_t kHeldPerExtension = 128;
constexpr uint64_t kHeldPerBlock = 128;
static_assert(std::max({sizeof(TGIFGraphicControlExtension), sizeof(TGIFTextExtension), sizeof(TGIFCommentExtension),
                        sizeof(TGIFUnknownAppExtension), sizeof(TGIFAppExtNSLoop)})
              + 16 + 3 * sizeof(void*) <= kHeldPerExtension);

const TGIFExtensionClass* sameClass(const TGIFExtensionClass& self, gif::InStream&) { return &self; }

// Picks the class of an application extension from its block size and identifier.
const TGIFExtensionClass* findApplicationClass(const TGIFExtensionClass& self, gif::InStream& s)
{
    uint8_t size;
    if (s.readByte(size) && size == 11) {
        TGIFApplicationIdentifier id{};
        if (s.read(id.data(), id.size()) == id.size())
            if (const TGIFExtensionClass* cls = AppExtensionList().find(id))
                return cls;
    }
    // Any other block size is kept as raw blocks too (the load refuses sizes below 10).
    return &TGIFUnknownAppExtension::Class;
}

} // namespace

const TGIFExtensionClass TGIFGraphicControlExtension::Class{"TGIFGraphicControlExtension",
                                                            makeExtension<TGIFGraphicControlExtension>, sameClass};
const TGIFExtensionClass TGIFTextExtension::Class{"TGIFTextExtension", makeExtension<TGIFTextExtension>, sameClass};
const TGIFExtensionClass TGIFCommentExtension::Class{"TGIFCommentExtension", makeExtension<TGIFCommentExtension>,
                                                     sameClass};
const TGIFExtensionClass TGIFApplicationExtension::Class{"TGIFApplicationExtension",
                                                         makeExtension<TGIFUnknownAppExtension>, findApplicationClass};
const TGIFExtensionClass TGIFUnknownAppExtension::Class{"TGIFUnknownAppExtension",
                                                        makeExtension<TGIFUnknownAppExtension>, sameClass};
const TGIFExtensionClass TGIFAppExtNSLoop::Class{"TGIFAppExtNSLoop", makeExtension<TGIFAppExtNSLoop>, sameClass};

// ---- registries ----------------------------------------------------------------------------

const TGIFExtensionClass* TExtensionList::find(uint8_t label) const
{
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it)
        if (it->first == label)
            return it->second;
    return nullptr;
}

void TAppExtensionList::add(const char* id11, const TGIFExtensionClass* cls)
{
    TGIFApplicationIdentifier id{};
    std::memcpy(id.data(), id11, std::min<size_t>(std::strlen(id11), id.size()));
    add(id, cls);
}

const TGIFExtensionClass* TAppExtensionList::find(const TGIFApplicationIdentifier& id) const
{
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it)
        if (it->first == id)
            return it->second;
    return nullptr;
}

TExtensionList& ExtensionList()
{
    static TExtensionList list = [] {
        TExtensionList l;
        l.add(TGIFTextExtension::kLabel, &TGIFTextExtension::Class);
        l.add(TGIFGraphicControlExtension::kLabel, &TGIFGraphicControlExtension::Class);
        l.add(TGIFCommentExtension::kLabel, &TGIFCommentExtension::Class);
        l.add(TGIFApplicationExtension::kLabel, &TGIFApplicationExtension::Class);
        return l;
    }();
    return list;
}

TAppExtensionList& AppExtensionList()
{
    static TAppExtensionList list = [] {
        TAppExtensionList l;
        l.add("NETSCAPE2.0", &TGIFAppExtNSLoop::Class);
        l.add("ANIMEXTS1.0", &TGIFAppExtNSLoop::Class);
        return l;
    }();
    return list;
}

// ---- extension base ------------------------------------------------------------------------

TGIFExtension::TGIFExtension(TGIFSubImage& subImage) : TGIFItem(subImage.image()), subImage_(subImage) {}

const TGIFExtensionClass* TGIFExtension::findExtensionClass(gif::InStream& s)
{
    const size_t start = s.position();
    const uint8_t label = gif::readByte(s);
    const size_t afterLabel = s.position();
    const TGIFExtensionClass* cls = ExtensionList().find(label);
    // Each hook may narrow the class further; at most a few steps, but bound it anyway.
    for (int step = 0; cls && step < 16; ++step) {
        s.seek(afterLabel);
        const TGIFExtensionClass* next = cls->findSubClass(*cls, s);
        if (next == cls)
            break;
        cls = next;
    }
    s.seek(start);
    return cls;
}

void TGIFExtension::SaveToStream(gif::OutStream& s)
{
    s.writeByte('!');
    s.writeByte(extensionType());
    saveExtension(s);
}

void TGIFExtension::LoadFromStream(gif::InStream& s)
{
    uint8_t intro[2];
    gif::readCheck(s, intro, 2);
    if (intro[0] != '!')
        throw GIFException(gifmsg::InvalidIntroducer);
    if (intro[1] != extensionType())
        throw GIFException(gifmsg::ExtensionMismatch);
    subImage_.hold(kHeldPerExtension);
    loadExtension(s);
}

void TGIFExtension::holdBlock(size_t length) const { subImage_.hold(kHeldPerBlock + length); }

// ---- graphic control -----------------------------------------------------------------------

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage& subImage) : TGIFExtension(subImage)
{
    if (!subImage.graphicControlExtension())
        subImage.setGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (subImage().graphicControlExtension() == this)
        subImage().setGraphicControlExtension(nullptr);
}

void TGIFGraphicControlExtension::setTransparent(bool on)
{
    data_[1] = uint8_t(on ? data_[1] | 0x01 : data_[1] & ~0x01);
    if (on)
        subImage().setHasTransparency(true);
    subImage().dropCache();
}

void TGIFGraphicControlExtension::setTransparentColorIndex(int index)
{
    const TGIFColorMap& map = subImage().activeColorMap();
    if (index < 0 || index > 255 || (map.count() > 0 && index >= map.count())) {
        Warning(kGIFWarningSeverity, gifmsg::InvalidColorIndex);
        index = 0;
    }
    data_[4] = uint8_t(index);
    subImage().dropCache();
}

void TGIFGraphicControlExtension::saveExtension(gif::OutStream& s) { s.write(data_.data(), data_.size()); }

void TGIFGraphicControlExtension::loadExtension(gif::InStream& s)
{
    if (s.read(data_.data(), data_.size()) < data_.size())
        Warning(kGIFWarningSeverity, gifmsg::PrematureEnd);
    if (transparent())
        subImage().setHasTransparency(true);
}

// ---- plain text and comment ----------------------------------------------------------------

TGIFTextExtension::TGIFTextExtension(TGIFSubImage& subImage) : TGIFExtension(subImage) {}

void TGIFTextExtension::saveExtension(gif::OutStream& s)
{
    s.write(header_.data(), header_.size());
    gif::writeStrings(s, text);
}

void TGIFTextExtension::loadExtension(gif::InStream& s)
{
    gif::readCheck(s, header_.data(), header_.size());
    text = gif::readStrings(s, [this](size_t n) { holdBlock(n); });
}

void TGIFCommentExtension::saveExtension(gif::OutStream& s) { gif::writeStrings(s, comment); }

void TGIFCommentExtension::loadExtension(gif::InStream& s)
{
    comment = gif::readStrings(s, [this](size_t n) { holdBlock(n); });
}

// ---- application ---------------------------------------------------------------------------

void TGIFApplicationExtension::setIdentifierText(const std::string& text)
{
    identifier.fill(0);
    std::memcpy(identifier.data(), text.data(), std::min(text.size(), identifier.size()));
}

void TGIFApplicationExtension::saveExtension(gif::OutStream& s)
{
    s.writeByte(blockSize);
    s.write(identifier.data(), std::min<size_t>(blockSize, identifier.size()));
    s.write(surplus.data(), surplus.size());
    SaveData(s);
}

void TGIFApplicationExtension::loadExtension(gif::InStream& s)
{
    blockSize = gif::readByte(s);
    if (blockSize < 10)
        throw GIFException(gifmsg::AppBlockSize);
    // A 10-byte block still fills all 11 identifier bytes; the last one, the length of the
    // first data sub-block, is then read again.
    gif::readCheck(s, identifier.data(), identifier.size());
    if (blockSize == 10)
        s.skip(-1);
    surplus.assign(size_t(std::max(blockSize - int(identifier.size()), 0)), 0);
    holdBlock(surplus.size());
    gif::readCheck(s, surplus.data(), surplus.size());
    LoadData(s);
}

void TGIFUnknownAppExtension::SaveData(gif::OutStream& s)
{
    for (const TGIFBlock& b : blocks) {
        const size_t n = std::min<size_t>(b.data.size(), 255);
        if (n == 0)
            continue;
        s.writeByte(uint8_t(n));
        s.write(b.data.data(), n);
    }
    s.writeByte(0);
}

void TGIFUnknownAppExtension::LoadData(gif::InStream& s)
{
    blocks.clear();
    for (;;) {
        const uint8_t len = gif::readByte(s);
        if (len == 0)
            break;
        holdBlock(len);
        TGIFBlock b;
        b.data.resize(len);
        gif::readCheck(s, b.data.data(), len);
        blocks.push_back(std::move(b));
    }
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage& subImage) : TGIFApplicationExtension(subImage)
{
    setIdentifierText("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::SaveData(gif::OutStream& s)
{
    const uint8_t loop[4] = {3, 1, uint8_t(loops), uint8_t(loops >> 8)};
    s.write(loop, sizeof loop);
    if (bufferSize != 0) {
        const uint8_t buf[6] = {5, 2, uint8_t(bufferSize), uint8_t(bufferSize >> 8), uint8_t(bufferSize >> 16),
                                uint8_t(bufferSize >> 24)};
        s.write(buf, sizeof buf);
    }
    s.writeByte(0);
}

void TGIFAppExtNSLoop::LoadData(gif::InStream& s)
{
    for (;;) {
        const uint8_t len = gif::readByte(s);
        if (len == 0)
            break;
        uint8_t block[255];
        gif::readCheck(s, block, len);
        const int kind = block[0] & 7;
        if (kind == 1) {
            if (len - 1 < 2)
                throw GIFException(gifmsg::InvalidData);
            loops = gif::getU16(block + 1);
        } else if (kind == 2) {
            if (len - 1 < 4)
                throw GIFException(gifmsg::InvalidData);
            bufferSize = uint32_t(block[1]) | (uint32_t(block[2]) << 8) | (uint32_t(block[3]) << 16) |
                         (uint32_t(block[4]) << 24);
        }
    }
}
