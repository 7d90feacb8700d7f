#include "render/frame_pacer.h"

#include "platform/base/host_clock.h"

#include <cmath>

namespace velmar {

double FramePacer::queryTime(double p) {
    const HostClock& clock = clock_ != nullptr ? *clock_ : HostClock::system();
    return queryTime(clock.now(), p);
}

double FramePacer::queryTime(double now, double p) {
    if (p <= 0) {
        ideal = 0;
        return now;
    }
    if (p != period) {
        ideal = now;
        period = p;
        return now;
    }
    if (ideal <= 0) {
        ideal = now;
        return now;
    }
    double steps = std::round((now - ideal) / p);  // halves away from zero
    if (steps <= 1) steps = 1;
    const double target = ideal + p * steps;
    const double error = now - target;
    if (!(std::fabs(error) < p / 2)) {  // also when the error is not a number
        ideal = now;
        return now;
    }
    ideal = target + 0.05 * error;
    return ideal;
}

}  // namespace velmar
