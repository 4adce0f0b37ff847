#include "graphics/gif/qt/picture_registry.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>

namespace picture {

void Graphic::loadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QStringLiteral("Cannot open file \"%1\"").arg(path).toStdString());
    loadFromDevice(file);
}

void Graphic::saveToFile(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw PictureError(QStringLiteral("Cannot create file \"%1\"").arg(path).toStdString());
    saveToDevice(file);
    if (!file.commit())
        throw PictureError(QStringLiteral("Cannot write file \"%1\"").arg(path).toStdString());
}

// ---- bitmaps through Qt's readers ------------------------------------------------------------

void ImageGraphic::draw(QPainter& painter, const QRect& rect)
{
    if (!image_.isNull() && !rect.isEmpty())
        painter.drawImage(rect, image_);
}

void ImageGraphic::loadFromDevice(QIODevice& device)
{
    const qint64 start = device.isSequential() ? -1 : device.pos();
    QImageReader reader(&device, format_);
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    if (image.isNull()) {
        if (start >= 0)
            device.seek(start);
        throw PictureError("Invalid bitmap: " + reader.errorString().toStdString());
    }
    image_ = std::move(image);
    notifyChange();
}

void ImageGraphic::saveToDevice(QIODevice& device)
{
    QImageWriter writer(&device, format_);
    if (!writer.write(image_))
        throw PictureError("Cannot write bitmap: " + writer.errorString().toStdString());
}

void ImageGraphic::loadFromClipboard(const QMimeData& data)
{
    if (!data.hasImage())
        throw PictureError("Unsupported clipboard format");
    assignImage(qvariant_cast<QImage>(data.imageData()));
}

void ImageGraphic::saveToClipboard(QMimeData& data)
{
    if (!image_.isNull())
        data.setImageData(image_);
}

void ImageGraphic::assignImage(const QImage& image)
{
    image_ = image;
    notifyChange();
}

// ---- registry ----------------------------------------------------------------------------------

FormatRegistry::FormatRegistry()
{
    registerFileFormat("BMP", "Bitmaps", [] { return std::make_unique<ImageGraphic>("BMP"); });
    registerFileFormat("PNG", "Portable Network Graphics", [] { return std::make_unique<ImageGraphic>("PNG"); });
}

FormatRegistry& FormatRegistry::instance()
{
    static FormatRegistry registry;
    return registry;
}

void FormatRegistry::registerFileFormat(const QString& extension, const QString& description, GraphicFactory create)
{
    fileFormats_.push_back({extension.toUpper(), description, std::move(create)});
}

void FormatRegistry::unregisterFileFormat(const QString& extension)
{
    const QString ext = extension.toUpper();
    std::erase_if(fileFormats_, [&](const FileFormat& f) { return f.extension == ext; });
}

const FileFormat* FormatRegistry::findFileFormat(const QString& extension) const
{
    QString ext = extension.toUpper();
    if (ext.startsWith('.'))
        ext.remove(0, 1);
    for (auto it = fileFormats_.rbegin(); it != fileFormats_.rend(); ++it)
        if (it->extension == ext)
            return &*it;
    return nullptr;
}

QString FormatRegistry::fileFilter() const
{
    QStringList parts;
    for (const FileFormat& f : fileFormats_)
        parts << QStringLiteral("%1 (*.%2)").arg(f.description, f.extension.toLower());
    return parts.join(";;");
}

void FormatRegistry::registerClipboardFormat(const QString& mimeType, GraphicFactory create)
{
    clipboardFormats_.push_back({mimeType, std::move(create)});
}

void FormatRegistry::unregisterClipboardFormat(const QString& mimeType)
{
    std::erase_if(clipboardFormats_, [&](const ClipboardFormat& f) { return f.mimeType == mimeType; });
}

const ClipboardFormat* FormatRegistry::findClipboardFormat(const QString& mimeType) const
{
    for (auto it = clipboardFormats_.rbegin(); it != clipboardFormats_.rend(); ++it)
        if (it->mimeType == mimeType)
            return &*it;
    return nullptr;
}

bool FormatRegistry::canPaste(const QMimeData& data) const
{
    if (data.hasImage())
        return true;
    return std::any_of(clipboardFormats_.begin(), clipboardFormats_.end(),
                       [&](const ClipboardFormat& f) { return data.hasFormat(f.mimeType); });
}

std::unique_ptr<Graphic> FormatRegistry::loadFile(const QString& path) const
{
    const QString ext = QFileInfo(path).suffix();
    const FileFormat* format = findFileFormat(ext);
    if (!format)
        throw PictureError(QStringLiteral("Unknown picture file extension (.%1)").arg(ext).toStdString());
    std::unique_ptr<Graphic> graphic = format->create();
    graphic->loadFromFile(path);
    return graphic;
}

std::unique_ptr<Graphic> FormatRegistry::paste(const QMimeData& data) const
{
    for (auto it = clipboardFormats_.rbegin(); it != clipboardFormats_.rend(); ++it) {
        if (data.hasFormat(it->mimeType)) {
            std::unique_ptr<Graphic> graphic = it->create();
            graphic->loadFromClipboard(data);
            return graphic;
        }
    }
    if (!data.hasImage())
        throw PictureError("Unsupported clipboard format");
    auto graphic = std::make_unique<ImageGraphic>();
    graphic->loadFromClipboard(data);
    return graphic;
}

}  // namespace picture
