#include "graphics/gif/qt/gif_picture.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIODevice>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cstring>

#include "graphics/gif/qt/colour_import.h"
#include "graphics/gif/qt/gif_painter.h"

namespace {

constexpr const char* kNoColorTable = "No global or local color table defined";
constexpr const char* kObjectNotSupported = "Object type not supported for operation";
constexpr const char* kUnsupportedClipboard = "Unsupported clipboard format";
constexpr const char* kClipboardStoreFailed = "Failed to store GIF on clipboard";
constexpr const char* kInvalidReduction = "Invalid reduction method";

// What a frame keeps of its rendering.
struct QtFrameCache : TGIFFrameCache {
    QImage bitmap;  // 8 bits, own palette or web-safe
    QImage mask;    // 1 bit, set where transparent; null when nothing is
    QImage masked;  // the bitmap with the masked pixels see-through, made when first drawn so
    bool dithered = false;
};

QtFrameCache* cacheOf(TGIFSubImage& frame) { return dynamic_cast<QtFrameCache*>(frame.cache.get()); }

QList<QRgb> colorsOf(const TGIFColorMap& map)
{
    QList<QRgb> table;
    table.reserve(256);
    for (const TGIFColor& c : map.entries())
        table.push_back(qRgb(c.red, c.green, c.blue));
    return table;
}

// Indices past the end of a table show black rather than whatever Qt makes of them.
QList<QRgb> padded(QList<QRgb> table)
{
    while (table.size() < 256)
        table.push_back(qRgb(0, 0, 0));
    return table;
}

QList<QRgb> webSafeColors()
{
    QList<QRgb> table;
    for (const gifcolour::PaletteEntry& e : gifcolour::webSafePalette())
        table.push_back(qRgb(e.red, e.green, e.blue));
    return table;
}

TDisposalMethod disposalOf(const TGIFSubImage& frame)
{
    const TGIFGraphicControlExtension* gce = frame.graphicControlExtension();
    return gce ? gce->disposal() : dmNoDisposal;
}

QRect boundsOf(const TGIFSubImage& frame) { return QRect(frame.left(), frame.top(), frame.width(), frame.height()); }

// The wait a frame's delay stands for: 0 plays as 10, anything below 3 as 3.
int effectiveDelay(const TGIFSubImage& frame)
{
    const TGIFGraphicControlExtension* gce = frame.graphicControlExtension();
    const int d = gce && gce->delay() != 0 ? gce->delay() : 10;
    return std::max(d, 3);
}

TGIFGraphicControlExtension& ensureGraphicControl(TGIFSubImage& frame)
{
    if (TGIFGraphicControlExtension* gce = frame.graphicControlExtension())
        return *gce;
    auto gce = std::make_unique<TGIFGraphicControlExtension>(frame);
    TGIFGraphicControlExtension* raw = gce.get();
    frame.extensions().add(std::move(gce));
    return *raw;
}

// Screen-sized bitmaps are bounded like frames: a hostile screen descriptor may ask for
// 65535 x 65535.
QImage newImage(QSize size, QImage::Format format, uint64_t maxPixels)
{
    if (uint64_t(std::max(size.width(), 0)) * uint64_t(std::max(size.height(), 0)) > maxPixels)
        throw GIFException(gifmsg::ImageTooLarge);
    QImage image(size, format);
    if (image.isNull())
        throw GIFException(gifmsg::OutOfMemory);
    return image;
}

bool usesIndex(const TGIFSubImage& frame, int index)
{
    const uint8_t* p = frame.data();
    return std::find(p, p + frame.dataSize(), uint8_t(index)) != p + frame.dataSize();
}

class SteadyClock : public AnimationClock {
public:
    SteadyClock() { timer_.start(); }
    std::int64_t now() override { return timer_.elapsed(); }
    void sleep(int ms) override
    {
        // Steps of at most 100 ms, with the event loop served between them.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const qint64 left = ms - waited.elapsed();
            if (left > 0)
                QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 100)));
        }
    }

private:
    QElapsedTimer timer_;
};

}  // namespace

std::shared_ptr<AnimationClock> defaultAnimationClock()
{
    static std::shared_ptr<AnimationClock> clock = std::make_shared<SteadyClock>();
    return clock;
}

bool TGIFPicture::paletteDevice = false;

TGIFPicture::TGIFPicture() : clock_(defaultAnimationClock()), context_(std::make_unique<QObject>()) {}

TGIFPicture::~TGIFPicture()
{
    // A painter may be in the middle of its own step (this picture was freed by one of its
    // event handlers): it then frees itself when the step returns.
    for (auto& p : painters_) {
        p->stop();
        p->detach();
        if (p->inStep())
            p.release();
    }
    painters_.clear();
    currentPainter_ = nullptr;
    context_.reset();
}

// ---- size, change, clear ---------------------------------------------------------------------

void TGIFPicture::setWidth(int value)
{
    for (int i = 0; i < images().count(); ++i)
        if (value < images()[i].left() + images()[i].width())
            throw GIFException(gifmsg::WidthTooSmall);
    header().setWidth(std::clamp(value, 0, 0xFFFF));
    changed();
}

void TGIFPicture::setHeight(int value)
{
    for (int i = 0; i < images().count(); ++i)
        if (value < images()[i].top() + images()[i].height())
            throw GIFException(gifmsg::HeightTooSmall);
    header().setHeight(std::clamp(value, 0, 0xFFFF));
    changed();
}

void TGIFPicture::changed()
{
    bitmapFromPainter_ = false;
    // A global map change reaches only the image: frames drawn with it render again.
    for (int i = 0; i < images().count(); ++i)
        if (images()[i].usesGlobalColorMap())
            images()[i].dropCache();
    bitmap_ = QImage();
    notifyChange();
}

void TGIFPicture::clear()
{
    stopDrawing();
    bitmap_ = QImage();
    gif::Image::clear();
    header().preparePackedFields();
    changed();
}

void TGIFPicture::growScreenToFrames()
{
    bool grown = false;
    for (int i = 0; i < images().count(); ++i) {
        const TGIFSubImage& f = images()[i];
        const int right = std::min(f.left() + f.width(), 0xFFFF);
        const int bottom = std::min(f.top() + f.height(), 0xFFFF);
        if (right > header().width()) {
            header().setWidth(right);
            grown = true;
        }
        if (bottom > header().height()) {
            header().setHeight(bottom);
            grown = true;
        }
    }
    if (grown)
        Warning(this, kGIFWarningSeverity, gifmsg::ExceedsScreen);
}

// ---- loading and saving ------------------------------------------------------------------------

void TGIFPicture::LoadFromStream(gif::InStream& s)
{
    stopDrawing();
    gif::Image::LoadFromStream(s);
    // A frame past the logical screen makes the screen grow, so that drawing never scales
    // by a screen smaller than its frames (or by 0).
    growScreenToFrames();
    changed();
}

void TGIFPicture::SaveToStream(gif::OutStream& s) { gif::Image::SaveToStream(s); }

void TGIFPicture::loadFromBytes(const QByteArray& bytes)
{
    gif::InStream s(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                             static_cast<size_t>(bytes.size())));
    LoadFromStream(s);
}

QByteArray TGIFPicture::saveToBytes()
{
    gif::OutStream s;
    SaveToStream(s);
    return QByteArray(reinterpret_cast<const char*>(s.bytes().data()), qsizetype(s.bytes().size()));
}

void TGIFPicture::loadFromDevice(QIODevice& device)
{
    const qint64 start = device.isSequential() ? -1 : device.pos();
    const QByteArray bytes = device.readAll();
    gif::InStream s(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                             static_cast<size_t>(bytes.size())));
    try {
        LoadFromStream(s);
    } catch (...) {
        if (start >= 0)
            device.seek(start);
        throw;
    }
    if (start >= 0)
        device.seek(start + qint64(s.position()));
}

void TGIFPicture::saveToDevice(QIODevice& device)
{
    const QByteArray bytes = saveToBytes();
    if (device.write(bytes) != bytes.size())
        throw picture::PictureError("Cannot write GIF data: " + device.errorString().toStdString());
}

// ---- palette and frame bitmaps -----------------------------------------------------------------

bool TGIFPicture::ditherFrames() const
{
    return DrawOptions.has(gdDither) && (!DrawOptions.has(gdAutoDither) || paletteDevice);
}

QList<QRgb> TGIFPicture::framePalette(const TGIFSubImage& frame) const { return colorsOf(frame.activeColorMap()); }

QList<QRgb> TGIFPicture::palette()
{
    if (paletteQuery_)
        throw GIFException(kNoColorTable);
    paletteQuery_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{paletteQuery_};
    if (bitmap_.format() == QImage::Format_Indexed8 && !bitmap_.colorTable().isEmpty())
        return bitmap_.colorTable();
    // Only a palette set from outside is kept; the others follow the options and maps.
    if (palette_)
        return *palette_;
    if (ditherFrames())
        return webSafeColors();
    if (globalColorMap().count() > 0)
        return colorsOf(globalColorMap());
    if (!empty())
        return framePalette(images()[0]);
    return {};
}

void TGIFPicture::setPalette(const QList<QRgb>& palette)
{
    palette_ = palette;
    if (!bitmap_.isNull() && bitmap_.colorTable() != palette) {
        bitmap_ = QImage();
        notifyChange();
    }
}

QImage TGIFPicture::frameBitmap(int index)
{
    TGIFSubImage& frame = images()[index];
    const bool dither = ditherFrames();
    if (QtFrameCache* c = cacheOf(frame); c && c->dithered == dither)
        return c->bitmap;

    auto cache = std::make_unique<QtFrameCache>();
    cache->dithered = dither;
    const int w = frame.width();
    const int h = frame.height();
    Progress(&frame, psStarting, 0, "Rendering...");
    QImage bitmap = newImage(QSize(std::max(w, 1), std::max(h, 1)), QImage::Format_Indexed8, maxPixels);
    const TGIFColorMap& map = frame.activeColorMap();
    bitmap.setColorTable(padded(dither ? webSafeColors() : framePalette(frame)));
    bitmap.fill(0);
    if (!frame.empty()) {
        const int n = map.count();
        const TGIFColor* colors = map.data();
        TNetscapeColorLookup lookup;
        TFloydSteinbergDitherer engine(w, lookup);
        for (int y = 0; y < h; ++y) {
            if (y % 32 == 0)
                Progress(&frame, psRunning, y * 100 / h, "Rendering...");
            const uint8_t* in = frame.scanline(y);
            uchar* out = bitmap.scanLine(y);
            if (!dither) {
                std::memcpy(out, in, size_t(w));
                continue;
            }
            gifcolour::Rgb chosen;
            for (int k = 0; k < w; ++k) {
                const int x = engine.Column();
                const TGIFColor c = in[x] < n ? colors[in[x]] : TGIFColor{};
                out[x] = engine.Dither(c.red, c.green, c.blue, chosen);
            }
            engine.NextLine();
        }
        const int t = frame.transparentIndex();
        if (t >= 0) {
            QImage mask(w, h, QImage::Format_Mono);
            mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
            mask.fill(0);
            bool any = false;
            for (int y = 0; y < h; ++y) {
                const uint8_t* in = frame.scanline(y);
                uchar* out = mask.scanLine(y);
                for (int x = 0; x < w; ++x)
                    if (in[x] == t) {
                        out[x >> 3] = uchar(out[x >> 3] | (0x80 >> (x & 7)));
                        any = true;
                    }
            }
            if (any)
                cache->mask = mask;
        }
    }
    Progress(&frame, psEnding, 100, "Rendering...");
    cache->bitmap = bitmap;
    frame.cache = std::move(cache);
    return bitmap;
}

QImage TGIFPicture::frameMask(int index)
{
    frameBitmap(index);
    return cacheOf(images()[index])->mask;
}

QRectF TGIFPicture::screenRect() const { return QRectF(0, 0, gif::Image::width(), gif::Image::height()); }

void TGIFPicture::drawFrame(QPainter& painter, const QRect& rect, int index, bool transparent, bool tile)
{
    TGIFSubImage& frame = images()[index];
    if (frame.empty() || rect.isEmpty())
        return;
    frameBitmap(index);
    QtFrameCache& cache = *cacheOf(frame);
    const QImage* source = &cache.bitmap;
    if (transparent && !cache.mask.isNull()) {
        if (cache.masked.isNull()) {
            QImage masked = cache.bitmap.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < masked.height(); ++y) {
                const uchar* m = cache.mask.constScanLine(y);
                QRgb* row = reinterpret_cast<QRgb*>(masked.scanLine(y));
                for (int x = 0; x < masked.width(); ++x)
                    if (m[x >> 3] & (0x80 >> (x & 7)))
                        row[x] = 0;
            }
            cache.masked = masked.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        source = &cache.masked;
    }
    if (!tile) {
        // The screen is never smaller than its frames, but a zero size is still refused.
        const qint64 sw = std::max(gif::Image::width(), frame.left() + frame.width());
        const qint64 sh = std::max(gif::Image::height(), frame.top() + frame.height());
        if (sw <= 0 || sh <= 0)
            return;
        const qint64 l = rect.left() + qint64(frame.left()) * rect.width() / sw;
        const qint64 t = rect.top() + qint64(frame.top()) * rect.height() / sh;
        const qint64 r = rect.left() + qint64(frame.left() + frame.width()) * rect.width() / sw;
        const qint64 b = rect.top() + qint64(frame.top() + frame.height()) * rect.height() / sh;
        if (r > l && b > t)
            painter.drawImage(QRect(int(l), int(t), int(r - l), int(b - t)), *source);
        return;
    }
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    // Only the copies that reach the visible part are drawn.
    const QRect visible = painter.clipBoundingRect().toAlignedRect() & rect;
    const int x0 = rect.left() + frame.left();
    const int y0 = rect.top() + frame.top();
    const int fw = frame.width();
    const int fh = frame.height();
    const int firstX = visible.left() > x0 ? x0 + (visible.left() - x0) / fw * fw : x0;
    const int firstY = visible.top() > y0 ? y0 + (visible.top() - y0) / fh * fh : y0;
    for (int y = firstY; y <= visible.bottom(); y += fh)
        for (int x = firstX; x <= visible.right(); x += fw)
            painter.drawImage(x, y, *source);
    painter.restore();
}

QImage TGIFPicture::renderedBitmap()
{
    if (currentPainter_ && !currentPainter_->options().has(gdDirectDraw))
        return currentPainter_->result();
    if (!bitmap_.isNull() || empty())
        return bitmap_;
    TGIFSubImage& first = images()[0];
    const int sw = gif::Image::width();
    const int sh = gif::Image::height();
    if (first.left() == 0 && first.top() == 0 && first.width() == sw && first.height() == sh) {
        bitmap_ = frameBitmap(0);
        return bitmap_;
    }
    QImage bitmap = newImage(QSize(std::max(sw, 1), std::max(sh, 1)), QImage::Format_RGB32, maxPixels);
    const QList<QRgb> colors = palette();
    bitmap.fill(colors.isEmpty() ? qRgb(0, 0, 0) : colors.front());
    {
        QPainter p(&bitmap);
        drawFrame(p, bitmap.rect(), 0, false, false);
    }
    bitmap_ = bitmap;
    return bitmap_;
}

// ---- drawing and painters ----------------------------------------------------------------------

QColor TGIFPicture::effectiveBackgroundColor() const
{
    if (BackgroundColor.isValid())
        return BackgroundColor;
    const TGIFGlobalColorMap& map = globalColorMap();
    if (map.count() == 0)
        return QGuiApplication::palette().color(QPalette::Window);
    const int i = header().backgroundColorIndex() < map.count() ? header().backgroundColorIndex() : 0;
    const TGIFColor c = map.entries()[size_t(i)];
    return QColor(c.red, c.green, c.blue);
}

void TGIFPicture::draw(QPainter& painter, const QRect& rect)
{
    if (drawing_ || empty())
        return;
    drawing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{drawing_};
    reapPainters();
    // Drawing runs inside paint events, where nothing may be thrown: a picture that cannot
    // be drawn (no memory for a huge screen) is reported as a warning and left undrawn.
    try {
        drawSteps(painter, rect);
    } catch (const std::exception& e) {
        Warning(this, kGIFWarningSeverity, e.what());
    }
}

void TGIFPicture::drawSteps(QPainter& painter, const QRect& rect)
{

    const bool transparent = DrawOptions.has(gdTransparent);
    const bool tile = DrawOptions.has(gdTile);
    const bool direct = DrawOptions.has(gdDirectDraw);
    if (images().count() == 1 || !DrawOptions.has(gdAnimate)) {
        drawFrame(painter, rect, 0, transparent, tile);
        return;
    }
    auto show = [&](const QImage& composed, bool directResult) {
        if (composed.isNull())
            return;
        if (directResult) {
            painter.drawImage(rect.topLeft(), composed);
        } else if (tile) {
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            for (int y = rect.top(); y <= rect.bottom(); y += composed.height())
                for (int x = rect.left(); x <= rect.right(); x += composed.width())
                    painter.drawImage(x, y, composed);
            painter.restore();
        } else {
            painter.drawImage(rect, composed);
        }
    };
    // An animation that ran (or runs) here shows its picture; a bitmap made only for a copy
    // or the clipboard does not keep the animation from starting.
    if (!direct && (currentPainter_ || (!bitmap_.isNull() && bitmapFromPainter_))) {
        show(renderedBitmap(), false);
        return;
    }
    const void* canvas = painter.device();
    if (currentPainter_ && currentPainter_->canvas() == canvas && currentPainter_->canvasRect() == rect) {
        // Already animating here: show where it is.
        show(currentPainter_->result(), currentPainter_->options().has(gdDirectDraw));
        return;
    }
    if (currentPainter_) {
        currentPainter_->stop();
        currentPainter_ = nullptr;
    }
    bitmap_ = QImage();
    if (rect.isEmpty())
        return;

    // The painter composes into an image of its own (the screen's size, or the target
    // rectangle's for direct drawing) that starts as what lies under the rectangle, when
    // that can be read, else see-through.
    const QSize size = direct ? rect.size() : QSize(gif::Image::width(), gif::Image::height());
    if (size.isEmpty())
        return;
    QImage start = newImage(size, QImage::Format_ARGB32_Premultiplied, maxPixels);
    start.fill(Qt::transparent);
    if (painter.device() && painter.device()->devType() == QInternal::Image) {
        const QImage& device = *static_cast<const QImage*>(painter.device());
        const QRect onDevice = painter.transform().mapRect(rect);
        QPainter p(&start);
        p.drawImage(start.rect(), device, onDevice);
    }
    TGIFDrawOptions options = DrawOptions;
    if (images().count() == 1)
        options = options.without(gdAsync).without(gdAnimate);
    auto owned = std::make_unique<TGIFPainter>(*this, start, options, canvas, rect);
    TGIFPainter* painterPtr = owned.get();
    owned->OnPaintStart = OnPaintStart;
    owned->OnLoopStart = OnLoopStart;
    owned->OnFramePaint = OnFramePaint;
    owned->OnFramePainted = OnFramePainted;
    owned->OnPaintEnd = OnPaintEnd;
    if (painter.device() && painter.device()->devType() == QInternal::Widget)
        owned->watchCanvas(dynamic_cast<QObject*>(painter.device()));
    painters_.push_back(std::move(owned));
    currentPainter_ = painterPtr;
    painterPtr->start();
    // A synchronous painter has finished by now and left its last frame in bitmap_ (direct:
    // in its result); an asynchronous one shows its first frame.
    const bool alive = std::any_of(painters_.begin(), painters_.end(), [&](auto& p) { return p.get() == painterPtr; });
    if (!alive)
        return;
    show(painterPtr->result(), painterPtr->options().has(gdDirectDraw));
}

void TGIFPicture::stopDrawing()
{
    for (auto& p : painters_)
        p->stop();
    currentPainter_ = nullptr;
    // What a stopped animation left is no longer the picture: the next draw starts over.
    bitmap_ = QImage();
    bitmapFromPainter_ = false;
}

void TGIFPicture::painterEnded(TGIFPainter* painter)
{
    if (!painter->options().has(gdDirectDraw) && painter == currentPainter_) {
        bitmap_ = painter->result();
        bitmapFromPainter_ = true;
    }
    if (currentPainter_ == painter)
        currentPainter_ = nullptr;
    // Freed once its own step has returned.
    QTimer::singleShot(0, context_.get(), [this] { reapPainters(); });
}

void TGIFPicture::reapPainters()
{
    std::erase_if(painters_, [this](const std::unique_ptr<TGIFPainter>& p) {
        return p->finished() && p.get() != currentPainter_ && !p->inStep();
    });
}

// ---- copies ------------------------------------------------------------------------------------

gifcolour::ReductionOptions TGIFPicture::reductionOptions() const
{
    gifcolour::ReductionOptions o;
    o.method = ColorReduction;
    o.dither = DitherMode;
    o.bits = ReductionBits;
    return o;
}

void TGIFPicture::assign(const TGIFPicture& source)
{
    if (&source == this)
        return;
    clear();
    const auto& sd = source.header().screenDescriptor();
    header().setWidth(gif::getU16(&sd[0]));
    header().setHeight(gif::getU16(&sd[2]));
    header().setPackedFields(sd[4]);
    header().setBackgroundColorIndex(sd[5]);
    header().setAspectRatio(sd[6]);
    globalColorMap().assign(source.globalColorMap());
    DrawOptions = source.DrawOptions;
    ColorReduction = source.ColorReduction;
    DitherMode = source.DitherMode;
    ThreadPriority = source.ThreadPriority;
    BackgroundColor = source.BackgroundColor;
    const int n = source.images().count();
    try {
        for (int i = 0; i < n; ++i) {
            auto frame = std::make_unique<TGIFSubImage>(this);
            gifcolour::assignFrame(*frame, &source.images()[i]);
            images().add(std::move(frame));
            Progress(this, psRunning, (i + 1) * 100 / n, "Copying...");
        }
    } catch (...) {
        clear();
        throw;
    }
    Progress(this, psEnding, 100, "Copying...");
    changed();
}

void TGIFPicture::assignImage(const QImage& image)
{
    clear();
    if (image.isNull())
        return;
    add(image);
}

void TGIFPicture::assignIcon(const QIcon& icon)
{
    clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    gifcolour::assignIcon(*frame, icon, reductionOptions());
    add(std::move(frame));
}

void TGIFPicture::assignPicture(const QPicture& picture)
{
    clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    gifcolour::assignPicture(*frame, picture, reductionOptions());
    add(std::move(frame));
}

int TGIFPicture::add(std::unique_ptr<TGIFSubImage> frame)
{
    if (!frame || frame->image() != this)
        throw GIFException(kObjectNotSupported);
    const int index = images().add(std::move(frame));
    growScreenToFrames();
    changed();
    return index;
}

int TGIFPicture::add(const QImage& image)
{
    auto frame = std::make_unique<TGIFSubImage>(this);
    gifcolour::assignBitmap(*frame, image, reductionOptions());
    return add(std::move(frame));
}

// ---- clipboard ---------------------------------------------------------------------------------

const QString& gifClipboardFormat()
{
    // On Windows Qt registers this as the clipboard format named "GIF Image".
    static const QString format = QStringLiteral("application/x-qt-windows-mime;value=\"GIF Image\"");
    return format;
}

namespace {
const QString kGifMime = QStringLiteral("image/gif");
}

void TGIFPicture::loadFromClipboard(const QMimeData& data)
{
    if (data.hasFormat(gifClipboardFormat())) {
        loadFromBytes(data.data(gifClipboardFormat()));
    } else if (data.hasFormat(kGifMime)) {
        loadFromBytes(data.data(kGifMime));
    } else if (data.hasImage()) {
        const QImage image = qvariant_cast<QImage>(data.imageData());
        if (image.isNull())
            throw GIFException(kUnsupportedClipboard);
        assignImage(image);
    } else {
        throw GIFException(kUnsupportedClipboard);
    }
}

void TGIFPicture::saveToClipboard(QMimeData& data)
{
    if (empty())
        return;
    const QByteArray bytes = saveToBytes();
    data.setImageData(renderedBitmap().convertToFormat(QImage::Format_RGB32));
    data.setData(gifClipboardFormat(), bytes);
    data.setData(kGifMime, bytes);
}

void TGIFPicture::copyToClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        throw GIFException(kClipboardStoreFailed);
    auto data = std::make_unique<QMimeData>();
    saveToClipboard(*data);
    clipboard->setMimeData(data.release());
    const QMimeData* stored = clipboard->mimeData();
    if (!empty() && (!stored || !stored->hasFormat(gifClipboardFormat())))
        throw GIFException(kClipboardStoreFailed);
}

void TGIFPicture::pasteFromClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        throw GIFException(kUnsupportedClipboard);
    loadFromClipboard(*data);
}

void TGIFPicture::Warning(const void* sender, int severity, const std::string& message)
{
    gif::Image::Warning(sender, severity, message);
}

// ---- optimising --------------------------------------------------------------------------------

namespace {

// Frames whose transparent index shows nowhere lose it; a frame that disposes of itself
// and is then covered entirely by an opaque frame needs no disposal.
void cleanupDisposal(TGIFPictureList& frames)
{
    for (int i = 0; i < frames.count(); ++i) {
        TGIFSubImage& f = frames[i];
        const int t = f.transparentIndex();
        if (t >= 0 && !usesIndex(f, t)) {
            f.graphicControlExtension()->setTransparent(false);
            f.setHasTransparency(false);
            f.dropCache();
        }
    }
    for (int i = 0; i + 1 < frames.count(); ++i) {
        TGIFSubImage& f = frames[i];
        TGIFSubImage& next = frames[i + 1];
        TGIFGraphicControlExtension* gce = f.graphicControlExtension();
        if (!gce || gce->disposal() < dmBackground)
            continue;
        // The next frame must overwrite all of this one, and must not itself restore to
        // what lay under it (which the disposal decides).
        if (next.empty() || next.transparentIndex() >= 0 || disposalOf(next) == dmPrevious)
            continue;
        if (boundsOf(next).contains(boundsOf(f)))
            gce->setDisposal(dmNone);
    }
}

// Pixels of a frame that repeat what the frame before shows become transparent.
void mergeFrames(TGIFPictureList& frames)
{
    for (int j = frames.count() - 1; j >= 1; --j) {
        TGIFSubImage& later = frames[j];
        int k = j - 1;
        while (k > 0 && disposalOf(frames[k]) == dmPrevious)
            --k;
        TGIFSubImage& earlier = frames[k];
        if (earlier.empty() || later.empty() || disposalOf(earlier) >= dmBackground)
            continue;
        const QRect overlap = boundsOf(earlier).intersected(boundsOf(later));
        if (overlap.isEmpty())
            continue;
        TGIFColorMap& laterMap = later.activeColorMap();
        const TGIFColorMap& earlierMap = earlier.activeColorMap();
        int t = later.transparentIndex();
        if (t < 0 && (laterMap.count() < 1 || laterMap.count() > 255))
            continue;
        const int et = earlier.transparentIndex();
        std::vector<std::pair<int, int>> same;
        for (int y = overlap.top(); y <= overlap.bottom(); ++y) {
            const uint8_t* lr = later.scanline(y - later.top());
            const uint8_t* er = earlier.scanline(y - earlier.top());
            for (int x = overlap.left(); x <= overlap.right(); ++x) {
                const int lp = lr[x - later.left()];
                const int ep = er[x - earlier.left()];
                if (ep == et || lp == t || lp >= laterMap.count() || ep >= earlierMap.count())
                    continue;
                if (laterMap.data()[lp] == earlierMap.data()[ep])
                    same.emplace_back(x - later.left(), y - later.top());
            }
        }
        if (same.empty())
            continue;
        if (t < 0) {
            // Another frame's transparent entry of the shared map, unless this frame shows
            // that entry as a colour; else a new black entry.
            if (later.usesGlobalColorMap()) {
                for (int i = 0; i < frames.count() && t < 0; ++i) {
                    const int other = frames[i].transparentIndex();
                    if (i != j && frames[i].usesGlobalColorMap() && other >= 0 && other < laterMap.count() &&
                        !usesIndex(later, other))
                        t = other;
                }
            }
            if (t < 0)
                t = laterMap.add(makeColor(0, 0, 0));
            TGIFGraphicControlExtension& gce = ensureGraphicControl(later);
            gce.setTransparentColorIndex(t);
            gce.setTransparent(true);
        }
        for (auto [x, y] : same)
            later.setPixel(x, y, uint8_t(t));
        later.dropCache();
    }
}

void moveLoopExtension(TGIFSubImage& from, TGIFSubImage& to)
{
    TGIFExtensionList& list = from.extensions();
    for (int i = 0; i < list.count(); ++i) {
        if (dynamic_cast<TGIFAppExtNSLoop*>(&list[i])) {
            auto* loop = static_cast<TGIFAppExtNSLoop*>(&list[i]);
            auto copy = std::make_unique<TGIFAppExtNSLoop>(to);
            copy->identifier = loop->identifier;
            copy->loops = loop->loops;
            copy->bufferSize = loop->bufferSize;
            to.extensions().insert(0, std::move(copy));
            list.remove(i);
            return;
        }
    }
}

// Transparent borders are cut away; a frame that shows nothing goes, its time given to
// the frame before it.
void cropFrames(TGIFPictureList& frames)
{
    for (int j = frames.count() - 1; j >= 0; --j) {
        TGIFSubImage& f = frames[j];
        const int t = f.transparentIndex();
        // A frame that restores to the background clears its whole area: keep the area.
        if (t < 0 || f.empty() || disposalOf(f) == dmBackground)
            continue;
        const int w = f.width();
        const int h = f.height();
        int minX = w, maxX = -1, minY = h, maxY = -1;
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = f.scanline(y);
            for (int x = 0; x < w; ++x)
                if (row[x] != t) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        }
        if (maxX < 0) {
            if (frames.count() == 1)
                continue;
            const int receiver = j > 0 ? j - 1 : frames.count() - 1;
            TGIFSubImage& r = frames[receiver];
            // While this frame is up, the one before it has cleared or restored its area:
            // without this frame that moment would never be shown.
            if (disposalOf(r) >= dmBackground)
                continue;
            const int delay = std::min(effectiveDelay(r) + effectiveDelay(f), 0xFFFF);
            ensureGraphicControl(r).setDelay(delay);
            if (j == 0)
                moveLoopExtension(f, frames[1]);
            frames.remove(j);
            continue;
        }
        if (minX == 0 && minY == 0 && maxX == w - 1 && maxY == h - 1)
            continue;
        const int nw = maxX - minX + 1;
        const int nh = maxY - minY + 1;
        std::vector<uint8_t> kept(size_t(nw) * size_t(nh));
        for (int y = 0; y < nh; ++y)
            std::memcpy(kept.data() + size_t(y) * size_t(nw), f.scanline(y + minY) + minX, size_t(nw));
        f.setBounds(f.left() + minX, f.top() + minY, nw, nh);
        for (int y = 0; y < nh; ++y)
            std::memcpy(f.scanline(y), kept.data() + size_t(y) * size_t(nw), size_t(nw));
        f.dropCache();
    }
}

// Extensions that change nothing on screen, and empty frames, go.
void cleanupExtensions(TGIFPictureList& frames)
{
    const int n = frames.count();
    for (int i = 0; i < frames.count(); ++i) {
        TGIFSubImage& f = frames[i];
        TGIFExtensionList& list = f.extensions();
        for (int e = list.count() - 1; e >= 0; --e) {
            TGIFExtension& ext = list[e];
            bool drop = false;
            if (dynamic_cast<TGIFCommentExtension*>(&ext) || dynamic_cast<TGIFTextExtension*>(&ext) ||
                dynamic_cast<TGIFUnknownAppExtension*>(&ext)) {
                drop = true;
            } else if (dynamic_cast<TGIFAppExtNSLoop*>(&ext)) {
                drop = !(i == 0 && n > 1);
            } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(&ext)) {
                drop = (gce->delay() == 0 || n == 1) && !gce->transparent() && !gce->userInput() &&
                       (gce->disposal() < dmBackground || n == 1);
            }
            if (drop)
                list.remove(e);
        }
    }
    for (int i = frames.count() - 1; i >= 0; --i)
        if (frames[i].empty() && frames[i].extensions().count() == 0 && frames.count() > 1)
            frames.remove(i);
}

}  // namespace

void TGIFPicture::Optimise(TGIFOptimizeOptions options, TColorReduction method, TDitherMode, int)
{
    if (options.has(opReduceColors) && !options.has(opCleanup) && method == reCustomPalette)
        throw GIFException(kInvalidReduction);
    if (empty())
        return;
    stopDrawing();
    const int steps = 6 * images().count();
    int done = 0;
    auto step = [&] {
        done += images().count();
        Progress(this, psRunning, std::min(100, done * 100 / std::max(steps, 1)), "Optimizing...");
    };
    Progress(this, psStarting, 0, "Optimizing...");
    if (options.has(opColorMaps)) {
        // Sorting may cut off an unused background entry; the background colour stays.
        TGIFGlobalColorMap& global = globalColorMap();
        const int bg = header().backgroundColorIndex();
        const std::optional<TGIFColor> background =
            bg < global.count() ? std::optional<TGIFColor>(global.data()[bg]) : std::nullopt;
        if (global.count() > 0)
            global.Optimise();
        if (background && (header().backgroundColorIndex() >= global.count() ||
                           !(global.data()[header().backgroundColorIndex()] == *background))) {
            int index = -1;
            for (int i = 0; i < global.count() && index < 0; ++i)
                if (global.data()[i] == *background)
                    index = i;
            if (index < 0 && global.count() < 256) {
                // Appended unused, after the used entries: the map stays sorted.
                const bool sorted = global.optimized();
                index = global.addEntry(*background);
                global.setOptimized(sorted);
            }
            if (index >= 0)
                header().setBackgroundColorIndex(uint8_t(index));
        }
        for (int i = 0; i < images().count(); ++i)
            if (images()[i].colorMap().count() > 0)
                images()[i].colorMap().Optimise();
    }
    step();
    if (options.has(opCleanup))
        cleanupDisposal(images());
    step();
    if (options.has(opMerge))
        mergeFrames(images());
    step();
    if (options.has(opCrop))
        cropFrames(images());
    step();
    if (options.has(opCleanup))
        cleanupExtensions(images());
    step();
    Progress(this, psEnding, 100, "Optimizing...");
    changed();
}

// ---- registration ------------------------------------------------------------------------------

void registerGIFPicture()
{
    // The extension registries exist from here on.
    ExtensionList();
    AppExtensionList();
    auto create = [] { return std::unique_ptr<picture::Graphic>(std::make_unique<TGIFPicture>()); };
    picture::FormatRegistry& registry = picture::FormatRegistry::instance();
    registry.unregisterFileFormat("GIF");
    registry.registerFileFormat("GIF", "GIF Image", create);
    registry.unregisterClipboardFormat(gifClipboardFormat());
    registry.registerClipboardFormat(gifClipboardFormat(), create);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        TGIFPicture::paletteDevice = screen->depth() < 9;
}

void unregisterGIFPicture()
{
    picture::FormatRegistry& registry = picture::FormatRegistry::instance();
    registry.unregisterFileFormat("GIF");
    registry.unregisterClipboardFormat(gifClipboardFormat());
}
