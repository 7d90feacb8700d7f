#pragma once

#include "platform/player/frame_queue.h"
#include "platform/player/player_clock.h"

#include <functional>
#include <mutex>

namespace velmar {

// Where renderers take a movie's pictures: map a host time to an item time, ask whether a
// frame newer than the one last taken exists for it, and take it. Render threads call it; the
// calls take one short lock and allocate nothing.
class PlayerVideoOutput {
  public:
    // `onTaken` runs (on the render thread) when a new frame was taken, so the decoder can
    // refill the queue at once; it must not block.
    PlayerVideoOutput(const PlayerClock& clock, const FrameQueue& queue,
                      std::function<void()> onTaken = {})
        : clock_(clock), queue_(queue), onTaken_(std::move(onTaken)) {}

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
    std::function<void()> onTaken_;
    mutable std::mutex mutex_;
    VideoFrameRef lastTaken_;
};

}  // namespace velmar
