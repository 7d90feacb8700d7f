#include "platform/player/audio_sample_ring.h"

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {
constexpr double kTolerance = 0.04;  // seconds of drift accepted before re-aligning
}

AudioSampleRing::AudioSampleRing(int capacityFrames)
    : samples_(static_cast<std::size_t>(capacityFrames) * 2, 0.0f), capacity_(capacityFrames) {}

void AudioSampleRing::dropLocked(int frames) {
    frames = std::min(frames, stored_);
    readIndex_ = (readIndex_ + frames) % capacity_;
    stored_ -= frames;
    readTime_ += static_cast<double>(frames) / sampleRate;
}

void AudioSampleRing::write(const float* interleaved, int frames, double startTime) {
    if (frames <= 0) return;
    std::lock_guard lock(mutex_);
    const double endTime = readTime_ + static_cast<double>(stored_) / sampleRate;
    if (stored_ == 0 || std::fabs(endTime - startTime) > kTolerance) {
        readIndex_ = 0;
        stored_ = 0;
        readTime_ = startTime;
    }
    if (frames > capacity_) {
        interleaved += static_cast<std::ptrdiff_t>(frames - capacity_) * 2;
        frames = capacity_;
    }
    if (stored_ + frames > capacity_) dropLocked(stored_ + frames - capacity_);
    int write = (readIndex_ + stored_) % capacity_;
    for (int i = 0; i < frames; ++i) {
        samples_[static_cast<std::size_t>(write) * 2] = interleaved[2 * i];
        samples_[static_cast<std::size_t>(write) * 2 + 1] = interleaved[2 * i + 1];
        write = write + 1 == capacity_ ? 0 : write + 1;
    }
    stored_ += frames;
}

bool AudioSampleRing::tryRead(float* interleaved, int frames, double itemTime) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock() || stored_ == 0) return false;
    if (itemTime > readTime_ + kTolerance) {
        // Late audio: skip to the present.
        dropLocked(static_cast<int>((itemTime - readTime_) * sampleRate));
    } else if (itemTime < readTime_ - kTolerance) {
        return false;  // the held audio starts later than now
    }
    if (stored_ < frames) return false;
    int read = readIndex_;
    for (int i = 0; i < frames; ++i) {
        interleaved[2 * i] = samples_[static_cast<std::size_t>(read) * 2];
        interleaved[2 * i + 1] = samples_[static_cast<std::size_t>(read) * 2 + 1];
        read = read + 1 == capacity_ ? 0 : read + 1;
    }
    dropLocked(frames);
    return true;
}

int AudioSampleRing::tryCopy(float* interleaved, int frames, double* from) const {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock() || stored_ == 0 || frames <= 0) return 0;
    auto offset = static_cast<long long>(std::llround((*from - readTime_) * sampleRate));
    if (offset < 0) {
        offset = 0;
        *from = readTime_;
    }
    if (offset >= stored_) return 0;
    const int count = static_cast<int>(std::min<long long>(frames, stored_ - offset));
    int read = static_cast<int>((readIndex_ + offset) % capacity_);
    for (int i = 0; i < count; ++i) {
        interleaved[2 * i] = samples_[static_cast<std::size_t>(read) * 2];
        interleaved[2 * i + 1] = samples_[static_cast<std::size_t>(read) * 2 + 1];
        read = read + 1 == capacity_ ? 0 : read + 1;
    }
    return count;
}

void AudioSampleRing::clear() {
    std::lock_guard lock(mutex_);
    readIndex_ = 0;
    stored_ = 0;
    readTime_ = 0;
}

int AudioSampleRing::storedFrames() const {
    std::lock_guard lock(mutex_);
    return stored_;
}

double AudioSampleRing::bufferedAhead(double itemTime) const {
    std::lock_guard lock(mutex_);
    const double end = readTime_ + static_cast<double>(stored_) / sampleRate;
    return std::max(0.0, end - itemTime);
}

}  // namespace velmar
