#pragma once

#include "platform/player/frame_queue.h"
#include "platform/player/player_clock.h"

#include <mutex>

namespace velmar {

// Where renderers take a movie's pictures: map a host time to an item time, ask whether a
// frame newer than the one last taken exists for it, and take it. Render threads call it; the
// calls take one short lock and allocate nothing.
class PlayerVideoOutput {
public:
    PlayerVideoOutput(const PlayerClock& clock, const FrameQueue& queue)
        : clock_(clock), queue_(queue) {}

    double itemTimeForHostTime(double hostTime) const { return clock_.itemTimeAt(hostTime); }
    bool hasNewFrameForItemTime(double itemTime) const;
    // The frame for the time (the last one taken when the queue has none for it), and marks it
    // as taken. Null only before any frame was decoded.
    VideoFrameRef copyFrameForItemTime(double itemTime);
    // The frame for the time without marking it taken.
    VideoFrameRef peekFrameForItemTime(double itemTime) const;

private:
    const PlayerClock& clock_;
    const FrameQueue& queue_;
    mutable std::mutex mutex_;
    VideoFrameRef lastTaken_;
};

}  // namespace velmar
