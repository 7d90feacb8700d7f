#pragma once

#include "core/tone_generator.h"
#include "platform/audio/audio_buffer_list.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace velmar {

// Carries program audio from the movie on air to one audio output (SDI or network video):
// pushed blocks of any sample rate are converted to 48 kHz stereo and kept in a ring of one
// second. The output pulls what is stored, oldest first: interleaved 32-bit integers for SDI
// (`pull`), planar float for network video (`pullPlanar`). On the way out the program gain
// applies, or, while a reference tone is set, the tone's samples replace program audio. The
// bridge never waits for data and reports nothing: a full ring loses its oldest frames, an empty
// one gives silence, and a backlog beyond two requests plus 4096 frames is trimmed at a request.
// The process-wide bridges are fed ahead of the present by a fixed lead (kProgramLeadFrames):
// they keep that much more before trimming, so the oldest frames are still those of the present
// and an output keeps playing while its feeder is held up for less than the lead.
//
// Threading: `lock()` guards every field; setters and getters take it. `push` runs on an audio
// thread and only tries the lock; a block that meets a busy lock is parked in a side buffer of
// its own (also only tried) and appended, in order, by the next push or pull that holds the
// lock. Only what does not fit there, or meets both locks busy, is dropped and counted. Pulls
// run on the SDI card's completion thread or the network-video send queue, not on a device's
// render callback: they take the lock, waiting the moment another holder needs, and hold it for
// the whole request; the tone generator is rendered only there. `isActive` and
// `muteLocalWhileActive` are also mirrored in atomics so an audio thread can read them without a
// lock. Nothing on the push and pull paths allocates.
class SDIAudioBridge {
  public:
    static constexpr int kRingFrames = 48000;
    static constexpr double kOutputRate = 48000.0;
    // Length of the tone scratch buffers: a tone is rendered in blocks of at most this.
    static constexpr int kScratchFrames = 8192;
    // Blocks of a lower rate are ignored: resampling them would append tens of thousands of
    // frames per input frame and hold the audio thread for far too long.
    static constexpr double kMinSourceRate = 1000.0;

    // The SDI output's bridge, the network-video output's bridge, and both in that order.
    static SDIAudioBridge& shared();
    static SDIAudioBridge& ndi();
    static constexpr std::size_t kBridgeCount = 2;
    static const std::array<SDIAudioBridge*, kBridgeCount>& all();

    // Program audio is fed into the output bridges this far ahead of the present (see
    // AudioLevelTap), so an output keeps playing through a stall of the thread that feeds it.
    static constexpr int kProgramLeadFrames = 14400;  // 0.3 s

    // `leadFrames`: how far ahead of the present the feed runs (0 ... 24000). The latency trim
    // keeps that much more, so the frames pulled are still those of the present.
    explicit SDIAudioBridge(int leadFrames = 0);
    int leadFrames() const { return leadFrames_; }
    SDIAudioBridge(const SDIAudioBridge&) = delete;
    SDIAudioBridge& operator=(const SDIAudioBridge&) = delete;

    std::mutex& lock() { return lock_; }

    // True while the output consumes audio; setting it empties the ring and the counters.
    bool isActive() const { return activeMirror_.load(); }
    void setActive(bool active);
    // Counts the resets of setActive, so a feeder ahead of time knows to start again.
    unsigned long long resetCount() const { return resetCount_.load(); }
    // Local monitoring of program audio is muted while this (SDI) bridge is active.
    bool muteLocalWhileActive() const { return muteMirror_.load(); }
    void setMuteLocalWhileActive(bool mute);
    // Applied to program audio on the way out; kept within 0...1 (not a number counts as 0).
    float programGain() const;
    void setProgramGain(float gain);
    // While set, the tone's samples replace program audio on the way out. The generator is
    // this bridge's own (at 48000 Hz) and is rendered only under the lock; a replaced one is
    // destroyed on the caller's thread, outside the lock.
    void setTone(std::unique_ptr<ToneGenerator> tone);
    bool hasTone() const;

    // Appends a block of 32-bit float audio (one interleaved buffer or one buffer per channel)
    // converted to 48 kHz stereo, while active. Never changes the caller's buffers, and reads
    // no more frames than the buffers hold (byteSize), whatever `frames` says. True when the
    // block went straight into the ring; false when it was ignored, parked behind a busy lock
    // or (partly) dropped.
    bool push(const AudioBufferList& buffers, int frames, double sampleRate);

    // Writes `frames` stereo frames, interleaved left, right, as 32-bit integers of full scale
    // ±2147483647 (samples beyond ±1 are clipped; a sample that is not a number becomes 0).
    // `out` holds 2 × frames values. Nothing happens for frames < 1 or a null buffer.
    void pull(std::int32_t* out, long long frames);
    // Writes `frames` frames as float within −1...1: left to out[0 ... frames − 1], right to
    // out[frames ... 2 × frames − 1]. Not-a-number samples become 0.
    void pullPlanar(float* out, long long frames);

    // Drops up to `frames` of the newest stored frames (counted as dropped): what was fed ahead
    // for a movie that stopped.
    void discardNewest(int frames);
    int storedFrames() const;
    // The same without waiting (audio threads): false when the lock is busy.
    bool tryStoredFrames(int* frames) const;
    // Frames lost because the ring was full, to trim latency, or because a push met a busy lock.
    long long droppedFrames() const;
    // Frames requested while active and the ring was empty (without a tone).
    long long underrunFrames() const;
    // Copies up to `maxFrames` stored frames, oldest first, interleaved; returns the count.
    int copyStored(float* interleaved, int maxFrames) const;

  private:
    struct Reader;
    void appendLocked(float left, float right);
    bool park(const AudioBufferList& buffers, int frames, double sampleRate);
    void appendParkedLocked();
    void appendBlockLocked(const Reader& reader, long long count, double sampleRate);
    template <typename Write>
    void render(long long frames, Write write);

    const int leadFrames_;
    mutable std::mutex lock_;
    std::atomic<unsigned long long> resetCount_{0};
    std::atomic<bool> activeMirror_{false};
    std::atomic<bool> muteMirror_{true};
    std::atomic<long long> contendedFrames_{0};
    bool active_ = false;
    bool muteLocalWhileActive_ = true;
    float programGain_ = 1.0f;
    std::unique_ptr<ToneGenerator> tone_;
    std::vector<float> ring_;
    int readFrame_ = 0;
    int storedFrames_ = 0;
    double sourceRate_ = 48000.0;
    double resamplePosition_ = 0;
    float previousLeft_ = 0;
    float previousRight_ = 0;
    std::vector<float> scratchLeft_;
    std::vector<float> scratchRight_;
    long long underrunFrames_ = 0;
    long long droppedFrames_ = 0;
    // A block pushed while the lock was busy, interleaved stereo at `parkedRate_`.
    std::mutex parkLock_;
    std::vector<float> parked_;
    int parkedFrames_ = 0;
    double parkedRate_ = 0;
    std::atomic<bool> hasParked_{false};
};

}  // namespace velmar
