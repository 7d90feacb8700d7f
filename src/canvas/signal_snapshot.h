#pragma once

#include "models/key_alpha_mode.h"

#include <QImage>

#include <chrono>
#include <optional>

namespace velmar {

// Where a measured frame came from: the SDI output's own render target, or a composite the
// signal probe rendered the same way while SDI is stopped.
enum class SignalSource { sdi, composite };

// Figures of one sampled frame. Luma and colour differences are BT.709 values of the 8-bit
// R'G'B' scaled to 0...1 (full range): Y in 0...1, Cb and Cr in -0.5...0.5.
struct SignalStats {
    double lumaMin = 0;
    double lumaMax = 0;
    double lumaAverage = 0;
    std::optional<double> keyedLumaMin;  // over samples with alpha > 0; none when there are none
    std::optional<double> keyedLumaMax;
    double cbMin = 0;
    double cbMax = 0;
    double crMin = 0;
    double crMax = 0;
    double keyMin = 0;  // alpha / 255
    double keyMax = 0;
    double keyTransparent = 0;  // fractions of the samples with alpha 0, 1...254 and 255
    double keySemi = 0;
    double keyOpaque = 0;
    long long premultipliedViolations = 0;  // alpha below max(R, G, B); premultiplied mode only
    long long fillOutsideKey = 0;           // alpha 0 with some colour, in both modes
    long long sampleCount = 0;
};

// The pictures, scopes and figures of one sampled frame. Images are RGBA8888 premultiplied
// except `key` (8-bit grey); `violations` is null when no sample breaks the premultiplied rule.
struct SignalSnapshot {
    QImage fill;          // sampleColumns x sampleRows, opaque
    QImage key;           // sampleColumns x sampleRows, grey
    QImage violations;    // magenta where alpha < max(R, G, B), transparent elsewhere
    QImage lumaWaveform;  // sampleColumns x 256, level 0 in the bottom row
    QImage keyWaveform;   // sampleColumns x 256
    QImage parade;        // 3 sampleColumns x 256: red, green and blue panels
    QImage vectorscope;   // 256 x 256, Cb to the right, Cr up
    SignalStats stats;
    KeyAlphaMode keyAlphaMode = KeyAlphaMode::straight;
    SignalSource source = SignalSource::composite;
    int frameWidth = 0;
    int frameHeight = 0;
    int sampleColumns = 0;
    int sampleRows = 0;
    std::chrono::system_clock::time_point capturedAt;
};

}  // namespace velmar
