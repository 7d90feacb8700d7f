#pragma once

namespace velmar {

class HostClock;

// Turns the jittery wake-up times of a frame-request thread into a steady sequence of frame
// times a whole number of periods apart: it follows the real clock by 5 % of the error per
// frame and jumps to it when the error reaches half a period. A plain value, used under its
// owner's lock (the canvas engine keeps one for the SDI path).
class FramePacer {
  public:
    // The clock that queryTime(period) reads; the system clock by default.
    explicit FramePacer(const HostClock* clock = nullptr) : clock_(clock) {}

    // The frame time for the frame being made at `now`, for frames `period` seconds apart.
    // A period not above 0 (output stopped) resets the pacer and passes `now` through; a new
    // period restarts it at `now`.
    double queryTime(double now, double period);
    // The same at the clock's present time.
    double queryTime(double period);

    // The last frame time handed out, host seconds; 0 means not started.
    double ideal = 0;
    // The period the pacer was last used with.
    double period = 0;

  private:
    const HostClock* clock_;
};

}  // namespace velmar
