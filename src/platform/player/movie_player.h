#pragma once

#include "platform/audio/audio_source.h"
#include "platform/base/host_clock.h"
#include "platform/player/audio_sample_ring.h"
#include "platform/player/audio_tap.h"
#include "platform/player/frame_queue.h"
#include "platform/player/player_clock.h"
#include "platform/player/player_video_output.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace velmar {

// A movie player on FFmpeg: one item (a movie file), its pictures as BGRA frames through a
// video output, its sound through an optional audio tap into the local audio output.
//
// One worker thread opens the file, demultiplexes and decodes (the codecs run their own
// threads), converts pictures once to BGRA into pooled buffers and keeps a short queue of them
// ahead of the clock. The sound is read ahead by its own measure (more than a second at rate 1):
// while the picture queue is full, the video packets read on the way wait undecoded and are
// decoded in turn, so a starved decoder never holds up program sound; both keep their own
// timestamps, which keep them in step. The clock maps host time to item time at the current rate
// (-8 ... 8, applied at once). Forward rates up to 2 are decoded frame by frame; faster forward
// rates show keyframes; reverse rates are served from decoded runs of a group of pictures
// (keyframes only below -2). At the end of the item the player pauses on the last frame and reports
// the end, unless it was told to loop (`setLoopsRemaining`). While looping the clock, the queue and
// the audio ring run on an unwrapped timeline (each pass one duration later); the video output's
// item times are unwrapped too, `currentTime` folds them back into the item.
// Sound plays at rate 1 only.
//
// The file is opened through MovieSource (regular files only, as the media loader opens it, so
// the first frame played is the poster). Every open, stream-info read, packet read and
// first-frame wait is bounded through FFmpeg's interrupt callback, so a bad or stalled file ends
// in status Failed, never in a hang.
//
// Threading: commands from any one thread (the owner's). The status, seek, preroll, end and
// audio-known callbacks run on the worker thread (a seek superseded before it started, or a
// cancelled preroll, is answered on the caller's thread); the owner re-dispatches them. Destruction
// stops and joins the worker: do it off render and audio threads (see `release`).
class MoviePlayer : public AudioSource {
  public:
    enum class Status { Unknown, ReadyToPlay, Failed };

    struct Callbacks {
        std::function<void(Status)> statusChanged;  // worker thread
        std::function<void()> reachedEnd;           // worker thread
        // The clock ran through the end into the next pass of a loop (worker thread).
        std::function<void()> looped;
    };
    struct Options {
        bool muted = false;
        double openTimeoutSeconds = 8.0;  // open, stream info and first frame together
        double readTimeoutSeconds = 5.0;  // one packet read during playback
        // Threads decoding the picture; 0: one per usable core (at most 16). Each thread holds
        // a picture back until the end of the file drains them all at once.
        int videoThreads = 0;
        // Bytes of video packets held undecoded while the sound reads ahead of the pictures.
        long long readAheadBytes = 192LL << 20;
    };

    MoviePlayer(std::string path, HostClock& clock, Callbacks callbacks, Options options);
    MoviePlayer(std::string path, HostClock& clock, Callbacks callbacks = {})
        : MoviePlayer(std::move(path), clock, std::move(callbacks), Options{}) {}
    ~MoviePlayer() override;

    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // Destroys the player on a background thread; call instead of dropping the last reference
    // where a join could stall the caller.
    static void release(std::shared_ptr<MoviePlayer> player);
    // Waits until every released player is gone (tests, shutdown).
    static void waitForReleases();

    Status status() const { return status_.load(); }
    std::string errorMessage() const;
    // Seconds; NaN while unknown or indefinite.
    double duration() const { return duration_.load(); }
    double nominalFrameDuration() const { return frameDuration_.load(); }
    int width() const { return width_.load(); }
    int height() const { return height_.load(); }
    bool hasAudio() const { return hasAudio_.load(); }
    bool hasAlpha() const { return hasAlpha_.load(); }
    // Seconds of decoded sound held past the present position.
    double bufferedSoundSeconds() const { return audioRing_.bufferedAhead(clock_.itemTime()); }
    // Picture buffers made so far; steady playback reuses them and makes no more.
    int pooledFrameCount() const { return pooledFrames_.load(); }

    float rate() const { return clock_.rate(); }
    // Any rate in -8 ... 8, at once; 0 pauses.
    void setRate(float rate);
    void pause() { setRate(0.0f); }
    // The position in the item, 0 ... duration (also while looping).
    double currentTime() const;

    // How many more times the item is to run from its start when its end is reached: 0 stops
    // at the end (the default), below 0 loops endlessly. The player then decodes the start
    // behind the end and runs on without stopping, so sound and pictures continue across the
    // loop point; each loop point passed calls `looped` and uses up one. Only in forward play
    // up to rate 2 of items of at least 0.2 s with a known end; otherwise the end is reached
    // and reported as usual.
    void setLoopsRemaining(int loops);
    int loopsRemaining() const { return loopsRemaining_.load(); }

    // Moves to `seconds` (clamped to the item); precise lands exactly, loose on the nearest
    // earlier keyframe. The completion gets false when a later seek superseded this one.
    void seek(double seconds, bool precise, std::function<void(bool finished)> completion = {});
    // Completes once the frame for the present position is decoded (false when cancelled).
    void preroll(std::function<void(bool finished)> completion);
    void cancelPendingPrerolls();
    // Pauses and moves by whole frames (+1 / -1).
    void stepByCount(int count);

    void setMuted(bool muted) { muted_ = muted; }
    bool isMuted() const { return muted_.load(); }

    // The hook between decoded audio and the local output; null removes it. When this returns
    // the audio thread no longer uses the former tap.
    void setAudioTap(std::shared_ptr<AudioTap> tap);
    // Calls back (worker thread, or at once when known) whether the item has an audio track.
    void loadAudioTrack(std::function<void(bool hasAudio)> done);

    PlayerVideoOutput& videoOutput() { return output_; }

    // AudioSource: the local output pulls the movie's sound through the tap.
    void render(float* interleavedStereo, int frames) override;

  private:
    class Decoder;
    struct SeekRequest {
        double target = 0;
        bool precise = true;
        std::function<void(bool)> completion;
        long generation = 0;
    };

    void run();
    // Tells the tap that the sound broke off at the present (see AudioTap::soundInterrupted).
    void soundInterrupted();
    void setStatus(Status status, const std::string& message = {});
    void wake();

    std::string path_;
    Callbacks callbacks_;
    Options options_;
    PlayerClock clock_;
    FrameQueue queue_;
    PlayerVideoOutput output_;
    AudioSampleRing audioRing_;

    std::atomic<Status> status_{Status::Unknown};
    std::atomic<double> duration_{std::numeric_limits<double>::quiet_NaN()};
    std::atomic<double> frameDuration_{1.0 / 25.0};
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::atomic<bool> hasAudio_{false};
    std::atomic<bool> hasAlpha_{false};
    std::atomic<bool> muted_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> addedToOutput_{false};
    std::atomic<bool> woken_{false};
    std::atomic<int> pooledFrames_{0};
    std::atomic<int> loopsRemaining_{0};  // something changed: look again before sleeping

    mutable std::mutex mutex_;  // guards the fields below
    std::condition_variable wake_;
    std::string error_;
    bool seekPending_ = false;
    SeekRequest seek_;
    long seekGeneration_ = 0;
    std::vector<std::function<void(bool)>> prerolls_;
    std::vector<std::function<void(bool)>> audioWaiters_;
    bool audioKnown_ = false;
    bool endReported_ = false;

    std::mutex tapMutex_;  // the audio thread only tries it
    std::shared_ptr<AudioTap> tap_;
    std::vector<float> tapScratch_;

    std::thread worker_;
};

}  // namespace velmar
