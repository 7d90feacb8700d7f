#include "core/dsk_controller.h"

#include "core/movie_playback.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"

#include <QPointer>

#include <cmath>

namespace velmar {

double DSKController::Snapshot::level(double hostTime) const {
    if (!(duration > 0)) return to;
    double p = (hostTime - started) / duration;
    if (!(p > 0)) p = 0;  // also NaN
    if (p > 1) p = 1;
    return from + (to - from) * p;
}

namespace {

DSKController::Services withClock(HostClock& clock, TimerFactory& timers) {
    DSKController::Services services = DSKController::Services::standard();
    services.clock = &clock;
    services.timers = &timers;
    return services;
}

}  // namespace

DSKController::DSKController(HostClock& clock, TimerFactory& timers, QObject* parent)
    : DSKController(withClock(clock, timers), parent) {}

DSKController::DSKController(Services services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      clock_(*services_.clock),
      timers_(*services_.timers) {}

DSKController::~DSKController() {
    cancelLoadTask();
    finishTimer_.reset();
}

DSKController::Snapshot DSKController::snapshot() const {
    std::lock_guard lock(lock_);
    return state_;
}

void DSKController::setIsActive(bool active) {
    if (active == isActive_) return;
    isActive_ = active;
    emit isActiveChanged(active);
}

void DSKController::setIsTransitioning(bool transitioning) {
    if (transitioning == isTransitioning_) return;
    isTransitioning_ = transitioning;
    emit isTransitioningChanged(transitioning);
}

void DSKController::setIsLoading(bool loading) {
    if (loading == isLoading_) return;
    isLoading_ = loading;
    emit isLoadingChanged(loading);
}

void DSKController::setMedia(std::optional<PlayoutMedia> media) {
    if (!media && !media_) return;  // nothing to nothing: no change to publish
    media_ = std::move(media);
    emit mediaChanged();
}

void DSKController::setErrorMessage(std::optional<QString> message) {
    if (message == errorMessage_) return;
    errorMessage_ = std::move(message);
    emit errorMessageChanged();
}

void DSKController::setSources(std::optional<QUrl> sourceURL, QList<QUrl> sourceURLs,
                               int selectedIndex) {
    if (sourceURL == sourceURL_ && sourceURLs == sourceURLs_ && selectedIndex == selectedIndex_) {
        return;
    }
    sourceURL_ = std::move(sourceURL);
    sourceURLs_ = std::move(sourceURLs);
    selectedIndex_ = selectedIndex;
    emit sourcesChanged();
}

void DSKController::resetSnapshot() {
    std::lock_guard lock(lock_);
    state_ = Snapshot{};
}

void DSKController::pauseMovie() {
    if (media_ && media_->isMovie()) media_->asMovie()->playback->pause();
}

void DSKController::transition(double target, double duration) {
    finishTimer_.reset();

    if (target > 0 && !isActive_) {
        // Keying in from the unkeyed state restarts a movie and starts new content.
        if (media_ && media_->isMovie()) {
            const auto& playback = media_->asMovie()->playback;
            playback->rewindAndArm();
            playback->play();
        }
        std::lock_guard lock(lock_);
        state_.generation = QUuid::createUuid();
    }

    const double d = (std::isfinite(duration) && duration > 0) ? duration : 0.0;
    double present = 0;
    {
        std::lock_guard lock(lock_);
        present = state_.level(clock_.now());
        state_.from = present;
        state_.to = target;
        state_.started = clock_.now();
        state_.duration = d;
    }

    setIsTransitioning(d > 0);
    setIsActive((d > 0 && !(target > 0)) ? present > 0 : target > 0);

    if (d != 0) {
        QPointer<DSKController> self(this);
        finishTimer_ = timers_.makeTimer([self, target] {
            if (self) self->finishTransition(target);
        });
        finishTimer_->start(d, false);
    } else if (target == 0) {
        pauseMovie();
    }
}

void DSKController::finishTransition(double target) {
    setIsTransitioning(false);
    setIsActive(target > 0);
    if (target == 0) pauseMovie();
    // The timer that called us is released on the next turn of the event loop, not inside its
    // own callback.
    if (finishTimer_) finishTimer_->stop();
}

void DSKController::cut() {
    if (!media_ || isLoading_) return;
    const Snapshot copy = snapshot();
    const double target = isTransitioning_ ? copy.to : (isActive_ ? 0.0 : 1.0);
    transition(target, 0);
}

void DSKController::fade(double duration) {
    if (!media_ || isLoading_ || isTransitioning_) return;
    transition(isActive_ ? 0.0 : 1.0, duration);
}

void DSKController::clear() {
    cancelLoadTask();
    loadID_ = QUuid::createUuid();
    transition(0, 0);
    setMedia(std::nullopt);
    setSources(std::nullopt, {}, 0);
    setErrorMessage(std::nullopt);
    setIsLoading(false);
    resetSnapshot();
}

void DSKController::setLoops(bool loops) {
    if (loops != loops_) {
        loops_ = loops;
        emit loopsChanged(loops);
    }
    if (media_ && media_->isMovie()) media_->asMovie()->playback->setLoopCount(loops ? 0 : 1);
}

}  // namespace velmar
