#include "platform/audio/audio_output.h"

#include "platform/audio/block_pacer.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace velmar {

namespace {
constexpr int kBlockFrames = 1024;  // device buffer
// The steady-clock pacer's block: small, so that a block that meets a busy moment costs little
// and the program audio it feeds arrives in even steps.
constexpr int kFallbackBlockFrames = 256;
constexpr int kScratchFrames = 8192;  // largest block mixed in one pass

// SDL's driver that plays nowhere and paces itself with sleeps.
bool isStandIn(const char* driver) {
    return driver != nullptr && std::strcmp(driver, "dummy") == 0;
}

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
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && isStandIn(SDL_GetCurrentAudioDriver())) {
        // SDL's stand-in driver sleeps a block's length rounded down to the millisecond after
        // each block: about 1.5 % fast on an idle machine and slower than real time on a busy
        // one. Program audio tapped here feeds the SDI output, whose card keeps real time, so
        // the headless output is paced by the steady clock instead.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    } else if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
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
    // Paces the mixer like a device would: one block per block duration on average, the blocks
    // that fell due during a late wake mixed at once.
    std::vector<float> block(static_cast<std::size_t>(kFallbackBlockFrames * channels));
    const auto nanos = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    BlockPacer pacer(kFallbackBlockFrames, sampleRate);
    pacer.start(nanos());
    while (!stopFallback_) {
        for (int due = pacer.takeDue(nanos()); due > 0 && !stopFallback_; --due)
            mix(block.data(), kFallbackBlockFrames);
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(pacer.nextDueNanos())));
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
