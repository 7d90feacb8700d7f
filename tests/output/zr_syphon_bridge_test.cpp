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

const QString kDefaultFramework =
    QStringLiteral("/Applications/OBS.app/Contents/Frameworks/Syphon.framework/Syphon");

TEST(OBSTransportTest, RawValuesRoundTripAndUnknownGivesNone) {
    EXPECT_EQ(rawValue(OBSTransport::syphon), "syphon");
    EXPECT_EQ(obsTransportFromRawValue("ndi"), OBSTransport::ndi);
    EXPECT_EQ(obsTransportFromRawValue("syphon"), OBSTransport::syphon);
    EXPECT_EQ(obsTransportFromRawValue("NDI"), std::nullopt);
}

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
    ObsFeedGuard::feedStopped(OBSTransport::syphon);
}

TEST(ZRSyphonBridgeTest, StartFindsTheApplicationOrSaysWhyNot) {
    struct Case {
        const char* name;
        std::function<void(FakeTexShareLocator&)> setUp;
        QString wantLoaded;   // empty: nothing loaded
        QString wantMessage;  // empty: started
    };
    const Case cases[] = {
        {"registered elsewhere: loaded from there",
         [](FakeTexShareLocator& l) { l.registeredAt = "/opt/OBS.app"; },
         "/opt/OBS.app/Contents/Frameworks/Syphon.framework/Syphon", ""},
        {"not registered, installed at the default place",
         [](FakeTexShareLocator& l) { l.existingFile = kDefaultFramework; }, kDefaultFramework, ""},
        {"not registered, not installed", [](FakeTexShareLocator&) {}, "",
         "OBS Studio が見つかりません"},
        {"framework cannot be loaded",
         [](FakeTexShareLocator& l) {
             l.existingFile = kDefaultFramework;
             l.frameworkLoads = false;
         },
         kDefaultFramework, "OBS の Syphon Framework を読み込めません"},
        {"no server class",
         [](FakeTexShareLocator& l) {
             l.registeredAt = "/a";
             l.hasServerClass = false;
         },
         "/a/Contents/Frameworks/Syphon.framework/Syphon",
         "この OBS の Syphon は Metal 出力に対応していません"},
        {"no initialiser",
         [](FakeTexShareLocator& l) {
             l.registeredAt = "/a";
             l.respondsToInit = false;
         },
         "/a/Contents/Frameworks/Syphon.framework/Syphon",
         "この OBS の Syphon は Metal 出力に対応していません"},
        {"no publish",
         [](FakeTexShareLocator& l) {
             l.registeredAt = "/a";
             l.respondsToPublish = false;
         },
         "/a/Contents/Frameworks/Syphon.framework/Syphon",
         "この OBS の Syphon は Metal 出力に対応していません"},
        {"server creation raises",
         [](FakeTexShareLocator& l) {
             l.registeredAt = "/a";
             l.makeThrows = true;
         },
         "/a/Contents/Frameworks/Syphon.framework/Syphon", "Syphon 出力を開始できません"},
        {"no server made",
         [](FakeTexShareLocator& l) {
             l.registeredAt = "/a";
             l.makeGivesNone = true;
         },
         "/a/Contents/Frameworks/Syphon.framework/Syphon", "Syphon 出力を開始できません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto locator = std::make_shared<FakeTexShareLocator>();
        c.setUp(*locator);
        ZRSyphonBridge bridge(locator);
        const bool started = bridge.startWithDevice(nullptr);
        EXPECT_EQ(locator->askedIdentifier, ZRSyphonBridge::kStreamingAppBundleIdentifier);
        EXPECT_EQ(locator->loadedPath, c.wantLoaded);
        EXPECT_EQ(started, c.wantMessage.isEmpty());
        EXPECT_EQ(bridge.isRunning(), started);
        EXPECT_EQ(bridge.errorMessage().value_or(""), c.wantMessage);
    }
}

TEST(ZRSyphonBridgeTest, PublishAndClientQueriesCatchServerExceptions) {
    auto device = gpu::Device::create(1);
    auto queue = device->newCommandQueue();
    auto locator = std::make_shared<FakeTexShareLocator>();
    locator->registeredAt = "/a";
    ZRSyphonBridge bridge(locator);
    gpu::TextureDescriptor d;
    d.width = d.height = 2;
    const auto texture = device->newTexture(d);
    auto cb = queue->commandBuffer();

    EXPECT_FALSE(bridge.publishTexture(texture, cb.get())) << "no server yet";
    EXPECT_FALSE(bridge.hasClients());
    ASSERT_TRUE(bridge.startWithDevice(device));
    EXPECT_TRUE(bridge.hasClients());
    EXPECT_TRUE(bridge.publishTexture(texture, cb.get()));
    EXPECT_FALSE(bridge.publishTexture(nullptr, cb.get()));
    EXPECT_EQ(locator->publishes, 1);

    locator->publishThrows = true;
    EXPECT_FALSE(bridge.publishTexture(texture, cb.get()));
    EXPECT_EQ(bridge.errorMessage(), "Syphon フレームを送れません");

    // A restart clears the message; a second start stops the first server.
    ASSERT_TRUE(bridge.startWithDevice(device));
    EXPECT_EQ(bridge.errorMessage(), std::nullopt);
    EXPECT_EQ(locator->stops, 1);
    bridge.stop();
    bridge.stop();
    EXPECT_EQ(locator->stops, 2);
    EXPECT_FALSE(bridge.isRunning());
}

}  // namespace
}  // namespace velmar::test
