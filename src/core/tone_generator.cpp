#include "core/tone_generator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace velmar {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr float kMinus18dBFS = 0.12589253f;
constexpr float kMinus20dBFS = 0.1f;
constexpr double kPinkTargetRms = 0.07071067811865475;  // RMS of the -20 dBFS sine

}  // namespace

bool ToneGenerator::isUsableSampleRate(double sampleRate) {
    return std::isfinite(sampleRate) && sampleRate >= kMinSampleRate &&
           sampleRate <= kMaxSampleRate;
}

ToneGenerator::ToneGenerator(ReferenceToneKind kind, double sampleRate)
    : kind_(kind),
      sampleRate_(sampleRate),
      amplitude_(kind == ReferenceToneKind::sine1k18 || kind == ReferenceToneKind::ebuIdent
                     ? kMinus18dBFS
                     : kMinus20dBFS),
      phaseStep_(kTwoPi * 1000.0 / sampleRate) {
    if (!isUsableSampleRate(sampleRate)) {
        throw std::invalid_argument("ToneGenerator: unusable sample rate " +
                                    std::to_string(sampleRate));
    }
    identCycle_ = static_cast<long long>(sampleRate * 3.0);  // at least 3 for a usable rate
    identGap_ = static_cast<long long>(sampleRate * 0.25);
    if (kind_ == ReferenceToneKind::pinkNoise20) calibrateNoise();
}

std::pair<float, float> ToneGenerator::render(float* left, float* right, long long frames) {
    float peakLeft = 0.0f;
    float peakRight = 0.0f;
    for (long long i = 0; i < frames; ++i) {
        float l = 0.0f;
        float r = 0.0f;
        if (kind_ == ReferenceToneKind::pinkNoise20) {
            l = nextPink() * noiseScale_;
            r = nextPink() * noiseScale_;
        } else {
            const float s = amplitude_ * static_cast<float>(std::sin(phase_));
            phase_ += phaseStep_;
            if (phase_ >= kTwoPi) phase_ -= kTwoPi;
            switch (kind_.value()) {
                case ReferenceToneKind::sine1k20Left:
                    l = s;
                    break;
                case ReferenceToneKind::sine1k20Right:
                    r = s;
                    break;
                case ReferenceToneKind::ebuIdent:
                    r = s;
                    l = frameIndex_ % identCycle_ < identGap_ ? 0.0f : s;
                    break;
                default:
                    l = r = s;
                    break;
            }
        }
        left[i] = l;
        right[i] = r;
        peakLeft = std::max(peakLeft, std::fabs(l));
        peakRight = std::max(peakRight, std::fabs(r));
        ++frameIndex_;
    }
    return {peakLeft, peakRight};
}

float ToneGenerator::nextPink() {
    std::uint64_t x = rngState_;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    rngState_ = x;
    const auto u = static_cast<float>(static_cast<double>(x >> 11) * 1.1102230246251565e-16);
    const float w = u + u - 1.0f;
    b0_ = 0.99886f * b0_ + 0.0555179f * w;
    b1_ = 0.99332f * b1_ + 0.0750759f * w;
    b2_ = 0.969f * b2_ + 0.153852f * w;
    b3_ = 0.8665f * b3_ + 0.3104856f * w;
    b4_ = 0.55f * b4_ + 0.5329522f * w;
    b5_ = -0.7616f * b5_ - 0.016898f * w;
    const float out = b0_ + b1_ + b2_ + b3_ + b4_ + b5_ + b6_ + 0.5362f * w;
    b6_ = 0.115926f * w;
    return out;
}

void ToneGenerator::calibrateNoise() {
    const auto n = static_cast<long long>(sampleRate_);
    double sum = 0.0;
    for (long long i = 0; i < n; ++i) {
        const double v = nextPink();
        sum += v * v;
    }
    const double rms = n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
    noiseScale_ = rms > 0.0 ? static_cast<float>(kPinkTargetRms / rms) : 0.0f;
}

}  // namespace velmar
