#pragma once

#include "models/frame_rate.h"

#include <optional>

namespace velmar {

// The timing rules of the network-video feed, as plain functions of the clock.
struct NDIFeedTiming {
    // Seconds per frame of a rate (a time scale below 1 counts as 1).
    static double period(const FrameRate& rate);
    // When the next frame is due at `now`: none while it is too early (more than a millisecond
    // before the grid point); the next grid point while the feed is at most two periods behind;
    // otherwise `now` (the first frame, or after a stall). `lastRenderTime` 0 means none.
    static std::optional<double> frameTime(double now, double lastRenderTime, double period);

    // One audio step at 48 kHz: how many frames to send now and the clock to carry on with.
    struct AudioStep {
        int frames = 0;            // 0 ... kMaxAudioFrames
        double lastAudioTime = 0;  // now
        double remainder = 0;      // fraction of a frame carried to the next step
    };
    static constexpr int kMaxAudioFrames = 9600;
    static constexpr double kAudioRate = 48000;
    // The first step (lastAudioTime not above 0) only starts the clock; a gap of 0.2 s or more
    // sends 9600 frames and is not caught up.
    static AudioStep audioStep(double now, double lastAudioTime, double remainder);
};

}  // namespace velmar
