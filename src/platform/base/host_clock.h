#pragma once

#include <chrono>

namespace velmar {

// The one source of time. `now()` is monotonic host time in seconds, used for fades, ramps,
// pacing and timeouts; `wallNow()` is calendar time, used for log stamps, file names and file
// ages. Everything that reads time takes a HostClock so that tests can drive it.
class HostClock {
  public:
    virtual ~HostClock() = default;
    virtual double now() const = 0;
    virtual std::chrono::system_clock::time_point wallNow() const = 0;

    // CLOCK_MONOTONIC and the system clock.
    static HostClock& system();
};

}  // namespace velmar
