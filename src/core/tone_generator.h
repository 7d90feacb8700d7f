#pragma once

#include "core/reference_tone_kind.h"

#include <cstdint>
#include <utility>

namespace velmar {

// Renders the samples of one reference signal at a fixed sample rate: a 1 kHz sine (both
// channels, left or right only, or the EBU-style ident whose left channel is silent for the
// first 0.25 s of every 3 s cycle counted from the first frame), or pink noise made by
// filtering a seeded xorshift generator and calibrated to -20 dBFS RMS. The output is fully
// determined by the kind and the sample rate: two generators made alike render the same
// samples.
//
// One generator per playing signal; not shared between threads. render() allocates nothing
// and never blocks, so it may run on an audio render thread.
class ToneGenerator {
  public:
    static constexpr double kMinSampleRate = 1.0;
    static constexpr double kMaxSampleRate = 1'000'000.0;

    // True for a finite rate from kMinSampleRate to kMaxSampleRate. Lower rates would give an
    // ident cycle of no frames at all; higher ones are no audio rate.
    static bool isUsableSampleRate(double sampleRate);

    // Throws std::invalid_argument for a rate that is not usable.
    ToneGenerator(ReferenceToneKind kind, double sampleRate);

    ReferenceToneKind kind() const { return kind_; }
    double sampleRate() const { return sampleRate_; }
    float amplitude() const { return amplitude_; }
    long long frameIndex() const { return frameIndex_; }
    float noiseScale() const { return noiseScale_; }

    // Writes `frames` samples to each channel (nothing for 0 or fewer) and returns the peak
    // absolute sample written to (left, right); (0, 0) when nothing was written.
    std::pair<float, float> render(float* left, float* right, long long frames);

  private:
    float nextPink();
    void calibrateNoise();

    ReferenceToneKind kind_;
    double sampleRate_;
    float amplitude_;
    double phaseStep_;
    double phase_ = 0.0;
    long long frameIndex_ = 0;
    long long identCycle_;  // frames of one ident cycle (3 s)
    long long identGap_;    // frames of its silent left part (0.25 s)
    float b0_ = 0, b1_ = 0, b2_ = 0, b3_ = 0, b4_ = 0, b5_ = 0, b6_ = 0;
    std::uint64_t rngState_ = 0x9E3779B97F4A7C15ULL;
    float noiseScale_ = 1.0f;
};

}  // namespace velmar
