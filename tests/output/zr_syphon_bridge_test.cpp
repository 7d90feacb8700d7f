#include "output/zr_syphon_bridge.h"
#include "fake_texshare_locator.h"
#include "output/obs_feed_guard.h"
#include "output/obs_transport.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"

#include <gtest/gtest.h>

namespace velmar::test {
namespace {

TEST(OBSTransportTest, RawValuesRoundTripAndUnknownGivesNone) {
    EXPECT_EQ(rawValue(OBSTransport::syphon), "syphon");
    EXPECT_EQ(obsTransportFromRawValue("ndi"), OBSTransport::ndi);
    EXPECT_EQ(obsTransportFromRawValue("syphon"), OBSTransport::syphon);
    EXPECT_EQ(obsTransportFromRawValue("NDI"), std::nullopt);
}

// Mended: both feeds write the one obsClientActive flag, so they must never run together.
TEST(ObsFeedGuardTest, TheTwoFeedsNeverRunTogether) {
    ASSERT_TRUE(ObsFeedGuard::feedStarted(OBSTransport::ndi));
#ifdef NDEBUG
    EXPECT_FALSE(ObsFeedGuard::feedStarted(OBSTransport::syphon));
#else
    EXPECT_DEATH(ObsFeedGuard::feedStarted(OBSTransport::syphon), "never run together");
#endif
    ObsFeedGuard::feedStopped(OBSTransport::syphon);  // not the running feed: no effect
    EXPECT_EQ(ObsFeedGuard::runningFeed(), OBSTransport::ndi);
    ObsFeedGuard::feedStopped(OBSTransport::ndi);
    EXPECT_TRUE(ObsFeedGuard::feedStarted(OBSTransport::syphon));
    ObsFeedGuard::feedStopped(OBSTransport::syphon);  // the mark is the process's: leave none
    EXPECT_EQ(ObsFeedGuard::runningFeed(), std::nullopt);
}

TEST(ZRSyphonBridgeTest, StartFindsTheApplicationOrSaysWhyNot) {
    const QString atDefault = "/Applications/OBS.app/Contents/Frameworks/Syphon.framework/Syphon";
    const QString atOpt = "/opt/OBS.app/Contents/Frameworks/Syphon.framework/Syphon";
    const QString cannotServe =
        "このテクスチャ共有ランタイムは共有テクスチャの送信に対応していません";
    struct Case {
        const char* name;
        const char* registered;  // null: not registered
        bool installedAtDefault, loads, hasClass, init, publish, makeThrows, makeNone;
        QString wantLoaded, wantMessage;  // empty message: started
    };
    const Case cases[] = {
        {"registered elsewhere", "/opt/OBS.app", false, 1, 1, 1, 1, 0, 0, atOpt, ""},
        {"installed at the default place", nullptr, true, 1, 1, 1, 1, 0, 0, atDefault, ""},
        {"not installed", nullptr, false, 1, 1, 1, 1, 0, 0, "",
         "テクスチャ共有ランタイムが見つかりません"},
        {"unloadable", nullptr, true, 0, 1, 1, 1, 0, 0, atDefault,
         "テクスチャ共有ランタイム（libvelmar-texshare.so）を読み込めません"},
        {"no server class", "/opt/OBS.app", false, 1, 0, 1, 1, 0, 0, atOpt, cannotServe},
        {"no initialiser", "/opt/OBS.app", false, 1, 1, 0, 1, 0, 0, atOpt, cannotServe},
        {"no publish", "/opt/OBS.app", false, 1, 1, 1, 0, 0, 0, atOpt, cannotServe},
        {"creation raises", "/opt/OBS.app", false, 1, 1, 1, 1, 1, 0, atOpt,
         "共有テクスチャの送信を開始できません"},
        {"nothing made", "/opt/OBS.app", false, 1, 1, 1, 1, 0, 1, atOpt,
         "共有テクスチャの送信を開始できません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto l = std::make_shared<FakeTexShareLocator>();
        if (c.registered) l->registeredAt = c.registered;
        if (c.installedAtDefault) l->existingFile = atDefault;
        l->loads = c.loads, l->hasClass = c.hasClass, l->init = c.init, l->publish = c.publish;
        l->makeThrows = c.makeThrows, l->makeNone = c.makeNone;
        ZRSyphonBridge bridge(l);
        const bool started = bridge.startWithDevice(nullptr);
        EXPECT_EQ(l->askedIdentifier, ZRSyphonBridge::kStreamingAppBundleIdentifier);
        EXPECT_EQ(l->loadedPath, c.wantLoaded);
        EXPECT_EQ(started, c.wantMessage.isEmpty());
        EXPECT_EQ(bridge.isRunning(), started);
        EXPECT_EQ(bridge.errorMessage().value_or(""), c.wantMessage);
    }
}

TEST(ZRSyphonBridgeTest, PublishCatchesServerExceptionsAndRestartClearsTheMessage) {
    auto device = gpu::Device::create(1);
    auto cb = device->newCommandQueue()->commandBuffer();
    auto l = std::make_shared<FakeTexShareLocator>();
    l->registeredAt = "/a";
    ZRSyphonBridge bridge(l);
    gpu::TextureDescriptor d;
    d.width = d.height = 2;
    const auto texture = device->newTexture(d);

    EXPECT_FALSE(bridge.publishTexture(texture, cb.get())) << "no server yet";
    ASSERT_TRUE(bridge.startWithDevice(device));
    EXPECT_FALSE(bridge.publishTexture(nullptr, cb.get()));
    EXPECT_EQ(l->publishes, 0);
    l->publishThrows = true;
    EXPECT_FALSE(bridge.publishTexture(texture, cb.get()));
    EXPECT_EQ(bridge.errorMessage(), "共有テクスチャのフレームを送れません");

    ASSERT_TRUE(bridge.startWithDevice(device));
    EXPECT_EQ(bridge.errorMessage(), std::nullopt);
    EXPECT_EQ(l->stops, 1) << "a second start stops the first server";
    bridge.stop();
    bridge.stop();
    EXPECT_EQ(l->stops, 2);
}

}  // namespace
}  // namespace velmar::test
