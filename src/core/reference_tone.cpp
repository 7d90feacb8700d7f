#include "core/reference_tone.h"

#include "core/playout_log.h"
#include "core/tone_generator.h"
#include "models/localized.h"
#include "platform/audio/audio_output.h"
#include "platform/audio/audio_source.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velmar {

namespace {
constexpr long long kScratchFrames = 8192;

// The local audio mixer as the tone's engine: it renders at its own fixed rate and converts for
// the device.
class LocalMixerEngine final : public ReferenceTone::Engine {
  public:
    double outputSampleRate() const override { return AudioOutput::sampleRate; }
    std::optional<QString> start(AudioSource* source) override {
        if (AudioOutput::shared().addSource(source)) return std::nullopt;
        return QStringLiteral("the audio mixer has no free place for another source");
    }
    void stop(AudioSource* source) override { AudioOutput::shared().removeSource(source); }
};
}  // namespace

// Renders the generator for the mixer: planar into its scratch buffers, then interleaved at the
// tone's output volume. Runs on the audio thread and is the only user of its generator.
class ReferenceTone::Source final : public AudioSource {
  public:
    Source(ReferenceToneKind kind, double sampleRate, ReferenceTone& owner)
        : generator_(kind, sampleRate),
          owner_(owner),
          left_(static_cast<std::size_t>(kScratchFrames), 0.0f),
          right_(static_cast<std::size_t>(kScratchFrames), 0.0f) {}

    void render(float* out, int frames) override {
        if (out == nullptr || frames < 1) return;
        const float volume = owner_.volume_.load(std::memory_order_relaxed);
        MeterState peaks;
        for (long long done = 0; done < frames;) {
            const long long count = std::min<long long>(frames - done, kScratchFrames);
            const auto [peakLeft, peakRight] =
                generator_.render(left_.data(), right_.data(), count);
            peaks.left = std::max(peaks.left, peakLeft);
            peaks.right = std::max(peaks.right, peakRight);
            float* dst = out + 2 * done;
            for (long long i = 0; i < count; ++i) {
                const auto s = static_cast<std::size_t>(i);
                dst[2 * i] = left_[s] * volume;
                dst[2 * i + 1] = right_[s] * volume;
            }
            done += count;
        }
        // The meter is updated only when its lock is free; a reader holding it costs one update.
        std::unique_lock lock(owner_.meterLock_, std::try_to_lock);
        if (lock.owns_lock()) owner_.meterState_ = peaks;
    }

  private:
    ToneGenerator generator_;
    ReferenceTone& owner_;
    std::vector<float> left_;
    std::vector<float> right_;
};

ReferenceTone& ReferenceTone::shared() {
    // Kept for the life of the process, like the mixer it plays through.
    static ReferenceTone* tone = new ReferenceTone(localEngine(), PlayoutLog::shared());
    return *tone;
}

ReferenceTone::Engine& ReferenceTone::localEngine() {
    static LocalMixerEngine engine;
    return engine;
}

ReferenceTone::ReferenceTone(Engine& engine, PlayoutLog& log, QObject* parent)
    : QObject(parent), engine_(engine), log_(log) {}

ReferenceTone::~ReferenceTone() {
    detachSource();
}

std::optional<QString> ReferenceTone::start(ReferenceToneKind kind) {
    stop();
    const double reported = engine_.outputSampleRate();
    const double rate = reported > 0 ? reported : kFallbackSampleRate;
    if (!ToneGenerator::isUsableSampleRate(rate)) return localized("音声の形式を用意できません");

    auto source = std::make_unique<Source>(kind, rate, *this);
    setMeter({});
    volume_ = localMuted_ ? 0.0f : 1.0f;
    if (auto error = engine_.start(source.get())) {
        return localized("基準信号を出せません: ") + *error;
    }
    source_ = std::move(source);
    kind_ = kind;
    emit kindChanged();
    log_.write(QStringLiteral("TONE  ") + kind.label());
    return std::nullopt;
}

void ReferenceTone::stop() {
    if (!source_ && !kind_) return;
    detachSource();
    setMeter({});
    if (kind_) {
        log_.write(QStringLiteral("TONE  OFF"));
        kind_.reset();
        emit kindChanged();
    }
}

void ReferenceTone::detachSource() {
    if (!source_) return;
    engine_.stop(source_.get());
    source_.reset();
}

ReferenceTone::MeterState ReferenceTone::meter() const {
    std::lock_guard lock(meterLock_);
    return meterState_;
}

void ReferenceTone::setMeter(MeterState state) {
    std::lock_guard lock(meterLock_);
    meterState_ = state;
}

void ReferenceTone::setLocalMuted(bool muted) {
    localMuted_ = muted;
    setOutputVolume(muted ? 0.0f : 1.0f);
}

void ReferenceTone::setOutputVolume(float volume) {
    volume_ = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
}

}  // namespace velmar
