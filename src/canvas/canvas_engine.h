#pragma once

#include "canvas/frame_provider.h"
#include "core/dsk_controller.h"
#include "core/output_state.h"
#include "models/frame_rate.h"
#include "models/key_alpha_mode.h"
#include "render/frame_pacer.h"
#include "render/metal_renderer.h"

#include <QSizeF>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

class HostClock;
class StillTextureCache;
namespace gpu {
class CommandBuffer;
class Device;
class Texture;
}  // namespace gpu

// The one compositor of the program. It reads the playout engine's output snapshot and the
// keyer's ramp, pulls the program and keyer textures from its two frame providers, places the
// program layer by the motion curve at the snapshot's presence and the clip's transform, lays
// the keyer over it at the keyer's level, and draws the result into an SDI frame, a probe
// frame or a screen consumer's canvas.
//
// Media clock: one consumer pulls new source frames, the others reuse the last ones: SDI while
// it runs, else the output window while it is open, else the OBS feed while it has clients,
// else the PROGRAM pane.
//
// Threads: every render runs its encoding under the engine's lock (SDI frames on the card's
// completion thread, probe and screen frames on the main thread). Inside it the playout
// engine's output-state lock and then the keyer's lock are each taken briefly for a copy;
// nothing else is locked inside it. The GPU work of an SDI frame is committed and waited for
// after the lock is released, so screen renders never wait for an SDI frame's execution.
class CanvasEngine {
  public:
    enum class Client { outputWindow, programPane, obs };

    // Where the engine reads its inputs (the application wires them to the playout engine).
    struct Sources {
        OutputStateSource outputState;
        std::function<DSKController::Snapshot()> keyerSnapshot;
        std::function<FrameRate()> frameRate;  // main thread
    };
    struct Options {
        HostClock* clock = nullptr;               // the system clock by default
        std::shared_ptr<gpu::Device> device;      // the process's device by default
        StillTextureCache* stillCache = nullptr;  // StillTextureCache::shared() by default
    };

    // Null when the renderer cannot be made (then there is no canvas and no output). Points
    // the still-texture cache at the new renderer and empties it.
    static std::unique_ptr<CanvasEngine> create(Sources sources, Options options);

    ~CanvasEngine();
    CanvasEngine(const CanvasEngine&) = delete;
    CanvasEngine& operator=(const CanvasEngine&) = delete;

    const std::shared_ptr<MetalRenderer>& renderer() const { return renderer_; }
    OutputSnapshot outputState() const { return sources_.outputState(); }

    // ---- Output frames ------------------------------------------------------------------------
    // One SDI frame into `into` (a BGRA8 render target of canvas size) at the paced frame time;
    // `encodeAfter` adds its own work to the same command buffer (returning false fails the
    // frame, which is then not committed). Waits for the GPU. True only when the frame was
    // completely drawn and its command buffer completed; false also when a layer target cannot
    // be made, so that the caller sends its fallback rather than an old frame.
    bool renderOutputFrame(const std::shared_ptr<gpu::Texture>& into,
                           const std::function<bool(gpu::CommandBuffer&)>& encodeAfter = {});
    // The current composite into `into` without pulling new source frames; `completion` runs
    // on the GPU's completion thread with (completed, key alpha mode of the snapshot).
    void renderProbeFrame(const std::shared_ptr<gpu::Texture>& into,
                          std::function<void(bool, KeyAlphaMode)> completion);
    // Forgets the program's cached still and movie frames, so the next render reads the
    // source again (called whenever the program medium changes).
    void invalidateSource();

    // ---- Screen consumers -----------------------------------------------------------------------
    // Encodes the canvas for one screen consumer into the target's texture on the caller's
    // command buffer (the caller commits) and returns that texture; null when the target has no
    // texture. Screens always receive straight colour. When a layer target cannot be made the
    // target is cleared to transparent black rather than left with an old picture.
    std::shared_ptr<gpu::Texture> renderScreenCanvas(Client client,
                                                     MetalRenderer::CanvasTarget& into,
                                                     QSizeF displayPixels,
                                                     std::optional<double> hostTime,
                                                     gpu::CommandBuffer& commandBuffer);
    // The canvas reduced to a display: each side rounded up to a multiple of 16, at least 16,
    // never above the canvas; the canvas itself when a dimension is not above 0.
    static QSizeF screenCanvasSize(QSizeF canvas, QSizeF displayPixels);
    // The OBS feed's rate: the engine's, halved above 30.5 fps while SDI or the output window
    // runs; 30/1 for an invalid rate.
    FrameRate obsFrameRate() const;
    // Seconds between renders of a consumer: 1/30 for the PROGRAM pane (1/15 while any output
    // runs), else 0.
    double minimumScreenInterval(Client client) const;
    // The consumer that pulls source frames now; none while SDI owns the clock.
    std::optional<Client> clockOwner() const;

    // ---- Clock handover (each under the lock) ---------------------------------------------
    // SDI start (owns, period = seconds per frame) and stop (false, 0); both restart the pacer.
    void setDeckLinkClock(bool ownsClock, double framePeriod);
    void setOutputWindowIsOpen(bool open);
    void setObsClientActive(bool active);
    bool deckLinkOwnsClock() const;
    double deckLinkFramePeriod() const;
    bool outputWindowIsOpen() const;
    bool obsClientActive() const;

  private:
    CanvasEngine(Sources sources, std::shared_ptr<MetalRenderer> renderer,
                 StillTextureCache& stillCache, HostClock& clock);

    using Frame = FrameProvider::Frame;
    // What one render draws, gathered under the lock.
    struct Layers {
        std::optional<Frame> program;
        std::optional<Frame> keyer;
        float keyerLevel = 0;
    };

    std::optional<Frame> dskFrame(const DSKController::Snapshot& snapshot, bool advance,
                                  bool unpremultiply, std::optional<double> hostTime,
                                  double levelTime);
    static void retainUntilCompleted(const Layers& layers, gpu::CommandBuffer& commandBuffer);
    // Encodes the canvas into `target`; false (with nothing encoded) when a layer target of
    // the two-layer path cannot be made or the command buffer refuses a pass.
    bool encodeCanvas(gpu::CommandBuffer& commandBuffer,
                      const std::shared_ptr<gpu::Texture>& target,
                      MetalRenderer::LayerTargets& layerTargets, const OutputSnapshot& snapshot,
                      const Layers& layers, double programScale, double keyerScale,
                      bool premultipliedOutput);
    std::optional<Client> clockOwnerLocked() const;

    Sources sources_;
    std::shared_ptr<MetalRenderer> renderer_;
    HostClock& clock_;
    FrameProvider frameProvider_;
    FrameProvider dskProvider_;
    std::optional<QUuid> dskGeneration_;
    std::optional<Frame> lastDSKFrame_;
    MetalRenderer::LayerTargets outputLayers_;
    MetalRenderer::LayerTargets probeLayers_;
    mutable std::mutex lock_;
    bool deckLinkOwnsClock_ = false;
    bool outputWindowIsOpen_ = false;
    bool obsClientActive_ = false;
    std::optional<Frame> lastFrame_;
    double deckLinkFramePeriod_ = 0;
    FramePacer deckLinkPacer_;
};

}  // namespace velmar
