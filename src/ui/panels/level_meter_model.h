#pragma once

#include <QString>

#include <array>

namespace velmar {

// The arithmetic of the two-channel sample-peak meter: dB of a linear level, the 48 segments
// from -58.75 dB to 0 dB in steps of 1.25 dB, the readout and the scale. Allocates nothing but
// the readout text, so the 0.1 s repaint stays cheap.
class LevelMeterModel {
  public:
    static constexpr int kSegmentCount = 48;
    enum class Zone { green, yellow, red };

    // min(20 log10 level, 0); minus infinity for a level that is not finite or not above 0.
    static double decibels(float level);
    // (i + 1) * 1.25 - 60 dB.
    static double threshold(int segment);
    static Zone zone(int segment);
    static bool isLit(int segment, double dB, bool isIdle);
    // How many segments are lit (they light from the left).
    static int litCount(double dB, bool isIdle);
    // "--" when idle, "-∞" for minus infinity, else "%.0f" (so "-0" stays).
    static QString readout(double dB, bool isIdle);
    // Red from -3 dB up, while the meter runs.
    static bool isReadoutRed(double dB, bool isIdle);

    // Scale marks in dB, left to right.
    static const std::array<int, 8>& scaleMarks();
    // x of a mark in a scale area of width w, and the centre of its label, kept inside.
    static double markX(double dB, double w);
    static double labelX(double dB, double w);
};

}  // namespace velmar
