#include "output/ndi_output_controller.h"

#include "output/obs_feed_guard.h"

#include "canvas/canvas_engine.h"
#include "core/playout_engine.h"
#include "core/sdi_audio_bridge.h"
#include "output/ndi_feed_timing.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "platform/gpu/blit_encoder.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"

#include <algorithm>

namespace velmar {

namespace {
constexpr double kTimerInterval = 1.0 / 60.0;
}  // namespace

NDIOutputController::NDIOutputController(CanvasEngine& canvas, PlayoutEngine& engine)
    : NDIOutputController(
          canvas, [&engine] { return engine.canvas(); }, Options{}) {}

NDIOutputController::NDIOutputController(CanvasEngine& canvas,
                                         std::function<CanvasFormat()> canvasFormat,
                                         Options options)
    : canvas_(canvas),
      canvasFormat_(std::move(canvasFormat)),
      clock_(options.clock ? *options.clock : HostClock::system()),
      timers_(options.timers ? *options.timers : TimerFactory::system()),
      audio_(options.audio ? *options.audio : SDIAudioBridge::ndi()),
      bridge_(options.bridge ? std::move(options.bridge) : std::make_unique<ZRNDIBridge>()),
      slots_([device = canvas.renderer()->devicePtr()](size_t length) {
          return device->newBuffer(length);
      }),
      audioScratch_(size_t(NDIFeedTiming::kMaxAudioFrames) * 2),
      handle_(std::make_shared<Handle>()) {
    handle_->controller = this;
}

NDIOutputController::~NDIOutputController() {
    {
        std::lock_guard guard(handle_->mutex);
        handle_->controller = nullptr;  // completions from now on queue nothing
    }
    stop();
    sendQueue_.sync([] {});  // every queued send has finished
    audioScratch_.clear();
    audioScratch_.shrink_to_fit();
}

bool NDIOutputController::start() {
    if (timer_) return true;
    if (!bridge_->startWithName(QString::fromLatin1(kSourceName))) return false;
    // Both OBS feeds drive the one obsClientActive flag: they must never run together. A start
    // the guard refuses is a failed start: the sender goes again, and the bridge has no message
    // of its own, so the caller reports the start as failed.
    if (!ObsFeedGuard::feedStarted(OBSTransport::ndi)) {
        sendQueue_.sync([this] { bridge_->stop(); });
        return false;
    }
    slots_.bumpGeneration();
    timer_ = timers_.makeTimer([this] { step(); }, TimerPrecision::Precise);
    timer_->start(kTimerInterval, true);
    return true;
}

void NDIOutputController::resetAudioRing(bool active) {
    // Setting the flag also empties the ring and its read position and counters.
    audio_.setActive(active);
}

void NDIOutputController::stop() {
    const bool wasRunning = timer_ != nullptr;
    timer_.reset();
    slots_.bumpGeneration();
    // The flag is shared with the texture-share feed: only a feed that ran may clear it.
    if (wasRunning) {
        canvas_.setObsClientActive(false);
        ObsFeedGuard::feedStopped(OBSTransport::ndi);
    }
    resetAudioRing(false);
    sendQueue_.sync([this] {
        bridge_->stop();
        slotInNDI_.reset();
    });
    slots_.clear();
    lastClientState_ = false;
    lastReportedCount_ = 0;
    if (onClientChange) onClientChange(0);
}

void NDIOutputController::step() {
    const int count = bridge_->connectionCount();
    const bool hasClients = count > 0;
    if (hasClients != lastClientState_) {
        lastClientState_ = hasClients;
        canvas_.setObsClientActive(hasClients);
        resetAudioRing(hasClients);
        lastRenderTime_ = 0;
        lastAudioTime_ = 0;
        audioRemainder_ = 0;
    }
    if (count != lastReportedCount_) {
        lastReportedCount_ = count;
        if (onClientChange) onClientChange(count);
    }
    if (!hasClients) return;

    const double now = clock_.now();
    sendAudio(now);

    const FrameRate rate = canvas_.obsFrameRate();
    const auto frameTime =
        NDIFeedTiming::frameTime(now, lastRenderTime_, NDIFeedTiming::period(rate));
    if (!frameTime) return;
    lastRenderTime_ = *frameTime;

    std::shared_ptr<gpu::CommandBuffer> commandBuffer =
        canvas_.renderer()->commandQueue().commandBuffer();
    if (!commandBuffer) return;
    const CanvasFormat format = canvasFormat_();
    const QSizeF display(std::min(format.width, kMaxWidth), std::min(format.height, kMaxHeight));
    const std::shared_ptr<gpu::Texture> texture = canvas_.renderScreenCanvas(
        CanvasEngine::Client::obs, target_, display, *frameTime, *commandBuffer);
    if (!texture) return;

    std::shared_ptr<NDISlotPool::Slot> slot = slots_.take(texture->width(), texture->height());
    if (!slot) {
        commandBuffer->commit();
        return;
    }
    // The slot's copy runs after the drawing on the same command buffer.
    const auto blit = commandBuffer->makeBlitCommandEncoder();
    const bool copied =
        blit && blit->copyTextureToBuffer(texture, {0, 0, slot->width, slot->height}, slot->buffer,
                                          0, size_t(slot->rowBytes), 0);
    if (blit) blit->endEncoding();
    if (!copied) {
        slots_.giveBack(slot);
        commandBuffer->commit();
        return;
    }
    const long long generation = slots_.generation();
    std::weak_ptr<Handle> weakHandle = handle_;
    commandBuffer->addCompletedHandler(
        [weakHandle, generation, slot, rate](gpu::CommandBuffer& done) {
            const std::shared_ptr<Handle> handle = weakHandle.lock();
            if (!handle) return;
            std::lock_guard guard(handle->mutex);
            if (handle->controller)
                handle->controller->queueSend(done.status() == gpu::CommandBufferStatus::Completed,
                                              generation, slot, rate);
        });
    commandBuffer->commit();
}

void NDIOutputController::queueSend(bool completed, long long generation,
                                    std::shared_ptr<NDISlotPool::Slot> slot, FrameRate rate) {
    sendQueue_.async([this, completed, generation, slot = std::move(slot), rate] {
        if (!completed || generation != slots_.generation()) {
            slots_.giveBack(slot);
            return;
        }
        bridge_->sendVideoBGRA(slot->buffer->contents(), slot->width, slot->height, slot->rowBytes,
                               int(rate.timeScale), int(rate.frameDuration));
        if (slotInNDI_) slots_.giveBack(slotInNDI_);
        slotInNDI_ = slot;
    });
}

void NDIOutputController::sendAudio(double now) {
    const NDIFeedTiming::AudioStep step =
        NDIFeedTiming::audioStep(now, lastAudioTime_, audioRemainder_);
    lastAudioTime_ = step.lastAudioTime;
    audioRemainder_ = step.remainder;
    if (step.frames <= 0) return;
    const int frames = step.frames;
    sendQueue_.async([this, frames] {
        audio_.pullPlanar(audioScratch_.data(), frames);
        // The pulled layout is left then right, each `frames` long: planar as the sender wants.
        bridge_->sendAudioPlanar(audioScratch_.data(), frames, 2, int(NDIFeedTiming::kAudioRate));
    });
}

}  // namespace velmar
