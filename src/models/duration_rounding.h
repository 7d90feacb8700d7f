#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

namespace velmar {

// The one rule by which a motion duration typed by the operator becomes a stored one: 0.1 s for
// anything at or below 0.1, else the value limited to 5.0 s and rounded to hundredths, halves
// away from zero (std::round). Nothing for a value that is not finite, which changes nothing.
inline std::optional<double> roundedMotionDuration(double seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    if (seconds <= 0.1) return 0.1;
    return std::round(std::min(seconds, 5.0) * 100.0) / 100.0;
}

}  // namespace velmar
