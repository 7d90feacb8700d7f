#pragma once

#include "platform/player/video_frame.h"

#include <mutex>
#include <vector>

namespace velmar {

// Decoded frames ordered by media time, at most `capacity` of them: ahead of the clock in
// forward play, a decoded run of a group of pictures in reverse play. Thread-safe; lookups do
// not allocate (the storage is reserved once).
class FrameQueue {
  public:
    explicit FrameQueue(int capacity);

    int capacity() const { return capacity_; }
    int size() const;
    bool full() const { return size() >= capacity_; }
    void clear();
    // Appends a frame later than every frame held; an earlier or equal one replaces the tail.
    bool push(VideoFrameRef frame);
    // The latest frame at or before `t` (within half a millisecond), else null.
    VideoFrameRef frameAt(double t) const;
    // True when a frame at or before `t` is held and a later one or the end follows it, so
    // nothing newer is needed to show `t`; `frameDuration` bounds the last frame.
    bool covers(double t, double frameDuration) const;
    // Drops the frames that a later frame at or before `t` has superseded.
    void dropBefore(double t);
    double newestTime() const;  // -1 when empty
    double oldestTime() const;  // -1 when empty

  private:
    int capacity_;
    mutable std::mutex mutex_;
    std::vector<VideoFrameRef> frames_;
};

}  // namespace velmar
