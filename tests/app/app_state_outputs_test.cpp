// The output switching commands on the virtual SDI card, the fake screens, the texture-share
// and network-video feeds and the reference tones, with their exact status texts.
#include "app_state_fixture.h"

#include "core/tone_generator.h"
#include "support/test_media.h"

#include <QFile>

namespace velmar::test {
namespace {

TEST_F(AppStateFixture, WithoutACanvasEveryOutputCommandAnswersWithItsMessage) {
    screens.add("A", {0, 0, 1920, 1080});
    make(false);
    EXPECT_EQ(app->canvasEngine(), nullptr);
    EXPECT_EQ(app->deckLink(), nullptr);
    EXPECT_EQ(app->output(), nullptr);
    EXPECT_EQ(app->availableScreens().size(), 1) << "the screens are still listed";
    const struct {
        std::function<void()> command;
        QString message;
    } cases[] = {
        {[&] { app->startDeckLink(); }, "Metal が使えないため出力できません"},
        {[&] { app->toggleOBSOutput(); }, "Metal が使えないため OBS 出力できません"},
        {[&] { app->toggleOutput(); }, "Metal が使えないため出力できません"},
    };
    for (const auto& c : cases) {
        app->engine().setLastMessage({});
        c.command();
        EXPECT_EQ(status(), c.message);
    }
    EXPECT_FALSE(app->isDeckLinkRunning() || app->isOBSOpen() || app->isOutputOpen());
}

// The SDI start message: device text, then the first matching audio note, then the note of a
// keyer that could not be switched on.
TEST_F(AppStateFixture, SdiStartReportsDeviceFormatAndAudioRouting) {
    const QString started = "SDI 出力を開始しました: ";
    const struct {
        const char* name;
        SDIBitDepth depth;
        bool embed, mutesLocal;
        SdiFaults faults;
        QString message;
        bool ringActive, localMuted;
    } cases[] = {
        {"8-bit",
         SDIBitDepth::eightBit,
         true,
         true,
         {},
         started + "Card X（音声は SDI へ。Mac からは出しません）",
         true,
         true},
        {"fill and key",
         SDIBitDepth::tenBit,
         true,
         false,
         {},
         started + "Card X 10bit・フィル＋キー（音声は SDI と Mac の両方へ）",
         true,
         false},
        {"fill only",
         SDIBitDepth::tenBitFillOnly,
         false,
         true,
         {},
         started + "Card X 10bit・フィルのみ（音声は乗せていません）",
         false,
         false},
        {"no audio on the device", SDIBitDepth::eightBit, true, true,
         SdiFaults{.enableAudioFails = true},
         started + "Card X（この機器には音声を乗せられません）", false, false},
        {"keyer fails", SDIBitDepth::eightBit, true, true, SdiFaults{.keyerEnableFails = true},
         started + "Card X（音声は SDI へ。Mac からは出しません）（外部キーヤーを有効にできなかった"
                   "ため、キー信号は出ていません）",
         true, true},
    };
    for (const auto& c : cases) {
        card = std::make_unique<VirtualSdiCard>(appCard("Card X", c.faults));
        make();
        app->setSdiBitDepth(c.depth);
        app->setSdiEmbedAudio(c.embed);
        app->setSdiMutesLocalAudio(c.mutesLocal);
        ASSERT_FALSE(tone.start(ReferenceToneKind::sine1k20).has_value()) << c.name;
        app->startDeckLink();
        EXPECT_EQ(status(), c.message) << c.name;
        EXPECT_TRUE(app->isDeckLinkRunning()) << c.name;
        EXPECT_EQ(SDIAudioBridge::shared().isActive(), c.ringActive) << c.name;
        EXPECT_EQ(tone.localMuted(), c.localMuted) << c.name << ": a running tone follows the rule";

        app->stopDeckLink();
        EXPECT_FALSE(app->isDeckLinkRunning());
        EXPECT_FALSE(SDIAudioBridge::shared().isActive());
        EXPECT_FALSE(tone.localMuted()) << c.name << ": stopping unmutes";
        tone.stop();
    }
}

TEST_F(AppStateFixture, DeviceIndexIsClampedAndWrittenAndAFailedStartLeavesAudioUnmuted) {
    writeSettings(R"({"selectedDeckLinkIndex": 3})");
    make();
    app->refreshDeckLinkDevices();
    EXPECT_EQ(app->selectedDeckLinkIndex(), 0);
    EXPECT_EQ(defaults->integer("selectedDeckLinkIndex"), 0) << "written";

    card = std::make_unique<VirtualSdiCard>(VirtualSdiConfig{});
    make();
    app->startDeckLink();
    EXPECT_EQ(status(), "出力できる DeckLink 機器が見つかりません");

    // A start the card refuses: the bridge's words, state off, ring inactive, audio unmuted.
    card =
        std::make_unique<VirtualSdiCard>(appCard("Card X", SdiFaults{.startPlaybackFails = true}));
    make();
    tone.setLocalMuted(true);
    app->startDeckLink();
    EXPECT_FALSE(app->isDeckLinkRunning());
    EXPECT_FALSE(SDIAudioBridge::shared().isActive());
    EXPECT_FALSE(tone.localMuted());
    EXPECT_FALSE(status().isEmpty());
    EXPECT_FALSE(status().startsWith("SDI 出力を開始しました"));
}

// The 10-bit fill on the card, decoded by ffmpeg: a black canvas is limited-range black.
TEST_F(AppStateFixture, TenBitFillOnlyFramesDecodeWithAnIndependentDecoder) {
    std::vector<SdiCapturedFrame> frames;
    std::mutex mutex;
    auto output = card->deviceAtIndex(0)->output();
    output->setFrameCapture([&](const SdiCapturedFrame& frame) {
        std::lock_guard lock(mutex);
        frames.push_back(frame);
    });
    make();
    app->setSdiBitDepth(SDIBitDepth::tenBitFillOnly);
    app->startDeckLink();
    ASSERT_TRUE(app->isDeckLinkRunning()) << status().toStdString();
    output->step(3);
    SdiCapturedFrame frame;
    {
        std::lock_guard lock(mutex);
        ASSERT_FALSE(frames.empty());
        frame = frames.back();
    }
    app->stopDeckLink();
    ASSERT_EQ(frame.format, SdiPixelFormat::v210);
    const QString in = dir.path() + "/frame.v210", out = dir.path() + "/frame.yuv";
    QFile file(in);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(frame.bytes.data()), qint64(frame.bytes.size()));
    file.close();
    QByteArray log;
    if (!TestMedia::run(
            "ffmpeg",
            {"-v", "error", "-y", "-f", "v210", "-s", QString("%1x%2").arg(kCanvasW).arg(kCanvasH),
             "-i", in, "-f", "rawvideo", "-pix_fmt", "yuv422p10le", out},
            &log)) {
        GTEST_SKIP() << "ffmpeg: " << log.toStdString();
    }
    QFile decoded(out);
    ASSERT_TRUE(decoded.open(QIODevice::ReadOnly));
    const QByteArray planes = decoded.readAll();
    ASSERT_EQ(planes.size(), kCanvasW * kCanvasH * 2 * 2);
    const auto* samples = reinterpret_cast<const quint16*>(planes.constData());
    const int luma = kCanvasW * kCanvasH;
    EXPECT_EQ(samples[0], 64);
    EXPECT_EQ(samples[luma - 1], 64);
    EXPECT_EQ(samples[luma], 512);
    EXPECT_EQ(samples[luma + luma / 2 - 1], 512);
}

// Three displays, the first holding the control window.
struct ScreensTest : AppStateFixture {
    void SetUp() override {
        AppStateFixture::SetUp();
        screens.add("A", {0, 0, 1920, 1080});
        screens.add("B", {1920, 0, 1920, 1080});
        screens.add("C", {3840, 0, 1920, 1080});
        screens.windows = {{"DOVRINE — Untitled", "A"}};
    }
    QStringList listed() const {
        QStringList ids;
        for (const ScreenInfo& s : app->availableScreens()) ids << s.identity;
        return ids;
    }
    void unplug(const QString& id) {
        screens.list.removeIf([&](const ScreenInfo& s) { return s.identity == id; });
    }
};

TEST_F(ScreensTest, TheStoredIndexCountsTheFilteredListAtTheFirstRefresh) {
    writeSettings(R"({"selectedScreenIndex": 1})");
    make();
    EXPECT_EQ(listed(), QStringList({"A", "B", "C"})) << "before the first refresh: all";
    app->refreshScreens();
    EXPECT_EQ(listed(), QStringList({"B", "C"}));
    EXPECT_EQ(app->selectedScreenIndex(), 1) << "C stays chosen from one launch to the next";
    EXPECT_EQ(app->selectedScreenID(), "C");
}

TEST_F(ScreensTest, UnpluggingKeepsTheChosenDisplayOrClampsAndClosesTheWindow) {
    make();
    app->refreshScreens();
    app->setSelectedScreenIndex(1);  // C
    app->toggleOutput();
    ASSERT_TRUE(app->isOutputOpen());
    EXPECT_EQ(app->output()->currentScreen(), "C");

    unplug("B");
    app->screenParametersChanged();
    EXPECT_EQ(listed(), QStringList({"C"}));
    EXPECT_EQ(app->selectedScreenIndex(), 0) << "C kept at its new index";
    EXPECT_TRUE(app->isOutputOpen());

    screens.add("B", {1920, 0, 1920, 1080});
    unplug("C");
    app->engine().setLastMessage({});
    app->screenParametersChanged();
    EXPECT_EQ(listed(), QStringList({"B"}));
    EXPECT_EQ(app->selectedScreenIndex(), 0);
    EXPECT_EQ(defaults->integer("selectedScreenIndex"), 0);
    EXPECT_FALSE(app->isOutputOpen());
    EXPECT_FALSE(app->output()->isOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つからなくなったため出力を停止しました");
}

TEST_F(ScreensTest, OnlyTheControlWindowMovingRefreshesAndItsMoveOntoTheOutputCloses) {
    make();
    app->refreshScreens();
    app->setSelectedScreenIndex(0);  // B
    app->toggleOutput();
    ASSERT_TRUE(app->isOutputOpen());

    screens.windows = {{"Settings", "A"}, {"DOVRINE — Untitled", "B"}};
    app->windowDidChangeScreen("Settings");
    EXPECT_EQ(listed(), QStringList({"B", "C"})) << "another window's move refreshes nothing";
    EXPECT_TRUE(app->isOutputOpen());

    app->windowDidChangeScreen("DOVRINE — Untitled");
    EXPECT_EQ(listed(), QStringList({"A", "C"}));
    EXPECT_FALSE(app->isOutputOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つからなくなったため出力を停止しました");
}

TEST_F(ScreensTest, AnOutputWindowThatCannotOpenIsReported) {
    make();
    // Only one screen: after removing the control screen nothing is left.
    screens.list = {screens.list[0]};
    app->toggleOutput();
    EXPECT_FALSE(app->isOutputOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つかりません");

    // The controller refuses the chosen screen (a second control window stands on it).
    screens.add("B", {1920, 0, 1920, 1080});
    screens.windows = {{"DOVRINE — Untitled", "A"}, {"DOVRINE — Other", "B"}};
    app->engine().setLastMessage({});
    app->toggleOutput();
    EXPECT_FALSE(app->isOutputOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つかりません");
}

TEST_F(ScreensTest, TheChromaKeyReachesTheOutputWindow) {
    make();
    app->refreshScreens();
    app->setChromaKeyColor(QColor::fromRgbF(1, 0, 0));
    app->setChromaKeyEnabled(true);
    EXPECT_TRUE(app->output()->chromaKeyEnabled());
    EXPECT_EQ(app->output()->chromaKeyColor(), (std::array<float, 3>{1, 0, 0}));
    app->toggleOutput();
    ASSERT_TRUE(app->isOutputOpen());
    app->setChromaKeyEnabled(false);
    EXPECT_FALSE(app->output()->chromaKeyEnabled());
    app->toggleOutput();
    EXPECT_FALSE(app->isOutputOpen());
}

TEST_F(AppStateFixture, FeedRunsOnTheEffectiveTransportAndCountsReceivers) {
    make();
    // Inside the sandbox only network video is offered.
    sandboxed = true;
    EXPECT_EQ(app->effectiveOBSTransport(), OBSTransport::ndi);
    app->toggleOBSOutput();
    ASSERT_TRUE(app->isOBSOpen()) << status().toStdString();
    EXPECT_EQ(app->runningOBSTransport(), OBSTransport::ndi);
    EXPECT_EQ(status(), "OBS の NDI ソースで DOVRINE を選択してください");

    const int fd = connectTo(runtimeDir.address("DOVRINE"));
    ASSERT_TRUE(waitUntil([&] { return app->obsConnectionCount() == 1; }, std::chrono::seconds(20),
                          [&] { clock.advance(1.0 / 60); }));
    EXPECT_TRUE(app->isOBSConnected());
    ::close(fd);
    ASSERT_TRUE(waitUntil([&] { return app->obsConnectionCount() == 0; }, std::chrono::seconds(20),
                          [&] { clock.advance(1.0 / 60); }));
    EXPECT_FALSE(app->isOBSConnected());

    const int again = connectTo(runtimeDir.address("DOVRINE"));
    ASSERT_TRUE(waitUntil([&] { return app->isOBSConnected(); }, std::chrono::seconds(20),
                          [&] { clock.advance(1.0 / 60); }));
    app->toggleOBSOutput();  // off: both cleared at once, before any report
    EXPECT_FALSE(app->isOBSOpen());
    EXPECT_FALSE(app->isOBSConnected());
    EXPECT_EQ(app->obsConnectionCount(), 0);
    EXPECT_EQ(app->runningOBSTransport(), std::nullopt);
    ::close(again);
}

TEST_F(AppStateFixture, SwitchingTheTransportRestartsOnlyARunningFeed) {
    make();
    app->setObsTransport(OBSTransport::ndi);
    EXPECT_FALSE(app->isOBSOpen()) << "switching while off starts nothing";
    app->setObsTransport(OBSTransport::syphon);
    app->toggleOBSOutput();
    ASSERT_TRUE(app->isOBSOpen()) << status().toStdString();
    EXPECT_EQ(app->runningOBSTransport(), OBSTransport::syphon);
    EXPECT_EQ(status(), "OBS の Syphon ソースで DOVRINE を選択してください");
    app->setObsTransport(OBSTransport::ndi);
    EXPECT_TRUE(app->isOBSOpen());
    EXPECT_EQ(app->runningOBSTransport(), OBSTransport::ndi);
    EXPECT_FALSE(app->syphonOutput()->isRunning());
    EXPECT_TRUE(app->ndiOutput()->isStarted());
    EXPECT_EQ(defaults->string("obsTransport"), "ndi");
    app->stopOBSOutput();
}

TEST_F(AppStateFixture, ReferenceToneReplacesProgramAudioUntilToggledOrPanicked) {
    make(false);
    app->toggleReferenceTone(ReferenceToneKind::ebuIdent);
    EXPECT_EQ(status(), "基準信号を出力中: EBU IDENT -18dBFS（PROGRAM の音声は止めています）");
    EXPECT_TRUE(SDIAudioBridge::shared().hasTone());
    EXPECT_TRUE(app->engine().isAudioSuppressed());
    EXPECT_EQ(bridgeGains.back(), 0.0f) << "program audio silenced";

    app->toggleReferenceTone(ReferenceToneKind::pinkNoise20);  // switches directly
    EXPECT_EQ(tone.kind(), ReferenceToneKind::pinkNoise20);
    app->toggleReferenceTone(ReferenceToneKind::pinkNoise20);
    EXPECT_EQ(status(), "基準信号を止めました");
    EXPECT_FALSE(SDIAudioBridge::shared().hasTone());
    EXPECT_FALSE(app->engine().isAudioSuppressed());
    EXPECT_EQ(bridgeGains.back(), 1.0f);

    app->toggleReferenceTone(ReferenceToneKind::sine1k20);
    app->engine().panicOff();
    EXPECT_FALSE(tone.kind().has_value()) << "the panic ends the tone";
    app->engine().setLastMessage({});
    app->engine().panicOff();
    EXPECT_EQ(status(), "緊急停止しました") << "no tone message when none plays";

    toneEngine.failure = "音声出力を開始できません";
    app->toggleReferenceTone(ReferenceToneKind::sine1k18);
    EXPECT_EQ(status(), "基準信号を出せません: 音声出力を開始できません")
        << "the player's words as they arrive";
    EXPECT_FALSE(SDIAudioBridge::shared().hasTone());
    EXPECT_FALSE(app->engine().isAudioSuppressed());
}

TEST_F(AppStateFixture, TheLocalMuteRuleFollowsTheSettingWhileSdiCarriesAudio) {
    make();
    app->startDeckLink();
    ASSERT_TRUE(SDIAudioBridge::shared().isActive());
    app->toggleReferenceTone(ReferenceToneKind::sine1k20);
    EXPECT_TRUE(tone.localMuted()) << "a tone starting while SDI carries audio";
    app->setSdiMutesLocalAudio(false);
    EXPECT_FALSE(SDIAudioBridge::shared().muteLocalWhileActive());
    EXPECT_FALSE(tone.localMuted());
    app->setSdiMutesLocalAudio(true);
    EXPECT_TRUE(tone.localMuted());
    app->stopDeckLink();
}

}  // namespace
}  // namespace velmar::test
