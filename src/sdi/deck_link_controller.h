#pragma once

#include "models/canvas_format.h"
#include "models/frame_rate.h"
#include "models/key_alpha_mode.h"
#include "render/metal_renderer.h"
#include "render/sdi_bit_depth.h"
#include "sdi/zr_deck_link_mode.h"
#include "sdi/zr_deck_link_output.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmar {

class AY10Packer;
class CanvasEngine;
class V210Packer;
namespace gpu {
class Buffer;
class PixelBuffer;
}  // namespace gpu

// The SDI output: turns a canvas format, a frame rate, a keyer choice, an audio choice and a
// bit depth into a running scheduled playback whose frames the canvas engine renders on demand.
//
// start() picks the first display mode of the device with exactly the canvas size and rate,
// makes four BGRA render targets (and, for 10-bit output, a packer with one packing slot per
// target), starts the bridge with a frame request and (with embedded audio) an audio request
// that pulls the SDI program-audio ring, and hands the canvas engine's media clock to the
// card's timeline. Each frame request renders the composed program into the next slot, packs
// it for the chosen format ('Ay10' straight into the memory the bridge reads; v210 into the
// slot's words, then copied into the slot's v210 buffer), offers the frame to the signal probe
// and answers the slot. A frame that cannot be made answers -1: the bridge then sends black and
// counts a dropped frame.
//
//   depth           bridge tenBit  bridge keyer        ring handed to the bridge
//   eightBit        false          caller's choice     the targets' BGRA buffers
//   tenBit          true           always              BGRA-typed carriers over the Ay10 words
//   tenBitFillOnly  true           never               'v210' buffers made by the packer
//
// Threads: start, stop and the destructor run on the owner's thread (the main thread). Frame
// and audio requests run on the card's completion thread. The slot lock is held only to read
// or replace the slot set, never while rendering; a frame request keeps its own references to
// what it renders into, so a stop that empties the slot set during a render frees nothing the
// render uses. The canvas engine's lock is taken (inside the engine) to hand the clock over;
// the program-audio ring's lock is never held with it. stop() (and so the destructor) returns
// only after any frame request in progress has returned.
class DeckLinkController {
  public:
    // Why start() failed. The bridge's message is shown as it is; the other two are looked up.
    class StartError : public std::runtime_error {
      public:
        enum class Kind { bridge, noMatchingMode, allocationFailed };

        static StartError bridge(const QString& message);
        static StartError noMatchingMode();
        static StartError allocationFailed();

        Kind kind() const { return kind_; }
        const QString& localizedDescription() const { return description_; }

      private:
        StartError(Kind kind, QString description);
        Kind kind_;
        QString description_;
    };

    // Where SDI frames are offered to the signal probe: reserveCapture is asked for every frame
    // on the completion thread and, only when it answers true, capture gets the frame's BGRA
    // buffer with the key alpha mode of the output state. A hook is installed with both parts
    // or not at all: without either, nothing is offered and nothing is reserved.
    struct ProbeHook {
        std::function<bool()> reserveCapture;
        std::function<void(const std::shared_ptr<gpu::PixelBuffer>&, KeyAlphaMode)> capture;
    };

    static constexpr int kSlotCount = 4;

    // Uses the SDI driver of this process. The canvas engine must outlive every start and the
    // stop after it; a stopped controller (and its destructor) no longer touches it.
    explicit DeckLinkController(CanvasEngine& canvas);
    // Uses the given card (null: no driver), which must outlive the controller.
    DeckLinkController(CanvasEngine& canvas, const VirtualSdiCard* card);
    ~DeckLinkController();

    DeckLinkController(const DeckLinkController&) = delete;
    DeckLinkController& operator=(const DeckLinkController&) = delete;

    // The modes the device plays in the depth: 10-bit for both 10-bit depths; with keying
    // always for tenBit, as asked for eightBit, never for tenBitFillOnly.
    static std::vector<ZRDeckLinkMode> supportedModes(long long deviceIndex, SDIBitDepth bitDepth,
                                                      bool externalKeyer);
    static std::vector<ZRDeckLinkMode> supportedModes(const VirtualSdiCard* card,
                                                      long long deviceIndex, SDIBitDepth bitDepth,
                                                      bool externalKeyer);
    // The first mode, in list order, of exactly the canvas size and the same rate (both frame
    // durations above 0; 60/1 matches 60000/1000, 30000/1001 does not match 30/1).
    static std::optional<ZRDeckLinkMode> matchingMode(const std::vector<ZRDeckLinkMode>& modes,
                                                      const CanvasFormat& canvasFormat,
                                                      const FrameRate& frameRate);

    // Stops any running output, then starts a new one; throws StartError and is left stopped
    // on failure.
    void start(long long deviceIndex, const CanvasFormat& canvasFormat, const FrameRate& frameRate,
               bool externalKeyer, bool embedAudio, SDIBitDepth bitDepth);
    // Safe when not running: then it touches neither the canvas engine nor the card.
    void stop();

    // The running output's watch, called on the owner's thread about once a second
    // (kWatchInterval). The output has stopped for good when the bridge has no frame left on
    // the card, or when the card gave back no frame over two whole intervals in a row; then
    // the controller stops and reports the stall through onFailure. Does nothing when stopped.
    static constexpr double kWatchInterval = 1.0;
    void watchOutput();
    // Told, on the owner's thread, why a running output stopped by itself (a text to show).
    std::function<void(const QString&)> onFailure;
    // Told by the watch, on the owner's thread, what the operator should know about a running
    // output that goes on (a text to show): the card's recording folder cannot be written, so
    // nothing (or not everything) is recorded. Each reason once per start; it also goes to the
    // operation log.
    std::function<void(const QString&)> onNotice;
    // Where the controller writes its lines of the operation log (PlayoutLog::shared() when
    // empty).
    std::function<void(const QString&)> writeLog;

    // Replaces the probe hook (any thread; takes effect at the next frame).
    void setProbeHook(ProbeHook hook);

    ZRDeckLinkOutput& bridge() { return bridge_; }
    const ZRDeckLinkOutput& bridge() const { return bridge_; }
    bool isRunning() const { return runningMode_.has_value(); }
    // How many times an output has started on this controller; a changed value tells a watcher
    // that the output it saw was stopped and started again (its drop count began anew).
    std::uint64_t startGeneration() const { return startGeneration_; }
    const std::optional<ZRDeckLinkMode>& runningMode() const { return runningMode_; }
    SDIBitDepth runningBitDepth() const { return runningBitDepth_; }
    // What the start message shows beside the state of the output (read from the bridge).
    std::uint64_t droppedFrameCount() const { return bridge_.droppedFrameCount(); }
    bool keyerEnabled() const { return bridge_.keyerEnabled(); }
    bool keyerFailed() const { return bridge_.keyerFailed(); }
    bool isStalled() const { return bridge_.isStalled(); }
    // Slot-set inspection for tests: how many targets are installed.
    int installedTargetCount() const;

  private:
    struct TenBitSlot {
        std::shared_ptr<gpu::Buffer> words;
        std::shared_ptr<gpu::PixelBuffer> pixelBuffer;
    };
    using Target = std::shared_ptr<MetalRenderer::PixelBufferTexture>;

    long long provideNextFrameBody();
    long long renderNextFrame();
    std::optional<std::vector<Target>> allocateTargets(int width, int height) const;
    void clearSlots();
    void offerToProbe(const Target& target);
    void reportRecordingProblem();
    static ZRFrameBuffer frameBufferOver(const std::shared_ptr<gpu::PixelBuffer>& buffer,
                                         SdiPixelFormat format);

    CanvasEngine& canvas_;
    const VirtualSdiCard* card_;
    ZRDeckLinkOutput bridge_;

    mutable std::mutex slotLock_;  // guards the four fields below
    std::vector<Target> targets_;
    std::vector<TenBitSlot> tenBitSlots_;
    std::shared_ptr<V210Packer> packer_;
    std::shared_ptr<AY10Packer> ay10Packer_;
    long long nextSlot_ = 0;

    std::mutex probeLock_;  // guards probe_
    std::shared_ptr<const ProbeHook> probe_;

    std::optional<ZRDeckLinkMode> runningMode_;
    SDIBitDepth runningBitDepth_ = SDIBitDepth::eightBit;
    std::uint64_t startGeneration_ = 0;
    long long runningDevice_ = -1;
    std::string reportedRecordingProblem_;  // of the running output, told already
    bool audioBridgeActivated_ = false;
    // The watch: the bridge's completed-frame count at the last look, and how many looks in a
    // row found it unchanged.
    std::uint64_t watchedCompletions_ = 0;
    int silentWatches_ = 0;
};

}  // namespace velmar
