#include "platform/player/player_clock.h"

#include <algorithm>

namespace velmar {

double PlayerClock::positionLocked(double hostTime) const {
    double t = anchorItem_ + (hostTime - anchorHost_) * static_cast<double>(rate_.load());
    if (end_ >= 0) t = std::min(t, end_);
    return std::max(t, 0.0);
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

void PlayerClock::setEnd(double end) {
    std::lock_guard lock(mutex_);
    end_ = end;
}

double PlayerClock::end() const {
    std::lock_guard lock(mutex_);
    return end_;
}

}  // namespace velmar
