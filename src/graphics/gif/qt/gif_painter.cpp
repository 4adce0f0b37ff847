#include "graphics/gif/qt/gif_painter.h"

#include <QPainter>

#include <algorithm>

TGIFPainter::TGIFPainter(TGIFPicture& image, QImage start, TGIFDrawOptions options, const void* canvas,
                         const QRect& canvasRect)
    : image_(&image),
      own_(std::move(start)),
      rect_(own_.rect()),
      options_(options),
      canvas_(canvas),
      canvasRect_(canvasRect),
      async_(options.has(gdAsync)),
      speed_(image.AnimationSpeed),
      clock_(image.clock_)
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

TGIFPainter::~TGIFPainter() { timer_.stop(); }

void TGIFPainter::detach()
{
    image_ = nullptr;
    timer_.stop();
}

void TGIFPainter::watchCanvas(QObject* view)
{
    watched_ = view;
    watching_ = view != nullptr;
}

bool TGIFPainter::canvasGone() const
{
    if (!options_.has(gdCheckCanvas) || !watching_)
        return false;
    return watched_.isNull();
}

void TGIFPainter::fire(const TGIFPainterEvent& event)
{
    if (event && !terminated_)
        event(*this);
}

void TGIFPainter::start()
{
    setUp();
    // A synchronous painter runs to its end in this call, its waits served by the clock.
    tick();
}

void TGIFPainter::tick()
{
    if (finished() || inAdvance_)
        return;
    inAdvance_ = true;
    try {
        pendingWait_ = advance();
    } catch (const std::exception& e) {
        // Called from the event loop: a frame that cannot be composed ends the run.
        if (image_)
            image_->Warning(image_, kGIFWarningSeverity, e.what());
        terminated_ = true;
        phase_ = Phase::Finish;
        pendingWait_ = advance();
    }
    if (pendingWait_ >= 0 && async_ && !clock_->manual())
        timer_.start(pendingWait_);
    leaveStep();
}

void TGIFPainter::leaveStep()
{
    inAdvance_ = false;
    if (!image_ && finished())
        delete this;
}

void TGIFPainter::stop()
{
    terminated_ = true;
    timer_.stop();
    if (inAdvance_ || finished())
        return;
    // Not inside a step: end the run now (no event fires once terminated).
    inAdvance_ = true;
    pendingWait_ = advance();
    inAdvance_ = false;
}

void TGIFPainter::setUp()
{
    background_ = image_->effectiveBackgroundColor();
    bool restoreBackground = options_.has(gdRestoreOnLoop);
    bool restorePrevious = false;
    TGIFPictureList& frames = image_->images();
    for (int i = 0; i < frames.count(); ++i) {
        const TGIFGraphicControlExtension* gce = frames[i].graphicControlExtension();
        const TDisposalMethod d = gce ? gce->disposal() : dmNoDisposal;
        restoreBackground = restoreBackground || d == dmBackground;
        restorePrevious = restorePrevious || d == dmPrevious;
    }
    if (restoreBackground && options_.has(gdTransparent))
        backgroundBitmap_ = own_.copy();
    if (restoreBackground || restorePrevious) {
        useBuffers_ = true;
        frameBuffer_ = own_.copy();
        previousBuffer_ = QImage(own_.size(), own_.format());
        previousBuffer_.fill(background_);
    }
}

int TGIFPainter::computeWait(int delay)
{
    if (speed_ < 1)
        return async_ ? kEndless : 12000;
    const std::int64_t now = clock_->now();
    const std::int64_t overshoot = (now - lastTime_) - lastWait_;
    std::int64_t ms = (std::int64_t(delay) * 12 - overshoot / 2) * 100 / speed_;
    ms = std::clamp<std::int64_t>(ms, 0, 0x7FFFFFFF);
    lastTime_ = now;
    lastWait_ = ms;
    return int(ms);
}

QRect TGIFPainter::frameArea(int index)
{
    const TGIFSubImage& f = image_->images()[index];
    if (options_.has(gdTile))
        return QRect(rect_.topLeft() + QPoint(f.left(), f.top()), rect_.bottomRight());
    const qint64 sw = std::max(image_->gif::Image::width(), f.left() + f.width());
    const qint64 sh = std::max(image_->gif::Image::height(), f.top() + f.height());
    if (sw <= 0 || sh <= 0)
        return {};
    const qint64 l = rect_.left() + qint64(f.left()) * rect_.width() / sw;
    const qint64 t = rect_.top() + qint64(f.top()) * rect_.height() / sh;
    const qint64 r = rect_.left() + qint64(f.left() + f.width()) * rect_.width() / sw;
    const qint64 b = rect_.top() + qint64(f.top() + f.height()) * rect_.height() / sh;
    return QRect(int(l), int(t), int(r - l), int(b - t));
}

void TGIFPainter::restoreBackground(QImage& buffer, int index)
{
    const QRect area = index < 0 ? rect_ : frameArea(index);
    if (area.isEmpty())
        return;
    QPainter p(&buffer);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (options_.has(gdTransparent) && !backgroundBitmap_.isNull())
        p.drawImage(area, backgroundBitmap_, area);
    else
        p.fillRect(area, background_);
}

void TGIFPainter::paintFrame(int index, TDisposalMethod disposal)
{
    const bool transparent = options_.has(gdTransparent);
    const bool tile = options_.has(gdTile);
    if (!useBuffers_) {
        QPainter p(&own_);
        image_->drawFrame(p, rect_, index, transparent, tile);
        return;
    }
    // The frame buffer always holds the picture as it was before this frame.
    QImage* dest = &frameBuffer_;
    if (disposal == dmPrevious) {
        if (previousDisposal_ < dmBackground) {
            dest = &own_;
        } else {
            previousBuffer_ = frameBuffer_.copy();
            dest = &previousBuffer_;
        }
    }
    if (options_.has(gdRestoreOnLoop) && index == 0)
        restoreBackground(*dest, -1);
    {
        QPainter p(dest);
        image_->drawFrame(p, rect_, index, transparent, tile);
    }
    if (dest != &own_)
        own_ = dest->copy();
    if (disposal == dmBackground)
        restoreBackground(frameBuffer_, index);
}

int TGIFPainter::advance()
{
    for (;;) {
        switch (phase_) {
        case Phase::StartRun:
            if (!restart_ || terminated_ || !image_) {
                phase_ = Phase::Finish;
                break;
            }
            restart_ = false;
            ActiveFrame = 0;
            fire(OnPaintStart);
            loopCounter_ = 1;
            loopStart_ = 0;
            loopSeen_ = false;
            wait_ = async_ ? 0 : 1;
            previousDisposal_ = dmNoDisposal;
            lastTime_ = clock_->now();
            lastWait_ = 0;
            phase_ = Phase::StartPass;
            break;

        case Phase::StartPass:
            if ((loopCounter_ == 0 && !options_.has(gdLoopForever)) || terminated_ || restart_ || !image_) {
                phase_ = Phase::StartRun;
                break;
            }
            ActiveFrame = loopStart_;
            if (framePainted_)
                fire(OnLoopStart);
            phase_ = Phase::NextFrame;
            break;

        case Phase::NextFrame: {
            if (!image_ || terminated_ || restart_ || ActiveFrame < 0 || ActiveFrame >= image_->images().count() ||
                image_->images()[ActiveFrame].empty()) {
                phase_ = Phase::EndPass;
                break;
            }
            phase_ = Phase::PaintFrame;
            if (wait_ > 0) {
                image_->frameBitmap(ActiveFrame);
                const int ms = computeWait(wait_);
                if (async_)
                    return ms;
                clock_->sleep(std::max(ms, 1));
            }
            break;
        }

        case Phase::PaintFrame: {
            // The frame list may have changed during the wait.
            if (!image_ || terminated_ || restart_ || ActiveFrame < 0 || ActiveFrame >= image_->images().count() ||
                image_->images()[ActiveFrame].empty()) {
                phase_ = Phase::EndPass;
                break;
            }
            if (canvasGone()) {
                terminated_ = true;
                phase_ = Phase::EndPass;
                break;
            }
            fire(OnFramePaint);
            if (!image_ || terminated_ || ActiveFrame < 0 || ActiveFrame >= image_->images().count()) {
                phase_ = Phase::EndPass;
                break;
            }
            TGIFSubImage& frame = image_->images()[ActiveFrame];
            const TGIFGraphicControlExtension* gce = frame.graphicControlExtension();
            disposal_ = gce ? gce->disposal() : dmNoDisposal;
            TGIFExtensionList& list = frame.extensions();
            for (int e = 0; e < list.count() && !loopSeen_; ++e) {
                if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&list[e])) {
                    loopSeen_ = true;
                    loopCounter_ = loop->loops;
                    if (loop->loops != 0 && !options_.has(gdLoopForever)) {
                        loopStart_ = ActiveFrame;
                    } else if (async_) {
                        loopCounter_ = -1;
                        loopStart_ = ActiveFrame;
                    }
                }
            }
            paintFrame(ActiveFrame, disposal_);
            previousDisposal_ = disposal_;
            framePainted_ = true;
            wait_ = gce && gce->delay() != 0 ? gce->delay() : 10;
            wait_ = std::max(wait_, 3);
            if (!async_ && wait_ > 1000)
                wait_ = 1000;
            if (image_->OnRepaint)
                image_->OnRepaint(*image_, canvasRect_);
            const int painted = ActiveFrame;
            fire(OnFramePainted);
            if (ActiveFrame == painted)
                ++ActiveFrame;
            phase_ = options_.has(gdAnimate) ? Phase::NextFrame : Phase::EndPass;
            break;
        }

        case Phase::EndPass:
            if (loopCounter_ > 0)
                --loopCounter_;
            phase_ = options_.has(gdAnimate) && options_.has(gdLoop) ? Phase::StartPass : Phase::StartRun;
            break;

        case Phase::Finish:
            ActiveFrame = -1;
            fire(OnPaintEnd);
            phase_ = Phase::Done;
            timer_.stop();
            if (image_)
                image_->painterEnded(this);
            return kNoWait;

        case Phase::Done:
            return kNoWait;
        }
    }
}
