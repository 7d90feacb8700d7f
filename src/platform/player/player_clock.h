#pragma once

#include "platform/base/host_clock.h"

#include <atomic>
#include <mutex>

namespace velmar {

// Maps host time to item time: item = anchorItem + (host - anchorHost) * rate, clamped to
// 0 ... limit (end unknown: no upper clamp). A rate change re-anchors at the present position, so
// it takes effect at once. Thread-safe; `tryItemTime` never waits (audio thread).
//
// Seamless looping: the clock runs on an unwrapped timeline. Each pass added with `addPass`
// moves the limit one item duration further, so the clock runs on through the end into the
// next pass without stopping; `displayTime` folds an unwrapped time back into 0 ... end. Without
// passes both timelines are the same. A seek (`setTime`) or `collapse` drops the passes.
class PlayerClock {
  public:
    explicit PlayerClock(HostClock& host) : host_(host) {}

    // Unwrapped time (see above): what the frame queue, the audio ring and renderers use.
    double itemTime() const { return itemTimeAt(host_.now()); }
    double itemTimeAt(double hostTime) const;
    // False when the clock is being changed at this moment.
    bool tryItemTimeAt(double hostTime, double* item) const;
    float rate() const { return rate_.load(); }

    void setRate(float rate);
    // Jumps to `item` (0 ... end), keeping the rate; drops the passes.
    void setTime(double item);
    // Adds a pass after the present ones; needs a known end above 0. Returns its start.
    double addPass();
    int passes() const;
    // The pass an unwrapped time falls in (0 without passes).
    int passAt(double unwrapped) const;
    // An unwrapped time folded into the item: 0 ... end.
    double displayTime(double unwrapped) const;
    // Re-anchors at the present position folded into the item, drops the passes and returns it.
    double collapse();
    // The unwrapped time at which the clock stops: end plus one duration per pass (below 0: none).
    double limit() const;
    // Stops at `item` (rate 0).
    void stopAt(double item);
    void setEnd(double end);
    double end() const;
    double hostNow() const { return host_.now(); }

  private:
    double positionLocked(double hostTime) const;
    double limitLocked() const { return end_ >= 0 ? end_ * (passes_ + 1) : -1; }
    int passAtLocked(double unwrapped) const;

    HostClock& host_;
    mutable std::mutex mutex_;
    double anchorHost_ = 0;
    double anchorItem_ = 0;
    double end_ = -1;  // below 0: unknown
    int passes_ = 0;   // passes added after the first; each one item duration long
    std::atomic<float> rate_{0.0f};
};

}  // namespace velmar
