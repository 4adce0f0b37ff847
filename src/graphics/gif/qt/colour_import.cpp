#include "graphics/gif/qt/colour_import.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace gifcolour {

RgbImage rgbImageFrom(const QImage& image) {
    if (image.isNull()) return {};
    const QImage rgb = image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
    RgbImage out(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) std::memcpy(out.rowPtr(y), rgb.constScanLine(y), out.rowBytes());
    return out;
}

Palette paletteFrom(const QList<QRgb>& colorTable) {
    Palette p;
    p.reserve(static_cast<std::size_t>(std::min<qsizetype>(colorTable.size(), 256)));
    for (qsizetype i = 0; i < colorTable.size() && i < 256; ++i) {
        QRgb c = colorTable[i];
        p.push_back({static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                     static_cast<std::uint8_t>(qBlue(c)), 0});
    }
    return p;
}

QImage toQImage(const ReducedImage& reduced) {
    if (reduced.bitsPerPixel == 24) {
        QImage out(reduced.width, reduced.height, QImage::Format_RGB888);
        const std::size_t row = static_cast<std::size_t>(reduced.width) * 3;
        for (int y = 0; y < reduced.height; ++y)
            std::memcpy(out.scanLine(y), reduced.pixels.data() + static_cast<std::size_t>(y) * row, row);
        return out;
    }
    if (reduced.bitsPerPixel != 8) return {};
    QImage out(reduced.width, reduced.height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (const auto& e : reduced.palette) table.push_back(qRgb(e.red, e.green, e.blue));
    out.setColorTable(table);
    const std::size_t row = static_cast<std::size_t>(reduced.width);
    for (int y = 0; y < reduced.height; ++y)
        std::memcpy(out.scanLine(y), reduced.pixels.data() + static_cast<std::size_t>(y) * row, row);
    return out;
}

QImage reduceColors(const QImage& image, int method, int ditherMode, int reductionBits,
                    const Palette* customPalette) {
    return toQImage(ReduceColors(rgbImageFrom(image), method, ditherMode, reductionBits, customPalette));
}

void assignBitmap(TGIFSubImage& target, const QImage& image, const ReductionOptions& options) {
    QImage source = image;
    if (source.format() == QImage::Format_MonoLSB) source = source.convertToFormat(QImage::Format_Mono);
    int bits = source.format() == QImage::Format_Mono ? 1 : source.format() == QImage::Format_Indexed8 ? 8 : 0;
    if (bits == 0) {
        importTrueColor(target, rgbImageFrom(source), options);
        return;
    }
    IndexedBitmap bitmap;
    bitmap.width = source.width();
    bitmap.height = source.height();
    bitmap.bitsPerPixel = bits;
    bitmap.stride = static_cast<std::size_t>(source.bytesPerLine());
    bitmap.bits.assign(source.constBits(), source.constBits() + bitmap.stride * static_cast<std::size_t>(bitmap.height));
    bitmap.colors = paletteFrom(source.colorTable());
    importIndexed(target, bitmap);
}

void assignIconImage(TGIFSubImage& target, const QImage& icon, const ReductionOptions& options) {
    if (icon.isNull()) {
        importTrueColor(target, RgbImage{}, options);
        return;
    }
    QImage canvas(icon.size(), QImage::Format_RGB888);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, icon);
    }
    importTrueColor(target, rgbImageFrom(canvas), options);
    const QImage alpha = icon.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(icon.width()) * static_cast<std::size_t>(icon.height()));
    for (int y = 0; y < alpha.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(alpha.constScanLine(y));
        for (int x = 0; x < alpha.width(); ++x)
            mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(alpha.width()) + static_cast<std::size_t>(x)] =
                qAlpha(row[x]) < 128 ? 1 : 0;
    }
    markTransparent(target, mask);
}

void assignIcon(TGIFSubImage& target, const QIcon& icon, const ReductionOptions& options, QSize size) {
    if (!size.isValid()) {
        for (const QSize& s : icon.availableSizes())
            if (!size.isValid() || s.width() * s.height() > size.width() * size.height()) size = s;
    }
    QImage image;
    if (size.isValid() && !icon.isNull()) image = icon.pixmap(size).toImage();
    assignIconImage(target, image, options);
}

void assignPicture(TGIFSubImage& target, const QPicture& picture, const ReductionOptions& options) {
    const QRect bounds = picture.boundingRect();
    if (bounds.isEmpty()) {
        importTrueColor(target, RgbImage{}, options);
        return;
    }
    auto render = [&](Qt::GlobalColor background) {
        QImage canvas(bounds.size(), QImage::Format_RGB888);
        canvas.fill(background);
        QPainter painter(&canvas);
        painter.drawPicture(-bounds.topLeft(), picture);
        painter.end();
        return canvas;
    };
    const QImage onWhite = render(Qt::white);
    const QImage onBlack = render(Qt::black);
    importTrueColor(target, rgbImageFrom(onWhite), options);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(bounds.width()) * static_cast<std::size_t>(bounds.height()));
    const std::size_t row = static_cast<std::size_t>(bounds.width()) * 3;
    for (int y = 0; y < bounds.height(); ++y) {
        const uchar* w = onWhite.constScanLine(y);
        const uchar* b = onBlack.constScanLine(y);
        for (std::size_t i = 0; i < row; ++i)
            mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(bounds.width()) + i / 3] |=
                static_cast<std::uint8_t>(w[i] ^ b[i]);
    }
    markTransparent(target, mask);
}

}  // namespace gifcolour
