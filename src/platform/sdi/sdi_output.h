#pragma once

#include "platform/sdi/sdi_device_config.h"
#include "platform/sdi/sdi_display_mode.h"
#include "platform/sdi/sdi_keyer.h"
#include "platform/sdi/sdi_pixel_format.h"
#include "platform/sdi/sdi_recorder.h"
#include "platform/sdi/sdi_result.h"
#include "platform/sdi/sdi_video_frame.h"
#include "platform/sdi/virtual_sdi_config.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmar {

// A frame as the card showed it, handed to a capture callback: the active rows packed tightly
// at the format's minimum row size.
struct SdiCapturedFrame {
    long long displayIndex = 0;  // frame time on the card's timeline
    long long tick = 0;          // 0 for the first frame time of this playback
    SdiCompletionResult result = SdiCompletionResult::completed;
    SdiPixelFormat format = SdiPixelFormat::bgra8;
    long long width = 0;
    long long height = 0;
    std::size_t rowBytes = 0;
    bool keyed = false;  // the external keyer was on
    int keyLevel = 0;
    std::vector<std::uint8_t> bytes;
};

// What an output has done since it was made.
struct SdiOutputCounters {
    long long ticks = 0;             // frame times that passed during playback
    long long ticksMissed = 0;       // of them, passed while the card's thread was held up
    long long framesScheduled = 0;   // accepted ScheduleVideoFrame calls
    long long schedulesRefused = 0;  // refused ones (validation or injected fault)
    long long framesCompleted = 0;
    long long framesDisplayedLate = 0;
    long long framesDropped = 0;
    long long framesFlushed = 0;
    long long underruns = 0;              // frame times with no new frame: the picture repeated
    long long invalidContentFrames = 0;   // v210 / Ay10 frames with reserved bits or codes
    long long audioSamplesScheduled = 0;  // stereo sample frames accepted
    long long audioSamplesPlayed = 0;
    long long audioSamplesMissing = 0;   // played as silence because none were scheduled
    long long audioDiscontinuities = 0;  // audio scheduled at a time other than the next one
    long long audioRequests = 0;         // calls of the audio request handler
    long long audioSamplesRequested = 0;
    long long recordedFrames = 0;       // frames written to the recording
    long long recordFramesDropped = 0;  // frames left out of it: the disk could not keep up
    long long recordAudioDropped = 0;   // sample frames left out of it
};

// The video output of one virtual SDI device: display modes and the mode check, video and
// audio enabling, frames, and scheduled playback.
//
// Playback runs on the output's own completion thread. Each frame time (tick) of the mode, at
// start + floor(k x frameDuration x 10^9 / timeScale) ns on steady_clock, or at each step()
// with the manual clock, the card shows the newest scheduled frame whose display time has
// come: on time it completes as `completed`, after its time as `displayedLate`; older frames
// still waiting are `dropped`; with nothing new the picture repeats (an underrun). The clock
// never slips: when the thread wakes after one or more further frame times have begun (the
// system held it up), those are passed over and counted as missed, and the card goes on with
// the frame time under way, so that frames due meanwhile come back late or dropped and the
// frame count and the audio follow the clock. Completions are called on the completion
// thread, one at a time, in display order; the handler may schedule the next frame from there.
// After showing a frame the card plays the audio of that frame time (48 kHz stereo, signed 32-bit,
// placed by stream time) and, with an audio request handler, first asks it for what is missing
// through the end of that frame time, so that after k frame times exactly floor(k x frameDuration x
// 48000 / timeScale) sample frames were asked for or scheduled (passed over, after a wake later
// than the two-second audio buffer).
//
// Like a strict driver it refuses what does not fit: frames of another size or format than
// the enabled mode allows, row bytes below the format's minimum, display times off the frame
// grid, durations other than one frame, a frame scheduled again while the card still holds
// it, audio that overlaps audio already scheduled. Every method is thread-safe.
class SdiOutput {
  public:
    using CompletionHandler = std::function<void(const std::shared_ptr<SdiVideoFrame>& frame,
                                                 SdiCompletionResult result)>;
    using PlaybackStoppedHandler = std::function<void()>;
    // Fills `frames` interleaved stereo sample frames for the given stream time (48 kHz units).
    using AudioRequestHandler =
        std::function<void(std::int32_t* interleaved, std::uint32_t frames, long long streamTime)>;
    using FrameCaptureHandler = std::function<void(const SdiCapturedFrame& frame)>;
    using AudioCaptureHandler = std::function<void(const std::int32_t* interleaved,
                                                   std::uint32_t frames, long long streamTime)>;

    static constexpr int kAudioSampleRate = 48000;
    static constexpr int kAudioChannels = 2;
    static constexpr std::uint32_t kMaxAudioRequest = 4096;  // sample frames per request
    static constexpr long long kAudioBufferFrames = 96000;   // two seconds of lead
    static constexpr std::size_t kMaxPendingFrames = 16;

    SdiOutput(int deviceIndex, SdiDeviceConfig config, std::shared_ptr<SdiKeyer> keyer,
              SdiClockMode clock, std::string recordDirectory);
    ~SdiOutput();

    SdiOutput(const SdiOutput&) = delete;
    SdiOutput& operator=(const SdiOutput&) = delete;

    // Display modes, in the device's order.
    std::vector<SdiDisplayMode> displayModes() const;
    std::optional<SdiDisplayMode> displayMode(std::uint32_t code) const;
    // The mode check: can the mode be played in the pixel format (a four-character code), with
    // keying or not, and which mode would really go out. Fails (invalidArgument) for an
    // unknown pixel format code; an unknown mode is simply not supported.
    struct ModeCheck {
        bool supported = false;
        std::uint32_t actualMode = 0;
    };
    SdiResult doesSupportVideoMode(std::uint32_t modeCode, std::uint32_t pixelFormat, bool keying,
                                   ModeCheck* check) const;

    SdiResult enableVideoOutput(std::uint32_t modeCode);
    SdiResult disableVideoOutput();
    // Only 48000 Hz, 32-bit integer, 2 channels, time-stamped is accepted.
    SdiResult enableAudioOutput(int sampleRate, int bitsPerSample, int channels, bool timestamped);
    SdiResult disableAudioOutput();
    bool isVideoEnabled() const;
    bool isAudioEnabled() const;

    // A frame of the card's own memory (zeroed).
    SdiResult createVideoFrame(long long width, long long height, long long rowBytes,
                               std::uint32_t pixelFormat, std::shared_ptr<SdiVideoFrame>* frame);
    // A frame over the caller's memory (height x rowBytes bytes), kept alive through `owner`.
    SdiResult wrapVideoFrame(long long width, long long height, long long rowBytes,
                             std::uint32_t pixelFormat, std::shared_ptr<void> owner,
                             std::uint8_t* bytes, std::shared_ptr<SdiVideoFrame>* frame);

    // Replaces the handlers; empty handlers remove them.
    void setScheduledFrameCompletionCallback(CompletionHandler onCompleted,
                                             PlaybackStoppedHandler onStopped = {});
    SdiResult scheduleVideoFrame(const std::shared_ptr<SdiVideoFrame>& frame, long long displayTime,
                                 long long duration, long long timeScale);
    // Accepts up to the free room of the card's two-second audio buffer; *written says how
    // many sample frames were taken. A stream time after the end of what is scheduled leaves
    // a gap of silence (counted as a discontinuity); one before it is refused.
    SdiResult scheduleAudioSamples(const std::int32_t* interleaved, std::uint32_t frames,
                                   long long streamTime, long long timeScale,
                                   std::uint32_t* written);
    void setAudioRequestHandler(AudioRequestHandler handler);

    // Speed must be 1. startTime is on the frame grid of the enabled mode.
    SdiResult startScheduledPlayback(long long startTime, long long timeScale, double speed);
    // Stops the clock, reports every frame still waiting as `flushed`, then calls the stopped
    // handler; from any other thread it returns after that, also when another thread stops the
    // same playback at the same time. Called from the completion thread
    // itself it returns at once and the flush follows when the current completion returns.
    SdiResult stopScheduledPlayback(long long stopTime, long long* actualStopTime,
                                    long long timeScale);
    bool isPlaybackRunning() const;
    // The display time of the frame on air, in the given time scale (floor).
    SdiResult scheduledStreamTime(long long timeScale, long long* streamTime) const;

    // Manual clock: lets `frames` frame times pass and returns when their work (display,
    // audio, completions) is done. Does nothing with the real-time clock, when playback is not
    // running, or on the completion thread.
    void step(long long frames = 1);
    // Manual clock: lets `frames` frame times pass while the card's thread is held up; it wakes
    // once, in the last of them, as the real-time clock does after a late wake. Same limits.
    void stepLate(long long frames);

    // Test access.
    void setFrameCapture(FrameCaptureHandler handler);
    void setAudioCapture(AudioCaptureHandler handler);
    void setFaults(SdiFaults faults);
    // Writes what plays to DIR/sdiI.bgra, .v210, .ay10 (raw, tight rows) and DIR/sdiI.pcm
    // (s32le interleaved stereo), through an SdiRecorder that each playback (and a new folder
    // during one) begins: the first of this output in the process begins the files afresh,
    // every later one appends to the files in its folder, so that a restart never overwrites
    // the take before it. The files are closed when the playback stops, after the recorder's
    // queue is written. Empty: no recording.
    void setRecordDirectory(std::string directory);
    // The recorder's write, for recordings begun from now on (empty: the file's own).
    void setRecordWriter(SdiRecorder::Write write);
    // Why the playback under way records nothing (or not everything): the recorder's problem();
    // empty while it records, and when there is no folder or no playback.
    std::string recordingProblem() const;
    SdiOutputCounters counters() const;
    SdiClockMode clockMode() const { return clock_; }

  private:
    struct Pending {
        std::shared_ptr<SdiVideoFrame> frame;
        long long index = 0;
    };
    struct Completion {
        std::shared_ptr<SdiVideoFrame> frame;
        SdiCompletionResult result;
    };

    const SdiModeSupport* findMode(std::uint32_t code) const;
    bool formatAllowed(const SdiModeSupport& mode, SdiPixelFormat format) const;
    SdiResult validateFrameShape(long long width, long long height, long long rowBytes,
                                 std::uint32_t pixelFormat, SdiPixelFormat* format) const;
    void run();
    // Handles frame time `frame` (counted from the start of this playback), passing over the
    // frame times before it that were not handled yet.
    void tick(std::unique_lock<std::mutex>& lock, long long frame);
    void startRecording();
    void closeRecording(std::unique_lock<std::mutex>& lock);
    void deliver(std::unique_lock<std::mutex>& lock, std::deque<Completion>& completions);
    void finishPlayback(std::unique_lock<std::mutex>& lock);
    void joinThread();

    const int deviceIndex_;
    const SdiDeviceConfig config_;
    const std::vector<SdiModeSupport> modes_;
    const std::shared_ptr<SdiKeyer> keyer_;
    const SdiClockMode clock_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;  // the completion thread waits on it
    std::condition_variable done_;  // step() and stop wait on it
    SdiFaults faults_;
    std::string recordDirectory_;
    SdiRecorder::Write recordWriter_;
    std::unique_ptr<SdiRecorder> recorder_;  // while playing with a folder
    SdiRecorder::Counts recordedBefore_;     // of recorders already closed
    bool recordedOnce_ = false;              // later recorders append to the files

    const SdiModeSupport* mode_ = nullptr;  // enabled mode
    bool audioEnabled_ = false;
    long long framesCreated_ = 0;
    long long scheduleCalls_ = 0;

    CompletionHandler onCompleted_;
    PlaybackStoppedHandler onStopped_;
    AudioRequestHandler audioRequest_;
    FrameCaptureHandler frameCapture_;
    AudioCaptureHandler audioCapture_;

    std::vector<Pending> pending_;
    std::deque<Completion> held_;  // completions held back by a stall
    long long heldUntilIndex_ = -1;

    // Audio: scheduled samples from audioPlayedEnd_ (stream time, 48 kHz) on.
    std::deque<std::int32_t> audio_;
    long long audioPlayedEnd_ = 0;
    long long audioScheduledEnd_ = 0;

    bool running_ = false;
    bool stopRequested_ = false;
    long long startIndex_ = 0;
    long long ticks_ = 0;         // frame times begun in this playback
    long long ticksDone_ = 0;     // frame times whose work is done
    long long stepsAllowed_ = 0;  // manual clock: frame times allowed so far
    long long lateThrough_ = 0;   // manual clock: frame times before this one are slept through
    long long onAirIndex_ = -1;
    std::chrono::steady_clock::time_point startPoint_;
    std::thread thread_;  // taken out under the lock by the one caller that joins it
    std::thread::id threadId_;
    long long playbacksStarted_ = 0;   // playbacks begun on this output
    long long playbacksFinished_ = 0;  // of them, those whose completion thread has finished

    SdiOutputCounters counters_;
};

}  // namespace velmar
