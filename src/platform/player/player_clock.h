#pragma once

#include "platform/base/host_clock.h"

#include <atomic>
#include <mutex>

namespace velmar {

// Maps host time to item time: item = anchorItem + (host - anchorHost) * rate, clamped to
// 0 ... end (end unknown: no upper clamp). A rate change re-anchors at the present position, so
// it takes effect at once. Thread-safe; `tryItemTime` never waits (audio thread).
class PlayerClock {
public:
    explicit PlayerClock(HostClock& host) : host_(host) {}

    double itemTime() const { return itemTimeAt(host_.now()); }
    double itemTimeAt(double hostTime) const;
    // False when the clock is being changed at this moment.
    bool tryItemTimeAt(double hostTime, double* item) const;
    float rate() const { return rate_.load(); }

    void setRate(float rate);
    // Jumps to `item`, keeping the rate.
    void setTime(double item);
    // Stops at `item` (rate 0).
    void stopAt(double item);
    void setEnd(double end);
    double end() const;
    double hostNow() const { return host_.now(); }

private:
    double positionLocked(double hostTime) const;

    HostClock& host_;
    mutable std::mutex mutex_;
    double anchorHost_ = 0;
    double anchorItem_ = 0;
    double end_ = -1;  // below 0: unknown
    std::atomic<float> rate_{0.0f};
};

}  // namespace velmar
