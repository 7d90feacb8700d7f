#include "core/sdi_audio_bridge.h"

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {
// Reads frames out of a pushed block without copying it.
struct SampleReader {
    const float* left = nullptr;
    const float* right = nullptr;
    int stride = 1;
    int rightOffset = 0;

    explicit SampleReader(const AudioBufferList& list) {
        if (list.count >= 2) {
            left = list.buffers[0].data;
            right = list.buffers[1].data;
        } else if (list.count == 1) {
            const int channels = list.buffers[0].channels;
            left = right = list.buffers[0].data;
            stride = std::max(channels, 1);
            rightOffset = channels > 1 ? 1 : 0;
        }
    }
    float l(long i) const { return left[i * stride]; }
    float r(long i) const { return right[i * stride + rightOffset]; }
};
}  // namespace

SDIAudioBridge& SDIAudioBridge::shared() {
    static SDIAudioBridge* bridge = new SDIAudioBridge;
    return *bridge;
}

SDIAudioBridge& SDIAudioBridge::ndi() {
    static SDIAudioBridge* bridge = new SDIAudioBridge;
    return *bridge;
}

const std::array<SDIAudioBridge*, 2>& SDIAudioBridge::all() {
    static const std::array<SDIAudioBridge*, 2> bridges{&shared(), &ndi()};
    return bridges;
}

SDIAudioBridge::SDIAudioBridge() : ring_(static_cast<std::size_t>(ringFrames) * 2, 0.0f) {}

void SDIAudioBridge::setActive(bool active) {
    std::lock_guard guard(lock_);
    active_ = active;
    activeMirror_ = active;
    readFrame_ = 0;
    storedFrames_ = 0;
    droppedFrames_ = 0;
    contendedFrames_ = 0;
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

void SDIAudioBridge::appendLocked(float left, float right) {
    if (storedFrames_ == ringFrames) {
        readFrame_ = (readFrame_ + 1) % ringFrames;
        storedFrames_ = ringFrames - 1;
        ++droppedFrames_;
    }
    const int w = (readFrame_ + storedFrames_) % ringFrames;
    ring_[static_cast<std::size_t>(w) * 2] = left;
    ring_[static_cast<std::size_t>(w) * 2 + 1] = right;
    ++storedFrames_;
}

void SDIAudioBridge::push(const AudioBufferList& buffers, int frames, double sampleRate) {
    if (frames < 1 || !(sampleRate > 0)) return;
    std::unique_lock guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) {
        if (activeMirror_) contendedFrames_ += frames;
        return;
    }
    if (!active_) return;
    if (sampleRate != sourceRate_) {
        sourceRate_ = sampleRate;
        resamplePosition_ = 0;
    }
    const SampleReader reader(buffers);
    if (reader.left == nullptr || reader.right == nullptr) return;
    if (sampleRate == outputRate) {
        for (long i = 0; i < frames; ++i) appendLocked(reader.l(i), reader.r(i));
        return;
    }
    // Linear resampling to 48 kHz; the fractional position and the last input frame carry over
    // into the next block.
    const double step = sampleRate / outputRate;
    double pos = resamplePosition_;
    while (pos < frames) {
        const long i = static_cast<long>(pos);
        const float frac = static_cast<float>(pos - static_cast<double>(i));
        const float beforeL = i == 0 ? previousLeft_ : reader.l(i - 1);
        const float beforeR = i == 0 ? previousRight_ : reader.r(i - 1);
        appendLocked(beforeL + (reader.l(i) - beforeL) * frac, beforeR + (reader.r(i) - beforeR) * frac);
        pos += step;
    }
    resamplePosition_ = pos - frames;
    previousLeft_ = reader.l(frames - 1);
    previousRight_ = reader.r(frames - 1);
}

int SDIAudioBridge::storedFrames() const {
    std::lock_guard guard(lock_);
    return storedFrames_;
}

long SDIAudioBridge::droppedFrames() const {
    std::lock_guard guard(lock_);
    return droppedFrames_ + contendedFrames_.load();
}

int SDIAudioBridge::copyStored(float* interleaved, int maxFrames) const {
    std::lock_guard guard(lock_);
    const int n = std::min(maxFrames, storedFrames_);
    for (int i = 0; i < n; ++i) {
        const int f = (readFrame_ + i) % ringFrames;
        interleaved[2 * i] = ring_[static_cast<std::size_t>(f) * 2];
        interleaved[2 * i + 1] = ring_[static_cast<std::size_t>(f) * 2 + 1];
    }
    return n;
}

}  // namespace velmar
