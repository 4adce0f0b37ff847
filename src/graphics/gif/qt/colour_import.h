#pragma once
// Qt side of colour reduction and frame import: QImage in and out of the plain pixel
// buffers, and frames filled from a bitmap (QImage), an icon (QIcon) or a picture (QPicture).

#include <QIcon>
#include <QImage>
#include <QPicture>
#include <QSize>

#include "graphics/gif/frame_import.h"
#include "graphics/gif/reduce.h"

namespace gifcolour {

// Any QImage as 24-bit RGB (alpha dropped as Qt converts it).
RgbImage rgbImageFrom(const QImage& image);
// 8 bits: Format_Indexed8 with the palette as its colour table; 24 bits: Format_RGB888;
// the empty result: a null QImage.
QImage toQImage(const ReducedImage& reduced);
Palette paletteFrom(const QList<QRgb>& colorTable);

// ReduceColors for a QImage of any format.
QImage reduceColors(const QImage& image, int method, int ditherMode, int reductionBits,
                    const Palette* customPalette = nullptr);

// Frame from a bitmap: 1-bit (Format_Mono, Format_MonoLSB) and 8-bit (Format_Indexed8)
// images keep their pixels and their own colour table; every other format is reduced by
// `options` first.
void assignBitmap(TGIFSubImage& target, const QImage& image, const ReductionOptions& options);

// Frame from an icon at `size` (the largest size it has when `size` is not valid):
// drawn on a 24-bit bitmap, imported, and its transparent pixels (alpha below 128) marked.
void assignIcon(TGIFSubImage& target, const QIcon& icon, const ReductionOptions& options,
                QSize size = QSize());
// The same for an icon already rendered into an image with alpha.
void assignIconImage(TGIFSubImage& target, const QImage& icon, const ReductionOptions& options);

// Frame from a recorded picture: drawn at (0, 0) on white and imported; what it leaves
// uncovered (where drawing it on white and on black differs) is marked transparent.
void assignPicture(TGIFSubImage& target, const QPicture& picture, const ReductionOptions& options);

}  // namespace gifcolour
