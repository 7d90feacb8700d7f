#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

// One display mode of the virtual SDI card: a code, the active picture size and an exact
// rational frame rate (timeScale units per second, frameDuration units per frame). A plain
// value; any thread.
struct SdiDisplayMode {
    std::uint32_t code = 0;
    long long width = 0;
    long long height = 0;
    long long timeScale = 0;
    long long frameDuration = 0;
    std::string name;

    friend bool operator==(const SdiDisplayMode&, const SdiDisplayMode&) = default;

    // The modes every virtual device offers unless configured otherwise: 1080p and 720p at
    // 23.98 ... 60, 2160p at 23.98 ... 60, and the two SD rasters. Codes are this card's own.
    static const std::vector<SdiDisplayMode>& standardModes();

    // Audio runs at 48 kHz. The number of stereo sample frames that belong to the first k
    // frames: floor(k x frameDuration x 48000 / timeScale). Exact for any k a run can reach.
    long long audioSamplesThrough(long long frames) const;
    // The start of frame k in nanoseconds from the start of playback:
    // floor(k x frameDuration x 10^9 / timeScale); exact, so a long run never drifts.
    long long nanosecondsAt(long long frames) const;
    // The frame under way `nanoseconds` after the start: the largest k with
    // nanosecondsAt(k) <= nanoseconds (0 before the start).
    long long frameAt(long long nanoseconds) const;

    bool isValid() const {
        return width >= 1 && height >= 1 && timeScale >= 1 && frameDuration >= 1;
    }
};

}  // namespace velmar
