#include "platform/base/host_clock.h"

#include <time.h>

namespace velmar {
namespace {

class SystemClock final : public HostClock {
  public:
    double now() const override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    std::chrono::system_clock::time_point wallNow() const override {
        return std::chrono::system_clock::now();
    }
};

}  // namespace

HostClock& HostClock::system() {
    static SystemClock clock;
    return clock;
}

}  // namespace velmar
