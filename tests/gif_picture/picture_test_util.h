#pragma once
// Shared helpers of the picture tests: frames built in memory, a clock the test drives, and
// the composed timeline of an animation.
#include "gif_codec/gif_test_util.h"
#include "graphics/gif/qt/gif_painter.h"
#include "graphics/gif/qt/gif_picture.h"

#include <QPainter>

namespace pictest {

using giftest::Bytes;

// Time only moves when the animation waits; every wait is recorded.
class FakeClock : public AnimationClock {
public:
    std::int64_t now() override { return now_; }
    void sleep(int ms) override
    {
        sleeps.push_back(ms);
        now_ += ms;
    }
    bool manual() const override { return true; }
    void advance(int ms) { now_ += ms; }
    std::vector<int> sleeps;

private:
    std::int64_t now_ = 1000;
};

struct FrameSpec {
    int left = 0, top = 0, width = 1, height = 1;
    Bytes pixels; // width * height indices
    int delay = -1; // no graphic control extension when -1 and no transparency
    int disposal = 0;
    int transparent = -1;
};

const TGIFColor kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 255, 0}, kDark{10, 20, 30};
const std::vector<TGIFColor> kMap = {kRed, kBlue, kGreen, kDark};

// A picture of the given screen and global map with the frames in `frames`.
inline void build(TGIFPicture& pic, int screenWidth, int screenHeight,
                  const std::vector<TGIFColor>& globalMap, const std::vector<FrameSpec>& frames,
                  int loops = -1)
{
    pic.clear();
    pic.header().setWidth(screenWidth);
    pic.header().setHeight(screenHeight);
    for (const TGIFColor& c : globalMap)
        pic.globalColorMap().addEntry(c);
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameSpec& s = frames[i];
        auto f = std::make_unique<TGIFSubImage>(&pic);
        f->setBounds(s.left, s.top, s.width, s.height);
        std::copy(s.pixels.begin(), s.pixels.end(), f->data());
        if (i == 0 && loops >= 0)
            giftest::addExtension<TGIFAppExtNSLoop>(*f).loops = loops;
        if (s.delay >= 0 || s.transparent >= 0 || s.disposal != 0) {
            auto& gce = giftest::addExtension<TGIFGraphicControlExtension>(*f);
            gce.setDelay(std::max(s.delay, 0));
            gce.setDisposal(TDisposalMethod(s.disposal));
            if (s.transparent >= 0) {
                gce.setTransparentColorIndex(s.transparent);
                gce.setTransparent(true);
            }
        }
        pic.add(std::move(f));
    }
}

inline QByteArray qbytes(const Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// The picture drawn into `rect` of a canvas of `size` filled with `fill`.
inline QImage paint(TGIFPicture& pic, QSize size, QRect rect, QRgb fill = qRgb(255, 0, 255))
{
    QImage canvas(size, QImage::Format_ARGB32);
    canvas.fill(fill);
    {
        QPainter painter(&canvas);
        pic.draw(painter, rect);
    }
    return canvas;
}

inline std::vector<QRgb> rowOf(const QImage& image, int y)
{
    std::vector<QRgb> row;
    for (int x = 0; x < image.width(); ++x)
        row.push_back(image.pixel(x, y));
    return row;
}

// One composed picture of the animation and when it appeared.
struct Shown {
    std::int64_t at;
    QImage image;
    bool operator==(const Shown&) const = default;
};

// Plays the picture once, synchronously, on a canvas of the screen's size in `canvasColor`;
// returns what was shown, repeats of an unchanged picture folded into the first.
inline std::vector<Shown> timeline(TGIFPicture& pic, QRgb canvasColor = qRgb(255, 0, 255),
                                   TGIFDrawOptions options = TGIFDrawOptions{gdTransparent, gdAnimate})
{
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    const TGIFDrawOptions saved = std::exchange(pic.DrawOptions, options);
    std::vector<Shown> shown;
    pic.OnFramePainted = [&](TGIFPainter& p) {
        QImage img = p.result().convertToFormat(QImage::Format_ARGB32);
        if (shown.empty() || shown.back().image != img)
            shown.push_back({clock->now(), img});
    };
    paint(pic, QSize(pic.width(), pic.height()), QRect(0, 0, pic.width(), pic.height()), canvasColor);
    pic.OnFramePainted = nullptr;
    pic.DrawOptions = saved;
    pic.stopDrawing();
    pic.setClock(defaultAnimationClock());
    return shown;
}

inline QRgb rgbOf(const TGIFColor& c)
{
    return qRgb(c.red, c.green, c.blue);
}

} // namespace pictest
