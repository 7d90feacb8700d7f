#include "platform/audio/block_pacer.h"

#include <algorithm>

namespace velmar {

BlockPacer::BlockPacer(int blockFrames, int sampleRate)
    : blockFrames_(std::max(blockFrames, 1)), sampleRate_(std::max(sampleRate, 1)) {}

void BlockPacer::start(std::int64_t nowNanos) {
    originNanos_ = nowNanos;
    scheduled_ = 0;
    delivered_ = 0;
}

std::int64_t BlockPacer::dueAt(std::int64_t block) const {
    // Frames since the origin, then nanoseconds, split so that nothing overflows for centuries
    // of audio and every block is exact to the nanosecond.
    const std::int64_t frames = block * blockFrames_;
    return originNanos_ + frames / sampleRate_ * 1'000'000'000 +
           frames % sampleRate_ * 1'000'000'000 / sampleRate_;
}

int BlockPacer::takeDue(std::int64_t nowNanos) {
    int due = 0;
    while (due <= kMaxCatchUpBlocks && dueAt(scheduled_ + due) <= nowNanos) ++due;
    if (due > kMaxCatchUpBlocks) {
        // Too far behind to catch up: one block now, and the schedule anew from this moment.
        originNanos_ = nowNanos;
        scheduled_ = 1;
        ++delivered_;
        return 1;
    }
    scheduled_ += due;
    delivered_ += due;
    return due;
}

}  // namespace velmar
