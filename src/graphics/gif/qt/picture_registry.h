#pragma once
// The program's own picture framework: a graphic that loads, saves, draws and goes to and
// from the clipboard, and a registry of picture classes by file extension and by clipboard
// format. Our registry is consulted, never Qt's list of image readers, so a format we
// register (GIF) is always answered by our own class.

#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>
#include <memory>
#include <vector>

class QIODevice;

namespace picture {

class Graphic {
public:
    Graphic() = default;
    Graphic(const Graphic&) = delete;
    Graphic& operator=(const Graphic&) = delete;
    virtual ~Graphic() = default;

    virtual bool isEmpty() const = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void draw(QPainter& painter, const QRect& rect) = 0;

    // Reads from the device's position; on failure the position is put back and the
    // exception passes on.
    virtual void loadFromDevice(QIODevice& device) = 0;
    virtual void saveToDevice(QIODevice& device) = 0;
    void loadFromFile(const QString& path);
    // The file is written whole or not at all.
    void saveToFile(const QString& path);

    // Raises when the data holds none of the formats the class reads.
    virtual void loadFromClipboard(const QMimeData& data) = 0;
    virtual void saveToClipboard(QMimeData& data) = 0;

    // The picture as a bitmap (null when empty), and a bitmap taken in.
    virtual QImage toImage() = 0;
    virtual void assignImage(const QImage& image) = 0;

    // Something about the picture changed; views repaint.
    std::function<void(Graphic& sender)> OnChange;

protected:
    void notifyChange()
    {
        if (OnChange)
            OnChange(*this);
    }
};

// A bitmap read and written through Qt's image readers, for the raster formats that are
// not ours (BMP, PNG, ...). The format is always named from the extension, never sniffed.
class ImageGraphic : public Graphic {
public:
    explicit ImageGraphic(QByteArray format = "BMP") : format_(std::move(format)) {}
    bool isEmpty() const override { return image_.isNull(); }
    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    void draw(QPainter& painter, const QRect& rect) override;
    void loadFromDevice(QIODevice& device) override;
    void saveToDevice(QIODevice& device) override;
    void loadFromClipboard(const QMimeData& data) override;
    void saveToClipboard(QMimeData& data) override;
    QImage toImage() override { return image_; }
    void assignImage(const QImage& image) override;

private:
    QByteArray format_;
    QImage image_;
};

using GraphicFactory = std::function<std::unique_ptr<Graphic>()>;

struct FileFormat {
    QString extension;    // upper case, without the dot
    QString description;  // as shown in file dialogs
    GraphicFactory create;
};

struct ClipboardFormat {
    QString mimeType;
    GraphicFactory create;
};

class FormatRegistry {
public:
    // The one registry of the program; it starts with the bitmap formats (BMP, PNG).
    static FormatRegistry& instance();

    // A later registration of an extension wins over an earlier one.
    void registerFileFormat(const QString& extension, const QString& description, GraphicFactory create);
    void unregisterFileFormat(const QString& extension);
    const FileFormat* findFileFormat(const QString& extension) const;
    const std::vector<FileFormat>& fileFormats() const { return fileFormats_; }
    // "GIF Image (*.gif);;..." for file dialogs.
    QString fileFilter() const;

    void registerClipboardFormat(const QString& mimeType, GraphicFactory create);
    void unregisterClipboardFormat(const QString& mimeType);
    const ClipboardFormat* findClipboardFormat(const QString& mimeType) const;
    // True when the registry can make a picture of the data.
    bool canPaste(const QMimeData& data) const;

    // A new picture of the class registered for the file's extension, loaded from it.
    // An extension nobody registered raises.
    std::unique_ptr<Graphic> loadFile(const QString& path) const;
    // A picture of the first registered clipboard format present, else a bitmap.
    std::unique_ptr<Graphic> paste(const QMimeData& data) const;

private:
    FormatRegistry();
    std::vector<FileFormat> fileFormats_;
    std::vector<ClipboardFormat> clipboardFormats_;
};

// Raised by the registry and the bitmap graphic.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace picture
