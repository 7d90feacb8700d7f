#pragma once

#include "core/sdi_audio_bridge.h"
#include "platform/audio/audio_buffer_list.h"
#include "platform/player/audio_tap.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

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

        // Audio thread only: how far each output bridge was fed ahead of the present.
        struct BridgeFeed {
            double through = 0;                 // item time fed up to
            unsigned long long resetCount = 0;  // the bridge's reset count when it was fed
            bool valid = false;
        };
        static constexpr int kFeedChunkFrames = 2048;
        BridgeFeed& feed(std::size_t bridge) { return feeds_[bridge]; }
        float* feedScratch() { return feedScratch_.data(); }
        float* feedSilence() { return feedSilence_.data(); }  // zeros, never written
        // What was fed ahead was taken back: every feed starts again from the present (any
        // thread sets it; the audio thread takes it).
        void restartFeeds() { feedsRestart_ = true; }
        bool takeFeedsRestart() { return feedsRestart_.exchange(false); }

      private:
        mutable std::mutex lock_;
        float left_ = 0;
        float right_ = 0;
        float smoothedLeft_ = 0;
        float smoothedRight_ = 0;
        mutable std::mutex outputLock_;
        Output output_;
        Output lastOutput_;                                             // audio thread only
        std::array<BridgeFeed, SDIAudioBridge::kBridgeCount> feeds_{};  // as SDIAudioBridge::all()
        std::vector<float> feedScratch_ = std::vector<float>(kFeedChunkFrames * 2, 0.0f);
        std::atomic<bool> feedsRestart_{false};
        std::vector<float> feedSilence_ = std::vector<float>(kFeedChunkFrames * 2, 0.0f);
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
    // The movie stopped playing sound: while routed to the outputs, the audio fed to them
    // ahead of the present is dropped, so they fall silent with the picture. The attached
    // player has this done itself whenever it leaves rate 1 or a seek lands while it runs.
    void discardFedAhead();

    AudioLevels& levels() { return *levels_; }
    const AudioLevels& levels() const { return *levels_; }
    bool isAttached() const;

    // One block on the audio thread: fetch, meter, forward, scale. A failed fetch leaves
    // silence in the buffers and leaves the meters alone. A source without audio ahead has the
    // fetched block forwarded (nothing when the fetch failed); a source with audio ahead feeds
    // each active bridge from its decoded audio through the present plus the bridge's lead,
    // continuing where the last block left off, so a block that came late or not at all is
    // made up at the next one instead of leaving a gap in the outputs.
    static void process(AudioLevels& levels, AudioTapSource& source, AudioBufferList& buffers,
                        int frames);

  private:
    static void feedAhead(AudioLevels& levels, AudioTapSource& source, double present);

    struct State;
    class Hook;

    std::shared_ptr<AudioLevels> levels_;
    std::shared_ptr<State> state_;
};

}  // namespace velmar
