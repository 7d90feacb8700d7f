#pragma once

#include "canvas/canvas_engine.h"
#include "platform/gpu/gpu_types.h"
#include "render/metal_renderer.h"

#include <QSizeF>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace velmar {

class HostClock;
class Timer;
class TimerFactory;
namespace gpu {
class Texture;
}

// Shows the live canvas of one screen consumer: a background (checkerboard or a solid colour)
// with the consumer's screen canvas over it, stretched over the view or fitted with its
// proportions. A display-link timer at the screen's refresh rate runs while the view is shown
// and renders at most once per the consumer's minimum interval.
//
// Rendering: each frame is drawn on the GPU queue into one of two BGRA8 drawables of the
// view's pixel size while the other is shown; at most one frame is in flight, and a refresh
// that finds the last frame unfinished is skipped, so the main thread never waits for the GPU.
// The frame's completion reports its GPU time to GpuTimeSink and hands the drawable to
// paintEvent through the main thread's event loop. Main thread.
class CanvasMetalView : public QWidget {
    Q_OBJECT
  public:
    struct Options {
        HostClock* clock = nullptr;      // the system clock by default
        TimerFactory* timers = nullptr;  // the system timers by default
    };

    CanvasMetalView(CanvasEngine& canvas, CanvasEngine::Client client, QWidget* parent = nullptr);
    CanvasMetalView(CanvasEngine& canvas, CanvasEngine::Client client, Options options,
                    QWidget* parent = nullptr);
    ~CanvasMetalView() override;

    CanvasEngine::Client client() const { return client_; }
    // Checkerboard square in points; 0 = a solid background.
    double checkerSquare() const { return checkerSquare_; }
    void setCheckerSquare(double points);
    // Red, green, blue of the solid background (sRGB, 0...1).
    std::array<float, 3> solidBackgroundColor() const { return solidBackgroundColor_; }
    void setSolidBackgroundColor(std::array<float, 3> rgb);
    // False: the canvas covers the whole view; true: fitted with its proportions, centred.
    bool fitsCanvas() const { return fitsCanvas_; }
    void setFitsCanvas(bool fits);

    bool hasDisplayLink() const { return displayLink_ != nullptr; }
    // Frames shown since the view was made: each frame drawn, and each refresh that found
    // nothing changed and so presented the frame shown again.
    quint64 presentedFrames() const { return presentedFrames_; }
    // The frames of those that were drawn.
    quint64 drawnFrames() const { return drawnFrames_; }

    // Whether a refresh at `now` renders: always with no minimum interval, else once the
    // interval has passed since the last render.
    static bool refreshRenders(double now, double lastRenderTime, double minimumInterval);
    // Where the canvas texture goes on the drawable (corners as MetalRenderer::corners gives
    // them). The texture holds a canvas of `canvas` pixels fitted into it at r = min of the
    // two side ratios, centred; its sides are rounded up, so it may hold more. That canvas
    // covers the whole drawable, or, fitted, fits it by k = min of the two side ratios
    // (enlarging too), centred; what the texture holds beyond the canvas overhangs. A
    // zero-sized quad when a side of either is below 1; the texture's own size stands for a
    // canvas with a side below 1.
    static std::array<gpu::Float2, 4> canvasQuad(QSizeF drawable, QSizeF canvasTexture,
                                                 QSizeF canvas, bool fitsCanvas);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // Everything a drawable's bytes follow from: the canvas work (CommandBuffer::workDigest,
    // empty when it cannot be named), the drawable's size and the background and fitting.
    struct Inputs {
        std::vector<uint64_t> canvasWork;
        int width = 0, height = 0;
        double checkerSquare = 0;
        std::array<float, 3> background{};
        std::array<gpu::Float2, 4> quad{};
        bool operator==(const Inputs&) const = default;
    };

    void step();
    void render(std::optional<double> hostTime);
    void frameCompleted(const std::shared_ptr<gpu::Texture>& drawable, bool completed);

    CanvasEngine& canvas_;
    const CanvasEngine::Client client_;
    HostClock& clock_;
    TimerFactory& timers_;
    MetalRenderer::CanvasTarget target_;
    std::unique_ptr<Timer> displayLink_;
    double linkInterval_ = 1.0 / 60.0;
    double lastRenderTime_ = 0;
    double checkerSquare_ = 10;
    std::array<float, 3> solidBackgroundColor_{0, 0, 0};
    bool fitsCanvas_ = false;

    std::array<std::shared_ptr<gpu::Texture>, 2> drawables_;
    int shown_ = -1;  // the drawable paintEvent shows; -1 = none yet
    bool frameInFlight_ = false;
    // What the drawable in flight or shown was drawn from; none when it must be drawn again.
    std::optional<Inputs> drawnInputs_;
    quint64 presentedFrames_ = 0;
    quint64 drawnFrames_ = 0;
};

}  // namespace velmar
