#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

#include <gtest/gtest.h>

#include <set>

namespace velmar {
namespace {

using test::kMode25;

using Ring = std::function<std::vector<ZRFrameBuffer>()>;
using Configure = std::function<void(SdiDeviceConfig&)>;

struct StartCase {
    const char* name;
    int expectedCode;
    Ring ring = [] { return test::bgraRing(); };
    Configure configure = {};
    bool tenBit = false, externalKeyer = false;
    long long deviceIndex = 0;
    std::uint32_t mode = kMode25;
    bool withRequest = true;
};

std::vector<StartCase> startCases() {
    using F = SdiPixelFormat;
    const std::size_t bgraRow = test::kWidth * 4;
    auto ring = [](F format, std::size_t row, long long w = test::kWidth,
                   long long h = test::kHeight) {
        return [=] { return test::makeRing(format, row, 4, w, h); };
    };
    auto spoiled = [](auto spoil) {
        return [=] {
            auto r = test::bgraRing();
            spoil(r);
            return r;
        };
    };
    const Ring ay10 = ring(F::bgra8, ZRDeckLinkOutput::rowBytesFor(F::ay10, test::kWidth));
    const Ring v210 = ring(F::v210, 128), bgra = [] { return test::bgraRing(); };
    const Ring single = [] { return test::bgraRing(1); };
    const Ring narrow = ring(F::bgra8, bgraRow, test::kWidth - 1);
    const Ring shortOfRows = ring(F::bgra8, bgraRow, test::kWidth, test::kHeight - 1);
    const Ring smallMemory = spoiled([](std::vector<ZRFrameBuffer>& r) { r[2].byteCount -= 1; });
    const Ring noMemory = spoiled([](std::vector<ZRFrameBuffer>& r) { r[1].memory.reset(); });
    const Configure noOutput = [](SdiDeviceConfig& d) { d.hasOutput = false; };
    const Configure noWrap = [](SdiDeviceConfig& d) { d.faults.wrapUnsupported = true; };
    const Configure busy = [](SdiDeviceConfig& d) { d.faults.enableVideoBusy = true; };
    const Configure frameLimit = [](SdiDeviceConfig& d) { d.faults.createFrameLimit = 6; };
    const Configure startFails = [](SdiDeviceConfig& d) { d.faults.startPlaybackFails = true; };
    const Configure keyerFails = [](SdiDeviceConfig& d) { d.faults.keyerEnableFails = true; };
    const Configure levelFails = [](SdiDeviceConfig& d) { d.faults.keyerLevelFails = true; };
    const Configure noKeyer = [](SdiDeviceConfig& d) { d.hasKeyer = false; };
    return {
        {"no frame request", -1, bgra, {}, false, false, 0, kMode25, false},
        {"one buffer, whatever else is wrong", -1, single, {}, false, false, 9, 0},
        {"no device at the index", -2, bgra, {}, false, false, 5},
        {"device without output", -3, bgra, noOutput},
        {"unknown mode", -4, bgra, {}, false, false, 0, fourCC("none")},
        {"one pixel narrower", -5, narrow},
        {"one row short", -5, shortOfRows},
        {"v210 buffers for 8-bit", -5, v210},
        {"rows below the format's size", -5, ring(F::bgra8, bgraRow - 1)},
        {"memory smaller than its rows", -5, smallMemory},
        {"no memory at all", -5, noMemory},
        {"BGRA rows too short for Ay10", -5, bgra, {}, true, true},
        {"device busy", -6, bgra, busy},
        {"no frames over client memory", -7, bgra, noWrap},
        {"v210 fill without frames over client memory", -7, v210, noWrap, true},
        {"too few frames for fill and key", -8, ay10, frameLimit, true, true},
        {"playback does not start", -9, bgra, startFails},
        {"keyer cannot be enabled for fill and key", -10, ay10, keyerFails, true, true},
        {"keyer level refused for fill and key", -10, ay10, levelFails, true, true},
        {"no keyer for fill and key", -10, ay10, noKeyer, true, true},
    };
}

TEST(ZRDeckLinkStart, EachFailureHasItsCodeAndMessageAndLeavesTheDeviceFree) {
    for (const StartCase& c : startCases()) {
        SCOPED_TRACE(c.name);
        VirtualSdiConfig config = test::bridgeCard();
        if (c.configure) c.configure(config.devices[0]);
        VirtualSdiCard card(config);
        test::RingClient client(c.ring());
        long long audioCalls = 0;
        ZRDeckLinkOutput bridge(&card);
        ZRDeckLinkError error;
        const bool started = bridge.start(
            c.deviceIndex, c.mode, client.ring(), c.tenBit, c.externalKeyer,
            c.withRequest ? client.request() : ZRDeckLinkOutput::FrameRequest{},
            [&](std::int32_t*, long long) { ++audioCalls; }, &error);
        EXPECT_FALSE(started);
        EXPECT_EQ(error.code, c.expectedCode);
        EXPECT_EQ(error.domain(), "ZRDeckLink");
        EXPECT_EQ(error.localizedDescription(), ZRDeckLinkError::messageForCode(c.expectedCode));
        EXPECT_FALSE(error.message.isEmpty());
        EXPECT_FALSE(bridge.isRunning() || bridge.keyerEnabled() || bridge.audioEnabled());
        // Only a playback that would not start had been prerolled.
        EXPECT_EQ(client.requests(), c.expectedCode == -9 ? 3 : 0);
        if (auto device = card.deviceAtIndex(0); device && device->output()) {
            const auto& out = *device->output();
            EXPECT_FALSE(out.isVideoEnabled() || out.isAudioEnabled() || out.isPlaybackRunning());
            EXPECT_FALSE(device->keyer() && device->keyer()->isEnabled());
        }
        // Without an error out-argument the answer is only false.
        EXPECT_FALSE(
            bridge.start(c.deviceIndex, c.mode, client.ring(), c.tenBit, c.externalKeyer,
                         c.withRequest ? client.request() : ZRDeckLinkOutput::FrameRequest{}, {}));
    }
}

// The messages are shown as they stand; none names a driver or buffer type this platform does
// not have, the missing device points at the variable that makes the virtual card's devices and
// the refused wrap names the formats it asked for.
TEST(ZRDeckLinkStart, MessagesSayWhatHoldsHere) {
    for (int code = ZRDeckLinkError::badParameters; code >= ZRDeckLinkError::cannotEnableTenBitKey;
         --code) {
        SCOPED_TRACE(code);
        const QString message = ZRDeckLinkError::make(ZRDeckLinkError::Code(code)).message;
        EXPECT_FALSE(message.isEmpty());
        EXPECT_FALSE(message.contains("Desktop Video") || message.contains("CVPixelBuffer"))
            << message.toStdString();
    }
    EXPECT_TRUE(
        ZRDeckLinkError::messageForCode(ZRDeckLinkError::noDevice).contains("VELMAR_VIRTUAL_SDI"));
    const QString wrap = ZRDeckLinkError::messageForCode(ZRDeckLinkError::noPixelBufferOutput);
    EXPECT_TRUE(wrap.contains("BGRA") && wrap.contains("v210")) << wrap.toStdString();
}

TEST(ZRDeckLinkStart, APrerollFrameTheCardRefusesIsReplacedSoThreeStayInFlight) {
    // Schedule calls 0, 1, 2 would be the preroll: a refused frame goes out as black in its
    // place, and when its black is refused too, one more frame is asked for.
    const std::set<long long> cases[] = {{0}, {2}, {1, 2}};
    for (const std::set<long long>& refused : cases) {
        SCOPED_TRACE(*refused.begin());
        SdiFaults faults;
        faults.refusedSchedules = refused;
        test::BridgeRig rig(faults);
        ASSERT_TRUE(rig.start());
        EXPECT_EQ(rig.bridge.framesInFlight(), 3);
        EXPECT_FALSE(rig.bridge.isStalled());
        EXPECT_EQ(rig.bridge.droppedFrameCount(), refused.size());
        EXPECT_EQ(rig.output->counters().framesScheduled, 3);
        rig.output->step(6);
        EXPECT_EQ(rig.output->counters().framesCompleted, 6);
        EXPECT_EQ(rig.output->counters().underruns, 0);
        EXPECT_EQ(rig.bridge.framesInFlight(), 3);
    }
}

TEST(ZRDeckLinkStart, AFailedStartOnABusyDeviceLeavesItsOwnerPlaying) {
    test::BridgeRig rig;
    test::RingClient second(test::bgraRing());
    ZRDeckLinkOutput intruder(&rig.card);
    ASSERT_TRUE(rig.start());
    ZRDeckLinkError error;
    EXPECT_FALSE(
        intruder.start(0, kMode25, second.ring(), false, false, second.request(), {}, &error));
    EXPECT_EQ(error.code, -6);
    EXPECT_TRUE(rig.output->isVideoEnabled() && rig.output->isPlaybackRunning());
    rig.output->step(5);
    EXPECT_EQ(rig.client.requests(), 3 + 5);
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 0u);
}

TEST(ZRDeckLinkStart, KeyerFailureIn8BitKeepsPlayingAndIsVisible) {
    struct Case {
        const char* name;
        Configure configure;
        bool externalKeyer;
        bool enabled, failed;
    };
    const Case cases[] = {
        {"keyer works", {}, true, true, false},
        {"no key asked", {}, false, false, false},
        {"enable fails", [](SdiDeviceConfig& d) { d.faults.keyerEnableFails = true; }, true, false,
         true},
        {"level fails", [](SdiDeviceConfig& d) { d.faults.keyerLevelFails = true; }, true, false,
         true},
        {"no keyer", [](SdiDeviceConfig& d) { d.hasKeyer = false; }, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualSdiConfig config = test::bridgeCard();
        if (c.configure) c.configure(config.devices[0]);
        VirtualSdiCard card(config);
        auto device = card.deviceAtIndex(0);
        test::RingClient client(test::bgraRing());
        ZRDeckLinkOutput bridge(&card);
        ASSERT_TRUE(
            bridge.start(0, kMode25, client.ring(), false, c.externalKeyer, client.request(), {}));
        EXPECT_EQ(bridge.keyerEnabled(), c.enabled);
        EXPECT_EQ(bridge.keyerFailed(), c.failed);
        const auto keyer = device->keyer();
        EXPECT_EQ(keyer && keyer->isEnabled() && keyer->isExternal() && keyer->level() == 255,
                  c.enabled);
        device->output()->step(3);
        EXPECT_EQ(device->output()->counters().framesCompleted, 3);
        bridge.stop();
        EXPECT_FALSE(bridge.keyerEnabled() || bridge.keyerFailed() ||
                     (keyer && keyer->isEnabled()));
    }
}

}  // namespace
}  // namespace velmar
