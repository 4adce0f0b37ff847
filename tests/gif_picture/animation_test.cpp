// The animation: frame order, waits, loops, events and disposal, driven by a clock the test
// moves and by calling the painter's timer handler directly.
#include "picture_test_util.h"

#include <QWidget>

using namespace pictest;

namespace {

const std::vector<TGIFColor> kMap = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {10, 20, 30}};

// One 1 x 1 frame per delay, colour index i % 4.
void buildDelays(TGIFPicture& pic, const std::vector<int>& delays, int loops = -1)
{
    std::vector<FrameSpec> frames;
    for (size_t i = 0; i < delays.size(); ++i)
        frames.push_back({0, 0, 1, 1, {uint8_t(i % 4)}, delays[i]});
    build(pic, 1, 1, kMap, frames, loops);
}

// Records the events of the picture's painters as text.
struct EventLog {
    std::vector<std::string> events;
    std::vector<int> painted;
    void attach(TGIFPicture& pic)
    {
        pic.OnPaintStart = [this](TGIFPainter&) { events.push_back("start"); };
        pic.OnLoopStart = [this](TGIFPainter&) { events.push_back("loop"); };
        pic.OnFramePaint = [this](TGIFPainter& p) { events.push_back("paint " + std::to_string(p.ActiveFrame)); };
        pic.OnFramePainted = [this](TGIFPainter& p) {
            events.push_back("painted " + std::to_string(p.ActiveFrame));
            painted.push_back(p.ActiveFrame);
        };
        pic.OnPaintEnd = [this](TGIFPainter&) { events.push_back("end"); };
    }
};

struct Canvas {
    QImage image{4, 4, QImage::Format_ARGB32};
    Canvas() { image.fill(qRgb(255, 0, 255)); }
    void draw(TGIFPicture& pic, QRect rect = QRect(0, 0, 4, 4))
    {
        QPainter painter(&image);
        pic.draw(painter, rect);
    }
};

// Runs an asynchronous animation tick by tick; returns the waits it asked for, stopping
// after `limit` waits.
std::vector<int> runAsync(TGIFPicture& pic, FakeClock& clock, size_t limit = 100)
{
    std::vector<int> waits;
    TGIFPainter* painter = pic.currentPainter();
    while (painter && !painter->finished() && waits.size() < limit) {
        const int wait = painter->pendingWait();
        waits.push_back(wait);
        if (wait < 0)
            break;
        clock.advance(wait);
        painter->tick();
    }
    return waits;
}

}  // namespace

TEST(PictureAnimation, AsynchronousWaitsFollowTheDelays)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {0, 1, 5, 5000}, 2);
    EventLog log;
    log.attach(pic);
    Canvas canvas;
    canvas.draw(pic);
    ASSERT_NE(pic.currentPainter(), nullptr);
    // Frame 0 is on screen at once; then delay 0 plays as 10 and 1 as 3, in hundredths
    // times 12 ms; 5000 is kept in full by a timer-driven painter.
    EXPECT_EQ(runAsync(pic, *clock), (std::vector<int>{120, 36, 60, 60000, 120, 36, 60}));
    EXPECT_EQ(log.painted, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_EQ(log.events.front(), "start");
    EXPECT_EQ(log.events[1], "paint 0");
    EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "loop"), 1);
    EXPECT_EQ(log.events.back(), "end");
    EXPECT_EQ(pic.currentPainter(), nullptr);
    // The last frame stays as the picture's bitmap.
    EXPECT_EQ(pic.renderedBitmap().pixel(0, 0), qRgb(10, 20, 30));
}

TEST(PictureAnimation, LateFramesShortenTheNextWaitByHalfTheOvershoot)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {5, 5, 5, 5});
    Canvas canvas;
    canvas.draw(pic);
    TGIFPainter* painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->pendingWait(), 60);
    // 20 ms late: the next wait is (5 * 12 - 20 / 2) ms.
    clock->advance(80);
    painter->tick();
    EXPECT_EQ(painter->pendingWait(), 50);
    // On time again: nothing to make up.
    clock->advance(50);
    painter->tick();
    EXPECT_EQ(painter->pendingWait(), 60);
    // At speed 200 the made-up time is halved with the rest: (60 - 30 / 2) * 100 / 200.
    pic.stopDrawing();
    pic.AnimationSpeed = 200;
    canvas.draw(pic);
    painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->pendingWait(), 30);
    clock->advance(60);
    painter->tick();
    EXPECT_EQ(painter->pendingWait(), 22);
}

TEST(PictureAnimation, SpeedScalesTheWaitsAndZeroPauses)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {0, 1, 5, 5000}, 2);
    pic.AnimationSpeed = 200;
    Canvas canvas;
    canvas.draw(pic);
    EXPECT_EQ(runAsync(pic, *clock, 4), (std::vector<int>{60, 18, 30, 30000}));

    TGIFPicture paused;
    paused.setClock(clock);
    buildDelays(paused, {5, 5});
    paused.AnimationSpeed = 0;
    EventLog log;
    log.attach(paused);
    Canvas second;
    second.draw(paused);
    ASSERT_NE(paused.currentPainter(), nullptr);
    EXPECT_EQ(paused.currentPainter()->pendingWait(), -1);
    EXPECT_EQ(log.painted, std::vector<int>{0});
    // Stopped while waiting: no further frame and no event.
    paused.stopDrawing();
    EXPECT_EQ(log.events.back(), "painted 0");
    EXPECT_EQ(paused.currentPainter(), nullptr);
}

TEST(PictureAnimation, SynchronousPainterWaitsOnTheClockAndCutsLongDelays)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {0, 1, 5, 5000}, 2);
    pic.DrawOptions = pic.DrawOptions.without(gdAsync);
    EventLog log;
    log.attach(pic);
    Canvas canvas;
    canvas.draw(pic);
    // The run is over when draw returns; 5000 was cut to 1000.
    EXPECT_EQ(clock->sleeps, (std::vector<int>{12, 120, 36, 60, 12000, 120, 36, 60}));
    EXPECT_EQ(log.painted, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_EQ(log.events.back(), "end");
    EXPECT_EQ(pic.currentPainter(), nullptr);
    EXPECT_EQ(canvas.image.pixel(0, 0), qRgb(10, 20, 30));

    clock->sleeps.clear();
    pic.AnimationSpeed = 0;
    pic.stopDrawing();
    buildDelays(pic, {2, 2});
    canvas.draw(pic);
    EXPECT_EQ(clock->sleeps, (std::vector<int>{12000, 12000}));
}

TEST(PictureAnimation, LoopCounts)
{
    auto passes = [](int loops, bool async, bool endless) {
        TGIFPicture pic;
        auto clock = std::make_shared<FakeClock>();
        pic.setClock(clock);
        buildDelays(pic, {4, 4}, loops);
        if (!async)
            pic.DrawOptions = pic.DrawOptions.without(gdAsync);
        if (endless)
            pic.DrawOptions = pic.DrawOptions.with(gdLoopForever);
        int frames = 0;
        // Endless animations are ended after 40 frames.
        pic.OnFramePainted = [&](TGIFPainter&) {
            if (++frames == 40)
                pic.stopDrawing();
        };
        Canvas canvas;
        canvas.draw(pic);
        runAsync(pic, *clock, 1000);
        return frames / 2;
    };
    EXPECT_EQ(passes(-1, true, false), 1);  // no loop extension: once
    EXPECT_EQ(passes(3, true, false), 3);
    EXPECT_EQ(passes(3, false, false), 3);
    EXPECT_EQ(passes(0, true, false), 20);  // endless on a timer
    EXPECT_EQ(passes(0, false, false), 1);  // once when synchronous
    EXPECT_EQ(passes(-1, true, true), 20);
    EXPECT_EQ(passes(3, true, true), 20);
    EXPECT_EQ(passes(3, false, true), 20);
}

TEST(PictureAnimation, SingleFramesAndRepeatedDrawsStartNothingNew)
{
    TGIFPicture single;
    buildDelays(single, {7}, 0);
    Canvas canvas;
    canvas.draw(single);
    EXPECT_EQ(single.painterCount(), 0);
    EXPECT_EQ(canvas.image.pixel(3, 3), qRgb(255, 0, 0));

    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {5, 5, 5});
    std::vector<QRect> repaints;
    pic.OnRepaint = [&](TGIFPicture&, const QRect& r) { repaints.push_back(r); };
    canvas.draw(pic, QRect(0, 0, 2, 2));
    TGIFPainter* painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    clock->advance(painter->pendingWait());
    painter->tick();
    EXPECT_EQ(painter->ActiveFrame, 2);
    // Drawing again shows where the animation is without restarting it.
    canvas.draw(pic, QRect(0, 0, 2, 2));
    EXPECT_EQ(pic.currentPainter(), painter);
    EXPECT_EQ(painter->ActiveFrame, 2);
    EXPECT_EQ(pic.painterCount(), 1);
    EXPECT_EQ(canvas.image.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(repaints, (std::vector<QRect>{QRect(0, 0, 2, 2), QRect(0, 0, 2, 2)}));

    // Without gdAnimate only frame 0 is drawn.
    pic.stopDrawing();
    pic.DrawOptions = pic.DrawOptions.without(gdAnimate);
    canvas.draw(pic);
    EXPECT_EQ(pic.currentPainter(), nullptr);
    EXPECT_EQ(canvas.image.pixel(3, 3), qRgb(255, 0, 0));
}

TEST(PictureAnimation, HandlerMayChooseTheNextFrame)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {3, 3, 3});
    std::vector<int> order;
    bool jumped = false;
    pic.OnFramePainted = [&](TGIFPainter& p) {
        order.push_back(p.ActiveFrame);
        if (p.ActiveFrame == 1 && !jumped) {
            jumped = true;
            p.ActiveFrame = 0;
        }
    };
    Canvas canvas;
    canvas.draw(pic);
    runAsync(pic, *clock);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 0, 1, 2}));
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
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    pic.DrawOptions = TGIFDrawOptions{gdTransparent, gdAnimate};
    std::vector<std::pair<QRgb, QRgb>> shown;
    pic.OnFramePainted = [&](TGIFPainter& p) { shown.emplace_back(p.result().pixel(0, 0), p.result().pixel(1, 0)); };
    QImage canvas(2, 1, QImage::Format_ARGB32);
    canvas.fill(qRgb(255, 0, 255));
    {
        QPainter painter(&canvas);
        pic.draw(painter, canvas.rect());
    }
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0), dark = qRgb(10, 20, 30),
               magenta = qRgb(255, 0, 255);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], std::make_pair(red, blue));
    EXPECT_EQ(shown[1], std::make_pair(green, blue));
    // The background under the picture comes back where frame 1 was.
    EXPECT_EQ(shown[2], std::make_pair(magenta, dark));
    EXPECT_EQ(shown[3], std::make_pair(dark, blue));

    // Without gdTransparent the background is the global map's background entry.
    pic.stopDrawing();
    pic.header().setBackgroundColorIndex(2);
    pic.DrawOptions = TGIFDrawOptions{gdAnimate};
    shown.clear();
    {
        QPainter painter(&canvas);
        pic.draw(painter, canvas.rect());
    }
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[2], std::make_pair(green, dark));
    // An explicit background colour wins.
    pic.stopDrawing();
    pic.BackgroundColor = QColor(1, 2, 3);
    shown.clear();
    {
        QPainter painter(&canvas);
        pic.draw(painter, canvas.rect());
    }
    EXPECT_EQ(shown[2], std::make_pair(qRgb(1, 2, 3), dark));
}

TEST(PictureAnimation, PictureFreedByItsOwnHandler)
{
    auto clock = std::make_shared<FakeClock>();
    auto* pic = new TGIFPicture;
    pic->setClock(clock);
    buildDelays(*pic, {3, 3, 3});
    int painted = 0;
    pic->OnFramePainted = [&](TGIFPainter&) {
        if (++painted == 2)
            delete pic;
    };
    Canvas canvas;
    canvas.draw(*pic);
    TGIFPainter* painter = pic->currentPainter();
    ASSERT_NE(painter, nullptr);
    clock->advance(painter->pendingWait());
    painter->tick();  // frees the picture, then itself
    EXPECT_EQ(painted, 2);
}

namespace {

// A view as the program would have one: it draws the picture when painted and repaints
// when the animation asks.
class PictureView : public QWidget {
public:
    explicit PictureView(TGIFPicture& pic) : pic_(pic)
    {
        resize(4, 4);
        pic_.OnRepaint = [this](TGIFPicture&, const QRect& r) { update(r); };
    }
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        QPainter painter(this);
        pic_.draw(painter, rect());
    }

private:
    TGIFPicture& pic_;
};

}  // namespace

TEST(PictureAnimation, ViewRepaintsEachComposedFrame)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {5, 5, 5});
    PictureView view(pic);
    QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(2, 2), qRgb(255, 0, 0));
    TGIFPainter* painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(pic.painterCount(), 1);
    clock->advance(painter->pendingWait());
    painter->tick();
    shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(2, 2), qRgb(0, 0, 255));
    // Painting again did not start a second animation.
    EXPECT_EQ(pic.painterCount(), 1);
    EXPECT_EQ(pic.currentPainter(), painter);
}

TEST(PictureAnimation, RealClockArmsTheTimer)
{
    TGIFPicture pic;
    buildDelays(pic, {5, 5});
    Canvas canvas;
    canvas.draw(pic);
    TGIFPainter* painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_NEAR(painter->timerInterval(), 60, 5);
    pic.stopDrawing();
    EXPECT_EQ(painter->timerInterval(), -1);
}

TEST(PictureAnimation, DirectDrawComposesAtTheTargetsSize)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    // 2 x 1 screen: frame 0 red|blue, frame 1 green at the right, frame 2 dark at the left.
    build(pic, 2, 1, kMap, {{0, 0, 2, 1, {0, 1}, 5, 1}, {1, 0, 1, 1, {2}, 5, 1}, {0, 0, 1, 1, {3}, 5, 1}});
    pic.DrawOptions = pic.DrawOptions.with(gdDirectDraw);
    QImage canvas(8, 4, QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    const QRect rect(2, 1, 4, 2);
    {
        QPainter painter(&canvas);
        pic.draw(painter, rect);
    }
    TGIFPainter* painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->result().size(), rect.size());
    EXPECT_EQ(canvas.pixel(2, 1), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 2), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(0, 0, 0));
    clock->advance(painter->pendingWait());
    painter->tick();
    {
        QPainter p(&canvas);
        pic.draw(p, rect);
    }
    EXPECT_EQ(pic.currentPainter(), painter);
    EXPECT_EQ(canvas.pixel(5, 2), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(2, 1), qRgb(255, 0, 0));
}

TEST(PictureAnimation, CheckedCanvasEndsTheRunWhenTheViewGoes)
{
    TGIFPicture pic;
    auto clock = std::make_shared<FakeClock>();
    pic.setClock(clock);
    buildDelays(pic, {5, 5, 5}, 0);
    pic.DrawOptions = pic.DrawOptions.with(gdCheckCanvas);
    EventLog log;
    log.attach(pic);
    auto view = std::make_unique<PictureView>(pic);
    pic.OnCodecWarning = [](const void*, int, const std::string& m) { ADD_FAILURE() << m; };
    view->grab();
    ASSERT_GT(view->paints, 0);
    TGIFPainter* painter = pic.currentPainter();
    ASSERT_NE(painter, nullptr);
    view.reset();
    pic.OnRepaint = nullptr;
    clock->advance(painter->pendingWait());
    painter->tick();
    EXPECT_TRUE(painter->finished());
    EXPECT_EQ(log.painted, std::vector<int>{0});
}
