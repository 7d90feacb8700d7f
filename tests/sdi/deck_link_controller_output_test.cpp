// What the card plays while the controller runs: the take as 8-bit fill and key, v210 fill and
// 'Ay10' fill and key, program audio and a reference tone replacing it.
#include "deck_link_controller_fixture.h"

#include "core/tone_generator.h"

#include <cmath>
#include <cstdlib>

namespace velmar {
namespace {

using test::kCanvasHeight;
using test::kCanvasWidth;

// Independent reference: 10-bit limited-range Y'CbCr of a straight colour (0 ... 255) with the
// luma coefficients of a picture under 720 lines (BT.601).
struct YCbCr {
    double y, cb, cr;
};
YCbCr expected(double r, double g, double b) {
    const double kr = 0.299, kb = 0.114, kg = 1 - kr - kb;
    r /= 255, g /= 255, b /= 255;
    const double y = kr * r + kg * g + kb * b;
    return {64 + 876 * y, 512 + 896 * (b - y) / (2 * (1 - kb)),
            512 + 896 * (r - y) / (2 * (1 - kr))};
}

constexpr int kTolerance = 2;

// Sample points: inside the red half, inside the transparent half, the keyer's centre.
struct Point {
    const char* what;
    int x, y;
    int r, g, b, a;
};
constexpr Point kPoints[] = {
    {"red program", 12, 10, 255, 0, 0, 255},
    {"transparent program", 84, 10, 0, 0, 0, 0},
    {"green keyer", 48, 27, 0, 255, 0, 255},
};

using DeckLinkControllerOutput = test::ControllerFixture;

// The take with its keyer, six frames into a start at each depth: 8-bit BGRA with the key as
// alpha, v210 fill only (whatever the keyer choice), Ay10 fill and key (which always asks for
// the keyer).
TEST_F(DeckLinkControllerOutput, EachDepthCarriesTheTakeAndTheKeyer) {
    const struct {
        SDIBitDepth depth;
        bool externalKeyer;
        SdiPixelFormat format;
        bool keyed;
    } cases[] = {{SDIBitDepth::eightBit, true, SdiPixelFormat::bgra8, true},
                 {SDIBitDepth::tenBitFillOnly, true, SdiPixelFormat::v210, false},
                 {SDIBitDepth::tenBit, false, SdiPixelFormat::ay10, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth.rawValue().toStdString());
        SetUpWith({});
        setTake(true);
        start(c.depth, c.externalKeyer);
        output->step(6);
        EXPECT_EQ(controller->droppedFrameCount(), 0u);
        EXPECT_EQ(output->counters().invalidContentFrames, 0);
        const SdiCapturedFrame frame = lastFrame();
        ASSERT_EQ(frame.format, c.format);
        EXPECT_EQ(controller->keyerEnabled(), c.keyed);
        EXPECT_EQ(frame.keyed, c.keyed);
        for (const Point& p : kPoints) {
            SCOPED_TRACE(p.what);
            const std::size_t row = std::size_t(p.y) * frame.rowBytes;
            // Straight colour: a transparent area is black fill.
            const YCbCr want = expected(p.r * p.a / 255.0, p.g * p.a / 255.0, p.b * p.a / 255.0);
            double y = 0, cb = 0, cr = 0;
            if (c.format == SdiPixelFormat::bgra8) {
                const std::uint8_t* px = frame.bytes.data() + row + std::size_t(p.x) * 4;
                EXPECT_EQ(std::vector<int>(px, px + 4), (std::vector<int>{p.b, p.g, p.r, p.a}));
                continue;
            } else if (c.format == SdiPixelFormat::v210) {
                // Each point is the first pixel of a group: word 0 = Cb | Y << 10 | Cr << 20.
                ASSERT_EQ(p.x % 6, 0);
                const std::uint32_t w0 = test::wordAt(frame, row + std::size_t(p.x / 6) * 16);
                y = (w0 >> 10) & 0x3FF, cb = w0 & 0x3FF, cr = (w0 >> 20) & 0x3FF;
            } else {
                const std::uint32_t even = test::wordAt(frame, row + std::size_t(p.x) * 4);
                const std::uint32_t odd = test::wordAt(frame, row + std::size_t(p.x + 1) * 4);
                y = even & 0x3FF, cb = (even >> 10) & 0x3FF, cr = (odd >> 10) & 0x3FF;
                EXPECT_EQ(even >> 20, p.a == 255 ? 1023u : 0u)
                    << "key from alpha, reserved bits clear";
            }
            EXPECT_NEAR(y, want.y, kTolerance);
            EXPECT_NEAR(cb, want.cb, kTolerance);
            EXPECT_NEAR(cr, std::min(want.cr, 1019.0), kTolerance);
        }
    }
}

// Program audio pushed into the SDI ring is embedded; a reference tone replaces it.
TEST_F(DeckLinkControllerOutput, ProgramAudioIsEmbeddedAndAReferenceToneReplacesIt) {
    setTake(false);
    start(SDIBitDepth::eightBit);
    ASSERT_TRUE(controller->bridge().audioEnabled());
    ASSERT_TRUE(SDIAudioBridge::shared().isActive());

    constexpr float kLevel = 0.25f;  // pushed as 4800 stereo frames
    std::vector<float> block(2 * 4800, kLevel);
    AudioBufferList list;
    list.count = 1;
    list.buffers[0] = {2, block.size() * sizeof(float), block.data()};
    SDIAudioBridge::shared().push(list, 4800, 48000);
    output->step(20);  // 16000 sample frames: more than was pushed

    const auto full = [](double v) { return v * 2147483647.0; };
    auto near = [&](std::int32_t s, double v) {
        return std::abs(double(s) - full(v)) < full(0.001);
    };
    std::vector<std::int32_t> played = capturedAudio();
    long long program = 0;
    for (std::int32_t s : played) program += near(s, kLevel);
    // All pushed frames, both channels, give or take the first interpolated one.
    EXPECT_GE(program, 2 * 4800 - 4);
    EXPECT_LE(program, 2 * 4800);

    clearCaptures();
    SDIAudioBridge::shared().setTone(
        std::make_unique<ToneGenerator>(ReferenceToneKind::sine1k20, 48000.0));
    SDIAudioBridge::shared().push(list, 4800, 48000);
    output->step(10);
    played = capturedAudio();
    long long tone = 0, stillProgram = 0;
    double peak = 0;
    for (std::int32_t s : played) {
        stillProgram += near(s, kLevel);
        tone += s != 0;
        peak = std::max(peak, std::abs(double(s)));
    }
    EXPECT_EQ(stillProgram, 0) << "the tone replaces program audio";
    EXPECT_GT(tone, 4000);
    EXPECT_NEAR(peak / full(1), 0.1, 0.01) << "1 kHz at -20 dBFS";

    controller->stop();
    EXPECT_FALSE(SDIAudioBridge::shared().isActive());
}

// Without embedded audio, or when the card refuses audio, the output runs silent and the SDI
// ring is not left active (nothing would empty it, and local monitoring would stay muted).
TEST_F(DeckLinkControllerOutput, WithoutAudioTheOutputRunsSilentAndTheRingStaysIdle) {
    SdiFaults refuses;
    refuses.enableAudioFails = true;
    const struct {
        const char* name;
        SdiFaults faults;
        bool embedAudio;
    } cases[] = {{"not asked", {}, false}, {"refused by the card", refuses, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUpWith(c.faults);
        setTake(false);
        start(SDIBitDepth::eightBit, true, c.embedAudio);
        EXPECT_TRUE(controller->isRunning());
        EXPECT_FALSE(controller->bridge().audioEnabled() || SDIAudioBridge::shared().isActive());
        output->step(3);
        EXPECT_EQ(output->counters().audioRequests + output->counters().audioSamplesScheduled, 0);
    }
}

}  // namespace
}  // namespace velmar
