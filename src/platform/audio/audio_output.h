#pragma once

#include "platform/audio/audio_source.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {

// The computer's own audio output: one SDL2 device at 48 kHz stereo float and a small mixer
// that sums every registered source. The device is opened on first use and kept for the life
// of the process. SDL chooses its driver from SDL_AUDIODRIVER. When no device opens, or SDL
// picks its headless "dummy" driver (tests and CI set it), the mixer runs on its own thread
// paced by the steady clock in blocks of 256 frames, exactly 48000 frames a second on average
// however late its wakes (BlockPacer), so sources (and their taps, which feed the SDI program
// audio) still run in real time and only the sound is lost.
//
// Threading: add/remove from any thread but the audio thread; removal returns only once the
// audio thread no longer uses the source. The audio thread only try-locks the source list and
// plays silence for a block when the list is being changed. Nothing allocates while mixing.
class AudioOutput {
  public:
    static constexpr int sampleRate = 48000;
    static constexpr int channels = 2;
    static constexpr int kMaxSources = 32;

    static AudioOutput& shared();

    // False when the list is full.
    bool addSource(AudioSource* source);
    void removeSource(AudioSource* source);

    // True when an SDL device is open (false: paced by the steady-clock thread).
    bool hasDevice() const { return deviceId_ != 0; }
    // Frames mixed so far (for tests and diagnostics).
    std::uint64_t framesMixed() const { return framesMixed_.load(); }

    // Mixes one block of all sources into `out` (interleaved stereo); used by the device
    // callback and the fallback thread. False when the source list was busy: the block is
    // silent then.
    bool mix(float* out, int frames);

    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

  private:
    AudioOutput();
    ~AudioOutput();
    void open();
    void runFallback();

    std::mutex sourcesMutex_;
    AudioSource* sources_[kMaxSources] = {};
    int sourceCount_ = 0;
    std::vector<float> scratch_;
    std::uint32_t deviceId_ = 0;
    std::atomic<std::uint64_t> framesMixed_{0};
    std::atomic<bool> stopFallback_{false};
    std::thread fallback_;
};

}  // namespace velmar
