// Drawing and the animation: waits, loops, events and disposal, on a clock the test moves and
// by calling the painter's timer handler directly; each step of Optimise, alone and together,
// leaves what the animation shows as it was.
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

const TGIFColor kWhite{255, 255, 255}, kUnused{1, 2, 3};

// An animation with something for every step: repeated pixels, a frame that shows nothing,
// transparent borders, disposals that a covering frame makes moot, an unused transparent
// index, a comment, an unused map entry as background.
void buildRich(TGIFPicture& pic)
{
    // clang-format off
    build(pic, 4, 3, {kRed, kBlue, kGreen, kDark, kWhite, kUnused},
          {{0, 0, 4, 3, {0, 1, 2, 0, 1, 1, 2, 2, 0, 0, 1, 1}, 10, 1},
           // Mostly what frame 0 shows there; two pixels differ.
           {1, 1, 3, 2, {1, 2, 3, 0, 1, 1}, 5, 1},
           // Shows nothing.
           {0, 0, 2, 2, {3, 3, 3, 3}, 7, 1, 3},
           // A white transparent border around two pixels; restores what was before it.
           {0, 0, 4, 3, {4, 4, 4, 4, 4, 2, 0, 4, 4, 4, 4, 4}, 6, 3, 4},
           // Restores the background, but the next frame covers it entirely.
           {2, 2, 2, 1, {3, 3}, 4, 2},
           {0, 0, 4, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}, 0, 1},
           // Its transparent index shows nowhere.
           {0, 0, 1, 1, {1}, 3, 1, 2}},
          0);
    // clang-format on
    pic.header().setBackgroundColorIndex(5);
    giftest::addExtension<TGIFCommentExtension>(pic.images()[1]).comment = {"made by hand"};
}

// Optimises and checks that the animation shows what it showed before.
void optimise(TGIFPicture& pic, TGIFOptimizeOptions options)
{
    const auto before = timeline(pic);
    pic.Optimise(options);
    EXPECT_EQ(timeline(pic), before);
}

int delayOf(const TGIFSubImage& f)
{
    return f.graphicControlExtension()->delay();
}

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
    // Without a loop extension once; loop count 0 is endless on a timer but once when synchronous;
    // gdLoopForever is endless. Endless animations are ended after 40 frames, 20 passes.
    using Row = std::tuple<int, bool, bool, int>; // loops, asynchronous, gdLoopForever, passes
    for (auto [loops, async, endless, passes] : {Row{-1, true, false, 1}, Row{3, true, false, 3},
                                                 Row{3, false, false, 3}, Row{0, true, false, 20},
                                                 Row{0, false, false, 1}, Row{-1, true, true, 20},
                                                 Row{3, true, true, 20}, Row{3, false, true, 20}}) {
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
        EXPECT_EQ(frames / 2, passes) << loops << async << endless;
    }
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
}

TEST(PictureAnimation, WithoutAnimateOnlyFrame0IsDrawn)
{
    Animation a({5, 5, 5});
    a.draw(QRect(0, 0, 2, 2));
    a.tick();
    a.draw(QRect(0, 0, 2, 2));
    a.pic.stopDrawing();
    a.pic.DrawOptions = a.pic.DrawOptions.without(gdAnimate);
    a.draw();
    EXPECT_EQ(a.painter(), nullptr);
    EXPECT_EQ(a.canvas.pixel(3, 3), qRgb(255, 0, 0));
}

TEST(PictureAnimation, OnTheRealClockThePaintersTimerRunsTheWaits)
{
    Animation a({5, 5, 5});
    a.pic.setClock(defaultAnimationClock());
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

TEST(PictureAnimation, AViewRepaintsEachComposedFrame)
{
    Animation a({5, 5, 5});
    PictureView view(a.pic);
    EXPECT_EQ(view.grab().toImage().pixel(2, 2), qRgb(255, 0, 0));
    ASSERT_NE(a.painter(), nullptr);
    a.tick();
    EXPECT_EQ(view.grab().toImage().pixel(2, 2), qRgb(0, 0, 255));
}

TEST(PictureAnimation, ACheckedCanvasThatGoesEndsTheRunWithIt)
{
    Animation checked({5, 5, 5}, 0);
    checked.pic.DrawOptions = checked.pic.DrawOptions.with(gdCheckCanvas);
    auto gone = std::make_unique<PictureView>(checked.pic);
    checked.pic.OnCodecWarning = [](const void*, int, const std::string& m) { ADD_FAILURE() << m; };
    gone->grab();
    ASSERT_EQ(gone->paints, 1);
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
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(pic.renderedBitmap().pixel(0, 1), B);
}

TEST(PictureOptimise, EachStepOnARichAnimation)
{
    TGIFPicture pic;
    buildRich(pic);
    const QColor background = pic.effectiveBackgroundColor();
    optimise(pic, TGIFOptimizeOptions{opColorMaps});
    // The most used colour comes first; the background colour is still there.
    EXPECT_TRUE(pic.globalColorMap().optimized());
    EXPECT_EQ(pic.globalColorMap().data()[0], kBlue);
    EXPECT_EQ(pic.effectiveBackgroundColor(), background);

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opCleanup});
    const TGIFPictureList& frames = pic.images();
    ASSERT_EQ(frames.count(), 7);
    // The comment goes; the loop extension of frame 0 stays.
    EXPECT_EQ(frames[1].extensions().count(), 1);
    EXPECT_NE(dynamic_cast<TGIFAppExtNSLoop*>(&frames[0].extensions()[0]), nullptr);
    // Frame 4's disposal is moot: frame 5 covers it without transparency. Frame 3 keeps
    // restoring to previous (frame 4 does not cover it).
    EXPECT_EQ(frames[4].graphicControlExtension()->disposal(), dmNone);
    EXPECT_EQ(frames[3].graphicControlExtension()->disposal(), dmPrevious);
    EXPECT_EQ(frames[6].transparentIndex(), -1);
    EXPECT_FALSE(frames[6].graphicControlExtension()->transparent());

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opMerge});
    // Frame 1 had no transparency. It may borrow another frame's transparent entry of the
    // shared map only if it does not show that entry: not frame 2's dark, but frame 3's
    // white. Five of its six pixels repeat frame 0.
    EXPECT_EQ(frames[1].transparentIndex(), 4);
    EXPECT_EQ(pic.globalColorMap().count(), 6);
    EXPECT_EQ(giftest::frameData(frames[1]), (Bytes{4, 4, 3, 4, 4, 4}));

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opCrop});
    // Frame 2 showed nothing: its time went to the frame before it, 5 + 7. The former
    // frame 3 is down to its two pixels.
    ASSERT_EQ(frames.count(), 6);
    EXPECT_EQ(delayOf(frames[1]), 12);
    EXPECT_EQ((std::array{frames[2].left(), frames[2].top(), frames[2].width(), frames[2].height()}),
              (std::array{1, 1, 2, 1}));
    EXPECT_EQ(giftest::frameData(frames[2]), (Bytes{2, 0}));

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop, opReduceColors});
    EXPECT_LT(pic.images().count(), 7);
    // And it still saves and reads back the same.
    TGIFPicture back;
    back.loadFromBytes(pic.saveToBytes());
    EXPECT_EQ(timeline(back), timeline(pic));
}

TEST(PictureOptimise, MergeAddsATransparentEntryWhenTheSharedOneIsShown)
{
    TGIFPicture pic;
    // Frame 0 marks green (2) transparent; frame 1 shows green, so it may not borrow it: a new
    // entry is added.
    build(pic, 2, 1, {kRed, kBlue, kGreen}, {{0, 0, 2, 1, {0, 1}, 5, 1, 2}, {0, 0, 2, 1, {0, 2}, 5, 1}});
    optimise(pic, TGIFOptimizeOptions{opMerge});
    EXPECT_EQ(pic.images()[1].transparentIndex(), 3);
    EXPECT_EQ(giftest::frameData(pic.images()[1]), (Bytes{3, 2}));
}

TEST(PictureOptimise, CropKeepsWhatClearingFramesAndTheLoopNeed)
{
    TGIFPicture pic;
    // Frame 1 restores to the background: cropping it would shrink the area cleared.
    build(pic, 3, 1, {kRed, kBlue, kGreen},
          {{0, 0, 3, 1, {0, 0, 0}, 5, 1}, {0, 0, 3, 1, {2, 1, 2}, 5, 2, 2}, {0, 0, 1, 1, {1}, 5, 1}});
    optimise(pic, TGIFOptimizeOptions{opCrop});
    EXPECT_EQ(pic.images()[1].width(), 3);
    // Frame 2 shows nothing of its own, but while it is up frame 1 has gone (to the
    // background or to what was before it); after a frame that stays, it goes and its time
    // with the frame before.
    for (int disposal : {2, 3, 1}) {
        SCOPED_TRACE(disposal);
        build(pic, 2, 1, {kRed, kBlue, kGreen},
              {{0, 0, 2, 1, {0, 0}, 5, 1},
               {0, 0, 1, 1, {1}, 5, disposal},
               {0, 0, 2, 1, {2, 2}, 5, 1, 2},
               {1, 0, 1, 1, {1}, 5, 1}});
        optimise(pic, TGIFOptimizeOptions{opCrop});
        ASSERT_EQ(pic.images().count(), disposal == 1 ? 3 : 4);
        EXPECT_EQ(delayOf(pic.images()[1]), disposal == 1 ? 10 : 5);
    }
    // Frame 0 shows nothing: it goes, the loop extension moves to the new frame 0 and its
    // time to the last frame.
    build(pic, 2, 1, {kRed, kBlue, kGreen},
          {{0, 0, 2, 1, {2, 2}, 8, 1, 2}, {0, 0, 2, 1, {0, 1}, 5, 1}, {0, 0, 1, 1, {1}, 5, 1}}, 3);
    const auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCrop});
    ASSERT_EQ(pic.images().count(), 2);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&pic.images()[0].extensions()[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loops, 3);
    EXPECT_EQ(delayOf(pic.images()[1]), 13);
    // The canvas alone was on show first; from there on everything is as before.
    const auto after = timeline(pic);
    ASSERT_EQ(before.size(), after.size() + 1);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_TRUE(before[i + 1].image == after[i].image) << i;
}

TEST(PictureOptimise, ARefusedCombinationChangesNothing)
{
    TGIFPicture pic;
    build(pic, 1, 1, {kRed, kBlue}, {{0, 0, 1, 1, {1}}, {0, 0, 1, 1, {0}}});
    EXPECT_EQ(giftest::raisedBy([&] { pic.Optimise(TGIFOptimizeOptions{opReduceColors}, reCustomPalette); }),
              "Invalid reduction method");
    EXPECT_EQ(pic.images().count(), 2);
    pic.Optimise(TGIFOptimizeOptions{opReduceColors, opCleanup}, reCustomPalette);
}

TEST(PictureOptimise, AnEmptyPictureStaysEmpty)
{
    TGIFPicture empty;
    empty.Optimise(TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop});
    EXPECT_TRUE(empty.isEmpty());
}
