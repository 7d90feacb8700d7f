#include "platform/base/timer.h"

#include <QTimer>

#include <cmath>

namespace velmar {
namespace {

class QtTimer final : public Timer {
  public:
    QtTimer(std::function<void()> onFire, TimerPrecision precision) : onFire_(std::move(onFire)) {
        timer_.setTimerType(precision == TimerPrecision::Precise ? Qt::PreciseTimer
                                                                 : Qt::CoarseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { onFire_(); });
    }
    void start(double intervalSeconds, bool repeating) override {
        timer_.setSingleShot(!repeating);
        const double ms = std::max(0.0, intervalSeconds * 1000.0);
        timer_.start(static_cast<int>(std::lround(std::min(ms, 2.0e9))));
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

  private:
    std::function<void()> onFire_;
    QTimer timer_;
};

class QtTimerFactory final : public TimerFactory {
  public:
    std::unique_ptr<Timer> makeTimer(std::function<void()> onFire,
                                     TimerPrecision precision) override {
        return std::make_unique<QtTimer>(std::move(onFire), precision);
    }
};

}  // namespace

TimerFactory& TimerFactory::system() {
    static QtTimerFactory factory;
    return factory;
}

}  // namespace velmar
