#pragma once

#include <functional>
#include <memory>

namespace velmar {

// A timer on the thread that made it (the main thread in practice). Destroying it stops it.
class Timer {
  public:
    virtual ~Timer() = default;
    // Starts or restarts the timer; the first firing comes one interval from now.
    virtual void start(double intervalSeconds, bool repeating) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

enum class TimerPrecision { Coarse, Precise };

// Makes timers. The system factory makes Qt timers; tests use a factory driven by a fake clock.
class TimerFactory {
  public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> makeTimer(std::function<void()> onFire,
                                             TimerPrecision precision = TimerPrecision::Coarse) = 0;

    static TimerFactory& system();
};

}  // namespace velmar
