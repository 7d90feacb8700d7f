#pragma once

#include <QString>

#include <array>

namespace velmar {

// The maths of the PROGRAM output fader. The position p is a gain law (gain p squared), so the
// level shown is 40 log10(p) dB. A stored position outside 0...1, or NaN, is drawn clamped (NaN
// as 0); writing it back is AppState's business.
class OutputFaderModel {
  public:
    // 40 log10(min(p, 1)) for p > 0; minus infinity for 0, negatives and NaN.
    static double decibels(double position);
    // "%+.1f", or "-∞".
    static QString readout(double position);
    // Orange below -0.05 dB (minus infinity included).
    static bool isReadoutOrange(double position);
    // The position as drawn: clamped to 0...1, NaN as 0.
    static double shownPosition(double position);
    // Marks at 0, -6, -12, -20 and -40 dB.
    static const std::array<int, 5>& marks();
    // x of the position whose level is dB, on a track of width w: w * 10^(dB / 40).
    static double markX(double dB, double w);
    // Fill width and knob centre (kept 5 inside each end) on a track of width w.
    static double fillWidth(double position, double w);
    static double knobCenter(double position, double w);
    // The position under x on a track of width w: clamp(x / w, 0, 1).
    static double positionAt(double x, double w);
    // What the meter multiplies movie levels by: the shown position squared.
    static double gain(double position);
};

}  // namespace velmar
