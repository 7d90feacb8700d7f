#pragma once

#include <mutex>

namespace velmar {

// The process's smoothed GPU time per canvas-view frame, written by the views' completion
// handlers (on the GPU's thread) and read by the system monitor. Thread-safe.
class GpuTimeSink {
  public:
    static GpuTimeSink& shared();

    // Folds in one frame's GPU seconds as 0.15 * new + 0.85 * old; ignores values that are not
    // above 0 or not finite.
    void record(double seconds);
    double seconds() const;

  private:
    mutable std::mutex lock_;
    double seconds_ = 0;
};

}  // namespace velmar
