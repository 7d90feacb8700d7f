#include "platform/player/video_frame.h"

namespace velmar {

VideoFrame::VideoFrame(int width, int height)
    : width_(width),
      height_(height),
      bytesPerRow_(((width * 4) + 63) / 64 * 64),
      pixels_(static_cast<std::size_t>(bytesPerRow_) * static_cast<std::size_t>(height) + 64) {}

VideoFramePool::VideoFramePool(int width, int height, int capacity)
    : width_(width), height_(height), capacity_(capacity) {
    frames_.reserve(static_cast<std::size_t>(capacity));
}

std::shared_ptr<VideoFrame> VideoFramePool::acquire() {
    std::lock_guard lock(mutex_);
    // A frame held only by the pool is free: nobody else can gain a reference to it, since
    // new references are made only here, under the lock.
    for (auto& frame : frames_)
        if (frame.use_count() == 1) return frame;
    if (static_cast<int>(frames_.size()) >= capacity_) return nullptr;
    frames_.push_back(std::make_shared<VideoFrame>(width_, height_));
    return frames_.back();
}

int VideoFramePool::allocatedCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(frames_.size());
}

}  // namespace velmar
