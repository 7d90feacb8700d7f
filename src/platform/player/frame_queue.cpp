#include "platform/player/frame_queue.h"

namespace velmar {

namespace {
constexpr double kEpsilon = 0.0005;
}

FrameQueue::FrameQueue(int capacity) : capacity_(capacity) {
    frames_.reserve(static_cast<std::size_t>(capacity) + 1);
}

int FrameQueue::size() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(frames_.size());
}

void FrameQueue::clear() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

bool FrameQueue::push(VideoFrameRef frame) {
    std::lock_guard lock(mutex_);
    while (!frames_.empty() && frames_.back()->time() >= frame->time()) frames_.pop_back();
    if (static_cast<int>(frames_.size()) >= capacity_) frames_.erase(frames_.begin());
    frames_.push_back(std::move(frame));
    return true;
}

VideoFrameRef FrameQueue::frameAt(double t) const {
    std::lock_guard lock(mutex_);
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        if ((*it)->time() <= t + kEpsilon) return *it;
    return nullptr;
}

bool FrameQueue::covers(double t, double frameDuration) const {
    std::lock_guard lock(mutex_);
    if (frames_.empty() || frames_.front()->time() > t + kEpsilon) return false;
    return frames_.back()->time() + frameDuration > t - kEpsilon;
}

void FrameQueue::dropBefore(double t) {
    std::lock_guard lock(mutex_);
    std::size_t keepFrom = 0;
    for (std::size_t i = 0; i < frames_.size(); ++i)
        if (frames_[i]->time() <= t + kEpsilon) keepFrom = i;
    if (keepFrom > 0)
        frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(keepFrom));
}

double FrameQueue::newestTime() const {
    std::lock_guard lock(mutex_);
    return frames_.empty() ? -1 : frames_.back()->time();
}

double FrameQueue::oldestTime() const {
    std::lock_guard lock(mutex_);
    return frames_.empty() ? -1 : frames_.front()->time();
}

}  // namespace velmar
