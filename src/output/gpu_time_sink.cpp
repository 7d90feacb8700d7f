#include "output/gpu_time_sink.h"

#include <cmath>

namespace velmar {

GpuTimeSink& GpuTimeSink::shared() {
    static GpuTimeSink sink;
    return sink;
}

void GpuTimeSink::record(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds)) return;
    std::lock_guard lock(lock_);
    seconds_ = 0.15 * seconds + 0.85 * seconds_;
}

double GpuTimeSink::seconds() const {
    std::lock_guard lock(lock_);
    return seconds_;
}

}  // namespace velmar
