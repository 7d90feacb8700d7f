#pragma once

#include "platform/sdi/sdi_display_mode.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace velmar {

// One display mode as a virtual device offers it: the pixel formats it plays in that mode,
// whether it can key in it, and the mode it would really output (0: the mode itself; another
// code models a card that gets there only by converting).
struct SdiModeSupport {
    SdiDisplayMode mode;
    bool bgra8 = true;
    bool v210 = true;
    bool ay10 = true;
    bool keying = true;
    std::uint32_t actualMode = 0;
};

// Faults a test injects into one virtual output. Frame numbers are display indices (0 = the
// first frame time of a playback); schedule numbers count ScheduleVideoFrame calls from 0.
struct SdiFaults {
    std::set<long long> lateFrames;         // the frame shown at this index reports displayedLate
    std::set<long long> droppedFrames;      // the frame due at this index is not shown: dropped
    std::map<long long, long long> stalls;  // from this index, completions are held this many ticks
    std::set<long long> refusedSchedules;   // these ScheduleVideoFrame calls are refused
    bool enableVideoBusy = false;           // EnableVideoOutput answers busy
    bool enableAudioFails = false;
    bool startPlaybackFails = false;
    bool keyerEnableFails = false;
    bool keyerLevelFails = false;
    bool wrapUnsupported = false;     // frames over caller memory are refused
    long long createFrameLimit = -1;  // createVideoFrame refuses once this many were made

    friend bool operator==(const SdiFaults&, const SdiFaults&) = default;
};

// One virtual device: what it is and can do, and its faults.
struct SdiDeviceConfig {
    std::string name = "Velmar Virtual SDI";
    bool hasName = true;
    bool hasOutput = true;
    bool hasKeyer = true;
    bool supportsExternalKeying = true;
    std::vector<SdiModeSupport> modes;  // empty: every standard mode, every format, keying
    SdiFaults faults;

    // The modes in force: `modes`, or the standard ones when it is empty.
    std::vector<SdiModeSupport> effectiveModes() const;
};

}  // namespace velmar
