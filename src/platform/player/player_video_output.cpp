#include "platform/player/player_video_output.h"

namespace velmar {

bool PlayerVideoOutput::hasNewFrameForItemTime(double itemTime) const {
    VideoFrameRef frame = queue_.frameAt(itemTime);
    std::lock_guard lock(mutex_);
    return frame != nullptr && frame != lastTaken_;
}

VideoFrameRef PlayerVideoOutput::copyFrameForItemTime(double itemTime) {
    VideoFrameRef frame = queue_.frameAt(itemTime);
    bool isNew = false;
    VideoFrameRef taken;
    {
        std::lock_guard lock(mutex_);
        isNew = frame && frame != lastTaken_;
        if (frame) lastTaken_ = frame;
        taken = lastTaken_;
    }
    if (isNew && onTaken_) onTaken_();
    return taken;
}

VideoFrameRef PlayerVideoOutput::peekFrameForItemTime(double itemTime) const {
    VideoFrameRef frame = queue_.frameAt(itemTime);
    if (frame) return frame;
    std::lock_guard lock(mutex_);
    return lastTaken_;
}

}  // namespace velmar
