#include "sdi/deck_link_controller.h"

#include "canvas/canvas_engine.h"
#include "core/playout_log.h"
#include "core/sdi_audio_bridge.h"
#include "models/localized.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "render/ay10_packer.h"
#include "render/v210_packer.h"
#include "sdi/zr_deck_link_api.h"

#include <algorithm>
#include <utility>

namespace velmar {

// ---- StartError -----------------------------------------------------------------------------

DeckLinkController::StartError::StartError(Kind kind, QString description)
    : std::runtime_error(description.toStdString()),
      kind_(kind),
      description_(std::move(description)) {}

DeckLinkController::StartError DeckLinkController::StartError::bridge(const QString& message) {
    return StartError(Kind::bridge, message);
}

DeckLinkController::StartError DeckLinkController::StartError::noMatchingMode() {
    return StartError(
        Kind::noMatchingMode,
        localized("この解像度とフレームレートの組み合わせは、この機器では出せません"));
}

DeckLinkController::StartError DeckLinkController::StartError::allocationFailed() {
    return StartError(Kind::allocationFailed, localized("出力用のバッファを確保できません"));
}

// ---- Construction and modes --------------------------------------------------------------------

DeckLinkController::DeckLinkController(CanvasEngine& canvas)
    : DeckLinkController(canvas, deckLinkDriver()) {}

DeckLinkController::DeckLinkController(CanvasEngine& canvas, const VirtualSdiCard* card)
    : canvas_(canvas), card_(card), bridge_(card) {}

DeckLinkController::~DeckLinkController() {
    stop();
}

namespace {

bool tenBitFor(SDIBitDepth depth) {
    return depth != SDIBitDepth::eightBit;
}

bool keyerFor(SDIBitDepth depth, bool externalKeyer) {
    switch (depth) {
        case SDIBitDepth::eightBit:
            return externalKeyer;
        case SDIBitDepth::tenBit:
            return true;
        case SDIBitDepth::tenBitFillOnly:
            return false;
    }
    return false;
}

}  // namespace

std::vector<ZRDeckLinkMode> DeckLinkController::supportedModes(long long deviceIndex,
                                                               SDIBitDepth bitDepth,
                                                               bool externalKeyer) {
    return supportedModes(deckLinkDriver(), deviceIndex, bitDepth, externalKeyer);
}

std::vector<ZRDeckLinkMode> DeckLinkController::supportedModes(const VirtualSdiCard* card,
                                                               long long deviceIndex,
                                                               SDIBitDepth bitDepth,
                                                               bool externalKeyer) {
    return ZRDeckLinkOutput::supportedModesForDeviceIndex(card, deviceIndex, tenBitFor(bitDepth),
                                                          keyerFor(bitDepth, externalKeyer));
}

std::optional<ZRDeckLinkMode> DeckLinkController::matchingMode(
    const std::vector<ZRDeckLinkMode>& modes, const CanvasFormat& canvasFormat,
    const FrameRate& frameRate) {
    if (frameRate.frameDuration <= 0) return std::nullopt;
    for (const ZRDeckLinkMode& mode : modes) {
        if (mode.width() != canvasFormat.width || mode.height() != canvasFormat.height) continue;
        if (mode.frameDuration() <= 0) continue;
        if (sameRate(FrameRate{mode.timeScale(), mode.frameDuration()}, frameRate)) return mode;
    }
    return std::nullopt;
}

// ---- Start and stop ------------------------------------------------------------------------

std::optional<std::vector<DeckLinkController::Target>> DeckLinkController::allocateTargets(
    int width, int height) const {
    if (width < 1 || height < 1) return std::nullopt;
    std::vector<Target> targets;
    for (int i = 0; i < kSlotCount; ++i) {
        Target target = canvas_.renderer()->makeSharedRenderTarget(width, height);
        if (!target || !target->pixelBuffer || !target->texture) return std::nullopt;
        targets.push_back(std::move(target));
    }
    return targets;
}

ZRFrameBuffer DeckLinkController::frameBufferOver(const std::shared_ptr<gpu::PixelBuffer>& buffer,
                                                  SdiPixelFormat format) {
    ZRFrameBuffer frame;
    // The bridge's reference holds the whole pixel buffer (and with it the memory), so a frame
    // on the card outlives a stop that drops the slot set.
    frame.memory = std::shared_ptr<std::uint8_t>(buffer, buffer->baseAddress());
    frame.byteCount = buffer->dataSize();
    frame.width = buffer->width();
    frame.height = buffer->height();
    frame.rowBytes = buffer->bytesPerRow();
    frame.pixelFormat = format;
    return frame;
}

void DeckLinkController::start(long long deviceIndex, const CanvasFormat& canvasFormat,
                               const FrameRate& frameRate, bool externalKeyer, bool embedAudio,
                               SDIBitDepth bitDepth) {
    stop();

    const std::optional<ZRDeckLinkMode> mode = matchingMode(
        supportedModes(card_, deviceIndex, bitDepth, externalKeyer), canvasFormat, frameRate);
    if (!mode) throw StartError::noMatchingMode();
    const int width = static_cast<int>(mode->width());
    const int height = static_cast<int>(mode->height());

    std::optional<std::vector<Target>> targets = allocateTargets(width, height);
    if (!targets) throw StartError::allocationFailed();

    const std::shared_ptr<gpu::Device>& device = canvas_.renderer()->devicePtr();
    std::vector<TenBitSlot> packingSlots;
    std::shared_ptr<AY10Packer> ay10;
    std::shared_ptr<V210Packer> v210;
    if (bitDepth == SDIBitDepth::tenBit) {
        ay10 = AY10Packer::create(device, width, height);
        if (!ay10) throw StartError::allocationFailed();
    } else if (bitDepth == SDIBitDepth::tenBitFillOnly) {
        v210 = V210Packer::create(device, width, height);
        if (!v210) throw StartError::allocationFailed();
    }
    const TenBitPacker* packer = ay10 ? static_cast<const TenBitPacker*>(ay10.get()) : v210.get();
    if (packer != nullptr) {
        const std::size_t length = packer->rowBytes() * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < targets->size(); ++i) {
            TenBitSlot slot;
            slot.words = device->newBuffer(length);
            if (!slot.words || slot.words->length() < length) throw StartError::allocationFailed();
            // Ay10: a BGRA-typed carrier over the packed words, from which the bridge reads the
            // rows. v210: a pixel buffer of its own, into which copy() moves the rows.
            slot.pixelBuffer = ay10 ? gpu::PixelBuffer::wrap(width, height, gpu::kPixelFormat32BGRA,
                                                             ay10->rowBytes(), slot.words->memory())
                                    : v210->makePixelBuffer();
            if (!slot.pixelBuffer) throw StartError::allocationFailed();
            packingSlots.push_back(std::move(slot));
        }
    }

    std::vector<ZRFrameBuffer> ring;
    if (bitDepth == SDIBitDepth::eightBit) {
        for (const Target& target : *targets)
            ring.push_back(frameBufferOver(target->pixelBuffer, SdiPixelFormat::bgra8));
    } else {
        const SdiPixelFormat format =
            bitDepth == SDIBitDepth::tenBit ? SdiPixelFormat::bgra8 : SdiPixelFormat::v210;
        for (const TenBitSlot& slot : packingSlots)
            ring.push_back(frameBufferOver(slot.pixelBuffer, format));
    }

    {
        std::lock_guard lock(slotLock_);
        targets_ = std::move(*targets);
        tenBitSlots_ = std::move(packingSlots);
        packer_ = std::move(v210);
        ay10Packer_ = std::move(ay10);
        nextSlot_ = 0;
    }

    // The bridge's requests call back into this object; stop() (run by the destructor) returns
    // only after a request in progress has returned, so `this` outlives every call.
    ZRDeckLinkOutput::FrameRequest frameRequest = [this]() -> long long {
        return provideNextFrameBody();
    };
    ZRDeckLinkOutput::AudioRequest audioRequest;
    if (embedAudio) {
        audioRequest = [](std::int32_t* interleaved, long long frames) {
            if (frames >= 1) SDIAudioBridge::shared().pull(interleaved, frames);
        };
        // Active before the preroll, so that the first frames already carry program audio.
        SDIAudioBridge::shared().setActive(true);
        audioBridgeActivated_ = true;
    }

    ZRDeckLinkError error;
    if (!bridge_.start(deviceIndex, mode->displayMode(), std::move(ring), tenBitFor(bitDepth),
                       keyerFor(bitDepth, externalKeyer), std::move(frameRequest),
                       std::move(audioRequest), &error)) {
        clearSlots();
        if (audioBridgeActivated_) {
            SDIAudioBridge::shared().setActive(false);
            audioBridgeActivated_ = false;
        }
        throw StartError::bridge(error.localizedDescription());
    }
    if (audioBridgeActivated_ && !bridge_.audioEnabled()) {
        // The card refused audio: the output runs without it, and nothing consumes the ring.
        SDIAudioBridge::shared().setActive(false);
        audioBridgeActivated_ = false;
    }

    runningMode_ = mode;
    runningBitDepth_ = bitDepth;
    runningDevice_ = deviceIndex;
    reportedRecordingProblem_.clear();
    ++startGeneration_;
    watchedCompletions_ = 0;
    silentWatches_ = 0;
    canvas_.setDeckLinkClock(true,
                             static_cast<double>(mode->frameDuration()) /
                                 static_cast<double>(std::max<long long>(mode->timeScale(), 1)));
}

void DeckLinkController::stop() {
    // The clock is handed back only by the stop of a running output: a stopped controller
    // leaves the canvas alone, so a second stop, or the destructor after a stop, may come after
    // the canvas engine has gone.
    if (isRunning()) canvas_.setDeckLinkClock(false, 0);
    bridge_.stop();
    clearSlots();
    if (audioBridgeActivated_) {
        SDIAudioBridge::shared().setActive(false);
        audioBridgeActivated_ = false;
    }
    runningMode_.reset();
    runningBitDepth_ = SDIBitDepth::eightBit;
}

void DeckLinkController::watchOutput() {
    if (!isRunning()) return;
    const std::uint64_t completions = bridge_.completedFrameCount();
    silentWatches_ = completions == watchedCompletions_ ? silentWatches_ + 1 : 0;
    watchedCompletions_ = completions;
    const bool nothingOnCard = bridge_.isStalled() && bridge_.framesInFlight() == 0;
    if (nothingOnCard || silentWatches_ >= 2) {
        stop();
        if (onFailure)
            onFailure(localized("SDI 出力が止まりました: 機器がフレームを送出していません"));
        return;
    }
    reportRecordingProblem();
}

void DeckLinkController::reportRecordingProblem() {
    if (card_ == nullptr) return;
    const std::shared_ptr<SdiDevice> device = card_->deviceAtIndex(runningDevice_);
    const std::string problem = device ? device->output()->recordingProblem() : std::string();
    if (problem.empty() || problem == reportedRecordingProblem_) return;
    reportedRecordingProblem_ = problem;
    const QString reason = QString::fromStdString(problem);
    const QString line = QStringLiteral("SDI RECORD  FAILED, ") + reason;
    if (writeLog) {
        writeLog(line);
    } else {
        PlayoutLog::shared().write(line);
    }
    if (onNotice) onNotice(localizedFormat("SDI 出力中ですが、録画できていません: %@", {reason}));
}

void DeckLinkController::clearSlots() {
    std::vector<Target> targets;
    std::vector<TenBitSlot> packingSlots;
    std::shared_ptr<V210Packer> v210;
    std::shared_ptr<AY10Packer> ay10;
    {
        std::lock_guard lock(slotLock_);
        targets.swap(targets_);
        packingSlots.swap(tenBitSlots_);
        v210.swap(packer_);
        ay10.swap(ay10Packer_);
    }
    // Released here, outside the lock.
}

int DeckLinkController::installedTargetCount() const {
    std::lock_guard lock(slotLock_);
    return static_cast<int>(targets_.size());
}

void DeckLinkController::setProbeHook(ProbeHook hook) {
    // Both parts or none: a reservation that no capture follows would keep the probe busy for
    // ever, so a hook missing either part is installed as no hook at all.
    std::shared_ptr<const ProbeHook> shared;
    if (hook.reserveCapture && hook.capture)
        shared = std::make_shared<const ProbeHook>(std::move(hook));
    std::lock_guard lock(probeLock_);
    probe_ = std::move(shared);
}

// ---- Frames --------------------------------------------------------------------------------

long long DeckLinkController::provideNextFrameBody() {
    // Runs on the card's completion thread: nothing may escape from it. A render that throws
    // (memory exhausted while uploading a source) is a frame that could not be made.
    try {
        return renderNextFrame();
    } catch (...) {
        return -1;
    }
}

long long DeckLinkController::renderNextFrame() {
    Target target;
    std::optional<TenBitSlot> tenBit;
    std::shared_ptr<V210Packer> v210;
    std::shared_ptr<AY10Packer> ay10;
    long long slot = 0;
    {
        std::lock_guard lock(slotLock_);
        const long long n = std::max<long long>(static_cast<long long>(targets_.size()), 1);
        slot = nextSlot_ % n;
        nextSlot_ = (nextSlot_ + 1) % n;
        if (slot < static_cast<long long>(targets_.size()))
            target = targets_[static_cast<std::size_t>(slot)];
        if (slot < static_cast<long long>(tenBitSlots_.size()))
            tenBit = tenBitSlots_[static_cast<std::size_t>(slot)];
        v210 = packer_;
        ay10 = ay10Packer_;
    }
    if (!target) return -1;

    if (ay10) {
        if (!tenBit) return -1;
        const bool rendered =
            canvas_.renderOutputFrame(target->texture, [&](gpu::CommandBuffer& commandBuffer) {
                return ay10->encode(target->texture, tenBit->words, commandBuffer);
            });
        if (!rendered) return -1;
    } else if (v210) {
        if (!tenBit) return -1;
        const bool rendered =
            canvas_.renderOutputFrame(target->texture, [&](gpu::CommandBuffer& commandBuffer) {
                return v210->encode(target->texture, tenBit->words, commandBuffer);
            });
        if (!rendered) return -1;
        if (!v210->copy(tenBit->words, tenBit->pixelBuffer)) return -1;
    } else {
        if (!canvas_.renderOutputFrame(target->texture)) return -1;
    }

    offerToProbe(target);
    return slot;
}

void DeckLinkController::offerToProbe(const Target& target) {
    std::shared_ptr<const ProbeHook> probe;
    {
        std::lock_guard lock(probeLock_);
        probe = probe_;
    }
    if (!probe || !probe->reserveCapture || !probe->capture) return;
    // The mode is read before the reservation: once reserved, the capture must follow, and
    // nothing between the two may fail.
    const OutputSnapshot snapshot = canvas_.outputState();
    const KeyAlphaMode mode =
        snapshot.state ? snapshot->keyAlphaMode : KeyAlphaMode(KeyAlphaMode::straight);
    if (!probe->reserveCapture()) return;
    probe->capture(target->pixelBuffer, mode);
}

}  // namespace velmar
