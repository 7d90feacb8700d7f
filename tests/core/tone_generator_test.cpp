#include "core/reference_tone_kind.h"
#include "core/tone_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace velmar {
namespace {

struct Rendered {
    std::vector<float> left, right;
    float peakLeft = 0, peakRight = 0;
};

// Renders in blocks of `block` frames, as an audio thread would.
Rendered render(ToneGenerator& g, long long frames, long long block = 1024) {
    Rendered r;
    r.left.resize(static_cast<size_t>(frames));
    r.right.resize(static_cast<size_t>(frames));
    for (long long at = 0; at < frames; at += block) {
        const long long n = std::min(block, frames - at);
        const auto [l, rr] = g.render(r.left.data() + at, r.right.data() + at, n);
        r.peakLeft = std::max(r.peakLeft, l);
        r.peakRight = std::max(r.peakRight, rr);
    }
    return r;
}

TEST(ReferenceToneKind, RawValuesLabelsAndOrder) {
    struct Row {
        ReferenceToneKind kind;
        const char* raw;
        const char* label;
    };
    const Row rows[] = {
        {ReferenceToneKind::sine1k20, "sine1k20", "1kHz -20dBFS"},
        {ReferenceToneKind::sine1k18, "sine1k18", "1kHz -18dBFS"},
        {ReferenceToneKind::sine1k20Left, "sine1k20Left", "1kHz -20dBFS L"},
        {ReferenceToneKind::sine1k20Right, "sine1k20Right", "1kHz -20dBFS R"},
        {ReferenceToneKind::ebuIdent, "ebuIdent", "EBU IDENT -18dBFS"},
        {ReferenceToneKind::pinkNoise20, "pinkNoise20", "PINK -20dBFS RMS"},
    };
    ASSERT_EQ(ReferenceToneKind::allCases().size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const ReferenceToneKind kind = ReferenceToneKind::allCases()[i];
        EXPECT_EQ(kind, rows[i].kind);
        EXPECT_EQ(kind.rawValue(), rows[i].raw);
        EXPECT_EQ(kind.id(), rows[i].raw);
        EXPECT_EQ(kind.label(), rows[i].label);
        EXPECT_EQ(ReferenceToneKind::fromRawValue(rows[i].raw), kind);
    }
    EXPECT_EQ(ReferenceToneKind::fromRawValue("Sine1k20"), std::nullopt);
    EXPECT_EQ(ReferenceToneKind::fromRawValue(""), std::nullopt);
}

TEST(ToneGenerator, SinesHaveTheirLevelFrequencyAndChannels) {
    struct Case {
        ReferenceToneKind kind;
        float peakLeft, peakRight;
    };
    const Case cases[] = {
        {ReferenceToneKind::sine1k20, 0.1f, 0.1f},
        {ReferenceToneKind::sine1k18, 0.12589253f, 0.12589253f},
        {ReferenceToneKind::sine1k20Left, 0.1f, 0.0f},
        {ReferenceToneKind::sine1k20Right, 0.0f, 0.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind.rawValue().toStdString());
        ToneGenerator g(c.kind, 48000);
        const Rendered r = render(g, 48000, 333);
        EXPECT_FLOAT_EQ(r.peakLeft, c.peakLeft);
        EXPECT_FLOAT_EQ(r.peakRight, c.peakRight);
        const std::vector<float>& s = c.peakLeft > 0 ? r.left : r.right;
        const float amplitude = std::max(c.peakLeft, c.peakRight);
        // One period is 48 frames: the sine of 2 pi k / 48 from phase 0.
        for (int k = 0; k < 48000; k += 7) {
            ASSERT_NEAR(s[k], amplitude * std::sin(2 * M_PI * (k % 48) / 48.0), 2e-6) << k;
        }
        // 1000 periods in one second: a rising zero crossing at the start of each but the
        // first, which starts at frame 0.
        int rising = 0;
        for (size_t i = 1; i < s.size(); ++i) rising += s[i - 1] < 0 && s[i] >= 0;
        EXPECT_EQ(rising, 999);
        // The silent side of a one-sided tone is exactly silent.
        const std::vector<float>& silent = c.peakLeft == 0 ? r.left : r.right;
        if (c.peakLeft == 0 || c.peakRight == 0) {
            EXPECT_EQ(std::count(silent.begin(), silent.end(), 0.0f), 48000);
        }
        EXPECT_EQ(g.frameIndex(), 48000);
    }
}

TEST(ToneGenerator, EbuIdentSilencesTheLeftForAQuarterSecondEveryThreeSeconds) {
    ToneGenerator g(ReferenceToneKind::ebuIdent, 48000);
    EXPECT_FLOAT_EQ(g.amplitude(), 0.12589253f);
    const long long cycle = 144000, gap = 12000;
    const Rendered r = render(g, 2 * cycle + 5000, 4096);
    for (long long i = 0; i < static_cast<long long>(r.left.size()); ++i) {
        const bool silent = i % cycle < gap;
        if (silent) {
            ASSERT_EQ(r.left[i], 0.0f) << i;
        } else {
            ASSERT_EQ(r.left[i], r.right[i]) << i;
        }
    }
    EXPECT_FLOAT_EQ(r.peakRight, 0.12589253f);  // the right channel never stops
    EXPECT_FLOAT_EQ(r.peakLeft, 0.12589253f);

    // The cycle scales with the rate: at 8000 Hz, 2000 silent frames in each 24000.
    ToneGenerator slow(ReferenceToneKind::ebuIdent, 8000);
    const Rendered s = render(slow, 24000 + 2100);
    EXPECT_EQ(std::count(s.left.begin(), s.left.begin() + 2000, 0.0f), 2000);
    EXPECT_NE(s.left[2001], 0.0f);
    EXPECT_EQ(std::count(s.left.begin() + 24000, s.left.begin() + 26000, 0.0f), 2000);
}

TEST(ToneGenerator, PinkNoiseIsDeterministicIndependentPerChannelAndCalibrated) {
    ToneGenerator a(ReferenceToneKind::pinkNoise20, 48000);
    ToneGenerator b(ReferenceToneKind::pinkNoise20, 48000);
    EXPECT_GT(a.noiseScale(), 0.0f);
    EXPECT_EQ(a.noiseScale(), b.noiseScale());
    const Rendered ra = render(a, 10 * 48000, 512);
    const Rendered rb = render(b, 10 * 48000, 4096);  // block size does not matter
    EXPECT_EQ(ra.left, rb.left);
    EXPECT_EQ(ra.right, rb.right);
    EXPECT_NE(ra.left, ra.right);
    double sumL = 0, sumR = 0;
    for (size_t i = 0; i < ra.left.size(); ++i) {
        sumL += double(ra.left[i]) * ra.left[i];
        sumR += double(ra.right[i]) * ra.right[i];
    }
    const double n = static_cast<double>(ra.left.size());
    EXPECT_NEAR(std::sqrt(sumL / n), 0.0707, 0.0707 * 0.1);
    EXPECT_NEAR(std::sqrt(sumR / n), 0.0707, 0.0707 * 0.1);

    // Another rate calibrates over another number of draws: another sequence.
    ToneGenerator c(ReferenceToneKind::pinkNoise20, 44100);
    const Rendered rc = render(c, 1000);
    EXPECT_NE(std::vector<float>(ra.left.begin(), ra.left.begin() + 1000), rc.left);
    // The sine kinds keep the stored scale of 1 and amplitude 0.1 for pink noise.
    EXPECT_FLOAT_EQ(a.amplitude(), 0.1f);
    EXPECT_EQ(ToneGenerator(ReferenceToneKind::sine1k20, 48000).noiseScale(), 1.0f);
}

TEST(ToneGenerator, ZeroFramesWriteNothing) {
    ToneGenerator g(ReferenceToneKind::sine1k18, 48000);
    float l = 5, r = 5;
    EXPECT_EQ(g.render(&l, &r, 0), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(g.render(&l, &r, -3), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(l, 5);
    EXPECT_EQ(r, 5);
    EXPECT_EQ(g.frameIndex(), 0);
}

TEST(ToneGenerator, RatesWithoutAnIdentCycleAreRefused) {
    const double bad[] = {0.0, -48000.0, 0.2, 0.9999, std::nan(""), std::numeric_limits<double>::infinity(),
                          1e12};
    for (double rate : bad) {
        EXPECT_FALSE(ToneGenerator::isUsableSampleRate(rate)) << rate;
        for (ReferenceToneKind kind : ReferenceToneKind::allCases()) {
            EXPECT_THROW(ToneGenerator(kind, rate), std::invalid_argument) << rate;
        }
    }
    // The lowest usable rate still renders an ident: a cycle of 3 frames without a gap.
    ToneGenerator low(ReferenceToneKind::ebuIdent, 1.0);
    std::vector<float> l(9), r(9);
    low.render(l.data(), r.data(), 9);
    EXPECT_EQ(l, r);
    // Every usable rate gives finite samples within full scale, down to the lowest and up to
    // the highest: nothing for the ring's integer conversion to choke on.
    for (double rate : {1.0, 1'000'000.0}) {
        for (ReferenceToneKind kind : ReferenceToneKind::allCases()) {
            ToneGenerator g(kind, rate);
            const Rendered out = render(g, 5000);
            for (size_t i = 0; i < out.left.size(); ++i) {
                ASSERT_TRUE(std::isfinite(out.left[i]) && std::fabs(out.left[i]) <= 1.0f) << rate;
                ASSERT_TRUE(std::isfinite(out.right[i]) && std::fabs(out.right[i]) <= 1.0f) << rate;
            }
        }
    }
}

}  // namespace
}  // namespace velmar
