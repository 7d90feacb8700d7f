#pragma once

#include "platform/base/host_clock.h"
#include "platform/base/timer.h"

#include <atomic>
#include <map>
#include <memory>

namespace velmar::test {

// A clock and timer factory that move only when the test says so. advance() fires every timer
// that falls due on the way, in time order, with now() set to each timer's due time while it
// runs, so a 1/120 s fade timer ticks exactly as often as it would in real time.
class FakeClock final : public HostClock, public TimerFactory {
  public:
    // Host time starts at 1000 s; wall time at the given seconds since the epoch.
    explicit FakeClock(double wallSecondsSinceEpoch = 1'767'225'600.0);  // 2026-01-01 00:00 UTC
    ~FakeClock() override;

    // Readable from any thread (players and renderers read the clock on their own threads);
    // advance() and the timers belong to the test's thread.
    double now() const override { return now_.load(); }
    std::chrono::system_clock::time_point wallNow() const override;

    std::unique_ptr<Timer> makeTimer(std::function<void()> onFire,
                                     TimerPrecision precision = TimerPrecision::Coarse) override;

    void advance(double seconds);
    void setWallTime(double secondsSinceEpoch);
    int activeTimerCount() const;

  private:
    struct Entry {
        std::function<void()> onFire;
        double dueAt = 0;
        double interval = 0;
        bool repeating = false;
        bool active = false;
    };
    class FakeTimer;

    std::atomic<double> now_{1000.0};
    std::atomic<double> wallOffset_{0};  // wall seconds = now_ + wallOffset_
    long nextId_ = 1;
    std::map<long, Entry> entries_;
};

}  // namespace velmar::test
