#include "output/ndi_feed_timing.h"

#include <algorithm>
#include <cmath>

namespace velmar {

double NDIFeedTiming::period(const FrameRate& rate) {
    return double(rate.frameDuration) / double(std::max<qint64>(rate.timeScale, 1));
}

std::optional<double> NDIFeedTiming::frameTime(double now, double lastRenderTime, double period) {
    if (lastRenderTime > 0 && now + 0.001 < lastRenderTime + period) return std::nullopt;
    if (lastRenderTime != 0 && now - lastRenderTime <= 2 * period) return lastRenderTime + period;
    return now;
}

NDIFeedTiming::AudioStep NDIFeedTiming::audioStep(double now, double lastAudioTime,
                                                  double remainder) {
    if (lastAudioTime <= 0) return {0, now, remainder};
    const double exact = (now - lastAudioTime) * kAudioRate + remainder;
    const double whole = std::trunc(exact);
    if (whole >= kMaxAudioFrames) return {kMaxAudioFrames, now, 0};
    return {whole > 0 ? int(whole) : 0, now, exact - whole};
}

}  // namespace velmar
