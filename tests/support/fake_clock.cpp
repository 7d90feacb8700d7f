#include "support/fake_clock.h"

#include <cmath>
#include <limits>

namespace velmar::test {

class FakeClock::FakeTimer final : public Timer {
  public:
    FakeTimer(FakeClock& clock, long id) : clock_(clock), id_(id) {}
    ~FakeTimer() override { clock_.entries_.erase(id_); }

    void start(double intervalSeconds, bool repeating) override {
        Entry& e = clock_.entries_.at(id_);
        e.interval = std::max(0.0, intervalSeconds);
        e.repeating = repeating;
        e.dueAt = clock_.now_.load() + e.interval;
        e.active = true;
    }
    void stop() override { clock_.entries_.at(id_).active = false; }
    bool isActive() const override { return clock_.entries_.at(id_).active; }

  private:
    FakeClock& clock_;
    long id_;
};

FakeClock::FakeClock(double wallSecondsSinceEpoch)
    : wallOffset_(wallSecondsSinceEpoch - now_.load()) {}

FakeClock::~FakeClock() = default;

std::chrono::system_clock::time_point FakeClock::wallNow() const {
    const double wall = now_.load() + wallOffset_.load();
    return std::chrono::system_clock::time_point(
        std::chrono::round<std::chrono::microseconds>(std::chrono::duration<double>(wall)));
}

void FakeClock::setWallTime(double secondsSinceEpoch) {
    wallOffset_ = secondsSinceEpoch - now_.load();
}

std::unique_ptr<Timer> FakeClock::makeTimer(std::function<void()> onFire, TimerPrecision) {
    const long id = nextId_++;
    entries_[id] = Entry{std::move(onFire)};
    return std::make_unique<FakeTimer>(*this, id);
}

int FakeClock::activeTimerCount() const {
    int n = 0;
    for (const auto& [id, e] : entries_) n += e.active ? 1 : 0;
    return n;
}

void FakeClock::advance(double seconds) {
    const double target = now_.load() + std::max(0.0, seconds);
    for (;;) {
        long dueId = 0;
        double dueAt = std::numeric_limits<double>::infinity();
        for (const auto& [id, e] : entries_) {
            if (e.active && e.dueAt <= target + 1e-12 && e.dueAt < dueAt) {
                dueAt = e.dueAt;
                dueId = id;
            }
        }
        if (dueId == 0) break;
        Entry& e = entries_.at(dueId);
        now_ = std::max(now_.load(), dueAt);
        if (e.repeating && e.interval > 0) {
            e.dueAt += e.interval;
        } else {
            e.active = false;
        }
        // Copy: the callback may destroy or restart its own timer.
        auto fire = e.onFire;
        fire();
    }
    now_ = target;
}

}  // namespace velmar::test
