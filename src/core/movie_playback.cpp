#include "core/movie_playback.h"

#include "platform/base/main_thread.h"

#include <QFile>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {
// The rate to run at when play is wanted: the desired one, 1 where it is 0.
float runningRate(float desired) {
    return desired == 0.0f ? 1.0f : desired;
}
}  // namespace

std::shared_ptr<MoviePlayback> MoviePlayback::create(const QString& path, bool muted, int loopCount,
                                                     HostClock& clock) {
    auto playback = std::make_shared<MoviePlayback>(Token{}, path, muted, loopCount, clock);
    playback->start();
    return playback;
}

MoviePlayback::MoviePlayback(Token, const QString& path, bool muted, int loopCount,
                             HostClock& clock)
    : clock_(clock), path_(path), healthWindowStart_(clock.now()), muted_(muted) {
    loopCount_ = playsRemaining_ = std::max(0, loopCount);
}

void MoviePlayback::start() {
    // The player reports on its own thread; every event is carried to the main thread and
    // dropped there when this object is gone.
    std::weak_ptr<MoviePlayback> weak = weak_from_this();
    MoviePlayer::Callbacks callbacks;
    callbacks.statusChanged = [weak](MoviePlayer::Status status) {
        if (status == MoviePlayer::Status::Failed) {
            postToMain([weak] {
                if (auto self = weak.lock()) self->handleFailure();
            });
            return;
        }
        if (status != MoviePlayer::Status::ReadyToPlay) return;
        postToMain([weak] {
            if (auto self = weak.lock()) self->prepare();
        });
    };
    callbacks.reachedEnd = [weak] {
        postToMain([weak] {
            if (auto self = weak.lock()) self->handleReachedEnd();
        });
    };
    callbacks.looped = [weak] {
        postToMain([weak] {
            if (auto self = weak.lock()) self->handleLooped();
        });
    };
    MoviePlayer::Options options;
    options.muted = muted_;
    player_ = std::make_shared<MoviePlayer>(QFile::encodeName(path_).toStdString(), clock_,
                                            std::move(callbacks), options);
    audioLevel_.install(player_);
    handLoopsToPlayer();
    prepare();  // the status may be known already
}

MoviePlayback::~MoviePlayback() {
    if (!player_) return;
    // Events still on their way find no object and do nothing.
    player_->pause();
    audioLevel_.remove();
    player_->cancelPendingPrerolls();
    // Stopping the player joins its threads: never here, as this may run on a render thread.
    MoviePlayer::release(std::move(player_));
}

void MoviePlayback::prepare() {
    if (isPrepared_ || preparing_ || !isReady()) return;
    preparing_ = true;
    std::weak_ptr<MoviePlayback> weak = weak_from_this();
    player_->seek(0.0, true, [weak](bool) {
        postToMain([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->player_->preroll([weak](bool) {
                postToMain([weak] {
                    if (auto again = weak.lock()) again->finishPreparation();
                });
            });
        });
    });
}

void MoviePlayback::finishPreparation() {
    isPrepared_ = true;
    if (wantsPlay_) player_->setRate(runningRate(desiredRate_));
}

void MoviePlayback::setFailureHandler(std::function<void()> handler) {
    failureHandler_ = std::move(handler);
    if (failed_) handleFailure();
}

void MoviePlayback::handleFailure() {
    failed_ = true;
    // Once only: the handler is taken before it runs, as it may drop this object's owner.
    auto handler = std::move(failureHandler_);
    failureHandler_ = nullptr;
    if (handler) handler();
}

void MoviePlayback::resetHealth() {
    std::lock_guard guard(healthLock_);
    healthWindowStart_ = clock_.now();
    healthFrameCount_ = 0;
    lastDeliveredSeconds_.reset();
    lastDeliveredHostTime_.reset();
}

void MoviePlayback::play() {
    resetHealth();
    wantsPlay_ = true;
    desiredRate_ = 1.0f;
    if (isReady()) player_->setRate(1.0f);
}

void MoviePlayback::pause() {
    wantsPlay_ = false;
    desiredRate_ = 0.0f;
    player_->pause();  // the player takes back the sound fed ahead (see AudioTap)
}

void MoviePlayback::setRate(float rate) {
    wantsPlay_ = rate != 0.0f;
    desiredRate_ = rate;
    player_->setRate(rate);
}

void MoviePlayback::restartFromZero() {
    std::weak_ptr<MoviePlayback> weak = weak_from_this();
    player_->seek(0.0, true, [weak](bool) {
        postToMain([weak] {
            auto self = weak.lock();
            if (self && self->wantsPlay_) self->player_->setRate(runningRate(self->desiredRate_));
        });
    });
}

void MoviePlayback::handLoopsToPlayer() {
    // The player runs on through the end by itself as often as plays are left after the
    // present one, so a loop restart needs no seek and leaves no gap in sound or pictures.
    player_->setLoopsRemaining(loopCount_ == 0 ? -1 : std::max(0, playsRemaining_ - 1));
}

void MoviePlayback::handleLooped() {
    // The player already runs the next play: count it as a restart from zero would.
    if (loopCount_ != 0) playsRemaining_ = std::max(1, playsRemaining_ - 1);
    resetHealth();
}

void MoviePlayback::rewindAndArm() {
    resetHealth();
    playsRemaining_ = loopCount_;
    handLoopsToPlayer();
    wantsPlay_ = false;
    player_->pause();
    restartFromZero();
}

void MoviePlayback::handleReachedEnd() {
    if (!wantsPlay_) return;
    if (loopCount_ != 0) {
        playsRemaining_ -= 1;
        if (playsRemaining_ < 1) return;  // rests on the last frame, still wanting play
    }
    resetHealth();
    handLoopsToPlayer();
    restartFromZero();
}

double MoviePlayback::positionSeconds() const {
    const double t = player_->currentTime();
    return std::isfinite(t) ? std::max(t, 0.0) : 0.0;
}

void MoviePlayback::setLoopCount(int count) {
    loopCount_ = playsRemaining_ = std::max(0, count);
    handLoopsToPlayer();
    const double duration = durationSeconds();
    if (wantsPlay_ && count <= 0 && duration > 0 && positionSeconds() >= duration - 0.001)
        handleReachedEnd();
}

double MoviePlayback::durationSeconds() const {
    const double d = player_->duration();
    if (!std::isfinite(d)) return 0;
    return std::max(d, 0.0);
}

double MoviePlayback::currentTimeSeconds() const {
    return positionSeconds();
}

void MoviePlayback::seek(double seconds, bool precise, std::function<void()> completion) {
    resetHealth();
    const double target = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    player_->seek(target, precise, [completion = std::move(completion)](bool) {
        if (completion) postToMain(completion);
    });
}

float MoviePlayback::shuttleBaseRate() const {
    if (!wantsPlay_) return 0.0f;
    const float r = desiredRate_;
    if (!isReady()) return r;
    const double position = positionSeconds();
    const double d = durationSeconds();
    if (r > 0 && d > 0 && position >= d - 0.05) return 0.0f;  // resting at the end
    if (r < 0 && position <= 0.05) return 0.0f;               // resting at the start
    return r;
}

void MoviePlayback::applyShuttleRate(float rate) {
    if (rate == 0.0f) {
        pause();
        return;
    }
    wantsPlay_ = true;
    desiredRate_ = rate;
    if (isReady()) player_->setRate(rate);
}

float MoviePlayback::shuttle(int direction) {
    resetHealth();
    if (direction == 0) {
        pause();
        return 0.0f;
    }
    const float base = shuttleBaseRate();
    float next = direction > 0 ? 8.0f : -8.0f;
    if (direction > 0) {
        for (float r : shuttleLadder)
            if (r > base + 0.001f) {
                next = r;
                break;
            }
    } else {
        for (auto it = std::rbegin(shuttleLadder); it != std::rend(shuttleLadder); ++it)
            if (*it < base - 0.001f) {
                next = *it;
                break;
            }
    }
    applyShuttleRate(next);
    return next;
}

float MoviePlayback::slowShuttle(int direction) {
    resetHealth();
    if (direction == 0) return wantsPlay_ ? desiredRate_.load() : 0.0f;
    long steps = std::lround(shuttleBaseRate() * 100.0f);
    steps += direction > 0 ? 10 : -10;
    steps = std::clamp(steps, -800L, 800L);
    const float rate = static_cast<float>(steps) / 100.0f;
    applyShuttleRate(rate);
    return rate;
}

void MoviePlayback::stepFrame(int direction) {
    wantsPlay_ = false;
    desiredRate_ = 0.0f;
    player_->pause();
    if (direction != 0) player_->stepByCount(direction > 0 ? 1 : -1);
}

void MoviePlayback::recordDeliveredFrame(double at) {
    if (!std::isfinite(at)) return;
    const double now = clock_.now();
    std::lock_guard guard(healthLock_);
    const double speed = std::max(std::fabs(static_cast<double>(player_->rate())), 0.1);
    if (lastDeliveredSeconds_ && measuredFPS_ > 1.0) {
        const double allowed = speed * 2.2 / measuredFPS_;
        if (std::fabs(at - *lastDeliveredSeconds_) > allowed) dropWarningUntil_ = now + 2.0;
    }
    lastDeliveredSeconds_ = at;
    lastDeliveredHostTime_ = now;
    healthFrameCount_ += 1;
    if (now - healthWindowStart_ >= 1.0) {
        measuredFPS_ = healthFrameCount_ / (now - healthWindowStart_);
        healthFrameCount_ = 0;
        healthWindowStart_ = now;
    }
}

MoviePlayback::Health MoviePlayback::health() const {
    std::lock_guard guard(healthLock_);
    return {measuredFPS_,      lastDeliveredSeconds_, lastDeliveredHostTime_,
            healthFrameCount_, healthWindowStart_,    dropWarningUntil_};
}

bool MoviePlayback::hasDropWarning() const {
    const double now = clock_.now();
    std::lock_guard guard(healthLock_);
    return now < dropWarningUntil_;
}

ImageRef MoviePlayback::currentFrameImage() const {
    PlayerVideoOutput& output = player_->videoOutput();
    VideoFrameRef frame = output.peekFrameForItemTime(output.itemTimeForHostTime(clock_.now()));
    if (!frame) return nullptr;
    // BGRA bytes with straight alpha are QImage's ARGB32 on a little-endian machine.
    const QImage view(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(),
                      QImage::Format_ARGB32);
    QImage image = view.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull()) return nullptr;
    return std::make_shared<const QImage>(std::move(image));
}

}  // namespace velmar
