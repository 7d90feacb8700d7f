#include "engine_fixture.h"

#include "core/media_loader.h"
#include "platform/base/main_thread.h"
#include "support/test_media.h"

#include <sys/stat.h>

namespace velmar::test {
namespace {

using State = PlayoutEngine::State;

TEST_F(EngineFixture, EveryMotionTakesAStillOnAndOffWithItsLabel) {
    for (MotionKind motion : MotionKind::allCases()) {
        engine->setDefaultMotion(motion);
        loadTab({still("A")});
        engine->spacePressed();
        EXPECT_EQ(engine->outputState()->motion, motion);
        EXPECT_EQ(engine->state() == State::on, motion == MotionKind::cut) << "a cut has no ramp";
        clock.advance(0.6);
        EXPECT_EQ(engine->state(), State::on) << motion.rawValue().toStdString();
        engine->spacePressed();
        if (motion != MotionKind::cut) clock.advance(0.6);
        EXPECT_EQ(engine->state(), State::off) << motion.rawValue().toStdString();
    }
    const QStringList lines = logText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 18);
    EXPECT_EQ(lines[1], "OFF   A  [CUT 0.50s]") << "a cut still logs its duration";
    EXPECT_EQ(lines[4], "ON    A  [SLIDE ← 0.50s]");
    EXPECT_EQ(lines[17], "OFF   A  [ROTATE 0.50s]");
}

TEST_F(EngineFixture, AMovieWaitsForPreparationPlaysAtFullLevelAndPausesOffAir) {
    TestMedia::MovieOptions options{160, 90};
    const QString path = TestMedia::movie("mp4", options);
    ASSERT_FALSE(path.isEmpty());
    Clip clip = movie("M");
    clip.url = QUrl::fromLocalFile(path);
    loadTab({clip});
    ASSERT_TRUE(engine->nextMedia().has_value());
    const auto playback = engine->nextMedia()->asMovie()->playback;
    waitFor([&] { return playback->isPrepared(); });

    engine->spacePressed();
    EXPECT_FALSE(playback->wantsPlay()) << "a movie starts only at full level";
    clock.advance(0.6);
    EXPECT_TRUE(playback->wantsPlay());
    engine->spacePressed();
    clock.advance(0.6);
    EXPECT_FALSE(playback->wantsPlay());
}

TEST_F(EngineFixture, AMovieNotYetPreparedIsRefusedWithoutRestartingItsPreload) {
    Clip clip = movie("Never");  // no such file: its player never becomes prepared
    loadTab({clip});
    ASSERT_TRUE(engine->nextMedia().has_value());
    const auto playback = engine->nextMedia()->asMovie()->playback;
    engine->spacePressed();
    EXPECT_EQ(engine->lastMessage(), "動画の準備中です: Never");
    EXPECT_EQ(engine->nextMedia()->asMovie()->playback, playback);
}

// A movie replaced by a FIFO after it was verified: its player cannot open it once it is NEXT,
// and the clip is marked unreadable with the probe's reason instead of staying in preparation.
TEST_F(EngineFixture, AMovieItsPlayerCannotOpenIsMarkedUnreadableWithTheProbesReason) {
    PlayoutEngine::Services s = services();
    s.movieProbeFailure = [](const QUrl& url) -> std::optional<QString> {
        const MediaLoader::Probe probe = MediaLoader::probe(url);
        if (probe.isReady()) return std::nullopt;
        return probe.message;
    };
    engine = std::make_unique<PlayoutEngine>(s);
    QList<QPair<QString, QString>> reported;
    engine->onUnreadableClips = [&reported](const auto& report) { reported << report; };
    const QString path = dir.filePath("a.mov");
    ASSERT_TRUE(QFile::copy(TestMedia::movie("mp4", {160, 90}), path));
    Clip a = movie("a");
    a.url = QUrl::fromLocalFile(path);
    loadTab({still("S"), a});
    ASSERT_TRUE(rundown().isVerified(rundown().groups()[0].clips[1]));

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    rundown().setSelectedIndex(1);
    ASSERT_TRUE(engine->nextMedia().has_value());
    // The player answers a preroll only after it has posted its failure (or when it goes), so the
    // failure has reached the main thread before this answer does.
    bool answered = false;
    engine->nextMedia()->asMovie()->playback->player().preroll(
        [&answered](bool) { postToMain([&answered] { answered = true; }); });
    waitFor([&answered] { return answered; });
    settle();

    const QString reason = "通常のローカルファイルではありません";
    EXPECT_EQ(rundown().groups()[0].clips[1].unreadableReason, reason);
    EXPECT_EQ(reported, (QList<QPair<QString, QString>>{{"a", reason}}));
    EXPECT_FALSE(engine->nextMedia().has_value());
    engine->spacePressed();
    EXPECT_EQ(engine->lastMessage(), "a: " + reason);
}

TEST_F(EngineFixture, RealFilesReachAirThroughTheStandardLoaders) {
    PlayoutEngine::Services s = PlayoutEngine::Services::standard();
    s.clock = &clock;
    s.timers = &clock;
    s.log = &log;
    s.makePlayback = [this](const QUrl& url, bool muted, int loops) {
        return MoviePlayback::create(url.toLocalFile(), muted, loops, clock);
    };
    engine = std::make_unique<PlayoutEngine>(s);

    TestMedia::StillOptions big{2400, 1200};
    Clip picture = still("Picture");
    picture.url = QUrl::fromLocalFile(TestMedia::still("png", big));
    Clip text = still("NotAnImage");
    text.url = QUrl::fromLocalFile(TestMedia::file("not-an-image.png", "hello"));
    QList<QPair<QString, QString>> unreadable;
    engine->onUnreadableClips = [&](const auto& list) { unreadable = list; };

    rundown().loadGroups({tab("Tab", {picture, text})});
    waitFor([&] { return engine->nextMedia().has_value(); });
    waitFor([&] { return !unreadable.isEmpty(); });
    EXPECT_EQ(unreadable[0].first, "NotAnImage");

    engine->returnPressed();
    const auto snap = engine->outputState();
    ASSERT_TRUE(snap->media && snap->media->isStill());
    const QImage& image = **snap->media->asStill();
    EXPECT_EQ(image.size(), QSize(1920, 960)) << "fitted to the canvas, never larger";
}

}  // namespace
}  // namespace velmar::test
