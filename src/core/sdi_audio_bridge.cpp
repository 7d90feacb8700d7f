#include "core/sdi_audio_bridge.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace velmar {

namespace {
constexpr double kFullScale = 2147483647.0;

// Reads frames out of a pushed block without copying it, and knows how many frames the block's
// buffers really hold, so a frame count larger than the buffers never reads past them.
}  // namespace

struct SDIAudioBridge::Reader {
    const float* left = nullptr;
    const float* right = nullptr;
    long long stride = 1;
    long long rightOffset = 0;
    long long availableFrames = 0;

    Reader() = default;
    // Interleaved stereo frames (a parked block).
    static Reader stereo(const float* data, long long frames) {
        Reader reader;
        reader.left = reader.right = data;
        reader.stride = 2;
        reader.rightOffset = 1;
        reader.availableFrames = frames;
        return reader;
    }

    explicit Reader(const AudioBufferList& list) {
        if (list.count >= 2) {
            // One buffer per channel: the first two are left and right, further ones ignored.
            const AudioBuffer& l = list.buffers[0];
            const AudioBuffer& r = list.buffers[1];
            left = l.data;
            right = r.data;
            availableFrames =
                static_cast<long long>(std::min(l.byteSize, r.byteSize) / sizeof(float));
        } else if (list.count == 1) {
            // One interleaved buffer; a mono one feeds both sides.
            const AudioBuffer& b = list.buffers[0];
            const int channels = b.channels;
            left = right = b.data;
            stride = std::max(channels, 1);
            rightOffset = channels > 1 ? 1 : 0;
            availableFrames = static_cast<long long>(b.byteSize / sizeof(float)) / stride;
        }
        if (left == nullptr || right == nullptr) availableFrames = 0;
    }
    float l(long long i) const { return left[i * stride]; }
    float r(long long i) const { return right[i * stride + rightOffset]; }
};

namespace {

std::int32_t toInt32(float x) {
    if (std::isnan(x)) return 0;
    if (x <= -1.0f) return -2147483647;
    return static_cast<std::int32_t>(std::min(static_cast<double>(x), 1.0) * kFullScale);
}

float toUnitFloat(float x) {
    if (std::isnan(x)) return 0.0f;
    return std::clamp(x, -1.0f, 1.0f);
}
}  // namespace

SDIAudioBridge& SDIAudioBridge::shared() {
    static SDIAudioBridge* bridge = new SDIAudioBridge(kProgramLeadFrames);
    return *bridge;
}

SDIAudioBridge& SDIAudioBridge::ndi() {
    static SDIAudioBridge* bridge = new SDIAudioBridge(kProgramLeadFrames);
    return *bridge;
}

const std::array<SDIAudioBridge*, SDIAudioBridge::kBridgeCount>& SDIAudioBridge::all() {
    static const std::array<SDIAudioBridge*, 2> bridges{&shared(), &ndi()};
    return bridges;
}

SDIAudioBridge::SDIAudioBridge(int leadFrames)
    : leadFrames_(std::clamp(leadFrames, 0, kRingFrames / 2)),
      ring_(static_cast<std::size_t>(kRingFrames) * 2, 0.0f),
      scratchLeft_(kScratchFrames, 0.0f),
      scratchRight_(kScratchFrames, 0.0f),
      parked_(static_cast<std::size_t>(kScratchFrames) * 2, 0.0f) {}

void SDIAudioBridge::setActive(bool active) {
    std::lock_guard guard(lock_);
    active_ = active;
    activeMirror_ = active;
    readFrame_ = 0;
    storedFrames_ = 0;
    underrunFrames_ = 0;
    droppedFrames_ = 0;
    contendedFrames_ = 0;
    ++resetCount_;
    std::lock_guard park(parkLock_);
    parkedFrames_ = 0;
    hasParked_ = false;
}

void SDIAudioBridge::setMuteLocalWhileActive(bool mute) {
    std::lock_guard guard(lock_);
    muteLocalWhileActive_ = mute;
    muteMirror_ = mute;
}

float SDIAudioBridge::programGain() const {
    std::lock_guard guard(lock_);
    return programGain_;
}

void SDIAudioBridge::setProgramGain(float gain) {
    std::lock_guard guard(lock_);
    programGain_ = std::isfinite(gain) ? std::clamp(gain, 0.0f, 1.0f) : 0.0f;
}

void SDIAudioBridge::setTone(std::unique_ptr<ToneGenerator> tone) {
    {
        std::lock_guard guard(lock_);
        std::swap(tone_, tone);
    }
    // `tone` now holds the former generator, released here outside the lock.
}

bool SDIAudioBridge::hasTone() const {
    std::lock_guard guard(lock_);
    return tone_ != nullptr;
}

void SDIAudioBridge::appendLocked(float left, float right) {
    if (storedFrames_ == kRingFrames) {
        readFrame_ = (readFrame_ + 1) % kRingFrames;
        storedFrames_ = kRingFrames - 1;
        ++droppedFrames_;
    }
    const int w = (readFrame_ + storedFrames_) % kRingFrames;
    ring_[static_cast<std::size_t>(w) * 2] = left;
    ring_[static_cast<std::size_t>(w) * 2 + 1] = right;
    ++storedFrames_;
}

bool SDIAudioBridge::push(const AudioBufferList& buffers, int frames, double sampleRate) {
    if (frames < 1 || !(sampleRate >= kMinSourceRate)) return false;
    std::unique_lock guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) {
        park(buffers, frames, sampleRate);
        return false;
    }
    if (!active_) return false;
    appendParkedLocked();
    const Reader reader(buffers);
    appendBlockLocked(reader, std::min<long long>(frames, reader.availableFrames), sampleRate);
    return true;
}

bool SDIAudioBridge::park(const AudioBufferList& buffers, int frames, double sampleRate) {
    // The ring is busy (a pull or a setter holds it): keep the block aside rather than lose
    // it; the next holder of the lock appends it ahead of anything newer.
    if (!activeMirror_) return false;
    const Reader reader(buffers);
    const long long count = std::min<long long>(frames, reader.availableFrames);
    if (count < 1) return false;
    std::unique_lock park(parkLock_, std::try_to_lock);
    long long kept = 0;
    if (park.owns_lock() && (parkedFrames_ == 0 || parkedRate_ == sampleRate)) {
        kept = std::min<long long>(count, kScratchFrames - parkedFrames_);
        for (long long i = 0; i < kept; ++i) {
            const auto f = static_cast<std::size_t>(parkedFrames_ + i) * 2;
            parked_[f] = reader.l(i);
            parked_[f + 1] = reader.r(i);
        }
        parkedFrames_ += static_cast<int>(kept);
        parkedRate_ = sampleRate;
        hasParked_ = parkedFrames_ > 0;
    }
    if (kept < count) contendedFrames_ += count - kept;
    return kept == count;
}

void SDIAudioBridge::appendParkedLocked() {
    if (!hasParked_.load()) return;
    std::unique_lock park(parkLock_, std::try_to_lock);
    if (!park.owns_lock()) return;  // being parked at this moment: taken next time
    if (active_)
        appendBlockLocked(Reader::stereo(parked_.data(), parkedFrames_), parkedFrames_,
                          parkedRate_);
    parkedFrames_ = 0;
    hasParked_ = false;
}

void SDIAudioBridge::appendBlockLocked(const Reader& reader, long long count, double sampleRate) {
    if (sampleRate != sourceRate_) {
        sourceRate_ = sampleRate;
        resamplePosition_ = 0;
    }
    if (count < 1) return;
    if (sampleRate == kOutputRate) {
        for (long long i = 0; i < count; ++i) appendLocked(reader.l(i), reader.r(i));
        return;
    }
    // Linear resampling to 48 kHz: every output frame lies between an input frame and the one
    // before it; the fractional position and the last input frame carry over into the next
    // block.
    const double step = sampleRate / kOutputRate;
    const auto end = static_cast<double>(count);
    double pos = resamplePosition_;
    while (pos < end) {
        const auto i = static_cast<long long>(pos);
        const float frac = static_cast<float>(pos - static_cast<double>(i));
        const float currentL = reader.l(i);
        const float currentR = reader.r(i);
        const float beforeL = i == 0 ? previousLeft_ : reader.l(i - 1);
        const float beforeR = i == 0 ? previousRight_ : reader.r(i - 1);
        appendLocked(beforeL + (currentL - beforeL) * frac, beforeR + (currentR - beforeR) * frac);
        pos += step;
    }
    resamplePosition_ = pos - end;
    previousLeft_ = reader.l(count - 1);
    previousRight_ = reader.r(count - 1);
}

template <typename Write>
void SDIAudioBridge::render(long long n, Write write) {
    appendParkedLocked();
    // Latency trim: a backlog beyond the feed's lead plus two requests plus 4096 frames keeps
    // only the newest lead + n + 2048 frames. (A request longer than the ring can never meet
    // the test; checking that first keeps 2n from overflowing.)
    if (n <= kRingFrames && storedFrames_ > leadFrames_ + 2 * n + 4096) {
        const long long keep = leadFrames_ + n + 2048;
        const long long excess = storedFrames_ - keep;
        readFrame_ = static_cast<int>((readFrame_ + excess) % kRingFrames);
        storedFrames_ = static_cast<int>(keep);
        droppedFrames_ += excess;
    }
    if (!tone_) {
        for (long long i = 0; i < n; ++i) {
            if (storedFrames_ < 1) {
                write(i, 0.0f, 0.0f);
                if (active_) ++underrunFrames_;
                continue;
            }
            const auto f = static_cast<std::size_t>(readFrame_) * 2;
            readFrame_ = (readFrame_ + 1) % kRingFrames;
            --storedFrames_;
            write(i, programGain_ * ring_[f], programGain_ * ring_[f + 1]);
        }
        return;
    }
    // The tone replaces program audio: the program frames this request would have played are
    // discarded so the ring does not fill up behind the tone.
    const long long k = std::min<long long>(n, storedFrames_);
    readFrame_ = static_cast<int>((readFrame_ + k) % kRingFrames);
    storedFrames_ -= static_cast<int>(k);
    for (long long done = 0; done < n;) {
        const long long count = std::min<long long>(n - done, kScratchFrames);
        tone_->render(scratchLeft_.data(), scratchRight_.data(), count);
        for (long long i = 0; i < count; ++i) {
            const auto s = static_cast<std::size_t>(i);
            write(done + i, scratchLeft_[s], scratchRight_[s]);
        }
        done += count;
    }
}

void SDIAudioBridge::pull(std::int32_t* out, long long frames) {
    if (out == nullptr || frames < 1) return;
    std::lock_guard guard(lock_);
    render(frames, [out](long long i, float left, float right) {
        out[2 * i] = toInt32(left);
        out[2 * i + 1] = toInt32(right);
    });
}

void SDIAudioBridge::pullPlanar(float* out, long long frames) {
    if (out == nullptr || frames < 1) return;
    std::lock_guard guard(lock_);
    render(frames, [out, frames](long long i, float left, float right) {
        out[i] = toUnitFloat(left);
        out[frames + i] = toUnitFloat(right);
    });
}

int SDIAudioBridge::storedFrames() const {
    std::lock_guard guard(lock_);
    return storedFrames_;
}

void SDIAudioBridge::discardNewest(int frames) {
    std::lock_guard guard(lock_);
    const int k = std::clamp(frames, 0, storedFrames_);
    storedFrames_ -= k;
    droppedFrames_ += k;
}

bool SDIAudioBridge::tryStoredFrames(int* frames) const {
    std::unique_lock guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) return false;
    *frames = storedFrames_;
    return true;
}

long long SDIAudioBridge::droppedFrames() const {
    std::lock_guard guard(lock_);
    return droppedFrames_ + contendedFrames_.load();
}

long long SDIAudioBridge::underrunFrames() const {
    std::lock_guard guard(lock_);
    return underrunFrames_;
}

int SDIAudioBridge::copyStored(float* interleaved, int maxFrames) const {
    if (interleaved == nullptr || maxFrames < 1) return 0;
    std::lock_guard guard(lock_);
    const int n = std::min(maxFrames, storedFrames_);
    for (int i = 0; i < n; ++i) {
        const int f = (readFrame_ + i) % kRingFrames;
        interleaved[2 * i] = ring_[static_cast<std::size_t>(f) * 2];
        interleaved[2 * i + 1] = ring_[static_cast<std::size_t>(f) * 2 + 1];
    }
    return n;
}

}  // namespace velmar
