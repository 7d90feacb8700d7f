#include "output/syphon_output_controller.h"

#include "canvas/canvas_engine.h"
#include "output/obs_feed_guard.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"

#include <algorithm>

namespace velmar {
namespace {
constexpr double kTickInterval = 1.0 / 60.0;
constexpr double kMaxFeedWidth = 1920;
constexpr double kMaxFeedHeight = 1080;
}  // namespace

SyphonOutputController::SyphonOutputController(CanvasEngine& canvas)
    : SyphonOutputController(canvas, Options{}) {}

SyphonOutputController::SyphonOutputController(CanvasEngine& canvas, Options options)
    : canvas_(canvas),
      clock_(options.clock ? *options.clock : HostClock::system()),
      timers_(options.timers ? *options.timers : TimerFactory::system()),
      bridge_(options.locator ? std::move(options.locator) : TexShareLocator::standard()) {}

SyphonOutputController::~SyphonOutputController() {
    stop();
}

bool SyphonOutputController::start() {
    if (timer_) return true;
    if (!inStep_) retiredTimer_.reset();
    if (!bridge_.startWithDevice(canvas_.renderer()->devicePtr())) return false;
    // Both OBS feeds drive the one obsClientActive flag: they must never run together. A start
    // the guard refuses is a failed start: the server goes again, and the bridge has no message
    // of its own, so the caller reports the start as failed.
    if (!ObsFeedGuard::feedStarted(OBSTransport::syphon)) {
        bridge_.stop();
        return false;
    }
    timer_ = timers_.makeTimer([this] { step(); }, TimerPrecision::Precise);
    timer_->start(kTickInterval, true);
    return true;
}

void SyphonOutputController::stop() {
    const bool wasRunning = timer_ != nullptr;
    if (timer_) {
        timer_->stop();
        retiredTimer_ = std::move(timer_);
    }
    // The flag is shared with the NDI feed: only a feed that ran may clear it.
    if (wasRunning) canvas_.setObsClientActive(false);
    bridge_.stop();
    lastClientState_ = false;
    if (wasRunning) ObsFeedGuard::feedStopped(OBSTransport::syphon);
    if (onClientChange) onClientChange(false);
}

void SyphonOutputController::step() {
    inStep_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inStep_};
    const bool clients = bridge_.hasClients();
    if (clients != lastClientState_) {
        lastClientState_ = clients;
        canvas_.setObsClientActive(clients);
        if (onClientChange) onClientChange(clients);
        lastRenderTime_ = 0;
    }
    if (!clients) return;

    const double now = clock_.now();
    const FrameRate rate = canvas_.obsFrameRate();
    const double period = double(rate.frameDuration) / double(std::max<int64_t>(rate.timeScale, 1));
    if (lastRenderTime_ > 0 && lastRenderTime_ + period > now + 0.001) return;
    const double frameTime = lastRenderTime_ != 0 && now - lastRenderTime_ <= 2 * period
                                 ? lastRenderTime_ + period
                                 : now;
    lastRenderTime_ = frameTime;

    std::shared_ptr<gpu::CommandBuffer> commandBuffer =
        canvas_.renderer()->commandQueue().commandBuffer();
    if (!commandBuffer) return;
    const OutputSnapshot snapshot = canvas_.outputState();
    const CanvasFormat format = snapshot.state ? snapshot->canvas : OutputState{}.canvas;
    const QSizeF display(std::min<double>(format.width, kMaxFeedWidth),
                         std::min<double>(format.height, kMaxFeedHeight));
    const auto texture = canvas_.renderScreenCanvas(CanvasEngine::Client::obs, target_, display,
                                                    frameTime, *commandBuffer);
    if (!texture) return;
    if (bridge_.publishTexture(texture, commandBuffer.get())) {
        commandBuffer->commit();
        return;
    }
    const QString message =
        bridge_.errorMessage().value_or(QStringLiteral("OBS へフレームを送れません"));
    stop();
    if (onFailure) onFailure(message);
}

}  // namespace velmar
