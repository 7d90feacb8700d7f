#pragma once

#include "canvas/signal_analyzer.h"
#include "canvas/signal_capture.h"
#include "canvas/signal_snapshot.h"
#include "models/key_alpha_mode.h"
#include "render/metal_renderer.h"

#include <QObject>
#include <QSize>

#include <functional>
#include <memory>

namespace velmar {

class CanvasEngine;
class HostClock;
class Timer;
class TimerFactory;
namespace gpu {
class PixelBuffer;
}

// Takes samples of the composited fill and key, at most about eight a second, while it runs
// (the signal monitor starts it when it opens and stops it when it closes), has the analyzer
// measure each one on its own queue and publishes the latest snapshot on the main thread.
//
// Two feeds: while SDI runs, the SDI frame path offers each rendered frame (reserveCapture,
// then capture with source sdi); while SDI is stopped, a 0.125 s timer has the canvas engine
// render the current composite into a target of the canvas size and captures that.
//
// At most one capture is in flight: busy is set only by a reservation that succeeds, and every
// path after it clears it exactly once. That is also why one capture buffer serves every
// sample: the frame thread copies into it and the analysis reads it before busy clears.
//
// Threads: reserveCapture and capture on any thread (the SDI frame thread, the GPU completion
// thread); the analysis on the serial queue "dovrine.signal-probe", below the frame path's
// priority; start, stop, the timer and publishing on the main thread.
class SignalProbe : public QObject {
    Q_OBJECT
  public:
    using Source = SignalSource;

    // What the composite feed reads (main thread).
    struct CompositeFeed {
        std::function<bool()> isDeckLinkRunning;  // true: the SDI feed supplies frames
        std::function<CanvasEngine*()> canvas;    // null: no canvas, nothing rendered
        std::function<QSize()> canvasSize;        // the engine's canvas format
    };

    static constexpr double kInterval = 0.125;         // composite timer
    static constexpr double kMinimumSpacing = 0.1125;  // between two reserved captures

    // The clock and timer factory are kept and must outlive the probe.
    explicit SignalProbe(HostClock& clock, TimerFactory& timers, QObject* parent = nullptr);
    ~SignalProbe() override;

    // The process-wide probe on the system clock; first used on the main thread.
    static SignalProbe& shared();

    void setCompositeFeed(CompositeFeed feed);

    // True when the probe runs, no capture is in flight and at least 0.1125 s have passed since
    // the last reserved capture; then the capture is reserved (busy) until it has been analysed.
    bool reserveCapture();
    // Only after reserveCapture() returned true. Copies the frame before returning (the caller
    // may reuse the buffer at once) and queues its analysis; a frame that cannot be copied ends
    // the capture at once and keeps the published snapshot.
    void capture(const gpu::PixelBuffer& buffer, KeyAlphaMode keyAlphaMode, Source source);

    void start();
    // Stops the timer, drops the composite target and the snapshot. A capture in flight still
    // ends normally, but its result is not published.
    void stop();

    bool isRunning() const;
    // The latest analysis; null before the first one, after stop() and after a failed one.
    const std::shared_ptr<const SignalSnapshot>& snapshot() const { return snapshot_; }

    // Waits until the analyses queued so far have run (their results are then posted to the
    // main thread).
    void waitForAnalysis();

  signals:
    void snapshotChanged();

  private:
    struct Shared;

    void captureCompositeIfNeeded();
    void publish(std::shared_ptr<const SignalSnapshot> snapshot);

    std::shared_ptr<Shared> shared_;  // what the other threads reach, held weakly by them
    TimerFactory& timers_;
    CompositeFeed feed_;
    std::unique_ptr<Timer> timer_;
    std::shared_ptr<MetalRenderer::PixelBufferTexture> compositeTarget_;
    std::shared_ptr<const SignalSnapshot> snapshot_;
};

}  // namespace velmar
