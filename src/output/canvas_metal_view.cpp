#include "output/canvas_metal_view.h"

#include "output/gpu_time_sink.h"
#include "platform/base/host_clock.h"
#include "platform/base/main_thread.h"
#include "platform/base/timer.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <cmath>

namespace velmar {
namespace {
// A display link's refresh may come a little early; within this much it still counts as
// having waited the whole interval (else a 30 fps pane on a 60 Hz link drops to 20 fps).
constexpr double kRefreshTolerance = 0.001;
}  // namespace

CanvasMetalView::CanvasMetalView(CanvasEngine& canvas, CanvasEngine::Client client, QWidget* parent)
    : CanvasMetalView(canvas, client, Options{}, parent) {}

CanvasMetalView::CanvasMetalView(CanvasEngine& canvas, CanvasEngine::Client client, Options options,
                                 QWidget* parent)
    : QWidget(parent),
      canvas_(canvas),
      client_(client),
      clock_(options.clock ? *options.clock : HostClock::system()),
      timers_(options.timers ? *options.timers : TimerFactory::system()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CanvasMetalView::~CanvasMetalView() = default;

void CanvasMetalView::setCheckerSquare(double points) {
    checkerSquare_ = points;
}
void CanvasMetalView::setSolidBackgroundColor(std::array<float, 3> rgb) {
    solidBackgroundColor_ = rgb;
}
void CanvasMetalView::setFitsCanvas(bool fits) {
    fitsCanvas_ = fits;
}

bool CanvasMetalView::refreshRenders(double now, double lastRenderTime, double minimumInterval) {
    return !(minimumInterval > 0 && now - lastRenderTime < minimumInterval - kRefreshTolerance);
}

std::array<gpu::Float2, 4> CanvasMetalView::canvasQuad(QSizeF drawable, QSizeF canvasTexture,
                                                       QSizeF canvas, bool fitsCanvas) {
    if (drawable.width() < 1 || drawable.height() < 1 || canvasTexture.width() < 1 ||
        canvasTexture.height() < 1)
        return {};
    if (canvas.width() < 1 || canvas.height() < 1) canvas = canvasTexture;
    // The part of the texture that holds the canvas.
    const double r =
        std::min(canvasTexture.width() / canvas.width(), canvasTexture.height() / canvas.height());
    const QSizeF held = canvas * r;
    double sx = drawable.width() / held.width(), sy = drawable.height() / held.height();
    if (fitsCanvas) sx = sy = std::min(sx, sy);
    return MetalRenderer::corners(QSizeF(canvasTexture.width() * sx, canvasTexture.height() * sy),
                                  drawable, MotionTransform{});
}

void CanvasMetalView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const double rate = screen() && screen()->refreshRate() > 0 ? screen()->refreshRate() : 60.0;
    linkInterval_ = 1.0 / rate;
    displayLink_ = timers_.makeTimer([this] { step(); }, TimerPrecision::Precise);
    displayLink_->start(linkInterval_, true);
}

void CanvasMetalView::hideEvent(QHideEvent* event) {
    displayLink_.reset();
    QWidget::hideEvent(event);
}

void CanvasMetalView::step() {
    if (frameInFlight_) return;  // the last frame is still on the GPU: skip this refresh
    const double now = clock_.now();
    if (!refreshRenders(now, lastRenderTime_, canvas_.minimumScreenInterval(client_))) return;
    lastRenderTime_ = now;
    render(now + linkInterval_);  // the refresh this frame is meant for
}

void CanvasMetalView::render(std::optional<double> hostTime) {
    const double scale = devicePixelRatioF();
    const int w = int(std::lround(width() * scale));
    const int h = int(std::lround(height() * scale));
    if (w <= 0 || h <= 0) return;
    MetalRenderer& renderer = *canvas_.renderer();
    // The canvas texture's sides are rounded up to multiples of 16, so its proportions are not
    // the canvas's: the picture is fitted by the canvas the texture holds.
    const OutputSnapshot snapshot = canvas_.outputState();
    const QSizeF canvasSize =
        snapshot.state ? QSizeF(snapshot->canvas.width, snapshot->canvas.height) : QSizeF();
    std::shared_ptr<gpu::CommandBuffer> commandBuffer = renderer.commandQueue().commandBuffer();
    // The output window's frame goes before the panes' and the feeds' (after the card's).
    if (client_ == CanvasEngine::Client::outputWindow)
        commandBuffer->setPriority(gpu::CommandPriority::screenOutput);
    const QSizeF drawableSize(w, h);
    const auto canvasTexture =
        canvas_.renderScreenCanvas(client_, target_, drawableSize, hostTime, *commandBuffer);

    // A still at rest encodes the same work every refresh: then the drawable shown already
    // holds this frame, and the buffer is dropped uncommitted (the GPU does nothing).
    std::array<gpu::Float2, 4> quad{};
    if (canvasTexture)
        quad = canvasQuad(drawableSize, QSizeF(canvasTexture->width(), canvasTexture->height()),
                          canvasSize, fitsCanvas_);
    Inputs inputs{commandBuffer->workDigest(), w,   h, scale * checkerSquare_,
                  solidBackgroundColor_,       quad};
    if (!inputs.canvasWork.empty() && drawnInputs_ == inputs && shown_ >= 0 && drawables_[shown_] &&
        drawables_[shown_]->width() == w && drawables_[shown_]->height() == h) {
        ++presentedFrames_;  // the drawable shown is this frame
        return;
    }

    std::shared_ptr<gpu::Texture>& drawable = drawables_[shown_ == 0 ? 1 : 0];
    if (!drawable || drawable->width() != w || drawable->height() != h) {
        gpu::TextureDescriptor d;
        d.width = w;
        d.height = h;
        d.usage = gpu::TextureUsageShaderRead | gpu::TextureUsageRenderTarget;
        drawable = renderer.device().newTexture(d);
        if (!drawable) return;
    }

    gpu::RenderPassDescriptor pass;
    pass.texture = drawable;
    pass.loadAction = gpu::LoadAction::Clear;
    pass.clearColor = {0, 0, 0, 1};
    gpu::RenderCommandEncoder* encoder = commandBuffer->renderCommandEncoder(pass);
    if (!encoder) return;
    encoder->setRenderPipelineState(renderer.checkerPipeline());
    encoder->setVertexBytes(MetalRenderer::fullTargetCorners.data(), sizeof(gpu::Float2) * 4, 0);
    const float background[4] = {float(scale * checkerSquare_), solidBackgroundColor_[0],
                                 solidBackgroundColor_[1], solidBackgroundColor_[2]};
    encoder->setFragmentBytes(background, sizeof background, 0);
    encoder->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
    if (canvasTexture && quad != std::array<gpu::Float2, 4>{}) {
        encoder->setRenderPipelineState(renderer.previewPipeline());
        encoder->setVertexBytes(quad.data(), sizeof(gpu::Float2) * 4, 0);
        encoder->setFragmentTexture(canvasTexture, 0);
        encoder->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
    }
    encoder->endEncoding();

    frameInFlight_ = true;
    drawnInputs_ = std::move(inputs);
    const QPointer<CanvasMetalView> self(this);
    const std::shared_ptr<gpu::Texture> drawn = drawable;
    commandBuffer->addCompletedHandler([self, drawn](gpu::CommandBuffer& done) {
        GpuTimeSink::shared().record(done.gpuEndTime() - done.gpuStartTime());
        const bool completed = done.status() == gpu::CommandBufferStatus::Completed;
        postToMain([self, drawn, completed] {
            if (self) self->frameCompleted(drawn, completed);
        });
    });
    commandBuffer->commit();
}

void CanvasMetalView::frameCompleted(const std::shared_ptr<gpu::Texture>& drawable,
                                     bool completed) {
    frameInFlight_ = false;
    if (!completed) {
        drawnInputs_.reset();
        return;
    }
    for (int i = 0; i < 2; ++i)
        if (drawables_[i] == drawable) {
            shown_ = i;
            ++presentedFrames_;
            ++drawnFrames_;
            update();
        }
}

void CanvasMetalView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (shown_ < 0 || !drawables_[shown_]) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const gpu::Texture& t = *drawables_[shown_];
    // BGRA bytes are 0xAARRGGBB words on this little-endian machine; the drawable is opaque.
    const QImage image(t.bytes(), t.width(), t.height(), qsizetype(t.bytesPerRow()),
                       QImage::Format_RGB32);
    painter.drawImage(QRectF(rect()), image);
}

}  // namespace velmar
