#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace velmar {
namespace {

using test::kMode25;

// Captures what the card shows.
struct Screen {
    explicit Screen(SdiOutput& output) {
        output.setFrameCapture([this](const SdiCapturedFrame& f) {
            std::lock_guard lock(mutex);
            frames.push_back(f);
        });
    }
    std::vector<std::uint32_t> stamps() {
        std::lock_guard lock(mutex);
        std::vector<std::uint32_t> out;
        for (const SdiCapturedFrame& f : frames) out.push_back(test::stampOf(f));
        return out;
    }
    std::mutex mutex;
    std::vector<SdiCapturedFrame> frames;
};

// Three frames of preroll, then one request per completion through the ring. Requests 5, 6
// and 7 answer none, one past the ring and far out; 10, 11 and 12 none again, so that three
// black frames are on the card at once.
TEST(ZRDeckLinkPlayback, PrerollsThreeThenRequestsPerCompletionAndAMissingPictureGoesOutBlack) {
    test::BridgeRig rig;
    Screen screen(*rig.output);
    rig.client.answers = {{5, -1}, {6, 4}, {7, 1000}, {10, -1}, {11, -1}, {12, -1}};
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.bridge.isRunning() && !rig.bridge.isStalled());
    EXPECT_EQ(rig.client.requests(), 3);
    EXPECT_EQ(rig.output->counters().framesScheduled, 3);

    rig.output->step(14);
    EXPECT_EQ(rig.client.requests(), 3 + 14);
    EXPECT_EQ(screen.stamps(),
              (std::vector<std::uint32_t>{1, 2, 3, 4, 0, 0, 0, 8, 9, 0, 0, 0, 13, 14}));
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 6u);
    const SdiOutputCounters c = rig.output->counters();
    EXPECT_EQ(c.underruns + c.framesDisplayedLate + c.framesDropped + c.schedulesRefused, 0);
    EXPECT_EQ(rig.bridge.framesInFlight(), 3);
    // Black is all zero in BGRA, key transparent.
    for (const SdiCapturedFrame& f : screen.frames) {
        if (test::stampOf(f) == 0) {
            EXPECT_EQ(std::count(f.bytes.begin(), f.bytes.end(), 0), long(f.bytes.size()));
        }
    }
}

TEST(ZRDeckLinkPlayback, DroppedCountFollowsTheCardsLateDroppedRefusedAndStalledFrames) {
    SdiFaults faults;
    faults.lateFrames = {4};
    faults.droppedFrames = {7};
    faults.refusedSchedules = {12};  // a frame refused: black goes out in its place
    faults.stalls = {{15, 4}};       // completions held back for four frame times
    test::BridgeRig rig(faults);
    ASSERT_TRUE(rig.start());
    rig.output->step(40);
    const SdiOutputCounters c = rig.output->counters();
    EXPECT_EQ(c.framesDisplayedLate + c.framesDropped,
              static_cast<long long>(rig.bridge.droppedFrameCount()) - 1);
    EXPECT_GE(c.framesDisplayedLate, 1);
    EXPECT_GE(c.framesDropped, 1);
    EXPECT_EQ(c.schedulesRefused, 1);
    EXPECT_GT(c.underruns, 0);  // the stall left the card without new frames
    // Caught up again: three in flight, and the last frames on time.
    EXPECT_EQ(rig.bridge.framesInFlight(), 3);
    rig.output->step(10);
    EXPECT_EQ(rig.output->counters().framesDisplayedLate + rig.output->counters().framesDropped,
              c.framesDisplayedLate + c.framesDropped);

    // Frames flushed by the stop are not counted.
    const std::uint64_t dropped = rig.bridge.droppedFrameCount();
    rig.bridge.stop();
    EXPECT_GE(rig.output->counters().framesFlushed, 1);
    EXPECT_EQ(rig.bridge.droppedFrameCount(), dropped);
}

TEST(ZRDeckLinkPlayback, ARefusedFrameAndFallbackDoNotLoseAFrameInFlight) {
    SdiFaults faults;
    faults.refusedSchedules = {5, 6};  // the frame after the second completion, and its fallback
    test::BridgeRig rig(faults);
    ASSERT_TRUE(rig.start());
    rig.output->step(3);
    EXPECT_EQ(rig.bridge.framesInFlight(), 3);
    EXPECT_FALSE(rig.bridge.isStalled());
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 2u);
    rig.output->step(30);
    EXPECT_EQ(rig.output->counters().underruns, 0);
    EXPECT_EQ(rig.output->counters().framesCompleted, 33);
}

TEST(ZRDeckLinkPlayback, WhenNoFrameCanBeKeptInFlightTheBridgeSaysItIsStalled) {
    SdiFaults faults;
    for (long long call = 3; call < 40; ++call) faults.refusedSchedules.insert(call);
    test::BridgeRig rig(faults);
    ASSERT_TRUE(rig.start());
    rig.output->step(1);
    EXPECT_TRUE(rig.bridge.isStalled());
    EXPECT_EQ(rig.bridge.framesInFlight(), 2);
    rig.output->step(5);
    EXPECT_TRUE(rig.bridge.isStalled() && rig.bridge.isRunning());
    EXPECT_EQ(rig.bridge.framesInFlight(), 0);
    // Each refused frame and each refused fallback counted once: two attempts per completion.
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 12u);

    // A restart on a card that accepts frames again recovers.
    rig.output->setFaults({});
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 0u);
    rig.output->step(5);
    EXPECT_EQ(rig.bridge.framesInFlight(), 3);
    EXPECT_FALSE(rig.bridge.isStalled());
}

TEST(ZRDeckLinkPlayback, RingMemoryStaysAliveWhileFramesMayPlayAndIsLetGoAtStop) {
    VirtualSdiCard card(test::bridgeCard());
    auto output = card.deviceAtIndex(0)->output();
    Screen screen(*output);
    std::vector<std::weak_ptr<std::uint8_t>> watched;
    ZRDeckLinkOutput bridge(&card);
    {
        auto client = std::make_shared<test::RingClient>(test::bgraRing());
        for (const ZRFrameBuffer& b : client->ring()) watched.push_back(b.memory);
        // The client keeps only its request; the ring it handed over is the bridge's to hold.
        std::vector<ZRFrameBuffer> ring = client->ring();
        ZRDeckLinkOutput::FrameRequest request = [client, r = client->request()] { return r(); };
        ASSERT_TRUE(
            bridge.start(0, kMode25, std::move(ring), false, false, std::move(request), {}));
    }
    output->step(8);
    EXPECT_EQ(screen.stamps(), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    for (const auto& w : watched) EXPECT_FALSE(w.expired());
    bridge.stop();
    for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

TEST(ZRDeckLinkPlayback, StopWaitsForACompletionInsideTheBridge) {
    VirtualSdiCard card(test::bridgeCard());
    auto output = card.deviceAtIndex(0)->output();
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false, release = false;
    std::vector<std::string> events;
    auto client = std::make_shared<test::RingClient>(test::bgraRing());
    ZRDeckLinkOutput::FrameRequest inner = client->request();
    ZRDeckLinkOutput bridge(&card);
    ZRDeckLinkOutput::FrameRequest request = [&, inner]() -> long long {
        if (client->requests() == 3) {  // the first request after the preroll
            std::unique_lock lock(mutex);
            inside = true;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
            events.push_back("request returns");
        }
        return inner();
    };
    ASSERT_TRUE(bridge.start(0, kMode25, client->ring(), false, false, request, {}));
    std::thread stepper([&] { output->step(1); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inside; });
    }
    std::thread stopper([&] {
        bridge.stop();
        std::lock_guard lock(mutex);
        events.push_back("stop returns");
    });
    // Give stop every chance to return early before the request is let go.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
        std::lock_guard lock(mutex);
        release = true;
        changed.notify_all();
    }
    stopper.join();
    stepper.join();
    EXPECT_EQ(events, (std::vector<std::string>{"request returns", "stop returns"}));
    EXPECT_FALSE(bridge.isRunning());
    EXPECT_FALSE(output->isPlaybackRunning());
    EXPECT_FALSE(output->isVideoEnabled());
    // The request that returned during the stop scheduled nothing.
    EXPECT_EQ(output->counters().framesScheduled, 3);
}

TEST(ZRDeckLinkPlayback, StopTwiceIsHarmlessAndARestartBeginsAtZero) {
    SdiFaults faults;
    faults.lateFrames = {2};
    test::BridgeRig rig(faults);
    Screen screen(*rig.output);
    long long audioFrames = 0;
    auto audio = [&](std::int32_t* s, long long n) {
        std::fill(s, s + 2 * n, 7);
        audioFrames += n;
    };
    rig.bridge.stop();  // before any start
    ASSERT_TRUE(rig.start(audio, true));
    rig.output->step(5);
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 1u);
    rig.bridge.stop();
    rig.bridge.stop();
    EXPECT_FALSE(rig.bridge.isRunning() || rig.bridge.audioEnabled());
    EXPECT_FALSE(rig.output->isVideoEnabled() || rig.output->isAudioEnabled());
    EXPECT_FALSE(rig.card.deviceAtIndex(0)->keyer()->isEnabled());

    rig.output->setFaults({});
    screen.frames.clear();
    audioFrames = 0;
    ASSERT_TRUE(rig.start(audio, true));
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 0u);
    EXPECT_TRUE(rig.bridge.keyerEnabled());
    EXPECT_EQ(audioFrames, 3 * 1920);  // the audio stream starts again at 0
    rig.output->step(2);
    ASSERT_EQ(screen.frames.size(), 2u);
    EXPECT_EQ(screen.frames[0].displayIndex, 0);  // display time 0 again
    EXPECT_EQ(screen.frames[0].result, SdiCompletionResult::completed);
    EXPECT_EQ(rig.output->counters().audioSamplesMissing, 0);
}

// The timer is taken at start: every request of that run is timed (three of preroll, one per
// completion), and a timer replaced or cleared meanwhile changes nothing until the next start.
TEST(ZRDeckLinkPlayback, TimesEachFrameRequestOfTheRunStartedWithTheTimer) {
    test::BridgeRig rig;
    std::vector<double> timed;
    rig.bridge.setFrameRequestTimer([&timed](double seconds) { timed.push_back(seconds); });
    ASSERT_TRUE(rig.start());
    rig.bridge.setFrameRequestTimer(nullptr);
    rig.output->step(5);
    EXPECT_EQ(timed.size(), 8u);
    EXPECT_EQ(rig.client.requests(), 8);
    EXPECT_TRUE(std::all_of(timed.begin(), timed.end(), [](double s) { return s >= 0; }));
    rig.bridge.stop();
    ASSERT_TRUE(rig.start());
    rig.output->step(2);
    EXPECT_EQ(timed.size(), 8u);
}

}  // namespace
}  // namespace velmar
