#include "ui/rundown/clip_strip_guide_fade.h"

#include <algorithm>

namespace velmar {

double ClipStripGuideFade::easeOut(double t) {
    if (!(t > 0)) return 0;
    if (t >= 1) return 1;
    // x(u) = 3(1-u)u^2 * 0.58 + u^3 grows with u: find u for x = t by bisection, then y(u).
    auto bezier = [](double u, double p1, double p2) {
        const double v = 1 - u;
        return 3 * v * v * u * p1 + 3 * v * u * u * p2 + u * u * u;
    };
    double lo = 0, hi = 1;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (bezier(mid, 0, 0.58) < t ? lo : hi) = mid;
    }
    return bezier((lo + hi) / 2, 0, 1);
}

void ClipStripGuideFade::setActive(std::optional<int> gap, double now) {
    if (gap == active_) return;
    // Settled unlit guides need no entry.
    for (auto it = fades_.begin(); it != fades_.end();) {
        const bool settled = it->second.to == 0 && now - it->second.start >= kSeconds;
        it = settled ? fades_.erase(it) : std::next(it);
    }
    if (active_) fades_[*active_] = {level(*active_, now), 0, now};
    if (gap) fades_[*gap] = {level(*gap, now), 1, now};
    active_ = gap;
}

double ClipStripGuideFade::level(int gap, double now) const {
    const auto it = fades_.find(gap);
    if (it == fades_.end()) return 0;
    const Fade& f = it->second;
    return f.from + (f.to - f.from) * easeOut((now - f.start) / kSeconds);
}

bool ClipStripGuideFade::isRunning(double now) const {
    return std::any_of(fades_.begin(), fades_.end(),
                       [now](const auto& entry) { return now - entry.second.start < kSeconds; });
}

}  // namespace velmar
