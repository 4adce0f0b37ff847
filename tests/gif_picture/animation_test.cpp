// Drawing and the animation: waits, loops, events and disposal, on a clock the test moves and
// by calling the painter's timer handler directly.
#include "picture_test_util.h"

#include <QWidget>

using namespace pictest;

namespace {

const QRgb R = qRgb(255, 0, 0), B = qRgb(0, 0, 255), G = qRgb(0, 255, 0), D = qRgb(10, 20, 30),
           W = qRgb(255, 255, 255);

// A picture of 1 x 1 frames, one per delay in colour index i % 4, on a clock the test moves,
// with its painters' events recorded: Start, Loop, Paint, painted, End.
struct Animation {
    TGIFPicture pic;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::string events;
    std::vector<int> painted;
    QImage canvas{4, 4, QImage::Format_ARGB32};

    explicit Animation(const std::vector<int>& delays, int loops = -1)
    {
        pic.setClock(clock);
        std::vector<FrameSpec> frames;
        for (size_t i = 0; i < delays.size(); ++i)
            frames.push_back({0, 0, 1, 1, {uint8_t(i % 4)}, delays[i]});
        build(pic, 1, 1, kMap, frames, loops);
        pic.OnPaintStart = [this](TGIFPainter&) { events += 'S'; };
        pic.OnLoopStart = [this](TGIFPainter&) { events += 'L'; };
        pic.OnFramePaint = [this](TGIFPainter&) { events += 'P'; };
        pic.OnFramePainted = [this](TGIFPainter& p) { events += 'p', painted.push_back(p.ActiveFrame); };
        pic.OnPaintEnd = [this](TGIFPainter&) { events += 'E'; };
        canvas.fill(qRgb(255, 0, 255));
    }
    void draw(QRect rect = QRect(0, 0, 4, 4))
    {
        QPainter painter(&canvas);
        pic.draw(painter, rect);
    }
    TGIFPainter* painter() { return pic.currentPainter(); }
    void tick()
    {
        clock->advance(painter()->pendingWait());
        painter()->tick();
    }
    // Runs an asynchronous animation tick by tick; returns the waits asked for, at most `limit`.
    std::vector<int> run(size_t limit = 100)
    {
        std::vector<int> waits;
        for (TGIFPainter* p = painter(); p && !p->finished() && waits.size() < limit;) {
            waits.push_back(p->pendingWait());
            if (waits.back() < 0)
                break;
            clock->advance(waits.back());
            p->tick();
        }
        return waits;
    }
};

// A view as the program would have one: it draws the picture when painted and repaints
// when the animation asks.
struct PictureView : QWidget {
    TGIFPicture& pic;
    int paints = 0;
    explicit PictureView(TGIFPicture& shown) : pic(shown)
    {
        resize(4, 4);
        pic.OnRepaint = [this](TGIFPicture&, const QRect& r) { update(r); };
    }
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        QPainter painter(this);
        pic.draw(painter, rect());
    }
};

} // namespace

TEST(PictureAnimation, WaitsFollowTheDelaysScaledByTheSpeed)
{
    // Frame 0 is on screen at once; then delay 0 plays as 10 and 1 as 3, in hundredths times 12 ms;
    // 5000 is kept in full by a timer-driven painter and cut to 1000 by a synchronous one, which
    // also waits before frame 0. Speed 0 waits endlessly, or 1000 each when synchronous.
    const std::vector<int> delays{0, 1, 5, 5000}, twice{0, 1, 2, 3, 0, 1, 2, 3};
    const std::string looped = "SPpPpPpPpLPpPpPpPpE";
    struct Row {
        bool async;
        int speed;
        std::vector<int> delays, waits, painted;
        std::string events;
    };
    const Row rows[] = {
        {true, 100, delays, {120, 36, 60, 60000, 120, 36, 60}, twice, looped},
        {true, 200, delays, {60, 18, 30, 30000, 60, 18, 30}, twice, looped},
        {false, 100, delays, {12, 120, 36, 60, 12000, 120, 36, 60}, twice, looped},
        {false, 0, {2, 2}, {12000, 12000}, {0, 1}, "SPpPpE"},
        {true, 0, {5, 5}, {-1}, {0}, "SPp"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.speed) + (r.async ? " async" : " sync"));
        Animation a(r.delays, r.delays.size() == 4 ? 2 : -1);
        a.pic.AnimationSpeed = r.speed;
        if (!r.async)
            a.pic.DrawOptions = a.pic.DrawOptions.without(gdAsync);
        a.draw();
        EXPECT_EQ(r.async ? a.run() : a.clock->sleeps, r.waits);
        EXPECT_EQ(a.painted, r.painted);
        // The last frame stays as the picture's bitmap.
        if (r.waits.back() > 0) {
            EXPECT_EQ(a.pic.renderedBitmap().pixel(0, 0), rgbOf(kMap[r.delays.size() - 1]));
        }
        // Stopped while waiting: no further frame and no event.
        a.pic.stopDrawing();
        EXPECT_EQ(a.events, r.events);
        EXPECT_EQ(a.painter(), nullptr);
    }
}

TEST(PictureAnimation, LateFramesShortenTheNextWaitByHalfTheOvershoot)
{
    // 20 ms late: the next wait is (5 * 12 - 20 / 2) ms; on time again, nothing to make up. At
    // speed 200 the made-up time is halved with the rest: (60 - 30 / 2) * 100 / 200.
    using Row = std::tuple<int, int, std::vector<int>>; // speed, ms late, waits
    for (const auto& [speed, late, waits] : {Row{100, 20, {60, 50, 60}}, Row{200, 30, {30, 22, 30}}}) {
        Animation a({5, 5, 5, 5});
        a.pic.AnimationSpeed = speed;
        a.draw();
        ASSERT_NE(a.painter(), nullptr);
        std::vector<int> got{a.painter()->pendingWait()};
        a.clock->advance(got[0] + late);
        a.painter()->tick();
        got.push_back(a.painter()->pendingWait());
        a.tick();
        got.push_back(a.painter()->pendingWait());
        EXPECT_EQ(got, waits) << speed;
    }
}

TEST(PictureAnimation, LoopCounts)
{
    // Endless animations are ended after 40 frames.
    auto passes = [](int loops, bool async, bool endless) {
        Animation a({4, 4}, loops);
        if (!async)
            a.pic.DrawOptions = a.pic.DrawOptions.without(gdAsync);
        if (endless)
            a.pic.DrawOptions = a.pic.DrawOptions.with(gdLoopForever);
        int frames = 0;
        a.pic.OnFramePainted = [&](TGIFPainter&) {
            if (++frames == 40)
                a.pic.stopDrawing();
        };
        a.draw();
        a.run(1000);
        return frames / 2;
    };
    EXPECT_EQ(passes(-1, true, false), 1); // no loop extension: once
    EXPECT_EQ(passes(3, true, false), 3);
    EXPECT_EQ(passes(3, false, false), 3);
    EXPECT_EQ(passes(0, true, false), 20); // endless on a timer
    EXPECT_EQ(passes(0, false, false), 1); // once when synchronous
    EXPECT_EQ(passes(-1, true, true), 20);
    EXPECT_EQ(passes(3, true, true), 20);
    EXPECT_EQ(passes(3, false, true), 20);
}

TEST(PictureAnimation, SingleFramesAndRepeatedDrawsStartNothingNew)
{
    Animation single({7}, 0);
    single.draw();
    EXPECT_EQ(single.pic.painterCount(), 0);
    EXPECT_EQ(single.canvas.pixel(3, 3), qRgb(255, 0, 0));
    // Drawing again shows where the animation is without restarting it; each frame asks for
    // a repaint of the rectangle drawn on.
    Animation a({5, 5, 5});
    std::vector<QRect> repaints;
    a.pic.OnRepaint = [&](TGIFPicture&, const QRect& r) { repaints.push_back(r); };
    a.draw(QRect(0, 0, 2, 2));
    a.tick();
    a.draw(QRect(0, 0, 2, 2));
    EXPECT_EQ(a.painter()->ActiveFrame, 2);
    EXPECT_EQ(a.pic.painterCount(), 1);
    EXPECT_EQ(a.canvas.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(repaints, (std::vector<QRect>{QRect(0, 0, 2, 2), QRect(0, 0, 2, 2)}));
    // Without gdAnimate only frame 0 is drawn.
    a.pic.stopDrawing();
    a.pic.DrawOptions = a.pic.DrawOptions.without(gdAnimate);
    a.draw();
    EXPECT_EQ(a.painter(), nullptr);
    EXPECT_EQ(a.canvas.pixel(3, 3), qRgb(255, 0, 0));
    // On the real clock the painter's timer runs the waits.
    a.pic.setClock(defaultAnimationClock());
    a.pic.DrawOptions = a.pic.DrawOptions.with(gdAnimate);
    a.draw();
    TGIFPainter* painter = a.painter();
    EXPECT_NEAR(painter->timerInterval(), 60, 5);
    a.pic.stopDrawing();
    EXPECT_EQ(painter->timerInterval(), -1);
}

TEST(PictureAnimation, HandlersMayChooseTheNextFrameOrFreeThePicture)
{
    Animation a({3, 3, 3});
    bool jumped = false;
    a.pic.OnFramePainted = [&](TGIFPainter& p) {
        a.painted.push_back(p.ActiveFrame);
        if (p.ActiveFrame == 1 && !std::exchange(jumped, true))
            p.ActiveFrame = 0;
    };
    a.draw();
    a.run();
    EXPECT_EQ(a.painted, (std::vector<int>{0, 1, 0, 1, 2}));
    auto* freed = new Animation({3, 3, 3});
    int painted = 0;
    freed->pic.OnFramePainted = [&](TGIFPainter&) {
        if (++painted == 2)
            delete freed;
    };
    freed->draw();
    ASSERT_NE(freed->painter(), nullptr);
    freed->tick(); // frees the picture, then its painter
    EXPECT_EQ(painted, 2);
}

TEST(PictureAnimation, DisposalRestoresBackgroundAndPrevious)
{
    TGIFPicture pic;
    // f0 red|blue; f1 green at left, then back to background; f2 dark at right, then back
    // to what was before it; f3 dark at left.
    build(pic, 2, 1, kMap,
          {{0, 0, 2, 1, {0, 1}, 5, 1},
           {0, 0, 1, 1, {2}, 5, 2},
           {1, 0, 1, 1, {3}, 5, 3},
           {0, 0, 1, 1, {3}, 5, 1}});
    auto shown = [&](TGIFDrawOptions options, int i) {
        return rowOf(timeline(pic, qRgb(255, 0, 255), options)[i].image, 0);
    };
    const TGIFDrawOptions transparent{gdTransparent, gdAnimate}, opaque{gdAnimate};
    EXPECT_EQ(shown(transparent, 0), (std::vector<QRgb>{R, B}));
    EXPECT_EQ(shown(transparent, 1), (std::vector<QRgb>{G, B}));
    // The background under the picture comes back where frame 1 was.
    EXPECT_EQ(shown(transparent, 2), (std::vector<QRgb>{qRgb(255, 0, 255), D}));
    EXPECT_EQ(shown(transparent, 3), (std::vector<QRgb>{D, B}));
    // Without gdTransparent the background is the global map's background entry; an
    // explicit background colour wins.
    pic.header().setBackgroundColorIndex(2);
    EXPECT_EQ(shown(opaque, 2), (std::vector<QRgb>{G, D}));
    pic.BackgroundColor = QColor(1, 2, 3);
    EXPECT_EQ(shown(opaque, 2), (std::vector<QRgb>{qRgb(1, 2, 3), D}));
}

TEST(PictureAnimation, ViewRepaintsEachComposedFrameAndACheckedCanvasEndsTheRunWithIt)
{
    Animation a({5, 5, 5});
    PictureView view(a.pic);
    EXPECT_EQ(view.grab().toImage().pixel(2, 2), qRgb(255, 0, 0));
    ASSERT_NE(a.painter(), nullptr);
    a.tick();
    EXPECT_EQ(view.grab().toImage().pixel(2, 2), qRgb(0, 0, 255));

    Animation checked({5, 5, 5}, 0);
    checked.pic.DrawOptions = checked.pic.DrawOptions.with(gdCheckCanvas);
    auto gone = std::make_unique<PictureView>(checked.pic);
    checked.pic.OnCodecWarning = [](const void*, int, const std::string& m) { ADD_FAILURE() << m; };
    gone->grab();
    ASSERT_GT(gone->paints, 0);
    TGIFPainter* painter = checked.painter();
    ASSERT_NE(painter, nullptr);
    gone.reset();
    checked.pic.OnRepaint = nullptr;
    checked.tick();
    EXPECT_TRUE(painter->finished());
    EXPECT_EQ(checked.painted, std::vector<int>{0});
}

TEST(PictureAnimation, DirectDrawComposesAtTheTargetsSize)
{
    Animation a({});
    // 2 x 1 screen: frame 0 red|blue, frame 1 green at the right, frame 2 dark at the left.
    build(a.pic, 2, 1, kMap, {{0, 0, 2, 1, {0, 1}, 5, 1}, {1, 0, 1, 1, {2}, 5, 1}, {0, 0, 1, 1, {3}, 5, 1}});
    a.pic.DrawOptions = a.pic.DrawOptions.with(gdDirectDraw);
    a.canvas = QImage(8, 4, QImage::Format_ARGB32);
    a.canvas.fill(Qt::black);
    const QRect rect(2, 1, 4, 2);
    a.draw(rect);
    TGIFPainter* painter = a.painter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->result().size(), rect.size());
    EXPECT_EQ(a.canvas.pixel(2, 1), qRgb(255, 0, 0));
    EXPECT_EQ(a.canvas.pixel(5, 2), qRgb(0, 0, 255));
    EXPECT_EQ(a.canvas.pixel(1, 1), qRgb(0, 0, 0));
    a.tick();
    a.draw(rect);
    EXPECT_EQ(a.painter(), painter);
    EXPECT_EQ(a.canvas.pixel(5, 2), qRgb(0, 255, 0));
    EXPECT_EQ(a.canvas.pixel(2, 1), qRgb(255, 0, 0));
}

TEST(PictureDrawing, FrameScaledFromTheScreenOrTiledFromItsPosition)
{
    TGIFPicture pic;
    // Screen 4 x 2; the frame is the right half: red blue / blue red. Scaled by 2 into
    // (1, 1, 8, 4), it covers x 5..8, y 1..4; the rest of the rectangle is untouched.
    build(pic, 4, 2, kMap, {{2, 0, 2, 2, {0, 1, 1, 0}}});
    QImage out = paint(pic, QSize(10, 6), QRect(1, 1, 8, 4), W);
    const std::vector<QRgb> top{W, W, W, W, W, R, R, B, B, W}, bottom{W, W, W, W, W, B, B, R, R, W};
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(rowOf(out, y), y == 0 || y == 5 ? std::vector<QRgb>(10, W) : y < 3 ? top : bottom) << y;
    // An empty rectangle and an empty picture draw nothing.
    EXPECT_EQ(paint(pic, QSize(4, 4), QRect(), W).pixel(0, 0), W);
    TGIFPicture none;
    EXPECT_EQ(paint(none, QSize(4, 4), QRect(0, 0, 4, 4), W).pixel(0, 0), W);
    // A 2 x 1 frame (red, blue) at (1, 0) of a 3 x 1 screen, tiled over (1, 0, 6, 3): the
    // first copy at the frame's place, the last cut at the rectangle.
    build(pic, 3, 1, kMap, {{1, 0, 2, 1, {0, 1}}});
    pic.DrawOptions = pic.DrawOptions.with(gdTile);
    out = paint(pic, QSize(8, 4), QRect(1, 0, 6, 3), W);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(rowOf(out, y), (std::vector<QRgb>{W, W, R, B, R, B, R, W})) << y;
    EXPECT_EQ(out.pixel(3, 3), W);
}

TEST(PictureDrawing, TransparencyGoesThroughTheMask)
{
    TGIFPicture pic;
    build(pic, 2, 2, kMap, {{0, 0, 2, 2, {0, 3, 3, 1}, 0, 0, 3}});
    const QImage mask = pic.frameMask(0);
    ASSERT_FALSE(mask.isNull());
    EXPECT_EQ(mask.format(), QImage::Format_Mono);
    EXPECT_EQ(mask.constScanLine(0)[0] & 0xC0, 0x40);
    EXPECT_EQ(mask.constScanLine(1)[0] & 0xC0, 0x80);
    EXPECT_EQ(paint(pic, QSize(2, 2), QRect(0, 0, 2, 2), W).pixel(1, 0), W);
    pic.DrawOptions = pic.DrawOptions.without(gdTransparent);
    EXPECT_EQ(paint(pic, QSize(2, 2), QRect(0, 0, 2, 2), W).pixel(1, 0), D);
    // A transparent index that no pixel uses gives no mask.
    build(pic, 2, 1, kMap, {{0, 0, 2, 1, {0, 1}, 0, 0, 2}});
    EXPECT_TRUE(pic.frameMask(0).isNull());
}

TEST(PictureDrawing, OwnPaletteOrWebSafeWithDithering)
{
    TGIFPicture pic;
    Bytes px(16 * 4);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t(3 * (i % 2)); // red, (10, 20, 30), red, ...
    build(pic, 16, 4, kMap, {{0, 0, 16, 4, px}});
    // On a true-colour screen the default options keep the frame's own colours.
    ASSERT_FALSE(TGIFPicture::paletteDevice);
    EXPECT_FALSE(pic.ditherFrames());
    QImage own = pic.frameBitmap(0);
    EXPECT_EQ(own.format(), QImage::Format_Indexed8);
    EXPECT_EQ(own.pixelIndex(1, 0), 3);
    EXPECT_EQ(own.color(3), D);
    EXPECT_EQ(pic.palette().size(), 4);
    // Without automatic dithering (or on a palette screen) frames go to the web-safe
    // palette through the Floyd-Steinberg ditherer.
    pic.DrawOptions = pic.DrawOptions.without(gdAutoDither);
    EXPECT_TRUE(pic.ditherFrames());
    EXPECT_EQ(pic.palette().size(), 216);
    QImage dithered = pic.frameBitmap(0);
    EXPECT_EQ(dithered.color(215), W);
    EXPECT_EQ(dithered.color(dithered.pixelIndex(0, 0)), R);
    // (10, 20, 30) becomes a mix of cube colours whose average stays close to it.
    long sumBlue = 0;
    for (int i = 1; i < 64; i += 2)
        sumBlue += qBlue(dithered.color(dithered.pixelIndex(i % 16, i / 16)));
    EXPECT_NEAR(double(sumBlue) / 32, 30.0, 15.0);
    TGIFPicture::paletteDevice = true;
    pic.DrawOptions = pic.DrawOptions.with(gdAutoDither);
    EXPECT_TRUE(pic.ditherFrames());
    TGIFPicture::paletteDevice = false;
}

TEST(PictureDrawing, RenderedBitmapAndProgress)
{
    TGIFPicture pic;
    std::vector<std::string> stages;
    pic.OnProgress = [&](const void*, TProgressStage, int, const std::string& m) { stages.push_back(m); };
    // Frame 0 does not cover the screen: the bitmap is the screen, in the palette's first
    // colour, with frame 0 at its place.
    build(pic, 3, 2, kMap, {{1, 1, 2, 1, {1, 2}}, {0, 0, 3, 2, {0, 0, 0, 0, 0, 0}}});
    QImage bitmap = pic.renderedBitmap();
    EXPECT_EQ(rowOf(bitmap, 0), (std::vector<QRgb>{R, R, R}));
    EXPECT_EQ(rowOf(bitmap, 1), (std::vector<QRgb>{R, B, G}));
    EXPECT_NE(std::find(stages.begin(), stages.end(), "Rendering..."), stages.end());
    // A change drops it.
    int changes = 0;
    pic.OnChange = [&](picture::Graphic&) { ++changes; };
    pic.images()[0].setLeft(0);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(pic.renderedBitmap().pixel(0, 1), B);
}
