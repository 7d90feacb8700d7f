#include "platform/player/player_clock.h"

#include <algorithm>
#include <cmath>

namespace velmar {

double PlayerClock::positionLocked(double hostTime) const {
    double t = anchorItem_ + (hostTime - anchorHost_) * static_cast<double>(rate_.load());
    if (end_ >= 0) t = std::min(t, limitLocked());
    return std::max(t, 0.0);
}

int PlayerClock::passAtLocked(double unwrapped) const {
    if (passes_ == 0 || !(end_ > 0)) return 0;
    const double pass = std::floor(unwrapped / end_);
    return static_cast<int>(std::clamp(pass, 0.0, static_cast<double>(passes_)));
}

double PlayerClock::itemTimeAt(double hostTime) const {
    std::lock_guard lock(mutex_);
    return positionLocked(hostTime);
}

bool PlayerClock::tryItemTimeAt(double hostTime, double* item) const {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    *item = positionLocked(hostTime);
    return true;
}

void PlayerClock::setRate(float rate) {
    std::lock_guard lock(mutex_);
    const double now = host_.now();
    anchorItem_ = positionLocked(now);
    anchorHost_ = now;
    rate_ = rate;
}

void PlayerClock::setTime(double item) {
    std::lock_guard lock(mutex_);
    passes_ = 0;
    anchorHost_ = host_.now();
    anchorItem_ = std::max(item, 0.0);
    if (end_ >= 0) anchorItem_ = std::min(anchorItem_, end_);
}

void PlayerClock::stopAt(double item) {
    std::lock_guard lock(mutex_);
    anchorHost_ = host_.now();
    anchorItem_ = std::max(item, 0.0);
    rate_ = 0.0f;
}

double PlayerClock::addPass() {
    std::lock_guard lock(mutex_);
    if (!(end_ > 0)) return -1;
    ++passes_;
    return end_ * passes_;
}

int PlayerClock::passes() const {
    std::lock_guard lock(mutex_);
    return passes_;
}

int PlayerClock::passAt(double unwrapped) const {
    std::lock_guard lock(mutex_);
    return passAtLocked(unwrapped);
}

double PlayerClock::displayTime(double unwrapped) const {
    std::lock_guard lock(mutex_);
    if (passes_ == 0 || !(end_ > 0)) return unwrapped;
    return std::clamp(unwrapped - end_ * passAtLocked(unwrapped), 0.0, end_);
}

double PlayerClock::collapse() {
    std::lock_guard lock(mutex_);
    const double now = host_.now();
    double t = positionLocked(now);
    if (passes_ > 0 && end_ > 0) t = std::clamp(t - end_ * passAtLocked(t), 0.0, end_);
    passes_ = 0;
    anchorHost_ = now;
    anchorItem_ = t;
    return t;
}

double PlayerClock::limit() const {
    std::lock_guard lock(mutex_);
    return limitLocked();
}

void PlayerClock::setEnd(double end) {
    std::lock_guard lock(mutex_);
    end_ = end;
}

double PlayerClock::end() const {
    std::lock_guard lock(mutex_);
    return end_;
}

}  // namespace velmar
