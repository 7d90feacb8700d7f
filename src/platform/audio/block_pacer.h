#pragma once

#include <cstdint>

namespace velmar {

// Paces fixed blocks of audio against a monotonic clock in nanoseconds, the way a sound card's
// crystal would: block k falls due at start + k × block duration, computed from the frame count
// so that no rounding accumulates and a late wake never shifts the later blocks. The blocks that
// fell due while the caller slept are handed out at once, so over any stretch the stream runs
// at exactly the sample rate; only when more than kMaxCatchUpBlocks are due at once (the process
// was stopped or suspended) does the schedule start again from that moment instead of bursting.
class BlockPacer {
  public:
    static constexpr int kMaxCatchUpBlocks = 8;

    // Both at least 1.
    BlockPacer(int blockFrames, int sampleRate);

    // Block 0 is due at `nowNanos`.
    void start(std::int64_t nowNanos);
    // How many blocks are due at `nowNanos`, counted as delivered (0 when the next is not due).
    int takeDue(std::int64_t nowNanos);
    // When the next block falls due.
    std::int64_t nextDueNanos() const { return dueAt(scheduled_); }
    // Blocks handed out since start().
    std::int64_t delivered() const { return delivered_; }

  private:
    std::int64_t dueAt(std::int64_t block) const;

    std::int64_t blockFrames_;
    std::int64_t sampleRate_;
    std::int64_t originNanos_ = 0;  // when block 0 of the present schedule fell due
    std::int64_t scheduled_ = 0;    // blocks of the present schedule handed out
    std::int64_t delivered_ = 0;
};

}  // namespace velmar
