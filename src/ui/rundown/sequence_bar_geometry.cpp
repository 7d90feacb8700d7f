#include "ui/rundown/sequence_bar_geometry.h"

#include <algorithm>
#include <cmath>

namespace velmar {

double SequenceBarGeometry::nearest(double v) {
    return std::round(v);  // halves away from zero
}

double SequenceBarGeometry::unit() const {
    return (clipCount > 0 && width > 0) ? width / clipCount : 0;
}

int SequenceBarGeometry::cursorIndex(std::optional<int> scrub, int selectedIndex) const {
    if (scrub) return *scrub;
    if (!hasTab) return 0;
    return std::clamp(selectedIndex, 0, std::max(clipCount, 0));
}

SequenceBarGeometry::Span SequenceBarGeometry::section(const BarSection& s) const {
    const double u = unit();
    const double x0 = nearest(u * s.start);
    const double x1 = nearest(u * (s.start + s.count));
    double w = x1 - x0;
    if (w <= 1) w = 1;
    return {rightToLeft ? width - x0 - w : x0, w};
}

bool SequenceBarGeometry::isCurrent(const BarSection& s, bool tabHasMarkers, int cursor) {
    return tabHasMarkers && s.start <= cursor && cursor < s.start + s.count;
}

double SequenceBarGeometry::playheadX(int cursor) const {
    const double u = unit();
    double x = 0;
    if (hasTab && clipCount > 0 && u > 0) x = cursor >= clipCount ? width : u * (cursor + 0.5);
    return rightToLeft ? width - x : x;
}

std::optional<SequenceBarGeometry::ProgramMark> SequenceBarGeometry::programMark(
    std::optional<int> programIndex) const {
    if (!programIndex || clipCount < 1) return std::nullopt;
    const double u = unit();
    const double wp = std::max(u, 2.0);
    const double x = nearest(u * *programIndex);
    const double xt = x + wp / 2 - 1;
    if (rightToLeft) return ProgramMark{{width - x - wp, wp}, width - xt - kTickWidth};
    return ProgramMark{{x, wp}, xt};
}

std::optional<int> SequenceBarGeometry::scrubIndex(double x) const {
    const double u = unit();
    if (u <= 0 || clipCount < 1 || !std::isfinite(x)) return std::nullopt;
    const double local = rightToLeft ? width - x : x;
    const double index = std::trunc(local / u);
    return static_cast<int>(std::clamp(index, 0.0, static_cast<double>(clipCount)));
}

}  // namespace velmar
