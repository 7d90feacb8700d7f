#pragma once

#include "models/canvas_format.h"
#include "models/frame_rate.h"
#include "output/ndi_slot_pool.h"
#include "output/zr_ndi_bridge.h"
#include "platform/base/serial_queue.h"
#include "render/metal_renderer.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmar {

class CanvasEngine;
class HostClock;
class PlayoutEngine;
class SDIAudioBridge;
class Timer;
class TimerFactory;

// Feeds the network-video source "DOVRINE". A 1/60 s timer on the main thread polls the
// receivers; while any is connected it renders the canvas for the OBS consumer at the feed
// rate and at most 1920 x 1080, copies the picture on the GPU into a pooled buffer, and hands
// it to the sender from the queue "dovrine.ndi-send" once the GPU has finished; it also sends
// program audio at 48 kHz from the network-video audio ring.
//
// Threads: start, stop and the timer run on the main thread; GPU completions only queue work;
// every call of the bridge that sends, and its stop, runs on the send queue, which alone
// touches the audio scratch and the lent slot. Completions hold their slot and command buffer
// by shared pointer and the controller only through a weak handle cut at teardown, so a frame
// that completes after a stop or after the controller is gone is dropped harmlessly.
class NDIOutputController {
  public:
    struct Options {
        HostClock* clock = nullptr;           // the system clock by default
        TimerFactory* timers = nullptr;       // Qt timers by default
        SDIAudioBridge* audio = nullptr;      // SDIAudioBridge::ndi() by default
        std::unique_ptr<ZRNDIBridge> bridge;  // one on the process's runtime by default
    };
    static constexpr const char* kSourceName = "DOVRINE";
    static constexpr int kMaxWidth = 1920;
    static constexpr int kMaxHeight = 1080;

    NDIOutputController(CanvasEngine& canvas, PlayoutEngine& engine);
    NDIOutputController(CanvasEngine& canvas, std::function<CanvasFormat()> canvasFormat,
                        Options options);
    ~NDIOutputController();
    NDIOutputController(const NDIOutputController&) = delete;
    NDIOutputController& operator=(const NDIOutputController&) = delete;

    // True when started (already, or now). False when the bridge cannot start (its
    // errorMessage() says why) or while the texture-share feed runs (no message: the sender is
    // destroyed again).
    bool start();
    void stop();
    bool isStarted() const { return timer_ != nullptr; }
    ZRNDIBridge& bridge() { return *bridge_; }
    // Called on the main thread whenever the receiver count changes.
    std::function<void(int)> onClientChange;

  private:
    // What a GPU completion may reach: the controller while it lives, null after teardown.
    struct Handle {
        std::mutex mutex;
        NDIOutputController* controller = nullptr;
    };

    void step();
    void sendAudio(double now);
    void queueSend(bool completed, long long generation, std::shared_ptr<NDISlotPool::Slot> slot,
                   FrameRate rate);
    void resetAudioRing(bool active);

    CanvasEngine& canvas_;
    std::function<CanvasFormat()> canvasFormat_;
    HostClock& clock_;
    TimerFactory& timers_;
    SDIAudioBridge& audio_;
    std::unique_ptr<ZRNDIBridge> bridge_;
    MetalRenderer::CanvasTarget target_;
    std::unique_ptr<Timer> timer_;
    double lastRenderTime_ = 0;
    double lastAudioTime_ = 0;
    double audioRemainder_ = 0;
    bool lastClientState_ = false;
    int lastReportedCount_ = 0;
    NDISlotPool slots_;
    std::shared_ptr<NDISlotPool::Slot> slotInNDI_;  // send queue only
    std::vector<float> audioScratch_;               // send queue only
    std::shared_ptr<Handle> handle_;
    SerialQueue sendQueue_{"dovrine.ndi-send"};
};

}  // namespace velmar
