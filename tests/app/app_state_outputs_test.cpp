// The output switching commands on the virtual SDI card, the fake screens, the texture-share
// and network-video feeds and the reference tones, with their exact status texts.
#include "app_state_fixture.h"
#include "support/event_loop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

namespace velmar::test {
namespace {

// The names of this process's threads, as the kernel lists them.
QStringList threadNames() {
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly)) names << QString::fromUtf8(comm.readAll()).trimmed();
    }
    return names;
}

// Mended: every application state started an import thread that no work ever reached.
TEST_F(AppStateFixture, MakingTheStateStartsNoIdleImportThread) {
    make();
    EXPECT_FALSE(threadNames().contains(QStringLiteral("dovrine.import")));
}

TEST_F(AppStateFixture, WithoutACanvasEveryOutputCommandAnswersWithItsMessage) {
    screens.add("A", {0, 0, 1920, 1080});
    make(false);
    EXPECT_EQ(app->canvasEngine(), nullptr);
    EXPECT_EQ(app->availableScreens().size(), 1) << "the screens are still listed";
    const struct {
        std::function<void()> command;
        QString message;
    } cases[] = {
        {[&] { app->startDeckLink(); }, "CPU の映像合成を用意できないため出力できません"},
        {[&] { app->toggleOBSOutput(); }, "CPU の映像合成を用意できないため OBS 出力できません"},
        {[&] { app->toggleOutput(); }, "CPU の映像合成を用意できないため出力できません"},
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
        // clang-format off
        {"8-bit", SDIBitDepth::eightBit, true, true, {},
         started + "Card X（音声は SDI へ。このコンピュータからは出しません）", true, true},
        {"fill and key", SDIBitDepth::tenBit, true, false, {},
         started + "Card X 10bit・フィル＋キー（音声は SDI とこのコンピュータの両方へ）", true, false},
        {"fill only", SDIBitDepth::tenBitFillOnly, false, true, {},
         started + "Card X 10bit・フィルのみ（音声は乗せていません）", false, false},
        {"no audio on the device", SDIBitDepth::eightBit, true, true, {.enableAudioFails = true},
         started + "Card X（この機器には音声を乗せられません）", false, false},
        {"keyer fails", SDIBitDepth::eightBit, true, true, {.keyerEnableFails = true},
         started + "Card X（音声は SDI へ。このコンピュータからは出しません）（外部キーヤーを有効にできなかったため、キー信号は出ていません）", true, true},
        // clang-format on
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
        EXPECT_EQ(app->deckLink()->runningBitDepth(), c.depth) << c.name;
        EXPECT_EQ(SDIAudioBridge::shared().isActive(), c.ringActive) << c.name;
        EXPECT_EQ(tone.localMuted(), c.localMuted) << c.name << ": a running tone follows the rule";

        app->stopDeckLink();
        EXPECT_FALSE(app->isDeckLinkRunning() || SDIAudioBridge::shared().isActive());
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
    EXPECT_FALSE(app->isDeckLinkRunning() || SDIAudioBridge::shared().isActive());
    EXPECT_FALSE(tone.localMuted());
    EXPECT_TRUE(status().contains("再生を開始できません")) << "the bridge's words as they arrive";
}

// A stored position one past the last device (the card had one more device when it was saved)
// is brought back to the last device and written, so the output starts on it.
TEST_F(AppStateFixture, AStoredDevicePositionJustPastTheListStartsTheLastDevice) {
    VirtualSdiConfig two = appCard("Card A");
    two.devices.push_back(appCard("Card B").devices.front());
    for (const auto& [stored, config, device] :
         {std::tuple{1, appCard("Card X"), QString("Card X")},
          std::tuple{2, two, QString("Card B")}}) {
        writeSettings(QStringLiteral(R"({"selectedDeckLinkIndex": %1})").arg(stored).toUtf8());
        card = std::make_unique<VirtualSdiCard>(config);
        make();
        app->startDeckLink();
        EXPECT_TRUE(app->isDeckLinkRunning()) << stored;
        EXPECT_TRUE(status().startsWith("SDI 出力を開始しました: " + device + "（"))
            << status().toStdString();
        EXPECT_EQ(app->selectedDeckLinkIndex(), stored - 1);
        EXPECT_EQ(defaults->integer("selectedDeckLinkIndex"), stored - 1) << "written";
        app->stopDeckLink();
    }
}

// Mended: a card that stopped taking or giving back frames left the SDI switch lit while
// nothing went out. The watch looks once a second on the fake clock; the card's own clock is
// stepped by hand, so nothing here depends on real time.
TEST_F(AppStateFixture, AStalledCardTurnsTheSwitchOffWithAMessageAndALogLine) {
    const QString stalled = "SDI 出力が止まりました: 機器がフレームを送出していません";
    auto logLines = [&] {
        log.flush();
        log.waitForPendingWrites();
        QFile file(log.fileName());
        QStringList lines;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
                if (line.contains("SDI STOP")) lines << line.mid(line.indexOf("  ") + 2);
        }
        return lines;
    };
    auto startOn = [&](SdiFaults faults) {
        card = std::make_unique<VirtualSdiCard>(appCard("Card X", std::move(faults)));
        make();
        tone.setLocalMuted(true);
        app->startDeckLink();
        EXPECT_TRUE(app->isDeckLinkRunning());
        return card->deviceAtIndex(0)->output();
    };

    // A healthy card plays on however long the watch looks.
    auto output = startOn({});
    for (int second = 0; second < 4; ++second) {
        output->step(60);
        clock.advance(1.0);
    }
    EXPECT_TRUE(app->isDeckLinkRunning());
    EXPECT_TRUE(app->deckLink()->isRunning());
    app->stopDeckLink();
    clock.advance(5.0);  // a stopped output is not watched
    EXPECT_TRUE(logLines().isEmpty());

    // From frame 5 on the card holds every completion: one silent second may be a hiccup, the
    // second one is a stall.
    SdiFaults held;
    held.stalls = {{5, 1'000'000}};
    output = startOn(held);
    output->step(5);
    clock.advance(1.0);
    output->step(60);
    clock.advance(1.0);
    EXPECT_TRUE(app->isDeckLinkRunning());
    output->step(60);
    clock.advance(1.0);
    EXPECT_FALSE(app->isDeckLinkRunning());
    EXPECT_FALSE(app->deckLink()->isRunning());
    EXPECT_FALSE(output->isPlaybackRunning());
    EXPECT_FALSE(SDIAudioBridge::shared().isActive());
    EXPECT_FALSE(tone.localMuted());
    EXPECT_EQ(status(), stalled);
    EXPECT_EQ(logLines(), QStringList({"SDI STOP  " + stalled}));
    clock.advance(5.0);  // the watch stopped with the output
    EXPECT_EQ(logLines().size(), 1);

    // The card refuses every frame after the preroll: with nothing left on the card no
    // completion will ever come, so the first look ends it.
    SdiFaults refused;
    for (long long i = 3; i < 100; ++i) refused.refusedSchedules.insert(i);
    output = startOn(refused);
    output->step(5);
    ASSERT_EQ(app->deckLink()->bridge().framesInFlight(), 0);
    EXPECT_TRUE(app->isDeckLinkRunning());
    clock.advance(1.0);
    EXPECT_FALSE(app->isDeckLinkRunning());
    EXPECT_EQ(status(), stalled);
    EXPECT_EQ(logLines().size(), 2);

    // The switch works again afterwards.
    output = startOn({});
    for (int second = 0; second < 3; ++second) {
        output->step(60);
        clock.advance(1.0);
    }
    EXPECT_TRUE(app->isDeckLinkRunning());
}

// A card whose recording folder cannot be made records nothing while the output plays on: the
// status line and the operation log say so, once.
TEST_F(AppStateFixture, ACardThatCannotRecordSaysSoInTheStatusLineAndTheLog) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));  // no folder can be made under a file, even by root
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    VirtualSdiConfig config = appCard("Card X");
    config.recordDirectory = dir.filePath("file/takes").toStdString();
    card = std::make_unique<VirtualSdiCard>(config);
    make();
    app->startDeckLink();
    ASSERT_TRUE(app->isDeckLinkRunning());
    const auto output = card->deviceAtIndex(0)->output();
    // The recorder's writer looks at the folder soon after the output starts.
    ASSERT_TRUE(test::waitUntil([&] { return !output->recordingProblem().empty(); }, 60));
    for (int second = 0; second < 3; ++second) {
        output->step(60);
        clock.advance(1.0);
    }
    EXPECT_TRUE(app->isDeckLinkRunning());
    const QString reason = dir.filePath("file/takes") + ": Not a directory";
    EXPECT_EQ(status(), "SDI 出力中ですが、録画できていません: " + reason);
    log.flush();
    log.waitForPendingWrites();
    QFile file(log.fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()).count("SDI RECORD  FAILED, " + reason), 1);
    app->stopDeckLink();
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
    app->setChromaKeyColor(QColor::fromRgbF(1, 0, 0));
    app->setChromaKeyEnabled(true);
    app->toggleOutput();
    ASSERT_TRUE(app->isOutputOpen());
    EXPECT_EQ(app->output()->currentScreen(), "C");
    EXPECT_TRUE(app->output()->chromaKeyEnabled());
    EXPECT_EQ(app->output()->chromaKeyColor(), (std::array<float, 3>{1, 0, 0}));

    unplug("B");
    app->screenParametersChanged();
    EXPECT_EQ(listed(), QStringList({"C"}));
    EXPECT_EQ(app->selectedScreenIndex(), 0) << "C kept at its new index";
    EXPECT_TRUE(app->isOutputOpen());

    screens.add("B", {1920, 0, 1920, 1080});
    unplug("C");
    app->screenParametersChanged();
    EXPECT_EQ(listed(), QStringList({"B"}));
    EXPECT_EQ(defaults->integer("selectedScreenIndex"), 0);
    EXPECT_FALSE(app->isOutputOpen() || app->output()->isOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つからなくなったため出力を停止しました");
}

TEST_F(ScreensTest, OnlyTheControlWindowMovingRefreshesAndItsMoveOntoTheOutputCloses) {
    make();
    app->refreshScreens();
    app->toggleOutput();  // on B
    ASSERT_TRUE(app->isOutputOpen());

    screens.windows = {{"Settings", "A"}, {"DOVRINE — Untitled", "B"}};
    app->windowDidChangeScreen("Settings");
    EXPECT_EQ(listed(), QStringList({"B", "C"})) << "another window's move refreshes nothing";
    app->windowDidChangeScreen("DOVRINE — Untitled");
    EXPECT_EQ(listed(), QStringList({"A", "C"}));
    EXPECT_FALSE(app->isOutputOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つからなくなったため出力を停止しました");
}

// The platform observer: a real window's move to another screen, by its title.
TEST_F(ScreensTest, TheObserverFollowsRealWindowsByTitle) {
    auto env = environment();
    env.installScreenObservers = true;
    app = std::make_unique<AppState>(env);
    QWidget settings, control;
    settings.setWindowTitle("Settings");
    control.setWindowTitle("DOVRINE — Untitled");
    settings.show();
    control.show();
    unplug("C");
    emit settings.windowHandle()->screenChanged(settings.windowHandle()->screen());
    EXPECT_EQ(listed(), QStringList({"A", "B", "C"})) << "another window refreshes nothing";
    emit control.windowHandle()->screenChanged(control.windowHandle()->screen());
    EXPECT_EQ(listed(), QStringList({"B"}));
}

TEST_F(ScreensTest, AnOutputWindowThatCannotOpenIsReported) {
    make();
    screens.list = {screens.list[0]};  // nothing left beside the control screen
    app->toggleOutput();
    EXPECT_EQ(status(), "出力先のディスプレイが見つかりません");

    // The controller refuses the chosen screen (a second control window stands on it).
    screens.add("B", {1920, 0, 1920, 1080});
    screens.windows = {{"DOVRINE — Untitled", "A"}, {"DOVRINE — Other", "B"}};
    app->engine().setLastMessage({});
    app->toggleOutput();
    EXPECT_FALSE(app->isOutputOpen());
    EXPECT_EQ(status(), "出力先のディスプレイが見つかりません");
}

TEST_F(AppStateFixture, FeedSwitchesTransportWhileRunningAndCountsReceivers) {
    make();
    app->setObsTransport(OBSTransport::ndi);
    EXPECT_FALSE(app->isOBSOpen()) << "switching while off starts nothing";
    app->setObsTransport(OBSTransport::syphon);
    app->toggleOBSOutput();
    ASSERT_TRUE(app->isOBSOpen()) << status().toStdString();
    EXPECT_EQ(status(), "受信アプリで共有テクスチャ DOVRINE を選択してください");
    app->setObsTransport(OBSTransport::ndi);
    EXPECT_EQ(app->runningOBSTransport(), OBSTransport::ndi);
    EXPECT_FALSE(app->syphonOutput()->isRunning());
    EXPECT_EQ(status(),
              "OBS ではメディアソースの「入力」に、tcp:// に続けて DOVRINE.netvideo "
              "に書かれた接続先を入れてください");

    auto tick = [&] { clock.advance(1.0 / 60); };
    const int fd = connectTo(runtimeDir.address("DOVRINE"));
    ASSERT_TRUE(
        waitUntil([&] { return app->obsConnectionCount() == 1; }, std::chrono::seconds(20), tick));
    EXPECT_TRUE(app->isOBSConnected());
    app->toggleOBSOutput();  // off: count and flag cleared at once, before any report
    EXPECT_FALSE(app->isOBSOpen() || app->isOBSConnected());
    EXPECT_EQ(app->obsConnectionCount(), 0);
    EXPECT_EQ(app->runningOBSTransport(), std::nullopt);
    ::close(fd);

    app->setObsTransport(OBSTransport::syphon);
    sandboxed = true;
    EXPECT_EQ(app->effectiveOBSTransport(), OBSTransport::ndi) << "the sandbox offers NDI only";
}

TEST_F(AppStateFixture, ReferenceToneReplacesProgramAudioUntilToggledOrPanicked) {
    make();
    app->startDeckLink();
    app->toggleReferenceTone(ReferenceToneKind::ebuIdent);
    EXPECT_EQ(status(), "基準信号を出力中: EBU IDENT -18dBFS（PROGRAM の音声は止めています）");
    EXPECT_TRUE(SDIAudioBridge::shared().hasTone());
    EXPECT_EQ(bridgeGains.back(), 0.0f) << "program audio silenced";
    EXPECT_TRUE(tone.localMuted()) << "a tone starting while SDI carries audio";
    app->setSdiMutesLocalAudio(false);
    EXPECT_FALSE(SDIAudioBridge::shared().muteLocalWhileActive());
    EXPECT_FALSE(tone.localMuted()) << "the setting applies at once";

    app->toggleReferenceTone(ReferenceToneKind::pinkNoise20);  // switches directly
    app->toggleReferenceTone(ReferenceToneKind::pinkNoise20);
    EXPECT_EQ(status(), "基準信号を止めました");
    EXPECT_FALSE(SDIAudioBridge::shared().hasTone());
    EXPECT_EQ(bridgeGains.back(), 1.0f);

    app->toggleReferenceTone(ReferenceToneKind::sine1k20);
    app->engine().panicOff();
    EXPECT_FALSE(tone.kind().has_value()) << "the panic ends the tone";
    app->engine().setLastMessage({});
    app->stopReferenceTone();
    EXPECT_TRUE(status().isEmpty()) << "no tone plays: no message";

    toneEngine.failure = "音声出力を開始できません";
    app->toggleReferenceTone(ReferenceToneKind::sine1k18);
    EXPECT_EQ(status(), "基準信号を出せません: 音声出力を開始できません");
    EXPECT_FALSE(SDIAudioBridge::shared().hasTone() || app->engine().isAudioSuppressed());
    app->stopDeckLink();
}

}  // namespace
}  // namespace velmar::test
