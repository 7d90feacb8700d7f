#include "ui/panels/transport_bar_presenter.h"

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {
// Clock texts beyond this many seconds show this (keeps the integer conversion defined).
constexpr double kMaxClockSeconds = 1e12;
}  // namespace

void TransportBarPresenter::setMovie(std::shared_ptr<TransportMovie> movie) {
    if (movie == movie_) return;
    movie_ = std::move(movie);
    if (scrubbing_ || scrubSeconds_) {
        scrubbing_ = false;
        scrubMovie_.reset();
        scrubSeconds_.reset();
    }
}

void TransportBarPresenter::pauseMovie() {
    movie_->setWantsPlay(false);
    movie_->setDesiredRate(0);
    movie_->pausePlayer();
}

void TransportBarPresenter::cueToStart() {
    if (movie_) movie_->seek(0, true);
}

void TransportBarPresenter::stepFrame(int direction) {
    if (movie_) {
        pauseMovie();
        movie_->stepFrame(direction);
    }
    rate_ = 0;
}

void TransportBarPresenter::playPause() {
    if (movie_ && movie_->playerRate() != 0) {
        pauseMovie();
        rate_ = 0;
        return;
    }
    if (movie_) {
        const float r = rate_ != 0 ? rate_ : 1.0f;
        movie_->setWantsPlay(true);
        movie_->setDesiredRate(r);
        movie_->setPlayerRate(r);
    }
    if (rate_ == 0) rate_ = 1.0f;
}

void TransportBarPresenter::chooseRate(double r) {
    rate_ = float(r);
    if (!movie_) return;
    movie_->setWantsPlay(r != 0);
    movie_->setDesiredRate(float(r));
    movie_->setPlayerRate(float(r));
}

void TransportBarPresenter::beginScrub() {
    if (movie_) pauseMovie();
    rate_ = 0;
    scrubbing_ = true;
    scrubMovie_ = movie_;
}

void TransportBarPresenter::scrubTo(double seconds) {
    if (!scrubbing_) return;  // the scrub ended with a change of medium
    scrubSeconds_ = seconds;
    auto movie = scrubMovie_.lock();
    if (movie && movie == movie_) movie->seek(seconds, false);
}

void TransportBarPresenter::endScrub() {
    auto movie = scrubMovie_.lock();
    if (scrubbing_ && scrubSeconds_ && movie && movie == movie_) movie->seek(*scrubSeconds_, true);
    scrubbing_ = false;
    scrubMovie_.reset();
    scrubSeconds_.reset();
}

bool TransportBarPresenter::isRunning() const {
    return movie_ && movie_->playerRate() != 0;
}

QString TransportBarPresenter::playPauseSymbol() const {
    return isRunning() ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
}

QString TransportBarPresenter::playPauseHelpKey() const {
    return isRunning() ? QStringLiteral("一時停止") : QStringLiteral("再生");
}

QString TransportBarPresenter::chipLabel(double r) {
    if (r == 1.0) return QStringLiteral("1x");
    return QString::asprintf("%.2gx", r);
}

bool TransportBarPresenter::isChipHighlighted(double r) const {
    return std::fabs(double(rate_) - r) < 0.001 && isRunning();
}

double TransportBarPresenter::sliderMaximum() const {
    const double d = movie_ ? movie_->durationSeconds() : 1.0;
    return std::max(std::isfinite(d) ? d : 0.0, 0.1);
}

double TransportBarPresenter::sliderValue() const {
    if (scrubSeconds_) return *scrubSeconds_;
    if (!movie_) return 0;
    const double t = movie_->currentTimeSeconds();
    return std::isfinite(t) ? std::max(t, 0.0) : 0.0;
}

QString TransportBarPresenter::positionText() const {
    if (!movie_) return QStringLiteral("--:-- / --:--");
    return clock(sliderValue()) + QStringLiteral(" / ") + clock(movie_->durationSeconds());
}

QString TransportBarPresenter::clock(double seconds) {
    const double t = std::isfinite(seconds) ? std::clamp(seconds, 0.0, kMaxClockSeconds) : 0.0;
    const auto n = static_cast<long long>(t);
    return QString::asprintf("%02lld:%02lld", n / 60, n % 60);
}

}  // namespace velmar
