#include "canvas/canvas_engine.h"

#include "platform/base/host_clock.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "render/still_texture_cache.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmar {

namespace {

const OutputState& emptyState() {
    static const OutputState state;
    return state;
}

// Content of `source` pixels fitted into a target: larger content shrinks to fit, smaller keeps
// its pixel size; nothing for a target side below 1.
QSizeF fitted(QSizeF source, double W, double H) {
    if (W < 1 || H < 1 || !(source.width() > 0) || !(source.height() > 0)) return {0, 0};
    const double f = std::min({W / source.width(), H / source.height(), 1.0});
    return source * f;
}

// One layer quad ready to encode.
struct Quad {
    bool draw = false;
    std::array<gpu::Float2, 4> corners{};
    float block[4] = {0, 0, 0, 0};
};

void encodeQuad(gpu::RenderCommandEncoder& encoder, const MetalRenderer& renderer, const Quad& q,
                const std::shared_ptr<gpu::Texture>& texture) {
    encoder.setRenderPipelineState(renderer.canvasPipeline());
    encoder.setVertexBytes(q.corners.data(), sizeof(q.corners), 0);
    encoder.setFragmentBytes(q.block, sizeof(q.block), 0);
    encoder.setFragmentTexture(texture, 0);
    encoder.drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
}

gpu::RenderPassDescriptor clearingPass(const std::shared_ptr<gpu::Texture>& target) {
    gpu::RenderPassDescriptor pass;
    pass.texture = target;
    pass.loadAction = gpu::LoadAction::Clear;
    pass.storeAction = gpu::StoreAction::Store;
    pass.clearColor = {0, 0, 0, 0};
    return pass;
}

// A layer pass: a layer at rest (a still, not moving) is drawn into its layer target once and
// read from there by the composite of every later frame.
gpu::RenderPassDescriptor layerPass(const std::shared_ptr<gpu::Texture>& target) {
    gpu::RenderPassDescriptor pass = clearingPass(target);
    pass.reusable = true;
    return pass;
}

}  // namespace

std::unique_ptr<CanvasEngine> CanvasEngine::create(Sources sources, Options options) {
    auto renderer = MetalRenderer::create(std::move(options.device));
    if (!renderer) return nullptr;
    StillTextureCache& cache =
        options.stillCache != nullptr ? *options.stillCache : StillTextureCache::shared();
    cache.setRenderer(renderer);
    HostClock& clock = options.clock != nullptr ? *options.clock : HostClock::system();
    return std::unique_ptr<CanvasEngine>(
        new CanvasEngine(std::move(sources), std::move(renderer), cache, clock));
}

CanvasEngine::CanvasEngine(Sources sources, std::shared_ptr<MetalRenderer> renderer,
                           StillTextureCache& stillCache, HostClock& clock)
    : sources_(std::move(sources)),
      renderer_(std::move(renderer)),
      clock_(clock),
      frameProvider_(renderer_, stillCache, clock),
      dskProvider_(renderer_, stillCache, clock),
      deckLinkPacer_(&clock) {}

CanvasEngine::~CanvasEngine() = default;

// ---- Keyer ------------------------------------------------------------------------------------

std::optional<CanvasEngine::Frame> CanvasEngine::dskFrame(const DSKController::Snapshot& snapshot,
                                                          bool advance, bool unpremultiply,
                                                          std::optional<double> hostTime,
                                                          double levelTime) {
    if (!dskGeneration_ || *dskGeneration_ != snapshot.generation) {
        // New keyed content: its predecessor's frames are never shown again.
        dskProvider_.clearCaches();
        lastDSKFrame_.reset();
        dskGeneration_ = snapshot.generation;
    }
    if (!(snapshot.level(levelTime) > 0)) return std::nullopt;
    if (advance) {
        lastDSKFrame_ = dskProvider_.currentFrame(snapshot.media, unpremultiply, hostTime);
        if (!lastDSKFrame_ && snapshot.media) {
            if (const ImageRef* image = snapshot.media->asStill()) {
                lastDSKFrame_ = dskProvider_.currentFrame(*image);
            } else if (const auto* movie = snapshot.media->asMovie(); movie && movie->poster) {
                lastDSKFrame_ = dskProvider_.currentFrame(movie->poster);
            }
        }
    }
    return lastDSKFrame_;
}

void CanvasEngine::retainUntilCompleted(const Layers& layers, gpu::CommandBuffer& commandBuffer) {
    std::shared_ptr<const void> a = layers.program ? layers.program->retained : nullptr;
    std::shared_ptr<const void> b = layers.keyer ? layers.keyer->retained : nullptr;
    if (!a && !b) return;
    commandBuffer.addCompletedHandler([a = std::move(a), b = std::move(b)](gpu::CommandBuffer&) {});
}

// ---- Drawing ----------------------------------------------------------------------------------

bool CanvasEngine::encodeCanvas(gpu::CommandBuffer& cb, const std::shared_ptr<gpu::Texture>& target,
                                MetalRenderer::LayerTargets& layerTargets,
                                const OutputSnapshot& snapshot, const Layers& layers,
                                double programScale, double keyerScale, bool premultipliedOutput) {
    const OutputState& s = snapshot.state ? *snapshot.state : emptyState();
    const double W = target->width(), H = target->height();
    const QSizeF targetSize(W, H);

    // Program layer: the motion curve at the snapshot's presence, combined with the clip's
    // transform; the engine's fade ramp has already moved the presence.
    Quad program;
    const double presence = double(float(snapshot.opacity));
    const MotionTransform m = s.motion.transform(presence, s.entering);
    const double layerOpacity = s.transform.opacity * m.opacity;
    if (layers.program && layers.program->texture) {
        const QSizeF source = layers.program->size * programScale;
        if (source.width() > 0 && source.height() > 0 && layerOpacity > 0) {
            MotionTransform t;
            t.slideX = m.slideX;
            t.slideY = m.slideY;
            t.offsetX = s.transform.offsetX;
            t.offsetY = s.transform.offsetY;
            t.scale = s.transform.scale * m.scale;
            t.rotation = m.rotation + s.transform.rotation * (-std::numbers::pi / 180);
            t.opacity = layerOpacity;
            t.anchorX = s.contentAnchor.x();
            t.anchorY = s.contentAnchor.y();
            program.draw = true;
            program.corners = MetalRenderer::corners(fitted(source, W, H), targetSize, t);
            program.block[0] = float(layerOpacity);
            program.block[1] = layers.program->premultiplied ? 1.0f : 0.0f;
        }
    }

    const bool twoLayers = layers.keyer && layers.keyer->texture && layers.keyerLevel > 0;
    if (!twoLayers) {
        program.block[2] = premultipliedOutput ? 1.0f : 0.0f;
        gpu::RenderCommandEncoder* encoder = cb.renderCommandEncoder(clearingPass(target));
        if (encoder == nullptr) return false;
        if (program.draw) encodeQuad(*encoder, *renderer_, program, layers.program->texture);
        encoder->endEncoding();
        return true;
    }

    // Keyer layer: centred, unrotated, at its level.
    Quad keyer;
    const float keyerOpacity = std::min(layers.keyerLevel, 1.0f);
    const QSizeF keyerSource = layers.keyer->size * keyerScale;
    if (keyerSource.width() > 0 && keyerSource.height() > 0) {
        MotionTransform t;
        t.opacity = keyerOpacity;
        keyer.draw = true;
        keyer.corners = MetalRenderer::corners(fitted(keyerSource, W, H), targetSize, t);
        keyer.block[0] = keyerOpacity;
        keyer.block[1] = layers.keyer->premultiplied ? 1.0f : 0.0f;
    }

    layerTargets.program.ensure(targetSize, renderer_->device());
    layerTargets.dsk.ensure(targetSize, renderer_->device());
    const auto& programTarget = layerTargets.program.texture;
    const auto& keyerTarget = layerTargets.dsk.texture;
    if (!programTarget || !keyerTarget) return false;

    gpu::RenderCommandEncoder* encoder = cb.renderCommandEncoder(layerPass(programTarget));
    if (encoder == nullptr) return false;
    if (program.draw) encodeQuad(*encoder, *renderer_, program, layers.program->texture);
    encoder->endEncoding();

    encoder = cb.renderCommandEncoder(layerPass(keyerTarget));
    if (encoder == nullptr) return false;
    if (keyer.draw) encodeQuad(*encoder, *renderer_, keyer, layers.keyer->texture);
    encoder->endEncoding();

    gpu::RenderPassDescriptor composite;
    composite.texture = target;
    composite.loadAction = gpu::LoadAction::DontCare;
    composite.storeAction = gpu::StoreAction::Store;
    encoder = cb.renderCommandEncoder(composite);
    if (encoder == nullptr) return false;
    const float block = premultipliedOutput ? 1.0f : 0.0f;
    encoder->setRenderPipelineState(renderer_->compositePipeline());
    encoder->setVertexBytes(MetalRenderer::fullTargetCorners.data(),
                            sizeof(MetalRenderer::fullTargetCorners), 0);
    encoder->setFragmentBytes(&block, sizeof(block), 0);
    encoder->setFragmentTexture(programTarget, 0);
    encoder->setFragmentTexture(keyerTarget, 1);
    encoder->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
    encoder->endEncoding();
    return true;
}

// ---- Output and probe frames --------------------------------------------------------------------

bool CanvasEngine::renderOutputFrame(const std::shared_ptr<gpu::Texture>& into,
                                     const std::function<bool(gpu::CommandBuffer&)>& encodeAfter) {
    if (!into) return false;
    std::shared_ptr<gpu::CommandBuffer> cb;
    {
        std::lock_guard lock(lock_);
        const OutputSnapshot snapshot = sources_.outputState();
        const OutputState& s = snapshot.state ? *snapshot.state : emptyState();
        const double t = deckLinkPacer_.queryTime(clock_.now(), deckLinkFramePeriod_);
        lastFrame_ = frameProvider_.currentFrame(s.media, s.unpremultiplyAlpha, t);
        cb = renderer_->commandQueue().commandBuffer();
        if (!cb) return false;
        // The card waits for this frame: it runs before preview, feed and probe work.
        cb->setPriority(gpu::CommandPriority::cardOutput);
        const DSKController::Snapshot keyer = sources_.keyerSnapshot();
        Layers layers;
        layers.program = lastFrame_;
        // The keyer's ramp is read at the moment of drawing, not at the paced frame time.
        const double now = clock_.now();
        layers.keyer = dskFrame(keyer, true, s.unpremultiplyAlpha, t, now);
        layers.keyerLevel = float(keyer.level(now));
        if (s.isTestPattern) layers.keyer.reset();
        retainUntilCompleted(layers, *cb);
        const double r = std::min(double(into->width()) / std::max(1, s.canvas.width),
                                  double(into->height()) / std::max(1, s.canvas.height));
        if (!encodeCanvas(*cb, into, outputLayers_, snapshot, layers, 1.0, r,
                          s.keyAlphaMode == KeyAlphaMode::premultiplied))
            return false;  // not committed: the caller sends its fallback frame
    }
    // Encoding only ran under the lock; the work runs and is waited for outside it.
    if (encodeAfter && !encodeAfter(*cb)) return false;
    cb->commit();
    cb->waitUntilCompleted();
    renderer_->countOutputFrame();
    return cb->status() == gpu::CommandBufferStatus::Completed;
}

void CanvasEngine::renderProbeFrame(const std::shared_ptr<gpu::Texture>& into,
                                    std::function<void(bool, KeyAlphaMode)> completion) {
    std::shared_ptr<gpu::CommandBuffer> cb;
    KeyAlphaMode mode = KeyAlphaMode::straight;
    bool encoded = false;
    {
        std::lock_guard lock(lock_);
        const OutputSnapshot snapshot = sources_.outputState();
        const OutputState& s = snapshot.state ? *snapshot.state : emptyState();
        mode = s.keyAlphaMode;
        cb = renderer_->commandQueue().commandBuffer();
        if (cb && into) {
            const double now = clock_.now();
            const DSKController::Snapshot keyer = sources_.keyerSnapshot();
            Layers layers;
            layers.program = lastFrame_;
            layers.keyer = dskFrame(keyer, false, s.unpremultiplyAlpha, std::nullopt, now);
            layers.keyerLevel = float(keyer.level(now));
            if (s.isTestPattern) layers.keyer.reset();
            retainUntilCompleted(layers, *cb);
            const double r = std::min(double(into->width()) / std::max(1, s.canvas.width),
                                      double(into->height()) / std::max(1, s.canvas.height));
            encoded = encodeCanvas(*cb, into, probeLayers_, snapshot, layers, 1.0, r,
                                   mode == KeyAlphaMode::premultiplied);
        }
    }
    if (!encoded) {
        if (completion) completion(false, mode);
        return;
    }
    cb->addCompletedHandler([completion = std::move(completion), mode](gpu::CommandBuffer& b) {
        if (completion) completion(b.status() == gpu::CommandBufferStatus::Completed, mode);
    });
    cb->commit();
}

void CanvasEngine::invalidateSource() {
    std::lock_guard lock(lock_);
    frameProvider_.clearCaches();
    lastFrame_.reset();
}

// ---- Screen consumers -------------------------------------------------------------------------

std::optional<CanvasEngine::Client> CanvasEngine::clockOwnerLocked() const {
    if (deckLinkOwnsClock_) return std::nullopt;
    if (outputWindowIsOpen_) return Client::outputWindow;
    if (obsClientActive_) return Client::obs;
    return Client::programPane;
}

std::optional<CanvasEngine::Client> CanvasEngine::clockOwner() const {
    std::lock_guard lock(lock_);
    return clockOwnerLocked();
}

std::shared_ptr<gpu::Texture> CanvasEngine::renderScreenCanvas(Client client,
                                                               MetalRenderer::CanvasTarget& into,
                                                               QSizeF displayPixels,
                                                               std::optional<double> hostTime,
                                                               gpu::CommandBuffer& commandBuffer) {
    std::lock_guard lock(lock_);
    const OutputSnapshot snapshot = sources_.outputState();
    const OutputState& s = snapshot.state ? *snapshot.state : emptyState();
    const QSizeF canvas(s.canvas.width, s.canvas.height);
    QSizeF size;
    if (client == Client::obs) {
        size = canvas;
        if (canvas.width() > 0 && canvas.height() > 0) {
            const double f = std::min({displayPixels.width() / canvas.width(),
                                       displayPixels.height() / canvas.height(), 1.0});
            size = QSizeF(std::max(1.0, std::floor(f * canvas.width())),
                          std::max(1.0, std::floor(f * canvas.height())));
        }
    } else {
        size = screenCanvasSize(canvas, displayPixels);
    }
    into.ensure(size, renderer_->device());
    if (!into.texture) return nullptr;
    const std::shared_ptr<gpu::Texture> target = into.texture;

    const bool owner = clockOwnerLocked() == client;
    if (owner) lastFrame_ = frameProvider_.currentFrame(s.media, s.unpremultiplyAlpha, hostTime);
    const double levelTime = clock_.now();  // the keyer's ramp at the moment of drawing
    const DSKController::Snapshot keyer = sources_.keyerSnapshot();
    Layers layers;
    layers.program = lastFrame_;
    layers.keyer = dskFrame(keyer, owner, s.unpremultiplyAlpha, hostTime, levelTime);
    layers.keyerLevel = float(keyer.level(levelTime));
    if (s.isTestPattern) layers.keyer.reset();
    retainUntilCompleted(layers, commandBuffer);

    const double W = target->width(), H = target->height();
    const double r =
        std::min(W / std::max(1.0, canvas.width()), H / std::max(1.0, canvas.height()));
    if (!encodeCanvas(commandBuffer, target, into.layers(), snapshot, layers, r, r, false)) {
        // Without its layer targets the canvas cannot be composed; show nothing rather than
        // the picture the target held before.
        if (auto* encoder = commandBuffer.renderCommandEncoder(clearingPass(target)))
            encoder->endEncoding();
    }
    return target;
}

QSizeF CanvasEngine::screenCanvasSize(QSizeF canvas, QSizeF displayPixels) {
    if (!(canvas.width() > 0 && canvas.height() > 0 && displayPixels.width() > 0 &&
          displayPixels.height() > 0))
        return canvas;
    const double f = std::min(
        {displayPixels.width() / canvas.width(), displayPixels.height() / canvas.height(), 1.0});
    auto side = [f](double c) { return std::min(c, std::max(16.0, std::ceil(c * f / 16) * 16)); };
    return QSizeF(side(canvas.width()), side(canvas.height()));
}

FrameRate CanvasEngine::obsFrameRate() const {
    bool busy = false;
    {
        std::lock_guard lock(lock_);
        busy = deckLinkOwnsClock_ || outputWindowIsOpen_;
    }
    FrameRate rate = sources_.frameRate ? sources_.frameRate() : FrameRate{};
    if (rate.timeScale < 1 || rate.frameDuration < 1) return FrameRate{30, 1};
    if (!busy) return rate;
    if (double(rate.timeScale) / double(rate.frameDuration) > 30.5) rate.frameDuration *= 2;
    return rate;
}

double CanvasEngine::minimumScreenInterval(Client client) const {
    if (client != Client::programPane) return 0;
    std::lock_guard lock(lock_);
    const bool anyOutput = deckLinkOwnsClock_ || outputWindowIsOpen_ || obsClientActive_;
    return anyOutput ? 1.0 / 15 : 1.0 / 30;
}

// ---- Clock handover -----------------------------------------------------------------------------

void CanvasEngine::setDeckLinkClock(bool ownsClock, double framePeriod) {
    std::lock_guard lock(lock_);
    deckLinkOwnsClock_ = ownsClock;
    deckLinkFramePeriod_ = ownsClock ? framePeriod : 0;
    deckLinkPacer_.ideal = 0;
}

void CanvasEngine::setOutputWindowIsOpen(bool open) {
    std::lock_guard lock(lock_);
    outputWindowIsOpen_ = open;
}

void CanvasEngine::setObsClientActive(bool active) {
    std::lock_guard lock(lock_);
    obsClientActive_ = active;
}

bool CanvasEngine::deckLinkOwnsClock() const {
    std::lock_guard lock(lock_);
    return deckLinkOwnsClock_;
}

double CanvasEngine::deckLinkFramePeriod() const {
    std::lock_guard lock(lock_);
    return deckLinkFramePeriod_;
}

bool CanvasEngine::outputWindowIsOpen() const {
    std::lock_guard lock(lock_);
    return outputWindowIsOpen_;
}

bool CanvasEngine::obsClientActive() const {
    std::lock_guard lock(lock_);
    return obsClientActive_;
}

}  // namespace velmar
