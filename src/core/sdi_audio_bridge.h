#pragma once

#include "platform/audio/audio_buffer_list.h"

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

namespace velmar {

// Carries program audio from the movie on air to one audio output (SDI or network video):
// pushed blocks of any sample rate are converted to 48 kHz stereo and kept in a ring of one
// second. Here the receiving side only: the outputs' pulls come with the outputs.
//
// Threading: `lock()` guards every field; setters and getters take it. `push` runs on an audio
// thread and only tries the lock (a block that meets a busy lock is dropped and counted).
// `isActive` and `muteLocalWhileActive` are also mirrored in atomics so an audio thread can read
// them without a lock.
class SDIAudioBridge {
public:
    static constexpr int ringFrames = 48000;
    static constexpr double outputRate = 48000.0;

    // The SDI output's bridge, the network-video output's bridge, and both in that order.
    static SDIAudioBridge& shared();
    static SDIAudioBridge& ndi();
    static const std::array<SDIAudioBridge*, 2>& all();

    SDIAudioBridge();
    SDIAudioBridge(const SDIAudioBridge&) = delete;
    SDIAudioBridge& operator=(const SDIAudioBridge&) = delete;

    std::mutex& lock() { return lock_; }

    // True while the output consumes audio; setting it empties the ring and the counters.
    bool isActive() const { return activeMirror_.load(); }
    void setActive(bool active);
    // Local monitoring of program audio is muted while this (SDI) bridge is active.
    bool muteLocalWhileActive() const { return muteMirror_.load(); }
    void setMuteLocalWhileActive(bool mute);
    // Applied to program audio on the way out; kept within 0...1.
    float programGain() const;
    void setProgramGain(float gain);

    // Appends a block of 32-bit float audio (one interleaved buffer or one buffer per channel)
    // converted to 48 kHz stereo, while active. Never changes the caller's buffers.
    void push(const AudioBufferList& buffers, int frames, double sampleRate);

    int storedFrames() const;
    long droppedFrames() const;
    // Copies up to `maxFrames` stored frames, oldest first, interleaved; returns the count.
    int copyStored(float* interleaved, int maxFrames) const;

private:
    void appendLocked(float left, float right);

    mutable std::mutex lock_;
    std::atomic<bool> activeMirror_{false};
    std::atomic<bool> muteMirror_{true};
    std::atomic<long> contendedFrames_{0};
    bool active_ = false;
    bool muteLocalWhileActive_ = true;
    float programGain_ = 1.0f;
    std::vector<float> ring_;
    int readFrame_ = 0;
    int storedFrames_ = 0;
    double sourceRate_ = 48000.0;
    double resamplePosition_ = 0;
    float previousLeft_ = 0;
    float previousRight_ = 0;
    long droppedFrames_ = 0;
};

}  // namespace velmar
