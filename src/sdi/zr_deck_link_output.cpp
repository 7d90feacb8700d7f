#include "sdi/zr_deck_link_output.h"

#include "sdi/zr_deck_link_api.h"

#include "platform/gpu/memory.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace velmar {
namespace {

void putLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

bool lateOrDropped(SdiCompletionResult result) {
    return result == SdiCompletionResult::displayedLate || result == SdiCompletionResult::dropped;
}

}  // namespace

// ---- formats ----------------------------------------------------------------------------

std::size_t ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat format, long long width) {
    if (width < 1) return 0;
    const auto w = static_cast<std::size_t>(width);
    switch (format) {
        case SdiPixelFormat::bgra8:
            return w * 4;
        case SdiPixelFormat::v210:
            return (w + 47) / 48 * 128;
        case SdiPixelFormat::ay10:
            return (w + 63) / 64 * 256;
    }
    return 0;
}

void ZRDeckLinkOutput::fillBlack(SdiPixelFormat format, std::uint8_t* bytes, long long width,
                                 long long height, std::size_t rowBytes) {
    if (bytes == nullptr || width < 1 || height < 1 || rowBytes == 0) return;
    std::uint8_t* first = bytes;
    std::memset(first, 0, rowBytes);
    if (format == SdiPixelFormat::v210) {
        // Six pixels of Y 64, Cb and Cr 512 in four words.
        const std::uint32_t group[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};
        const long long groups = (width + 5) / 6;
        for (long long g = 0; g < groups && static_cast<std::size_t>(g + 1) * 16 <= rowBytes; ++g) {
            for (int k = 0; k < 4; ++k) putLE32(first + g * 16 + k * 4, group[k]);
        }
    } else if (format == SdiPixelFormat::ay10) {
        const long long steps = (width + 1) / 2;
        for (long long s = 0; s < steps && static_cast<std::size_t>(s + 1) * 8 <= rowBytes; ++s) {
            putLE32(first + s * 8, kAy10Black);
            putLE32(first + s * 8 + 4, kAy10Black);
        }
    }
    for (long long y = 1; y < height; ++y) {
        std::memcpy(bytes + static_cast<std::size_t>(y) * rowBytes, first, rowBytes);
    }
}

// ---- life -------------------------------------------------------------------------------

ZRDeckLinkOutput::ZRDeckLinkOutput() : ZRDeckLinkOutput(deckLinkDriver()) {}

ZRDeckLinkOutput::ZRDeckLinkOutput(const VirtualSdiCard* card) : card_(card) {}

ZRDeckLinkOutput::~ZRDeckLinkOutput() {
    stop();
}

bool ZRDeckLinkOutput::fail(ZRDeckLinkError::Code code, ZRDeckLinkError* error, bool stopFirst) {
    if (error != nullptr) *error = ZRDeckLinkError::make(code);
    if (stopFirst) stop();
    return false;
}

bool ZRDeckLinkOutput::start(long long deviceIndex, std::uint32_t displayMode,
                             std::vector<ZRFrameBuffer> pixelBuffers, bool tenBit,
                             bool externalKeyer, FrameRequest frameRequest,
                             AudioRequest audioRequest, ZRDeckLinkError* error) {
    stop();
    if (!frameRequest || pixelBuffers.size() < 2) {
        return fail(ZRDeckLinkError::badParameters, error, false);
    }
    frameRequest_ = std::move(frameRequest);
    frameRequestTimer_ = pendingTimer_;
    pixelBuffers_ = std::move(pixelBuffers);
    audioRequest_ = std::move(audioRequest);
    dropped_ = 0;
    stopping_ = false;
    scheduledTime_ = 0;
    keyerEnabled_ = false;
    keyerFailed_ = false;
    audioSamplesScheduled_ = 0;
    audioEnabled_ = false;
    stalled_ = false;
    inFlight_ = 0;
    completed_ = 0;

    device_ = ZRCopyDeviceAtIndex(deviceIndex, card_);
    if (!device_) return fail(ZRDeckLinkError::noDevice, error);
    output_ = device_->output();
    if (!output_) return fail(ZRDeckLinkError::noOutput, error);
    const std::optional<SdiDisplayMode> mode = output_->displayMode(displayMode);
    if (!mode || !mode->isValid()) return fail(ZRDeckLinkError::unsupportedMode, error);
    frameDuration_ = mode->frameDuration;
    timeScale_ = mode->timeScale;
    const long long w = mode->width;
    const long long h = mode->height;

    // The ring's format, and the format that goes out.
    const SdiPixelFormat ringFormat =
        tenBit && !externalKeyer ? SdiPixelFormat::v210 : SdiPixelFormat::bgra8;
    const SdiPixelFormat outFormat = !tenBit         ? SdiPixelFormat::bgra8
                                     : externalKeyer ? SdiPixelFormat::ay10
                                                     : SdiPixelFormat::v210;
    const std::size_t rowSize = rowBytesFor(outFormat, w);
    for (const ZRFrameBuffer& b : pixelBuffers_) {
        // The memory must really hold the rows the buffer claims, since frames are read from it.
        if (b.pixelFormat != ringFormat || b.width != w || b.height != h || b.rowBytes < rowSize ||
            !b.holdsAllRows()) {
            return fail(ZRDeckLinkError::bufferMismatch, error);
        }
    }

    if (output_->enableVideoOutput(displayMode) != SdiResult::ok) {
        return fail(ZRDeckLinkError::cannotEnableOutput, error);
    }
    videoEnabled_ = true;

    if (audioRequest_ &&
        output_->enableAudioOutput(kAudioSampleRate, 32, 2, true) == SdiResult::ok) {
        audioBuffer_.assign(static_cast<std::size_t>(kAudioBufferFrames) * 2, 0);
        audioEnabled_ = true;
    }

    if (externalKeyer) {
        keyer_ = device_->keyer();
        if (keyer_ && keyer_->enable(true) == SdiResult::ok) {
            if (keyer_->setLevel(255) != SdiResult::ok) {
                keyer_->disable();
            } else {
                keyerEnabled_ = true;
            }
        }
        // 8-bit output goes on without key; the client shows that it has none.
        keyerFailed_ = !keyerEnabled_;
    }

    bool ownFrames = false;
    bool failed = false;
    if (tenBit && externalKeyer) {
        if (!keyerEnabled_) return fail(ZRDeckLinkError::cannotEnableTenBitKey, error);
        ownFrames = true;
    } else {
        bool allWrapped = true;
        for (const ZRFrameBuffer& b : pixelBuffers_) {
            std::shared_ptr<SdiVideoFrame> frame;
            const SdiResult r = output_->wrapVideoFrame(w, h, static_cast<long long>(b.rowBytes),
                                                        static_cast<std::uint32_t>(ringFormat),
                                                        b.memory, b.memory.get(), &frame);
            if (r == SdiResult::unsupported)
                return fail(ZRDeckLinkError::noPixelBufferOutput, error);
            if (r != SdiResult::ok || !frame) {
                allWrapped = false;
                break;
            }
            frames_.push_back(std::move(frame));
        }
        if (!allWrapped) {
            if (ringFormat == SdiPixelFormat::bgra8) {
                failed = true;
            } else {
                ownFrames = true;
            }
        }
    }
    if (ownFrames) failed = !makeOwnFrames(w, h, outFormat, rowSize);

    if (failed) return fail(ZRDeckLinkError::cannotMakeFrames, error);
    if (!copyFromPixelBuffers_) {
        // Black frames over one black buffer of the ring's format; one per frame in flight, so
        // that black can stand in for every frame on the card at once.
        const std::size_t fallbackRow = rowBytesFor(ringFormat, w);
        fallbackBuffer_ = ZRFrameBuffer::allocate(w, h, fallbackRow, ringFormat);
        if (!fallbackBuffer_.memory) return fail(ZRDeckLinkError::cannotMakeFrames, error);
        fillBlack(ringFormat, fallbackBuffer_.bytes(), w, h, fallbackRow);
        for (int i = 0; i < kFramesInFlight; ++i) {
            std::shared_ptr<SdiVideoFrame> frame;
            if (output_->wrapVideoFrame(w, h, static_cast<long long>(fallbackRow),
                                        static_cast<std::uint32_t>(ringFormat),
                                        fallbackBuffer_.memory, fallbackBuffer_.bytes(),
                                        &frame) != SdiResult::ok ||
                !frame) {
                return fail(ZRDeckLinkError::cannotMakeFrames, error);
            }
            fallbackFrames_.push_back(std::move(frame));
        }
    }
    frameInFlight_.assign(frames_.size(), false);
    fallbackInFlight_.assign(fallbackFrames_.size(), false);

    output_->setScheduledFrameCompletionCallback(
        [this](const std::shared_ptr<SdiVideoFrame>& frame, SdiCompletionResult result) {
            onFrameCompleted(frame, result);
        });

    {
        std::lock_guard lock(scheduleMutex_);
        schedulingThread_ = std::this_thread::get_id();
        // Preroll: three frames, with as many retries as frames if the card refuses some.
        fillPipeline(2 * kPrerollFrames);
        schedulingThread_ = std::thread::id();
    }

    if (output_->startScheduledPlayback(0, timeScale_, 1.0) != SdiResult::ok) {
        return fail(ZRDeckLinkError::cannotStartPlayback, error);
    }
    running_ = true;
    return true;
}

bool ZRDeckLinkOutput::makeOwnFrames(long long width, long long height, SdiPixelFormat format,
                                     std::size_t rowBytes) {
    frames_.clear();
    fallbackFrames_.clear();
    const std::size_t count = pixelBuffers_.size() + kFramesInFlight;
    for (std::size_t i = 0; i < count; ++i) {
        std::shared_ptr<SdiVideoFrame> frame;
        if (output_->createVideoFrame(width, height, static_cast<long long>(rowBytes),
                                      static_cast<std::uint32_t>(format),
                                      &frame) != SdiResult::ok ||
            !frame) {
            return false;
        }
        if (i < pixelBuffers_.size()) {
            frames_.push_back(std::move(frame));
        } else {
            fillBlack(format, frame->bytes(), width, height, frame->rowBytes());
            fallbackFrames_.push_back(std::move(frame));
        }
    }
    copyFromPixelBuffers_ = true;
    return true;
}

void ZRDeckLinkOutput::stop() {
    stopping_ = true;
    // From inside a request: the completion that runs it cannot be waited for here. Ask the
    // card to stop (it does so once this completion returns); the owner's stop() tears down.
    if (schedulingThread_.load() == std::this_thread::get_id()) {
        if (output_ && videoEnabled_)
            output_->stopScheduledPlayback(0, nullptr, std::max<long long>(timeScale_, 1));
        return;
    }

    if (output_ && videoEnabled_) {
        long long actualStop = 0;
        // Returns when the card's completion thread has finished, flushed frames included.
        output_->stopScheduledPlayback(0, &actualStop, std::max<long long>(timeScale_, 1));
        output_->setScheduledFrameCompletionCallback({});
        if (audioEnabled_) output_->disableAudioOutput();
        output_->disableVideoOutput();
    }
    // Wait for any completion still inside the bridge before releasing what it uses.
    std::lock_guard lock(scheduleMutex_);
    if (keyer_) {
        if (keyerEnabled_) keyer_->disable();
        keyer_.reset();
    }
    keyerEnabled_ = false;
    keyerFailed_ = false;
    frames_.clear();
    fallbackFrames_.clear();
    frameInFlight_.clear();
    fallbackInFlight_.clear();
    fallbackBuffer_ = {};
    copyFromPixelBuffers_ = false;
    videoEnabled_ = false;
    output_.reset();
    device_.reset();
    frameRequest_ = nullptr;
    frameRequestTimer_ = nullptr;
    audioRequest_ = nullptr;
    pixelBuffers_.clear();
    audioEnabled_ = false;
    audioBuffer_.clear();
    audioBuffer_.shrink_to_fit();
    inFlight_ = 0;
    stalled_ = false;
    running_ = false;
}

// ---- playback (completion thread) ------------------------------------------------------

void ZRDeckLinkOutput::onFrameCompleted(const std::shared_ptr<SdiVideoFrame>& frame,
                                        SdiCompletionResult result) {
    std::lock_guard lock(scheduleMutex_);
    schedulingThread_ = std::this_thread::get_id();
    bool known = false;
    for (std::size_t i = 0; i < frames_.size() && !known; ++i) {
        if (frames_[i] == frame && frameInFlight_[i]) {
            frameInFlight_[i] = false;
            known = true;
        }
    }
    for (std::size_t i = 0; i < fallbackFrames_.size() && !known; ++i) {
        if (fallbackFrames_[i] == frame && fallbackInFlight_[i]) {
            fallbackInFlight_[i] = false;
            known = true;
        }
    }
    if (known) {
        --inFlight_;
        ++completed_;
    }
    if (lateOrDropped(result)) ++dropped_;
    // One attempt replaces the completed frame; a second refills a slot lost earlier.
    if (known && !stopping_) fillPipeline(2);
    schedulingThread_ = std::thread::id();
}

void ZRDeckLinkOutput::fillPipeline(int attempts) {
    for (int i = 0; i < attempts && !stopping_ && inFlight_ < kFramesInFlight; ++i)
        scheduleNextFrame();
    stalled_ = !stopping_ && inFlight_ < kFramesInFlight;
}

int ZRDeckLinkOutput::freeFallback() const {
    for (std::size_t i = 0; i < fallbackFrames_.size(); ++i) {
        if (!fallbackInFlight_[i]) return static_cast<int>(i);
    }
    return -1;
}

bool ZRDeckLinkOutput::scheduleFrame(const std::shared_ptr<SdiVideoFrame>& frame) {
    return output_->scheduleVideoFrame(frame, scheduledTime_, frameDuration_, timeScale_) ==
           SdiResult::ok;
}

bool ZRDeckLinkOutput::scheduleNextFrame() {
    if (stopping_ || !output_ || frames_.empty()) return false;
    int slot = -1;
    if (frameRequest_) {
        const auto began = frameRequestTimer_ ? std::chrono::steady_clock::now()
                                              : std::chrono::steady_clock::time_point();
        const long long answer = frameRequest_();
        if (frameRequestTimer_) {
            frameRequestTimer_(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        }
        if (stopping_) return false;
        const bool valid = answer >= 0 && answer < static_cast<long long>(frames_.size()) &&
                           !frameInFlight_[static_cast<std::size_t>(answer)];
        if (!valid || (copyFromPixelBuffers_ && !copyPixelBufferAtSlot(answer))) {
            ++dropped_;
        } else {
            slot = static_cast<int>(answer);
        }
    }
    int fallback = -1;
    if (slot >= 0) {
        if (!scheduleFrame(frames_[static_cast<std::size_t>(slot)])) {
            ++dropped_;
            slot = -1;
        }
    }
    if (slot < 0) {
        fallback = freeFallback();
        if (fallback < 0) return false;
        if (!scheduleFrame(fallbackFrames_[static_cast<std::size_t>(fallback)])) {
            ++dropped_;
            return false;  // the time does not advance: the next attempt uses it
        }
    }
    if (slot >= 0) {
        frameInFlight_[static_cast<std::size_t>(slot)] = true;
    } else {
        fallbackInFlight_[static_cast<std::size_t>(fallback)] = true;
    }
    ++inFlight_;
    scheduleAudioThrough(scheduledTime_ + frameDuration_);
    scheduledTime_ += frameDuration_;
    return true;
}

bool ZRDeckLinkOutput::copyPixelBufferAtSlot(long long slot) {
    if (slot < 0 || slot >= static_cast<long long>(frames_.size()) ||
        slot >= static_cast<long long>(pixelBuffers_.size())) {
        return false;
    }
    const ZRFrameBuffer& buffer = pixelBuffers_[static_cast<std::size_t>(slot)];
    SdiVideoFrame& frame = *frames_[static_cast<std::size_t>(slot)];
    if (!buffer.memory || buffer.rowBytes < frame.rowBytes() || buffer.height < frame.height() ||
        !buffer.holdsAllRows()) {
        return false;
    }
    // Rows are streamed past the cache: the card's thread reads the frame later, not this one.
    for (long long y = 0; y < frame.height(); ++y) {
        gpu::streamBytes(frame.bytes() + static_cast<std::size_t>(y) * frame.rowBytes(),
                         buffer.row(y), frame.rowBytes());
    }
    gpu::streamFence();
    return true;
}

void ZRDeckLinkOutput::scheduleAudioThrough(long long streamTime) {
    if (!audioEnabled_ || !audioRequest_ || !output_ || timeScale_ < 1) return;
    const auto through =
        static_cast<long long>(static_cast<__int128>(streamTime) * kAudioSampleRate / timeScale_);
    long long wanted = through - audioSamplesScheduled_;
    while (wanted > 0 && !stopping_) {
        const long long n = std::min(wanted, kAudioBufferFrames);
        audioRequest_(audioBuffer_.data(), n);
        std::uint32_t written = 0;
        const SdiResult r =
            output_->scheduleAudioSamples(audioBuffer_.data(), static_cast<std::uint32_t>(n),
                                          audioSamplesScheduled_, kAudioSampleRate, &written);
        // Never trust a count beyond what was offered; without progress, skip ahead (no retry).
        const long long advance =
            r == SdiResult::ok && written >= 1 ? std::min<long long>(written, n) : n;
        audioSamplesScheduled_ += advance;
        wanted -= advance;
    }
}

}  // namespace velmar
