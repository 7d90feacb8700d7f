#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

#include <gtest/gtest.h>

#include <set>

namespace velmar {
namespace {

using test::kMode25;

struct StartCase {
    const char* name;
    int expectedCode;
    std::function<void(SdiDeviceConfig&)> configure;
    long long deviceIndex = 0;
    std::uint32_t mode = kMode25;
    bool tenBit = false;
    bool externalKeyer = false;
    std::function<std::vector<ZRFrameBuffer>()> ring = [] { return test::bgraRing(); };
    bool withRequest = true;
};

std::vector<StartCase> startCases() {
    using F = SdiPixelFormat;
    using Configure = std::function<void(SdiDeviceConfig&)>;
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
    const auto ay10 = ring(F::bgra8, ZRDeckLinkOutput::rowBytesFor(F::ay10, test::kWidth));
    const auto v210 = ring(F::v210, 128);
    const auto bgra = [] { return test::bgraRing(); };
    const Configure noWrap = [](SdiDeviceConfig& d) { d.faults.wrapUnsupported = true; };
    return {
        {"no frame request", -1, {}, 0, kMode25, false, false, bgra, false},
        {"one buffer, whatever else is wrong",
         -1,
         {},
         9,
         0,
         false,
         false,
         [] { return test::bgraRing(1); }},
        {"no device at the index", -2, {}, 5},
        {"device without output", -3, [](SdiDeviceConfig& d) { d.hasOutput = false; }},
        {"unknown mode", -4, {}, 0, fourCC("none")},
        {"one pixel narrower",
         -5,
         {},
         0,
         kMode25,
         false,
         false,
         ring(F::bgra8, bgraRow, test::kWidth - 1)},
        {"one row short",
         -5,
         {},
         0,
         kMode25,
         false,
         false,
         ring(F::bgra8, bgraRow, test::kWidth, test::kHeight - 1)},
        {"v210 buffers for 8-bit", -5, {}, 0, kMode25, false, false, v210},
        {"rows below the format's size",
         -5,
         {},
         0,
         kMode25,
         false,
         false,
         ring(F::bgra8, bgraRow - 1)},
        {"memory smaller than its rows",
         -5,
         {},
         0,
         kMode25,
         false,
         false,
         spoiled([](std::vector<ZRFrameBuffer>& r) { r[2].byteCount -= 1; })},
        {"no memory at all",
         -5,
         {},
         0,
         kMode25,
         false,
         false,
         spoiled([](std::vector<ZRFrameBuffer>& r) { r[1].memory.reset(); })},
        {"BGRA rows too short for Ay10", -5, {}, 0, kMode25, true, true, bgra},
        {"device busy", -6, [](SdiDeviceConfig& d) { d.faults.enableVideoBusy = true; }},
        {"no frames over client memory", -7, noWrap},
        {"v210 fill without frames over client memory", -7, noWrap, 0, kMode25, true, false, v210},
        {"too few frames for fill and key", -8,
         [](SdiDeviceConfig& d) { d.faults.createFrameLimit = 6; }, 0, kMode25, true, true, ay10},
        {"playback does not start", -9,
         [](SdiDeviceConfig& d) { d.faults.startPlaybackFails = true; }},
        {"keyer cannot be enabled for fill and key", -10,
         [](SdiDeviceConfig& d) { d.faults.keyerEnableFails = true; }, 0, kMode25, true, true,
         ay10},
        {"keyer level refused for fill and key", -10,
         [](SdiDeviceConfig& d) { d.faults.keyerLevelFails = true; }, 0, kMode25, true, true, ay10},
        {"no keyer for fill and key", -10, [](SdiDeviceConfig& d) { d.hasKeyer = false; }, 0,
         kMode25, true, true, ay10},
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
        std::function<void(SdiDeviceConfig&)> configure;
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
