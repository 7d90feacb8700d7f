#include "core/tone_generator.h"
#include "core/reference_tone_kind.h"

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
        const std::vector<float>& other = c.peakLeft > 0 ? r.right : r.left;
        if (c.peakLeft != c.peakRight) {
            EXPECT_EQ(std::count(other.begin(), other.end(), 0.0f), 48000);
        }
        EXPECT_EQ(g.frameIndex(), 48000);
    }
}

TEST(ToneGenerator, EbuIdentSilencesTheLeftForAQuarterSecondEveryThreeSeconds) {
    ToneGenerator g(ReferenceToneKind::ebuIdent, 48000);
    EXPECT_FLOAT_EQ(g.amplitude(), 0.12589253f);
    const Rendered r = render(g, 2 * 144000 + 5000, 4096);
    for (long long i = 0; i < static_cast<long long>(r.left.size()); ++i)
        ASSERT_EQ(r.left[i], i % 144000 < 12000 ? 0.0f : r.right[i]) << i;
    EXPECT_FLOAT_EQ(r.peakRight, 0.12589253f);  // the right channel never stops

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
    const Rendered ra = render(a, 10 * 48000, 512);
    const Rendered rb = render(b, 10 * 48000, 4096);  // block size does not matter
    EXPECT_EQ(ra.left, rb.left);
    EXPECT_EQ(ra.right, rb.right);
    EXPECT_NE(ra.left, ra.right);
    for (const std::vector<float>* side : {&ra.left, &ra.right}) {
        double sum = 0;
        for (float x : *side) sum += double(x) * x;
        EXPECT_NEAR(std::sqrt(sum / double(side->size())), 0.0707, 0.0707 * 0.1);  // -20 dBFS RMS
    }

    // Another rate calibrates over another number of draws: another sequence.
    ToneGenerator c(ReferenceToneKind::pinkNoise20, 44100);
    const Rendered rc = render(c, 1000);
    EXPECT_NE(std::vector<float>(ra.left.begin(), ra.left.begin() + 1000), rc.left);
}

TEST(ToneGenerator, RatesWithoutAnIdentCycleAreRefused) {
    for (double rate : {0.0, -48000.0, 0.2, 0.9999, std::nan(""), 1e12,
                        std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(ToneGenerator::isUsableSampleRate(rate)) << rate;
        for (ReferenceToneKind kind : ReferenceToneKind::allCases()) {
            EXPECT_THROW(ToneGenerator(kind, rate), std::invalid_argument) << rate;
        }
    }
    ToneGenerator idle(ReferenceToneKind::sine1k18, 48000);  // zero or fewer frames write nothing
    float one[2] = {5, 5};
    for (long long n : {0LL, -3LL})
        EXPECT_EQ(idle.render(&one[0], &one[1], n), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(std::vector<float>(one, one + 2), std::vector<float>(2, 5.0f));
    EXPECT_EQ(idle.frameIndex(), 0);
    // The lowest usable rate still renders an ident: a cycle of 3 frames without a gap.
    ToneGenerator low(ReferenceToneKind::ebuIdent, 1.0);
    std::vector<float> l(9), r(9);
    low.render(l.data(), r.data(), 9);
    EXPECT_EQ(l, r);
    // The lowest and highest usable rates give finite samples within full scale.
    for (double rate : {1.0, 1'000'000.0}) {
        for (ReferenceToneKind kind : ReferenceToneKind::allCases()) {
            ToneGenerator g(kind, rate);
            const Rendered out = render(g, 5000);
            for (const std::vector<float>* side : {&out.left, &out.right})
                for (float x : *side) ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= 1.0f) << rate;
        }
    }
}

}  // namespace
}  // namespace velmar
