#include "engine_fixture.h"

#include "support/test_media.h"

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
