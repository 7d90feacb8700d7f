#pragma once

#include <map>
#include <optional>

namespace velmar {

// How lit each drop guide of the strip is while the insertion point moves. A guide turning
// active or inactive eases out over 0.08 s from wherever it stands, so a guide left half-way
// fades back from there instead of jumping. Time comes from the caller (host seconds).
class ClipStripGuideFade {
  public:
    static constexpr double kSeconds = 0.08;

    // The ease-out timing curve, the cubic Bezier through (0, 0), (0.58, 1), at t in [0, 1].
    static double easeOut(double t);

    // The lit gap changed at `now`; none: no guide is lit.
    void setActive(std::optional<int> gap, double now);
    // 0 for an unlit guide up to 1 for the lit one.
    double level(int gap, double now) const;
    // Whether some guide is still on its way at `now`.
    bool isRunning(double now) const;

  private:
    struct Fade {
        double from = 0;
        double to = 0;
        double start = 0;
    };
    std::map<int, Fade> fades_;
    std::optional<int> active_;
};

}  // namespace velmar
