#include "platform/audio/audio_output.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace velmar {

namespace {
constexpr int kBlockFrames = 1024;    // device buffer and fallback block
constexpr int kScratchFrames = 8192;  // largest block mixed in one pass

void deviceCallback(void* user, Uint8* stream, int length) {
    auto* output = static_cast<AudioOutput*>(user);
    const int frames = length / static_cast<int>(sizeof(float) * AudioOutput::channels);
    output->mix(reinterpret_cast<float*>(stream), frames);
}
}  // namespace

AudioOutput& AudioOutput::shared() {
    // Kept for the life of the process: the audio thread may still run during exit.
    static AudioOutput* instance = new AudioOutput;
    return *instance;
}

AudioOutput::AudioOutput() : scratch_(static_cast<std::size_t>(kScratchFrames * channels), 0.0f) {
    open();
}

AudioOutput::~AudioOutput() {
    if (deviceId_ != 0) SDL_CloseAudioDevice(deviceId_);
    stopFallback_ = true;
    if (fallback_.joinable()) fallback_.join();
}

void AudioOutput::open() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        SDL_AudioSpec want{};
        want.freq = sampleRate;
        want.format = AUDIO_F32SYS;
        want.channels = channels;
        want.samples = kBlockFrames;
        want.callback = deviceCallback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No allowed changes: SDL converts to whatever the device wants.
        deviceId_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (deviceId_ != 0) {
            SDL_PauseAudioDevice(deviceId_, 0);
            return;
        }
        std::fprintf(stderr, "velmar: no audio device (%s); local audio is silent\n",
                     SDL_GetError());
    } else {
        std::fprintf(stderr, "velmar: audio unavailable (%s); local audio is silent\n",
                     SDL_GetError());
    }
    fallback_ = std::thread([this] { runFallback(); });
}

void AudioOutput::runFallback() {
    // Paces the mixer like a device would: one block per block duration.
    std::vector<float> block(static_cast<std::size_t>(kBlockFrames * channels));
    const auto period = std::chrono::microseconds(1'000'000LL * kBlockFrames / sampleRate);
    auto next = std::chrono::steady_clock::now();
    while (!stopFallback_) {
        mix(block.data(), kBlockFrames);
        next += period;
        std::this_thread::sleep_until(next);
    }
}

bool AudioOutput::addSource(AudioSource* source) {
    if (source == nullptr) return false;
    std::lock_guard lock(sourcesMutex_);
    for (int i = 0; i < sourceCount_; ++i)
        if (sources_[i] == source) return true;
    if (sourceCount_ == kMaxSources) return false;
    sources_[sourceCount_++] = source;
    return true;
}

void AudioOutput::removeSource(AudioSource* source) {
    std::lock_guard lock(sourcesMutex_);
    for (int i = 0; i < sourceCount_; ++i) {
        if (sources_[i] != source) continue;
        sources_[i] = sources_[sourceCount_ - 1];
        sources_[--sourceCount_] = nullptr;
        return;
    }
}

bool AudioOutput::mix(float* out, int frames) {
    if (frames <= 0) return true;
    std::memset(out, 0, sizeof(float) * static_cast<std::size_t>(frames * channels));
    std::unique_lock lock(sourcesMutex_, std::try_to_lock);
    if (lock.owns_lock()) {
        for (int done = 0; done < frames;) {
            const int n = std::min(frames - done, kScratchFrames);
            float* dst = out + static_cast<std::ptrdiff_t>(done) * channels;
            for (int s = 0; s < sourceCount_; ++s) {
                sources_[s]->render(scratch_.data(), n);
                for (int i = 0; i < n * channels; ++i)
                    dst[i] += scratch_[static_cast<std::size_t>(i)];
            }
            done += n;
        }
    }
    // Keep the sum within full scale.
    for (int i = 0; i < frames * channels; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
    framesMixed_ += static_cast<std::uint64_t>(frames);
    return lock.owns_lock();
}

}  // namespace velmar
