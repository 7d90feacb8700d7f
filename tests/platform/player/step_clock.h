#pragma once

#include "platform/base/host_clock.h"

#include <atomic>

namespace velmar::test {

// A host clock that moves only when the test says so, safe to read from the player's threads.
class StepClock final : public HostClock {
public:
    double now() const override { return now_.load(); }
    std::chrono::system_clock::time_point wallNow() const override {
        return std::chrono::system_clock::time_point{};
    }
    void advance(double seconds) { now_ = now_.load() + seconds; }

private:
    std::atomic<double> now_{1000.0};
};

}  // namespace velmar::test
