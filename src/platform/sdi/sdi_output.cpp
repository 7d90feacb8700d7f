#include "platform/sdi/sdi_output.h"

#include <algorithm>
#include <chrono>

namespace velmar {
namespace {

constexpr long long kMaxSide = 16384;

}  // namespace

SdiOutput::SdiOutput(int deviceIndex, SdiDeviceConfig config, std::shared_ptr<SdiKeyer> keyer,
                     SdiClockMode clock, std::string recordDirectory)
    : deviceIndex_(deviceIndex),
      config_(std::move(config)),
      modes_(config_.effectiveModes()),
      keyer_(std::move(keyer)),
      clock_(clock),
      faults_(config_.faults),
      recordDirectory_(std::move(recordDirectory)) {}

SdiOutput::~SdiOutput() {
    stopScheduledPlayback(0, nullptr, 1);
    joinThread();
    std::unique_lock lock(mutex_);
    closeRecording(lock);  // a playback whose thread was let go inside a completion
}

// ---- modes ------------------------------------------------------------------------------

const SdiModeSupport* SdiOutput::findMode(std::uint32_t code) const {
    for (const SdiModeSupport& m : modes_) {
        if (m.mode.code == code) return &m;
    }
    return nullptr;
}

bool SdiOutput::formatAllowed(const SdiModeSupport& mode, SdiPixelFormat format) const {
    switch (format) {
        case SdiPixelFormat::bgra8:
            return mode.bgra8;
        case SdiPixelFormat::v210:
            return mode.v210;
        case SdiPixelFormat::ay10:
            return mode.ay10 && mode.keying && keyer_ && config_.supportsExternalKeying;
    }
    return false;
}

std::vector<SdiDisplayMode> SdiOutput::displayModes() const {
    std::vector<SdiDisplayMode> out;
    out.reserve(modes_.size());
    for (const SdiModeSupport& m : modes_) out.push_back(m.mode);
    return out;
}

std::optional<SdiDisplayMode> SdiOutput::displayMode(std::uint32_t code) const {
    if (const SdiModeSupport* m = findMode(code)) return m->mode;
    return std::nullopt;
}

SdiResult SdiOutput::doesSupportVideoMode(std::uint32_t modeCode, std::uint32_t pixelFormat,
                                          bool keying, ModeCheck* check) const {
    if (check == nullptr) return SdiResult::invalidArgument;
    *check = ModeCheck{};
    const std::optional<SdiPixelFormat> format = sdiPixelFormatFromCode(pixelFormat);
    if (!format) return SdiResult::invalidArgument;
    const SdiModeSupport* mode = findMode(modeCode);
    if (mode == nullptr) return SdiResult::ok;
    bool supported = formatAllowed(*mode, *format);
    if (keying) supported = supported && mode->keying && keyer_ != nullptr;
    check->supported = supported;
    check->actualMode = mode->actualMode != 0 ? mode->actualMode : mode->mode.code;
    return SdiResult::ok;
}

// ---- enabling ---------------------------------------------------------------------------

SdiResult SdiOutput::enableVideoOutput(std::uint32_t modeCode) {
    std::lock_guard lock(mutex_);
    if (faults_.enableVideoBusy || mode_ != nullptr) return SdiResult::busy;
    const SdiModeSupport* mode = findMode(modeCode);
    if (mode == nullptr) return SdiResult::unsupported;
    mode_ = mode;
    return SdiResult::ok;
}

SdiResult SdiOutput::disableVideoOutput() {
    std::lock_guard lock(mutex_);
    if (running_) return SdiResult::busy;
    mode_ = nullptr;
    pending_.clear();
    return SdiResult::ok;
}

SdiResult SdiOutput::enableAudioOutput(int sampleRate, int bitsPerSample, int channels,
                                       bool timestamped) {
    std::lock_guard lock(mutex_);
    if (sampleRate != kAudioSampleRate || bitsPerSample != 32 || channels != kAudioChannels ||
        !timestamped) {
        return SdiResult::invalidArgument;
    }
    if (faults_.enableAudioFails) return SdiResult::refused;
    if (audioEnabled_) return SdiResult::busy;
    audioEnabled_ = true;
    audio_.clear();
    audioPlayedEnd_ = audioScheduledEnd_ = 0;
    return SdiResult::ok;
}

SdiResult SdiOutput::disableAudioOutput() {
    std::lock_guard lock(mutex_);
    audioEnabled_ = false;
    audio_.clear();
    return SdiResult::ok;
}

bool SdiOutput::isVideoEnabled() const {
    std::lock_guard lock(mutex_);
    return mode_ != nullptr;
}

bool SdiOutput::isAudioEnabled() const {
    std::lock_guard lock(mutex_);
    return audioEnabled_;
}

// ---- frames -----------------------------------------------------------------------------

SdiResult SdiOutput::validateFrameShape(long long width, long long height, long long rowBytes,
                                        std::uint32_t pixelFormat, SdiPixelFormat* format) const {
    const std::optional<SdiPixelFormat> f = sdiPixelFormatFromCode(pixelFormat);
    if (!f) return SdiResult::invalidArgument;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        return SdiResult::invalidArgument;
    }
    if (rowBytes < 0 || static_cast<std::size_t>(rowBytes) < sdiMinimumRowBytes(*f, width) ||
        rowBytes > 16 * kMaxSide * 4) {
        return SdiResult::invalidArgument;
    }
    *format = *f;
    return SdiResult::ok;
}

SdiResult SdiOutput::createVideoFrame(long long width, long long height, long long rowBytes,
                                      std::uint32_t pixelFormat,
                                      std::shared_ptr<SdiVideoFrame>* frame) {
    if (frame == nullptr) return SdiResult::invalidArgument;
    frame->reset();
    SdiPixelFormat format;
    if (SdiResult r = validateFrameShape(width, height, rowBytes, pixelFormat, &format);
        r != SdiResult::ok) {
        return r;
    }
    {
        std::lock_guard lock(mutex_);
        if (faults_.createFrameLimit >= 0 && framesCreated_ >= faults_.createFrameLimit) {
            return SdiResult::refused;
        }
        ++framesCreated_;
    }
    *frame = SdiVideoFrame::makeOwned(width, height, static_cast<std::size_t>(rowBytes), format);
    return SdiResult::ok;
}

SdiResult SdiOutput::wrapVideoFrame(long long width, long long height, long long rowBytes,
                                    std::uint32_t pixelFormat, std::shared_ptr<void> owner,
                                    std::uint8_t* bytes, std::shared_ptr<SdiVideoFrame>* frame) {
    if (frame == nullptr) return SdiResult::invalidArgument;
    frame->reset();
    {
        std::lock_guard lock(mutex_);
        if (faults_.wrapUnsupported) return SdiResult::unsupported;
    }
    if (bytes == nullptr || owner == nullptr) return SdiResult::invalidArgument;
    SdiPixelFormat format;
    if (SdiResult r = validateFrameShape(width, height, rowBytes, pixelFormat, &format);
        r != SdiResult::ok) {
        return r;
    }
    *frame = SdiVideoFrame::makeWrapped(width, height, static_cast<std::size_t>(rowBytes), format,
                                        std::move(owner), bytes);
    return SdiResult::ok;
}

// ---- scheduling -------------------------------------------------------------------------

void SdiOutput::setScheduledFrameCompletionCallback(CompletionHandler onCompleted,
                                                    PlaybackStoppedHandler onStopped) {
    std::lock_guard lock(mutex_);
    onCompleted_ = std::move(onCompleted);
    onStopped_ = std::move(onStopped);
}

SdiResult SdiOutput::scheduleVideoFrame(const std::shared_ptr<SdiVideoFrame>& frame,
                                        long long displayTime, long long duration,
                                        long long timeScale) {
    std::lock_guard lock(mutex_);
    const long long call = scheduleCalls_++;
    auto refuse = [&](SdiResult r) {
        ++counters_.schedulesRefused;
        return r;
    };
    if (mode_ == nullptr) return refuse(SdiResult::notEnabled);
    if (running_ && stopRequested_) return refuse(SdiResult::busy);  // stopping
    if (frame == nullptr || timeScale < 1 || displayTime < 0)
        return refuse(SdiResult::invalidArgument);
    if (faults_.refusedSchedules.count(call) != 0) return refuse(SdiResult::refused);
    const SdiDisplayMode& mode = mode_->mode;
    if (frame->width() != mode.width || frame->height() != mode.height ||
        !formatAllowed(*mode_, frame->pixelFormat()) ||
        frame->rowBytes() < sdiMinimumRowBytes(frame->pixelFormat(), frame->width())) {
        return refuse(SdiResult::invalidArgument);
    }
    // Fill and key in one frame needs the keyer on, as external keyer.
    if (frame->pixelFormat() == SdiPixelFormat::ay10 && !(keyer_ && keyer_->isExternal())) {
        return refuse(SdiResult::invalidArgument);
    }
    // Exactly one frame long, and on the frame grid.
    const __int128 span = static_cast<__int128>(timeScale) * mode.frameDuration;
    if (static_cast<__int128>(duration) * mode.timeScale != span)
        return refuse(SdiResult::invalidArgument);
    const __int128 at = static_cast<__int128>(displayTime) * mode.timeScale;
    if (at % span != 0) return refuse(SdiResult::invalidArgument);
    const auto index = static_cast<long long>(at / span);
    for (const Pending& p : pending_) {
        if (p.index == index || p.frame == frame) return refuse(SdiResult::invalidArgument);
    }
    if (pending_.size() >= kMaxPendingFrames) return refuse(SdiResult::refused);
    pending_.push_back({frame, index});
    ++counters_.framesScheduled;
    return SdiResult::ok;
}

SdiResult SdiOutput::scheduleAudioSamples(const std::int32_t* interleaved, std::uint32_t frames,
                                          long long streamTime, long long timeScale,
                                          std::uint32_t* written) {
    if (written) *written = 0;
    std::lock_guard lock(mutex_);
    if (!audioEnabled_) return SdiResult::notEnabled;
    if (interleaved == nullptr || frames < 1 || timeScale < 1 || streamTime < 0) {
        return SdiResult::invalidArgument;
    }
    const __int128 scaled = static_cast<__int128>(streamTime) * kAudioSampleRate;
    if (scaled % timeScale != 0) return SdiResult::invalidArgument;  // between two samples
    const auto start = static_cast<long long>(scaled / timeScale);
    if (start < audioScheduledEnd_) return SdiResult::invalidArgument;  // overlaps
    if (start > audioScheduledEnd_) {
        ++counters_.audioDiscontinuities;
        const long long gap = start - audioScheduledEnd_;
        if (audioScheduledEnd_ - audioPlayedEnd_ + gap > kAudioBufferFrames)
            return SdiResult::refused;
        audio_.insert(audio_.end(), static_cast<size_t>(gap) * kAudioChannels, 0);
        audioScheduledEnd_ = start;
    }
    const long long room = kAudioBufferFrames - (audioScheduledEnd_ - audioPlayedEnd_);
    const auto take = static_cast<std::uint32_t>(std::clamp<long long>(room, 0, frames));
    audio_.insert(audio_.end(), interleaved,
                  interleaved + static_cast<size_t>(take) * kAudioChannels);
    audioScheduledEnd_ += take;
    counters_.audioSamplesScheduled += take;
    if (written) *written = take;
    return SdiResult::ok;
}

void SdiOutput::setAudioRequestHandler(AudioRequestHandler handler) {
    std::lock_guard lock(mutex_);
    audioRequest_ = std::move(handler);
}

// ---- playback ---------------------------------------------------------------------------

SdiResult SdiOutput::startScheduledPlayback(long long startTime, long long timeScale,
                                            double speed) {
    {
        std::unique_lock lock(mutex_);
        if (mode_ == nullptr) return SdiResult::notEnabled;
        if (running_) return SdiResult::busy;
    }
    joinThread();  // a playback stopped from its own completion thread
    std::unique_lock lock(mutex_);
    if (mode_ == nullptr) return SdiResult::notEnabled;
    if (running_) return SdiResult::busy;
    if (speed != 1.0) return SdiResult::unsupported;
    if (timeScale < 1 || startTime < 0) return SdiResult::invalidArgument;
    const SdiDisplayMode& mode = mode_->mode;
    const __int128 span = static_cast<__int128>(timeScale) * mode.frameDuration;
    const __int128 at = static_cast<__int128>(startTime) * mode.timeScale;
    if (at % span != 0) return SdiResult::invalidArgument;
    if (faults_.startPlaybackFails) return SdiResult::refused;

    startIndex_ = static_cast<long long>(at / span);
    ticks_ = 0;
    ticksDone_ = 0;
    stepsAllowed_ = 0;
    lateThrough_ = 0;
    onAirIndex_ = -1;
    heldUntilIndex_ = -1;
    held_.clear();
    stopRequested_ = false;
    running_ = true;
    if (audioEnabled_) {
        // Audio of frame times before the start is never played.
        const long long base = mode.audioSamplesThrough(startIndex_);
        const long long drop = std::clamp<long long>(base - audioPlayedEnd_, 0,
                                                     static_cast<long long>(audio_.size() / 2));
        audio_.erase(audio_.begin(), audio_.begin() + drop * kAudioChannels);
        audioPlayedEnd_ = std::max(audioPlayedEnd_, base);
        audioScheduledEnd_ = std::max(audioScheduledEnd_, audioPlayedEnd_);
    }
    startRecording();
    startPoint_ = std::chrono::steady_clock::now();
    ++playbacksStarted_;
    thread_ = std::thread([this] { run(); });
    threadId_ = thread_.get_id();
    return SdiResult::ok;
}

SdiResult SdiOutput::stopScheduledPlayback(long long /*stopTime*/, long long* actualStopTime,
                                           long long timeScale) {
    long long playback = 0;
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        if (actualStopTime) {
            *actualStopTime = 0;
            if (mode_ != nullptr && timeScale >= 1 && onAirIndex_ >= 0) {
                *actualStopTime = static_cast<long long>(static_cast<__int128>(onAirIndex_) *
                                                         mode_->mode.frameDuration * timeScale /
                                                         mode_->mode.timeScale);
            }
        }
        if (!running_) return SdiResult::ok;
        stopRequested_ = true;
        playback = playbacksStarted_;
        wake_.notify_all();
        if (std::this_thread::get_id() == threadId_) return SdiResult::ok;
        // Taken with the request, so that this stop joins the thread it stopped and no other
        // (a restart may make the next one before the join). Another stop of the same
        // playback finds it taken and only waits.
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return playbacksFinished_ >= playback; });
    return SdiResult::ok;
}

bool SdiOutput::isPlaybackRunning() const {
    std::lock_guard lock(mutex_);
    return running_ && !stopRequested_;
}

SdiResult SdiOutput::scheduledStreamTime(long long timeScale, long long* streamTime) const {
    if (streamTime == nullptr || timeScale < 1) return SdiResult::invalidArgument;
    std::lock_guard lock(mutex_);
    if (mode_ == nullptr || !running_) return SdiResult::notEnabled;
    const long long index = onAirIndex_ >= 0 ? onAirIndex_ : startIndex_;
    *streamTime = static_cast<long long>(static_cast<__int128>(index) * mode_->mode.frameDuration *
                                         timeScale / mode_->mode.timeScale);
    return SdiResult::ok;
}

void SdiOutput::step(long long frames) {
    if (frames < 1 || clock_ != SdiClockMode::manual) return;
    std::unique_lock lock(mutex_);
    if (!running_ || stopRequested_ || std::this_thread::get_id() == threadId_) return;
    stepsAllowed_ += frames;
    const long long target = stepsAllowed_;
    wake_.notify_all();
    done_.wait(lock, [&] { return ticksDone_ >= target || !running_ || stopRequested_; });
}

void SdiOutput::stepLate(long long frames) {
    if (frames < 1 || clock_ != SdiClockMode::manual) return;
    std::unique_lock lock(mutex_);
    if (!running_ || stopRequested_ || std::this_thread::get_id() == threadId_) return;
    // Frame times allowed before are handled first, one by one; then one wake for these.
    done_.wait(lock, [&] { return ticksDone_ >= stepsAllowed_ || !running_ || stopRequested_; });
    if (!running_ || stopRequested_) return;
    stepsAllowed_ += frames;
    lateThrough_ = stepsAllowed_;
    const long long target = stepsAllowed_;
    wake_.notify_all();
    done_.wait(lock, [&] { return ticksDone_ >= target || !running_ || stopRequested_; });
}

void SdiOutput::joinThread() {
    // Taken out under the lock, so that of two callers at once only one joins it.
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();  // the last owner let go inside a completion
            return;
        }
        thread = std::move(thread_);
    }
    thread.join();
}

void SdiOutput::run() {
    std::unique_lock lock(mutex_);
    while (!stopRequested_) {
        // Frame time k begins at its own instant from the start, never from the previous one,
        // so time spent in a tick or a late wake does not push the clock back.
        const SdiDisplayMode& mode = mode_->mode;
        long long now = 0;  // nanoseconds since the start
        if (clock_ == SdiClockMode::manual) {
            wake_.wait(lock, [&] { return stopRequested_ || ticks_ < stepsAllowed_; });
            if (stopRequested_) break;
            // A step wakes the thread on time; a late step halfway through its last frame time.
            now =
                ticks_ < lateThrough_
                    ? (mode.nanosecondsAt(lateThrough_ - 1) + mode.nanosecondsAt(lateThrough_)) / 2
                    : mode.nanosecondsAt(ticks_);
        } else {
            const auto deadline =
                startPoint_ + std::chrono::nanoseconds(mode.nanosecondsAt(ticks_));
            if (wake_.wait_until(lock, deadline, [&] { return stopRequested_; })) break;
            now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - startPoint_)
                      .count();
        }
        tick(lock, std::max(ticks_, mode.frameAt(now)));
        ticksDone_ = ticks_;
        done_.notify_all();
    }
    finishPlayback(lock);
}

void SdiOutput::tick(std::unique_lock<std::mutex>& lock, long long frame) {
    const SdiDisplayMode mode = mode_->mode;
    // Frame times first ... n - 1 passed while the thread was held up: nothing changed on air
    // then, and frames due in them count as late or dropped below, like any frame shown after
    // its time.
    const long long first = startIndex_ + ticks_;
    const long long n = startIndex_ + frame;
    counters_.ticks += frame - ticks_ + 1;
    counters_.ticksMissed += frame - ticks_;
    ticks_ = frame + 1;

    // Which frames have come due: the newest is shown, older ones never will be.
    std::sort(pending_.begin(), pending_.end(),
              [](const Pending& a, const Pending& b) { return a.index < b.index; });
    const auto due = std::find_if(pending_.begin(), pending_.end(),
                                  [n](const Pending& p) { return p.index > n; });
    std::deque<Completion> out;
    std::optional<SdiCapturedFrame> shown;
    if (due == pending_.begin()) {
        ++counters_.underruns;
    } else {
        for (auto it = pending_.begin(); it + 1 < due; ++it) {
            out.push_back({it->frame, SdiCompletionResult::dropped});
            ++counters_.framesDropped;
        }
        const Pending last = *(due - 1);
        if (faults_.droppedFrames.count(n) != 0) {
            out.push_back({last.frame, SdiCompletionResult::dropped});
            ++counters_.framesDropped;
            ++counters_.underruns;
        } else {
            SdiCompletionResult result = last.index == n && faults_.lateFrames.count(n) == 0
                                             ? SdiCompletionResult::completed
                                             : SdiCompletionResult::displayedLate;
            out.push_back({last.frame, result});
            ++(result == SdiCompletionResult::completed ? counters_.framesCompleted
                                                        : counters_.framesDisplayedLate);
            onAirIndex_ = n;
            const SdiVideoFrame& f = *last.frame;
            if (!sdiFrameContentIsValid(f.pixelFormat(), f.bytes(), f.width(), f.height(),
                                        f.rowBytes())) {
                ++counters_.invalidContentFrames;
            }
            // A full recorder queue leaves the frame out of the recording, uncopied.
            std::optional<std::vector<std::uint8_t>> recorded;
            const std::size_t tightRow = sdiMinimumRowBytes(f.pixelFormat(), f.width());
            if (recorder_) {
                recorded = recorder_->reserveFrame(tightRow * static_cast<std::size_t>(f.height()));
            }
            if (frameCapture_ || recorded) {
                SdiCapturedFrame c;
                c.displayIndex = n;
                c.tick = ticks_ - 1;
                c.result = result;
                c.format = f.pixelFormat();
                c.width = f.width();
                c.height = f.height();
                c.rowBytes = tightRow;
                c.keyed = keyer_ && keyer_->isExternal();
                c.keyLevel = c.keyed ? keyer_->level() : 0;
                if (recorded) {
                    c.bytes = std::move(*recorded);
                } else {
                    c.bytes.resize(c.rowBytes * static_cast<std::size_t>(f.height()));
                }
                for (long long y = 0; y < f.height(); ++y) {
                    std::copy_n(f.bytes() + static_cast<std::size_t>(y) * f.rowBytes(), c.rowBytes,
                                c.bytes.data() + static_cast<std::size_t>(y) * c.rowBytes);
                }
                if (!frameCapture_) {
                    recorder_->submitFrame(c.format, std::move(c.bytes));
                } else {
                    if (recorded) recorder_->submitFrame(c.format, c.bytes);
                    shown = std::move(c);
                }
            }
        }
        pending_.erase(pending_.begin(), due);
    }

    // Audio of this frame time (and of those passed over): ask for what is missing, then play
    // it.
    std::vector<std::int32_t> played;
    if (audioEnabled_) {
        const long long target = mode.audioSamplesThrough(n + 1);
        // After a wake later than the audio buffer is long, the sound before its last stretch
        // is passed over unheard and unasked for, so that a thread stopped for minutes neither
        // asks for nor holds minutes of sound at once.
        if (const long long skip = target - kAudioBufferFrames - audioPlayedEnd_; skip > 0) {
            const long long have =
                std::min<long long>(skip, static_cast<long long>(audio_.size() / 2));
            audio_.erase(audio_.begin(), audio_.begin() + have * kAudioChannels);
            counters_.audioSamplesPlayed += skip;
            counters_.audioSamplesMissing += skip - have;
            audioPlayedEnd_ += skip;
            audioScheduledEnd_ = std::max(audioScheduledEnd_, audioPlayedEnd_);
        }
        while (audioRequest_ && audioEnabled_ && audioScheduledEnd_ < target && !stopRequested_) {
            const auto count = static_cast<std::uint32_t>(
                std::min<long long>(target - audioScheduledEnd_, kMaxAudioRequest));
            const long long at = audioScheduledEnd_;
            AudioRequestHandler request = audioRequest_;
            std::vector<std::int32_t> scratch(static_cast<size_t>(count) * kAudioChannels, 0);
            lock.unlock();
            request(scratch.data(), count, at);
            lock.lock();
            ++counters_.audioRequests;
            counters_.audioSamplesRequested += count;
            if (!audioEnabled_ || audioScheduledEnd_ != at) break;  // changed meanwhile
            audio_.insert(audio_.end(), scratch.begin(), scratch.end());
            audioScheduledEnd_ += count;
        }
        if (audioEnabled_ && target > audioPlayedEnd_) {
            const long long count = target - audioPlayedEnd_;
            const long long have =
                std::min<long long>(count, static_cast<long long>(audio_.size() / 2));
            played.assign(audio_.begin(), audio_.begin() + have * kAudioChannels);
            played.resize(static_cast<size_t>(count) * kAudioChannels, 0);
            audio_.erase(audio_.begin(), audio_.begin() + have * kAudioChannels);
            counters_.audioSamplesPlayed += count;
            counters_.audioSamplesMissing += count - have;
            const long long start = audioPlayedEnd_;
            audioPlayedEnd_ = target;
            audioScheduledEnd_ = std::max(audioScheduledEnd_, audioPlayedEnd_);
            if (recorder_) recorder_->addAudio(played.data(), static_cast<std::uint32_t>(count));
            if (audioCapture_) {
                AudioCaptureHandler capture = audioCapture_;
                lock.unlock();
                capture(played.data(), static_cast<std::uint32_t>(count), start);
                lock.lock();
            }
        }
    }

    if (shown && frameCapture_) {
        FrameCaptureHandler capture = frameCapture_;
        lock.unlock();
        capture(*shown);
        lock.lock();
    }

    // Completions, unless a stall holds them back.
    for (auto stall = faults_.stalls.lower_bound(first);
         stall != faults_.stalls.end() && stall->first <= n; ++stall) {
        heldUntilIndex_ = std::max(heldUntilIndex_, stall->first + stall->second);
    }
    for (Completion& c : out) held_.push_back(std::move(c));
    if (n >= heldUntilIndex_) deliver(lock, held_);
}

void SdiOutput::deliver(std::unique_lock<std::mutex>& lock, std::deque<Completion>& completions) {
    while (!completions.empty()) {
        Completion c = std::move(completions.front());
        completions.pop_front();
        CompletionHandler handler = onCompleted_;
        if (!handler) continue;
        lock.unlock();
        handler(c.frame, c.result);
        c.frame.reset();
        lock.lock();
    }
}

void SdiOutput::finishPlayback(std::unique_lock<std::mutex>& lock) {
    deliver(lock, held_);
    std::deque<Completion> flushed;
    std::sort(pending_.begin(), pending_.end(),
              [](const Pending& a, const Pending& b) { return a.index < b.index; });
    for (Pending& p : pending_) {
        flushed.push_back({std::move(p.frame), SdiCompletionResult::flushed});
        ++counters_.framesFlushed;
    }
    pending_.clear();
    deliver(lock, flushed);
    closeRecording(lock);
    if (PlaybackStoppedHandler stopped = onStopped_) {
        lock.unlock();
        stopped();
        lock.lock();
    }
    running_ = false;
    playbacksFinished_ = playbacksStarted_;
    threadId_ = std::thread::id();  // ids of ended threads are reused
    done_.notify_all();
}

// ---- test access ------------------------------------------------------------------------

void SdiOutput::setFrameCapture(FrameCaptureHandler handler) {
    std::lock_guard lock(mutex_);
    frameCapture_ = std::move(handler);
}

void SdiOutput::setAudioCapture(AudioCaptureHandler handler) {
    std::lock_guard lock(mutex_);
    audioCapture_ = std::move(handler);
}

void SdiOutput::setFaults(SdiFaults faults) {
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
}

void SdiOutput::setRecordDirectory(std::string directory) {
    std::unique_lock lock(mutex_);
    closeRecording(lock);
    recordDirectory_ = std::move(directory);
    if (running_ && !stopRequested_) startRecording();
}

void SdiOutput::setRecordWriter(SdiRecorder::Write write) {
    std::lock_guard lock(mutex_);
    recordWriter_ = std::move(write);
}

void SdiOutput::startRecording() {
    if (recordDirectory_.empty() || recorder_) return;
    recorder_ = std::make_unique<SdiRecorder>(
        recordDirectory_, deviceIndex_, recordWriter_, SdiRecorder::Report(),
        recordedOnce_ ? SdiRecorder::Files::appended : SdiRecorder::Files::begunAfresh);
    recordedOnce_ = true;
}

void SdiOutput::closeRecording(std::unique_lock<std::mutex>& lock) {
    std::unique_ptr<SdiRecorder> recorder = std::move(recorder_);
    if (!recorder) return;
    // The writer may need a while to empty its queue; the output's calls go on meanwhile.
    lock.unlock();
    recorder->close();
    const SdiRecorder::Counts c = recorder->counts();
    recorder.reset();
    lock.lock();
    recordedBefore_.framesWritten += c.framesWritten;
    recordedBefore_.framesDropped += c.framesDropped;
    recordedBefore_.audioFramesDropped += c.audioFramesDropped;
}

std::string SdiOutput::recordingProblem() const {
    std::lock_guard lock(mutex_);
    return recorder_ ? recorder_->problem() : std::string();
}

SdiOutputCounters SdiOutput::counters() const {
    std::lock_guard lock(mutex_);
    SdiOutputCounters c = counters_;
    SdiRecorder::Counts recorded = recordedBefore_;
    if (recorder_) {
        const SdiRecorder::Counts now = recorder_->counts();
        recorded.framesWritten += now.framesWritten;
        recorded.framesDropped += now.framesDropped;
        recorded.audioFramesDropped += now.audioFramesDropped;
    }
    c.recordedFrames = recorded.framesWritten;
    c.recordFramesDropped = recorded.framesDropped;
    c.recordAudioDropped = recorded.audioFramesDropped;
    return c;
}

}  // namespace velmar
