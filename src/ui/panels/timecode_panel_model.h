#pragma once

#include "core/reference_tone_kind.h"
#include "models/frame_rate.h"

#include <QString>

namespace velmar {

// The figures of the timecode panel: the timecode text, the movie's duration and time left, the
// sizes that follow the panel's width, and the labels of the reference tones.
class TimecodePanelModel {
  public:
    // Times beyond this many seconds are shown as this (about 31 700 years).
    static constexpr double kMaxSeconds = 1e12;
    // Nominal frame counts beyond this are cut here before any integer conversion.
    static constexpr double kMaxNominalFPS = 1e6;

    // The frames per second counted: timeScale / frameDuration, or 60 when frameDuration is
    // below 1 or the quotient is not a positive finite number.
    static double framesPerSecond(const FrameRate& rate);
    // "HH:MM:SS:FF": elapsed time (hours not wrapped) and the frame within the second at the
    // actual rate, capped below the nominal (rounded-up) rate. Negative or non-finite seconds
    // count as 0.
    static QString timecode(double seconds, const FrameRate& rate);
    // A raw duration as the panel counts it: not finite or negative is 0.
    static double durationSeconds(double rawDuration);
    // Time left: the duration when the current time is not finite or not above 0, else
    // max(duration - current, 0).
    static double remainingSeconds(double rawDuration, double currentSeconds);
    // The current position: not finite or negative is 0.
    static double currentSeconds(double rawCurrent);

    // Value font size clamp(width * 15 / 520, 11, 26), label font 0.82 of it, label column
    // eight label sizes wide.
    static double valueFontSize(double panelWidth);
    static double labelFontSize(double panelWidth);
    static double labelColumnWidth(double panelWidth);

    static QString toneLabel(ReferenceToneKind kind);
};

}  // namespace velmar
