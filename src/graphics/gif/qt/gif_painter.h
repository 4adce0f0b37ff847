#pragma once
// One animation run of a GIF picture on one target. It runs on the GUI thread: an
// asynchronous painter is a timer that composes the next frame into an image and asks for a
// repaint; a synchronous one runs to its end inside draw(), waiting on the picture's clock.

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <cstdint>
#include <memory>

#include "graphics/gif/qt/gif_picture.h"

class TGIFPainter {
public:
    // Composes into an image of its own that starts as `start`. `canvas` and `canvasRect`
    // only identify where the caller shows it, for reuse checks.
    TGIFPainter(TGIFPicture& image, QImage start, TGIFDrawOptions options, const void* canvas,
                const QRect& canvasRect);
    TGIFPainter(const TGIFPainter&) = delete;
    TGIFPainter& operator=(const TGIFPainter&) = delete;
    ~TGIFPainter();

    TGIFPicture* image() const { return image_; }
    TGIFDrawOptions options() const { return options_; }
    // -1 outside a run. An OnFramePainted handler may set it to jump.
    int ActiveFrame = -1;
    const void* canvas() const { return canvas_; }
    QRect canvasRect() const { return canvasRect_; }
    // What the painter has composed so far.
    const QImage& result() const { return own_; }

    // Asynchronous: paints the first frame now and schedules the next; synchronous: runs
    // the whole animation before returning.
    void start();
    // Ends the run at the next step; nothing more is painted and no event fires.
    void stop();
    // The timer's handler: the wait is over, paint the next frame.
    void tick();
    // The wait scheduled now, in milliseconds: -1 endless (speed 0), -2 none.
    int pendingWait() const { return pendingWait_; }
    // The interval the painter's timer is running with, -1 when it is not running.
    int timerInterval() const { return timer_.isActive() ? timer_.interval() : -1; }
    bool terminated() const { return terminated_; }
    bool finished() const { return phase_ == Phase::Done; }
    // True while the painter runs one of its steps (and its event handlers).
    bool inStep() const { return inAdvance_; }
    // Called by the picture when it goes away first.
    void detach();
    // With gdCheckCanvas the run ends once this object (the view drawn on) is gone.
    void watchCanvas(QObject* view);

    TGIFPainterEvent OnPaintStart;
    TGIFPainterEvent OnLoopStart;
    TGIFPainterEvent OnFramePaint;
    TGIFPainterEvent OnFramePainted;
    TGIFPainterEvent OnPaintEnd;

private:
    enum class Phase { StartRun, StartPass, NextFrame, PaintFrame, EndPass, Finish, Done };
    static constexpr int kNoWait = -2;
    static constexpr int kEndless = -1;

    // Runs the state machine until it must wait; returns the wait (ms, kEndless) or kNoWait
    // when the run is over.
    int advance();
    int computeWait(int delay);
    void fire(const TGIFPainterEvent& event);
    void setUp();
    void paintFrame(int index, TDisposalMethod disposal);
    bool canvasGone() const;
    void restoreBackground(QImage& buffer, int index);
    QRect frameArea(int index);
    // Leaves a step; a painter whose picture went away meanwhile frees itself.
    void leaveStep();

    TGIFPicture* image_;
    QImage own_;
    QRect rect_;
    TGIFDrawOptions options_;
    const void* canvas_;
    QRect canvasRect_;
    bool async_;
    int speed_;
    QColor background_;
    std::shared_ptr<AnimationClock> clock_;

    // Run state.
    Phase phase_ = Phase::StartRun;
    bool restart_ = true;
    bool terminated_ = false;
    bool framePainted_ = false;
    bool loopSeen_ = false;
    int loopCounter_ = 0;
    int loopStart_ = 0;
    int wait_ = 0;  // hundredths of a second before the next frame
    TDisposalMethod disposal_ = dmNoDisposal;
    TDisposalMethod previousDisposal_ = dmNoDisposal;
    std::int64_t lastTime_ = 0;
    std::int64_t lastWait_ = 0;
    int pendingWait_ = kNoWait;
    bool inAdvance_ = false;

    // Buffers, only when the disposals need them.
    bool useBuffers_ = false;
    QImage frameBuffer_;
    QImage previousBuffer_;
    QImage backgroundBitmap_;

    QTimer timer_;
    QPointer<QObject> watched_;
    bool watching_ = false;
};
