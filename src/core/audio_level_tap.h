#pragma once

#include "platform/audio/audio_buffer_list.h"
#include "platform/player/audio_tap.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace velmar {

class MoviePlayer;

// The audio tap of one movie: on the player's audio thread it measures the left and right
// peaks of each block and smooths them for the meters, forwards the block (before any gain) to
// every output bridge while routed to the outputs, then scales what the computer plays by the
// output gain, which is 0 while the SDI bridge is active and mutes local monitoring.
//
// Threading: `install`, `remove` and `setOutput` on the main thread (`remove` also from the
// destructor on any thread). The process step runs on the audio thread: it only tries the lock
// of the output settings (falling back to the copy it read last) and holds the other locks
// only to copy values.
class AudioLevelTap {
  public:
    // Measured levels and output settings, shared by the tap and its audio-thread hook.
    class AudioLevels {
      public:
        struct Output {
            float gain = 1.0f;        // factor applied to the locally played audio
            bool routeToSDI = false;  // copy the audio into the output bridges
            double sampleRate = 48000.0;
        };
        struct Meter {
            float left = 0;
            float right = 0;
        };

        // Feeds one pair of peaks into the smoothing (rising by half the difference, falling
        // by 0.08 of it); the meter levels are the smoothing state clamped to 0...1.
        void update(float leftPeak, float rightPeak);
        // Both meter levels, read together.
        Meter meter() const;
        Meter smoothingState() const;
        void reset();

        Output output() const;
        void setOutput(float gain, bool routeToSDI);
        void setSampleRate(double sampleRate);
        // Audio thread: the settings when the lock is free, else the copy read last.
        Output outputForRenderThread();

      private:
        mutable std::mutex lock_;
        float left_ = 0;
        float right_ = 0;
        float smoothedLeft_ = 0;
        float smoothedRight_ = 0;
        mutable std::mutex outputLock_;
        Output output_;
        Output lastOutput_;  // audio thread only
    };

    AudioLevelTap();
    ~AudioLevelTap();
    AudioLevelTap(const AudioLevelTap&) = delete;
    AudioLevelTap& operator=(const AudioLevelTap&) = delete;

    // Replaces any tap by a new one on the player's audio; the attach happens later, once the
    // player knows its audio track, and only if no newer install or remove came in between.
    void install(const std::shared_ptr<MoviePlayer>& player);
    // Detaches the tap and zeroes the levels.
    void remove();
    // Gain for local playback and whether the audio goes to the output bridges.
    void setOutput(float gain, bool routeToSDI);

    AudioLevels& levels() { return *levels_; }
    const AudioLevels& levels() const { return *levels_; }
    bool isAttached() const;

    // One block on the audio thread: fetch, meter, forward, scale. A failed fetch leaves
    // silence in the buffers, forwards nothing and leaves the meters alone.
    static void process(AudioLevels& levels, AudioTapSource& source, AudioBufferList& buffers,
                        int frames);

  private:
    struct State;
    class Hook;

    std::shared_ptr<AudioLevels> levels_;
    std::shared_ptr<State> state_;
};

}  // namespace velmar
