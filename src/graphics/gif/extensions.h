#pragma once
// GIF extensions of a frame and the two registries that map labels and application
// identifiers to extension classes. Included by objects.h.
#include "graphics/gif/objects.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// What the registries store for one extension class: how to make one for a frame, and the
// class-level hook that may pick a more specific class from the bytes at the stream position
// (it returns the class itself when it has nothing better).
struct TGIFExtensionClass {
    const char* name;
    std::unique_ptr<TGIFExtension> (*create)(TGIFSubImage& subImage);
    const TGIFExtensionClass* (*findSubClass)(const TGIFExtensionClass& self, gif::InStream& s);
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage& subImage);
    TGIFSubImage& subImage() const { return subImage_; }
    virtual uint8_t extensionType() const = 0;
    virtual const TGIFExtensionClass& extensionClass() const = 0;

    // "!" and the label, then the extension's own bytes.
    void SaveToStream(gif::OutStream& s) override;
    // Checks "!" and the label, then reads the extension's own bytes.
    void LoadFromStream(gif::InStream& s) override;

    // The class for the extension at the stream position (label, then the hooks), or nullptr;
    // the position is left unchanged.
    static const TGIFExtensionClass* findExtensionClass(gif::InStream& s);

protected:
    virtual void saveExtension(gif::OutStream& s) = 0;
    virtual void loadExtension(gif::InStream& s) = 0;
    // Counts a data sub-block of `length` bytes that is about to be kept against what the
    // image's frames may hold together.
    void holdBlock(size_t length) const;

private:
    TGIFSubImage& subImage_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    static constexpr uint8_t kLabel = 0xF9;

    explicit TGIFGraphicControlExtension(TGIFSubImage& subImage);
    ~TGIFGraphicControlExtension() override;
    uint8_t extensionType() const override { return kLabel; }
    const TGIFExtensionClass& extensionClass() const override { return Class; }

    // Block size, packed flags, delay (2), transparent index, terminator.
    const std::array<uint8_t, 6>& data() const { return data_; }
    TDisposalMethod disposal() const { return TDisposalMethod((data_[1] >> 2) & 7); }
    void setDisposal(TDisposalMethod d) { data_[1] = uint8_t((data_[1] & ~0x1C) | ((int(d) & 7) << 2)); }
    bool transparent() const { return (data_[1] & 0x01) != 0; }
    void setTransparent(bool on);
    bool userInput() const { return (data_[1] & 0x02) != 0; }
    void setUserInput(bool on) { data_[1] = uint8_t(on ? data_[1] | 0x02 : data_[1] & ~0x02); }
    // Hundredths of a second.
    int delay() const { return gif::getU16(&data_[2]); }
    void setDelay(int v) { gif::putU16(&data_[2], uint16_t(v)); }
    int transparentColorIndex() const { return data_[4]; }
    // An index not below the active map's count (when it has entries) is the warning
    // "Invalid color index" and stores 0.
    void setTransparentColorIndex(int index);

protected:
    void saveExtension(gif::OutStream& s) override;
    void loadExtension(gif::InStream& s) override;

private:
    std::array<uint8_t, 6> data_{4, 0, 0, 0, 0, 0};
};

class TGIFTextExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    static constexpr uint8_t kLabel = 0x01;

    explicit TGIFTextExtension(TGIFSubImage& subImage);
    uint8_t extensionType() const override { return kLabel; }
    const TGIFExtensionClass& extensionClass() const override { return Class; }

    // Block size 12, grid left, top, width, height, cell width, height, foreground, background.
    std::array<uint8_t, 13>& header() { return header_; }
    const std::array<uint8_t, 13>& header() const { return header_; }
    int gridLeft() const { return gif::getU16(&header_[1]); }
    int gridTop() const { return gif::getU16(&header_[3]); }
    int gridWidth() const { return gif::getU16(&header_[5]); }
    int gridHeight() const { return gif::getU16(&header_[7]); }
    int cellWidth() const { return header_[9]; }
    int cellHeight() const { return header_[10]; }
    int foregroundColorIndex() const { return header_[11]; }
    int backgroundColorIndex() const { return header_[12]; }
    std::vector<std::string> text;

protected:
    void saveExtension(gif::OutStream& s) override;
    void loadExtension(gif::InStream& s) override;

private:
    std::array<uint8_t, 13> header_{12};
};

class TGIFCommentExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    static constexpr uint8_t kLabel = 0xFE;

    explicit TGIFCommentExtension(TGIFSubImage& subImage) : TGIFExtension(subImage) {}
    uint8_t extensionType() const override { return kLabel; }
    const TGIFExtensionClass& extensionClass() const override { return Class; }
    std::vector<std::string> comment;

protected:
    void saveExtension(gif::OutStream& s) override;
    void loadExtension(gif::InStream& s) override;
};

using TGIFApplicationIdentifier = std::array<uint8_t, 11>;

// Application extension: an 11-byte identifier (8 bytes application, 3 bytes
// authentication) and data that each concrete class reads and writes.
class TGIFApplicationExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    static constexpr uint8_t kLabel = 0xFF;

    explicit TGIFApplicationExtension(TGIFSubImage& subImage) : TGIFExtension(subImage) {}
    uint8_t extensionType() const override { return kLabel; }
    const TGIFExtensionClass& extensionClass() const override { return Class; }

    TGIFApplicationIdentifier identifier{};
    // The identifier block as read: its size (10, 11 or more) and the bytes past the
    // identifier. Written back unchanged, since the size decides how the block reads again.
    uint8_t blockSize = 11;
    std::vector<uint8_t> surplus;
    std::string identifierText() const { return std::string(identifier.begin(), identifier.end()); }
    void setIdentifierText(const std::string& text);

protected:
    void saveExtension(gif::OutStream& s) override;
    void loadExtension(gif::InStream& s) override;
    virtual void SaveData(gif::OutStream& s) = 0;
    virtual void LoadData(gif::InStream& s) = 0;
};

// One data sub-block kept verbatim (at most 255 bytes).
struct TGIFBlock {
    std::vector<uint8_t> data;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFUnknownAppExtension(TGIFSubImage& subImage) : TGIFApplicationExtension(subImage) {}
    const TGIFExtensionClass& extensionClass() const override { return Class; }
    std::vector<TGIFBlock> blocks;

protected:
    void SaveData(gif::OutStream& s) override;
    void LoadData(gif::InStream& s) override;
};

// The animation loop extension.
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFAppExtNSLoop(TGIFSubImage& subImage);
    const TGIFExtensionClass& extensionClass() const override { return Class; }
    // 0 = endless.
    int loops = 0;
    uint32_t bufferSize = 0;

protected:
    void SaveData(gif::OutStream& s) override;
    void LoadData(gif::InStream& s) override;
};

// Label byte -> extension class; a later registration of a label wins.
class TExtensionList {
public:
    void add(uint8_t label, const TGIFExtensionClass* cls) { pairs_.emplace_back(label, cls); }
    const TGIFExtensionClass* find(uint8_t label) const;

private:
    std::vector<std::pair<uint8_t, const TGIFExtensionClass*>> pairs_;
};

// Application identifier -> extension class; a later registration wins.
class TAppExtensionList {
public:
    void add(const TGIFApplicationIdentifier& id, const TGIFExtensionClass* cls) { pairs_.emplace_back(id, cls); }
    void add(const char* id11, const TGIFExtensionClass* cls);
    const TGIFExtensionClass* find(const TGIFApplicationIdentifier& id) const;

private:
    std::vector<std::pair<TGIFApplicationIdentifier, const TGIFExtensionClass*>> pairs_;
};

// The registries, created with the built-in classes on first use.
TExtensionList& ExtensionList();
TAppExtensionList& AppExtensionList();
