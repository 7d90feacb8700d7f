#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace velmar {

// One decoded picture as 8-bit BGRA (straight alpha; opaque movies have alpha 255), rows
// `bytesPerRow` apart. Frames come from a VideoFramePool and go back to it when the last
// holder lets go; a frame handed out is never written again while anyone holds it.
class VideoFrame {
  public:
    VideoFrame(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int bytesPerRow() const { return bytesPerRow_; }
    const std::uint8_t* data() const { return pixels_.data(); }
    std::uint8_t* mutableData() { return pixels_.data(); }
    // Media time of the picture in seconds.
    double time() const { return time_; }
    void setTime(double seconds) { time_ = seconds; }

  private:
    int width_;
    int height_;
    int bytesPerRow_;
    double time_ = 0;
    std::vector<std::uint8_t> pixels_;
};

using VideoFrameRef = std::shared_ptr<const VideoFrame>;

// A fixed set of reusable frames of one size. `acquire` hands out a frame no one else holds,
// making a new one only while fewer than `capacity` exist, so steady playback allocates
// nothing. Thread-safe.
class VideoFramePool {
  public:
    VideoFramePool(int width, int height, int capacity);

    // A frame to write into, or null when every frame is in use.
    std::shared_ptr<VideoFrame> acquire();
    int allocatedCount() const;
    int capacity() const { return capacity_; }

  private:
    int width_;
    int height_;
    int capacity_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<VideoFrame>> frames_;
};

}  // namespace velmar
