#pragma once
// The GIF picture: owns the object tree, loads and saves it, renders and draws frames,
// goes to and from other pictures and the clipboard, optimises multi-frame pictures and
// plays animations through TGIFPainter (a timer on the GUI thread).

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPicture>
#include <QPixmap>
#include <QRgb>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "graphics/gif/dither.h"
#include "graphics/gif/frame_import.h"
#include "graphics/gif/objects.h"
#include "graphics/gif/qt/picture_registry.h"
#include "graphics/gif/reduce.h"

class TGIFPainter;
class TGIFPicture;

enum TGIFDrawOption : std::uint8_t {
    gdAsync = 0,
    gdTransparent = 1,
    gdAnimate = 2,
    gdLoop = 3,
    gdLoopForever = 4,
    gdCheckCanvas = 5,
    gdDirectDraw = 6,
    gdRestoreOnLoop = 7,
    gdTile = 8,
    gdDither = 9,
    gdAutoDither = 10,
};

// A set of draw options, one bit per option.
class TGIFDrawOptions {
public:
    constexpr TGIFDrawOptions() = default;
    constexpr TGIFDrawOptions(std::initializer_list<TGIFDrawOption> options)
    {
        for (TGIFDrawOption o : options)
            bits_ = std::uint16_t(bits_ | (1u << o));
    }
    constexpr bool has(TGIFDrawOption o) const { return (bits_ >> o) & 1u; }
    constexpr TGIFDrawOptions with(TGIFDrawOption o) const { return fromBits(std::uint16_t(bits_ | (1u << o))); }
    constexpr TGIFDrawOptions without(TGIFDrawOption o) const { return fromBits(std::uint16_t(bits_ & ~(1u << o))); }
    constexpr std::uint16_t bits() const { return bits_; }
    static constexpr TGIFDrawOptions fromBits(std::uint16_t b)
    {
        TGIFDrawOptions o;
        o.bits_ = b;
        return o;
    }
    friend constexpr bool operator==(TGIFDrawOptions, TGIFDrawOptions) = default;

private:
    std::uint16_t bits_ = 0;
};

inline constexpr TGIFDrawOptions kDefaultDrawOptions{gdAsync,  gdTransparent, gdAnimate,
                                                     gdLoop,   gdDither,      gdAutoDither};

enum TGIFOptimizeOption : std::uint8_t { opColorMaps = 0, opCleanup = 1, opMerge = 2, opCrop = 3, opReduceColors = 4 };

class TGIFOptimizeOptions {
public:
    constexpr TGIFOptimizeOptions() = default;
    constexpr TGIFOptimizeOptions(std::initializer_list<TGIFOptimizeOption> options)
    {
        for (TGIFOptimizeOption o : options)
            bits_ = std::uint8_t(bits_ | (1u << o));
    }
    constexpr bool has(TGIFOptimizeOption o) const { return (bits_ >> o) & 1u; }

private:
    std::uint8_t bits_ = 0;
};

// Kept for the programs that set it; animations run on the GUI thread's timer.
enum TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TGIFPainterEvent = std::function<void(TGIFPainter& sender)>;

// Time for the animation; tests drive a fake one instead of sleeping.
class AnimationClock {
public:
    virtual ~AnimationClock() = default;
    // Milliseconds from any fixed start.
    virtual std::int64_t now() = 0;
    // Waits ms milliseconds; the default clock keeps the event loop alive meanwhile.
    virtual void sleep(int ms) = 0;
    // True when whoever owns the clock calls TGIFPainter::tick() itself after each wait
    // (tests); otherwise the painter's timer does.
    virtual bool manual() const { return false; }
};
std::shared_ptr<AnimationClock> defaultAnimationClock();

class TGIFPicture : public gif::Image, public picture::Graphic {
public:
    TGIFPicture();
    ~TGIFPicture() override;

    // ---- options
    TGIFDrawOptions DrawOptions = kDefaultDrawOptions;
    TColorReduction ColorReduction = reWebSafe216;
    int ReductionBits = 8;
    TDitherMode DitherMode = dtNearest;
    TThreadPriority ThreadPriority = tpNormal;
    // Percent; 0 pauses.
    int AnimationSpeed = 100;
    // An invalid colour is "none": the global map's background entry is used.
    QColor BackgroundColor;

    // ---- events, copied into each painter when it starts
    TGIFPainterEvent OnPaintStart;
    TGIFPainterEvent OnLoopStart;
    TGIFPainterEvent OnFramePaint;
    TGIFPainterEvent OnFramePainted;
    TGIFPainterEvent OnPaintEnd;
    // An animation composed a new frame into the picture's bitmap: repaint `rect` (the
    // rectangle given to draw()). Called on the GUI thread; a view that sets it resets it
    // (or stops the drawing) when it goes away.
    std::function<void(TGIFPicture& sender, const QRect& rect)> OnRepaint;

    // ---- graphic operations
    bool isEmpty() const override { return empty(); }
    int width() const override { return gif::Image::width(); }
    int height() const override { return gif::Image::height(); }
    // Below any frame's right (bottom) edge raises "Image width (height) too small for
    // contained frames".
    void setWidth(int value);
    void setHeight(int value);

    void clear() override;
    void LoadFromStream(gif::InStream& s);
    void SaveToStream(gif::OutStream& s);
    void loadFromBytes(const QByteArray& bytes);
    QByteArray saveToBytes();
    void loadFromDevice(QIODevice& device) override;
    void saveToDevice(QIODevice& device) override;

    // The bitmap of the whole logical screen with frame 0 on it (null when empty); while
    // an animation paints into it, the frame it shows last.
    QImage renderedBitmap();
    QImage toImage() override { return renderedBitmap(); }

    // Copies of other pictures. A GIF picture is copied frame by frame with its options;
    // anything else becomes one frame, converted by ColorReduction / DitherMode.
    void assign(const TGIFPicture& source);
    void assignImage(const QImage& image) override;
    void assignPixmap(const QPixmap& pixmap) { assignImage(pixmap.toImage()); }
    void assignIcon(const QIcon& icon);
    void assignPicture(const QPicture& picture);
    QPixmap toPixmap() { return QPixmap::fromImage(renderedBitmap()); }

    // Appends a frame (taken as it is) or a picture (converted first); returns its index.
    int add(std::unique_ptr<TGIFSubImage> frame);
    int add(const QImage& image);

    // The picture's palette (see the rules in gif_picture.cpp); raises "No global or local
    // color table defined" when asked again while it is being worked out.
    QList<QRgb> palette();
    void setPalette(const QList<QRgb>& palette);
    // Frames are dithered to the web-safe palette when gdDither is set and either
    // gdAutoDither is off or the screen shows at most 256 colours.
    bool ditherFrames() const;

    // A frame as an 8-bit bitmap (its own palette, or the web-safe one when dithering),
    // built on first use and cached in the frame; and its transparency mask (1 bit, set
    // where the pixel is the transparent index; null when no pixel is).
    QImage frameBitmap(int index);
    QImage frameMask(int index);
    // Frame `index` drawn into `rect`: scaled from the logical screen, or with tile
    // repeated at its own size from its own position across the rectangle.
    void drawFrame(QPainter& painter, const QRect& rect, int index, bool transparent, bool tile);

    // Frame 0, or the animation (see the steps in gif_picture.cpp). Never throws: what
    // cannot be drawn is reported through OnCodecWarning.
    void draw(QPainter& painter, const QRect& rect) override;

    // Clipboard: the GIF stream under the "GIF Image" format plus the rendered bitmap.
    void loadFromClipboard(const QMimeData& data) override;
    void saveToClipboard(QMimeData& data) override;
    // Through the application's clipboard.
    void copyToClipboard();
    void pasteFromClipboard();

    void Warning(const void* sender, int severity, const std::string& message) override;

    // Shrinks and simplifies a multi-frame picture without changing what it shows.
    void Optimise(TGIFOptimizeOptions options, TColorReduction method = reNone, TDitherMode dither = dtNearest,
                  int reductionBits = 8);

    // ---- painters
    // Stops every animation of the picture; the next draw starts from frame 0.
    void stopDrawing();
    TGIFPainter* currentPainter() const { return currentPainter_; }
    int painterCount() const { return int(painters_.size()); }
    void setClock(std::shared_ptr<AnimationClock> clock) { clock_ = std::move(clock); }
    AnimationClock& clock() { return *clock_; }
    // The colour areas are cleared with during animation.
    QColor effectiveBackgroundColor() const;

    // Unit-level: the screen shows at most 256 colours (read once at registration).
    static bool paletteDevice;

protected:
    void changed() override;

private:
    friend class TGIFPainter;
    void drawSteps(QPainter& painter, const QRect& rect);
    void painterEnded(TGIFPainter* painter);
    void reapPainters();
    QList<QRgb> framePalette(const TGIFSubImage& frame) const;
    void growScreenToFrames();
    gifcolour::ReductionOptions reductionOptions() const;
    QRectF screenRect() const;

    std::vector<std::unique_ptr<TGIFPainter>> painters_;
    TGIFPainter* currentPainter_ = nullptr;
    QImage bitmap_;
    bool bitmapFromPainter_ = false;  // bitmap_ is what an animation left
    std::optional<QList<QRgb>> palette_;
    bool drawing_ = false;
    bool paletteQuery_ = false;
    std::shared_ptr<AnimationClock> clock_;
    std::unique_ptr<QObject> context_;  // owns queued calls that must die with the picture
};

// The clipboard format of GIF pictures (a format named "GIF Image").
const QString& gifClipboardFormat();

// Registers the GIF picture for the extension "GIF" ("GIF Image") and its clipboard format,
// and reads the screen's colour depth. Called once at start-up, after the application
// object exists.
void registerGIFPicture();
void unregisterGIFPicture();
