#pragma once

#include "core/audio_level_tap.h"
#include "models/image_ref.h"
#include "platform/base/host_clock.h"
#include "platform/player/movie_player.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

// The playback object of one movie (the program movie, the movie waiting as NEXT, the keyer's
// movie): a player with its video output, counted or endless looping, shuttling along a ladder
// of rates, a measure of how regularly renderers get new frames, and the movie's audio tap.
//
// Threading: made, driven and released on the main thread, except that render threads call
// `recordDeliveredFrame` and read `videoOutput()`. The player's status, seek, preroll and end
// events are delivered on the main thread. `isPrepared`, `wantsPlay` and `desiredRate` are
// atomic so loaders may poll them. The last reference may be dropped on any thread: the player
// is then torn down on a background thread, never on a render or audio thread.
class MoviePlayback : public std::enable_shared_from_this<MoviePlayback> {
    struct Token {};

  public:
    // The rates `shuttle` steps along.
    static constexpr float shuttleLadder[] = {-8, -4, -2, -1, 0, 1, 2, 4, 8};

    // Builds the playback of a movie file; `loopCount` 0 or less plays endlessly.
    static std::shared_ptr<MoviePlayback> create(const QString& path, bool muted, int loopCount,
                                                 HostClock& clock = HostClock::system());
    MoviePlayback(Token, const QString& path, bool muted, int loopCount, HostClock& clock);
    ~MoviePlayback();
    MoviePlayback(const MoviePlayback&) = delete;
    MoviePlayback& operator=(const MoviePlayback&) = delete;

    // The player: panels read its rate and current time, pause it and step it.
    MoviePlayer& player() { return *player_; }
    const MoviePlayer& player() const { return *player_; }
    // Where renderers take frames; exists for the life of the object.
    PlayerVideoOutput* videoOutput() { return &player_->videoOutput(); }
    AudioLevelTap& audioLevel() { return audioLevel_; }

    void play();
    void pause();
    void setRate(float rate);
    void rewindAndArm();
    void setLoopCount(int count);
    // Moves to `seconds` (below 0: 0; not clamped to the duration); the completion runs on the
    // main thread once the player reports the seek, finished or not.
    void seek(double seconds, bool precise, std::function<void()> completion = {});
    double durationSeconds() const;
    float shuttle(int direction);
    float slowShuttle(int direction);
    // Render threads: one newly delivered frame and its media time in seconds (NaN: ignored).
    void recordDeliveredFrame(double at);
    // A still of the frame at the present time, or null.
    ImageRef currentFrameImage() const;
    bool isPrepared() const { return isPrepared_.load(); }
    // Runs `handler` once on the main thread when the player could not open the movie (it will
    // then never be prepared); at once when that is known already. Replaces an earlier handler.
    void setFailureHandler(std::function<void()> handler);

    // What the transport bar and the timecode panel write and read directly.
    bool wantsPlay() const { return wantsPlay_.load(); }
    void setWantsPlay(bool wants) { wantsPlay_ = wants; }
    float desiredRate() const { return desiredRate_.load(); }
    void setDesiredRate(float rate) { desiredRate_ = rate; }
    float playerRate() const { return player_->rate(); }
    double currentTimeSeconds() const;
    // Frame back (-1) or forward (+1): stop wanting play, pause, and step.
    void stepFrame(int direction);
    AudioLevelTap::AudioLevels::Meter audioLevels() const { return audioLevel_.levels().meter(); }

    // Frame-delivery health, read-only.
    struct Health {
        double measuredFPS = 0;
        std::optional<double> lastDeliveredSeconds;
        std::optional<double> lastDeliveredHostTime;
        int frameCount = 0;
        double windowStart = 0;
        double dropWarningUntil = 0;
    };
    Health health() const;
    bool hasDropWarning() const;
    int playsRemaining() const { return playsRemaining_; }
    int loopCount() const { return loopCount_; }

  private:
    void start();
    void prepare();
    void finishPreparation();
    void handleFailure();
    void handleReachedEnd();
    void handleLooped();
    void handLoopsToPlayer();
    float shuttleBaseRate() const;
    void applyShuttleRate(float rate);
    void resetHealth();
    void restartFromZero();
    bool isReady() const { return player_->status() == MoviePlayer::Status::ReadyToPlay; }
    double positionSeconds() const;

    HostClock& clock_;
    QString path_;
    std::shared_ptr<MoviePlayer> player_;
    std::atomic<bool> wantsPlay_{false};
    std::atomic<float> desiredRate_{1.0f};

    mutable std::mutex healthLock_;
    double healthWindowStart_ = 0;
    int healthFrameCount_ = 0;
    double measuredFPS_ = 0;
    std::optional<double> lastDeliveredSeconds_;
    std::optional<double> lastDeliveredHostTime_;
    double dropWarningUntil_ = 0;

    std::atomic<bool> isPrepared_{false};
    bool preparing_ = false;
    bool failed_ = false;  // the player could not open the movie (main thread)
    std::function<void()> failureHandler_;
    int loopCount_ = 1;
    int playsRemaining_ = 1;
    bool muted_ = false;
    AudioLevelTap audioLevel_;
};

}  // namespace velmar
