#pragma once

#include "platform/sdi/sdi_device.h"
#include "platform/sdi/sdi_output.h"
#include "platform/sdi/sdi_video_frame.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/zr_deck_link_device.h"
#include "sdi/zr_deck_link_error.h"
#include "sdi/zr_deck_link_mode.h"
#include "sdi/zr_frame_buffer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {

// Drives one SDI output in scheduled playback, and lists the devices and modes of the driver.
//
// The client hands start() a ring of at least two picture buffers of the mode's size and two
// callbacks. The frame request renders the next picture into one buffer of the ring and
// answers its index (negative: none). The optional audio request fills interleaved 48 kHz
// stereo signed 32-bit samples. The bridge wraps the ring's buffers as video frames without
// copying (8-bit BGRA, 10-bit v210 fill), or for 10-bit fill and key copies each rendered
// buffer (Ay10 data carried in BGRA-typed buffers) into frames of its own. It enables video,
// audio and the keyer, prerolls three frames and starts playback; every completed frame then
// schedules the next one from the card's completion thread, and audio is scheduled through the
// end of each scheduled frame, so that after k frames exactly
// floor(k x frameDuration x 48000 / timeScale) sample frames were scheduled.
//
// A frame that cannot be shown as rendered (no picture, a failed copy, a refused schedule, a
// frame reported late or dropped) is counted in droppedFrameCount() and replaced by a black
// frame. Three frames are kept in flight: a slot lost to a refused schedule is refilled at the
// next completion; while fewer than three are in flight isStalled() says so (with none left,
// playback has stopped for good and the client should restart it).
//
// Threads: start and stop on the owner's thread (the main thread); the frame and audio
// requests run on the card's completion thread, one completion at a time. stop() waits for a
// completion that is inside the bridge. The requests must not call stop() or start(): such a
// stop() only blocks further scheduling, and the owner's stop() finishes the job.
class ZRDeckLinkOutput {
  public:
    // Answers the index of the ring buffer just rendered, or a negative value for none.
    using FrameRequest = std::function<long long()>;
    // Writes `frames` (1 ... kAudioBufferFrames) interleaved stereo sample frames.
    using AudioRequest = std::function<void(std::int32_t* interleaved, long long frames)>;
    // Told how long each frame request took, in seconds, on the completion thread.
    using FrameRequestTimer = std::function<void(double seconds)>;

    static constexpr int kPrerollFrames = 3;
    static constexpr int kFramesInFlight = 3;
    static constexpr int kAudioSampleRate = 48000;
    static constexpr long long kAudioBufferFrames = 4096;

    // Devices and modes of the driver of this process (loaded once), or of the given card
    // (null: no driver). Empty lists when there is nothing; any thread.
    static std::vector<ZRDeckLinkDevice> availableDevices();
    static std::vector<ZRDeckLinkDevice> availableDevices(const VirtualSdiCard* card);
    static std::vector<ZRDeckLinkMode> supportedModesForDeviceIndex(long long deviceIndex,
                                                                    bool tenBit,
                                                                    bool externalKeyer);
    static std::vector<ZRDeckLinkMode> supportedModesForDeviceIndex(const VirtualSdiCard* card,
                                                                    long long deviceIndex,
                                                                    bool tenBit,
                                                                    bool externalKeyer);

    // Bytes per row of the output formats: BGRA w x 4, v210 ((w + 47) / 48) x 128,
    // Ay10 ((w + 63) / 64) x 256.
    static std::size_t rowBytesFor(SdiPixelFormat format, long long width);
    // Fill `height` rows of `rowBytes` at `bytes` with black of the format (v210: Y 64, Cb/Cr
    // 512; Ay10: Y 64, chroma 512, key 0; BGRA: all zero).
    static void fillBlack(SdiPixelFormat format, std::uint8_t* bytes, long long width,
                          long long height, std::size_t rowBytes);

    // Uses the driver of this process.
    ZRDeckLinkOutput();
    // Uses the given card (null: no driver), which must outlive the bridge.
    explicit ZRDeckLinkOutput(const VirtualSdiCard* card);
    ~ZRDeckLinkOutput();

    ZRDeckLinkOutput(const ZRDeckLinkOutput&) = delete;
    ZRDeckLinkOutput& operator=(const ZRDeckLinkOutput&) = delete;

    // The ring must be "v210" buffers for tenBit without externalKeyer, "BGRA" otherwise. On
    // failure returns false with the reason in *error (when given) and the bridge stopped.
    bool start(long long deviceIndex, std::uint32_t displayMode,
               std::vector<ZRFrameBuffer> pixelBuffers, bool tenBit, bool externalKeyer,
               FrameRequest frameRequest, AudioRequest audioRequest,
               ZRDeckLinkError* error = nullptr);
    // Stops playback and releases everything; safe at any time and more than once.
    void stop();
    // Times every frame request from the next start() on (null: none). Owner's thread, while
    // stopped: a running output keeps the timer it started with.
    void setFrameRequestTimer(FrameRequestTimer timer) { pendingTimer_ = std::move(timer); }

    bool isRunning() const { return running_.load(); }
    std::uint64_t droppedFrameCount() const { return dropped_.load(); }
    bool keyerEnabled() const { return keyerEnabled_.load(); }
    bool audioEnabled() const { return audioEnabled_.load(); }
    // The external keyer was asked for but could not be enabled: the output runs without key.
    bool keyerFailed() const { return keyerFailed_.load(); }
    // Fewer than three frames are in flight after an attempt to refill: the card refused
    // frames. With none in flight no completion will come and playback is over.
    bool isStalled() const { return stalled_.load(); }
    int framesInFlight() const { return inFlight_.load(); }
    // Frames of this playback the card has given back (completed, late, dropped or flushed).
    std::uint64_t completedFrameCount() const { return completed_.load(); }

  private:
    bool fail(ZRDeckLinkError::Code code, ZRDeckLinkError* error, bool stopFirst = true);
    bool makeOwnFrames(long long width, long long height, SdiPixelFormat format,
                       std::size_t rowBytes);
    void onFrameCompleted(const std::shared_ptr<SdiVideoFrame>& frame, SdiCompletionResult result);
    // Schedules frames until three are in flight, at most `attempts` times; updates stalled.
    void fillPipeline(int attempts);
    bool scheduleNextFrame();
    bool copyPixelBufferAtSlot(long long slot);
    void scheduleAudioThrough(long long streamTime);
    // The first black frame not in flight, or -1.
    int freeFallback() const;
    bool scheduleFrame(const std::shared_ptr<SdiVideoFrame>& frame);

    const VirtualSdiCard* card_;

    // Everything below but the atomics is written by start and stop only while no completion
    // can run, and used by completions under scheduleMutex_.
    std::shared_ptr<SdiDevice> device_;
    std::shared_ptr<SdiOutput> output_;
    std::shared_ptr<SdiKeyer> keyer_;
    std::vector<std::shared_ptr<SdiVideoFrame>> frames_;          // one per ring buffer
    std::vector<std::shared_ptr<SdiVideoFrame>> fallbackFrames_;  // black, one per frame in flight
    std::vector<bool> frameInFlight_;
    std::vector<bool> fallbackInFlight_;
    ZRFrameBuffer fallbackBuffer_;
    std::vector<ZRFrameBuffer> pixelBuffers_;
    long long frameDuration_ = 0;
    long long timeScale_ = 0;
    long long scheduledTime_ = 0;
    FrameRequest frameRequest_;
    AudioRequest audioRequest_;
    FrameRequestTimer pendingTimer_;
    FrameRequestTimer frameRequestTimer_;
    std::vector<std::int32_t> audioBuffer_;
    long long audioSamplesScheduled_ = 0;
    bool copyFromPixelBuffers_ = false;
    bool videoEnabled_ = false;  // this bridge enabled the output's video (and owns its playback)

    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> keyerEnabled_{false};
    std::atomic<bool> audioEnabled_{false};
    std::atomic<bool> keyerFailed_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<int> inFlight_{0};
    std::atomic<std::uint64_t> completed_{0};

    std::mutex scheduleMutex_;  // held for the whole of a completion, and by stop to wait for one
    std::atomic<std::thread::id> schedulingThread_{};
};

}  // namespace velmar
