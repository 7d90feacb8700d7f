#pragma once

#include "output/zr_syphon_bridge.h"
#include "render/metal_renderer.h"

#include <QString>

#include <functional>
#include <memory>

namespace velmar {

class CanvasEngine;
class HostClock;
class Timer;
class TimerFactory;

// Publishes the canvas through the texture-share bridge while a client is connected: a 1/60 s
// timer polls the client count, hands the media clock to the OBS feed while clients are there
// (the canvas engine's `obsClientActive`) and renders one frame per OBS frame period, at most
// 1920 x 1080, published on the frame's own command buffer. A failed publish stops the whole
// feed and reports the message through onFailure. Main thread.
class SyphonOutputController {
  public:
    struct Options {
        HostClock* clock = nullptr;                // the system clock by default
        TimerFactory* timers = nullptr;            // the system timers by default
        std::shared_ptr<TexShareLocator> locator;  // TexShareLocator::standard() by default
    };

    explicit SyphonOutputController(CanvasEngine& canvas);
    SyphonOutputController(CanvasEngine& canvas, Options options);
    ~SyphonOutputController();
    SyphonOutputController(const SyphonOutputController&) = delete;
    SyphonOutputController& operator=(const SyphonOutputController&) = delete;

    // True when running (already, or now). False when the bridge cannot start (its
    // errorMessage() says why) or while the NDI feed runs (no message: the bridge is stopped
    // again).
    bool start();
    void stop();
    bool isRunning() const { return timer_ != nullptr; }

    const ZRSyphonBridge& bridge() const { return bridge_; }

    // Clients appeared (true) or went (false).
    std::function<void(bool)> onClientChange;
    // Publishing failed; the feed has stopped.
    std::function<void(const QString&)> onFailure;

  private:
    void step();

    CanvasEngine& canvas_;
    HostClock& clock_;
    TimerFactory& timers_;
    ZRSyphonBridge bridge_;
    MetalRenderer::CanvasTarget target_;
    std::unique_ptr<Timer> timer_;
    // A stopped timer is kept until it has surely returned from its own firing (a failed
    // publish stops the feed from inside the timer's callback).
    std::unique_ptr<Timer> retiredTimer_;
    bool inStep_ = false;
    double lastRenderTime_ = 0;
    bool lastClientState_ = false;
};

}  // namespace velmar
