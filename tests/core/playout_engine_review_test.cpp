// Edge cases of the take controls, the snapshot and NEXT preloading that the other engine tests
// leave open: locale-independent log lines, emissions only on real changes, take-off motions,
// the key switch during a fade-out, and superseded movie refinements.
#include "engine_fixture.h"

#include "support/test_media.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <string>

namespace velmar::test {
namespace {

using State = PlayoutEngine::State;

// Switches LC_NUMERIC to a locale whose decimal separator is a comma, as the application object
// does from the environment, and puts the old one back at the end of the scope.
class CommaLocale {
  public:
    CommaLocale() : previous_(std::setlocale(LC_NUMERIC, nullptr)) {
        if (tryInstalled()) return;
        // None installed: compile one into a private folder, where the C library looks first.
        static const QString built = [] {
            static QTemporaryDir dir;
            const QString out = dir.path() + "/de_DE.UTF-8";
            if (!TestMedia::run("localedef", {"-i", "de_DE", "-f", "UTF-8", out})) return QString();
            return dir.path();
        }();
        if (!built.isEmpty()) {
            qputenv("LOCPATH", built.toLocal8Bit());
            if (tryInstalled()) return;
        }
        std::setlocale(LC_NUMERIC, previous_.c_str());
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }

    bool tryInstalled() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                                 "nl_NL.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name) == nullptr) continue;
            char text[8];
            std::snprintf(text, sizeof text, "%.1f", 0.5);
            if (text[1] == ',') {
                active_ = true;
                return true;
            }
        }
        return false;
    }
    bool active() const { return active_; }

  private:
    std::string previous_;
    bool active_ = false;
};

TEST_F(EngineFixture, TakeLogLinesWriteAPointWhateverTheLocale) {
    Clip a = still("A");
    a.motionDuration = 1.25;
    loadTab({a});
    {
        CommaLocale comma;
        if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma is installed";
        engine->spacePressed();
        clock.advance(1.3);
        engine->spacePressed();
        clock.advance(1.3);
    }
    EXPECT_EQ(logText(), "ON    A  [FADE 1.25s]\nOFF   A  [FADE 1.25s]\n");
}

TEST_F(EngineFixture, ProgramIsPublishedOnlyWhenItChanges) {
    loadTab({still("A")});
    QSignalSpy program(engine.get(), &PlayoutEngine::programChanged);
    engine->panicOff();  // nothing on program
    engine->returnPressed();
    engine->returnPressed();  // cut off: NEXT stands at the end
    engine->panicOff();       // off again
    EXPECT_EQ(program.count(), 2) << "one take, one take-off; the panics while off changed nothing";
}

TEST_F(EngineFixture, TakeOffUsesTheProgramClipsMotionOrTheDefaultsAsTheyStandThen) {
    Clip own = still("Own");
    own.motion = MotionKind::slideLeft;
    own.motionDuration = 1.0;
    loadTab({own, still("Plain")});
    engine->spacePressed();
    clock.advance(1.1);
    engine->setDefaultMotion(MotionKind::zoom);
    engine->setFadeDuration(2.0);
    engine->spacePressed();
    EXPECT_EQ(engine->outputState()->motion, MotionKind::slideLeft);
    clock.advance(1.1);
    ASSERT_EQ(engine->state(), State::off);

    engine->setDefaultMotion(MotionKind::fade);
    engine->setFadeDuration(0.5);
    settle();
    engine->spacePressed();  // Plain, with the defaults of now
    clock.advance(0.6);
    engine->setDefaultMotion(MotionKind::dive);
    engine->setFadeDuration(0.25);
    engine->spacePressed();
    EXPECT_EQ(engine->outputState()->motion, MotionKind::dive);
    clock.advance(0.3);
    EXPECT_EQ(engine->state(), State::off);
    EXPECT_EQ(logText(),
              "ON    Own  [SLIDE ← 1.00s]\nOFF   Own  [SLIDE ← 1.00s]\n"
              "ON    Plain  [FADE 0.50s]\nOFF   Plain  [DIVE 0.25s]\n");
}

TEST_F(EngineFixture, NoOpsOfReloadingFromDiskAndOfStaleUnreadableEntriesChangeNothing) {
    Clip m = movie("M");
    Clip a = still("A");
    loadTab({m, a});
    int reports = 0;
    engine->onUnreadableClips = [&](const auto&) { ++reports; };
    QSignalSpy groups(&rundown(), &Rundown::clipsChanged);
    QSignalSpy pending(&rundown(), &Rundown::pendingVerificationChanged);
    engine->reloadSelectedStillFromDisk();  // NEXT is a movie
    EXPECT_EQ(groups.count(), 0);
    rundown().setSelectedIndex(2);
    groups.clear();
    engine->applyUnreadable({{a.id, QUrl::fromLocalFile("/media/other.png"), "A", "r"},
                             {QUuid::createUuid(), a.url, "gone", "r"}});
    EXPECT_EQ(groups.count(), 0);
    EXPECT_EQ(pending.count(), 0);
    EXPECT_EQ(reports, 0);
    EXPECT_TRUE(rundown().isVerified(rundown().groups()[0].clips[1]));
}

// Movie NEXT with probes that answer by name ("nosize…" gets no size); background work waits.
struct MovieNextTest : EngineFixture {
    void SetUp() override {
        EngineFixture::SetUp();
        PlayoutEngine::Services s = services();
        s.runInBackground = [this](std::function<void()> work) {
            deferred.push_back(std::move(work));
        };
        s.videoPixelSize = [](const QUrl& url) -> std::optional<QSizeF> {
            if (url.fileName().startsWith("nosize")) return std::nullopt;
            return QSizeF(640, 360);
        };
        s.firstFrame = [](const QUrl&, int maxPixel) -> ImageRef {
            return std::make_shared<QImage>(maxPixel / 8, 4, QImage::Format_RGBA8888_Premultiplied);
        };
        // Players of a real movie: none fails, so none queues a probe of its failure.
        const QString playable = TestMedia::movie("mp4", {160, 90});
        s.makePlayback = [this, playable](const QUrl&, bool muted, int loops) {
            return MoviePlayback::create(playable, muted, loops, clock);
        };
        engine = std::make_unique<PlayoutEngine>(s);
    }
    const PlayoutMedia::Movie* nextMovie() const {
        return engine->nextMedia() ? engine->nextMedia()->asMovie() : nullptr;
    }
};

// A refinement keeps the playback object and adds the poster; a superseded one is dropped; a movie
// the probe cannot size keeps the canvas size.
TEST_F(MovieNextTest, RefinementsKeepThePlaybackAndOnlyTheNewestIsApplied) {
    rundown().loadGroups({tab("Tab", {movie("nosize"), movie("sized")})});
    runDeferred();  // verification and metadata; the refinement of NEXT is now queued
    rundown().setSelectedIndex(1);
    ASSERT_NE(nextMovie(), nullptr);
    const auto second = nextMovie()->playback;
    EXPECT_EQ(nextMovie()->size, QSizeF(640, 360)) << "the stored size of the clip";
    ASSERT_EQ(deferred.size(), 2u);

    auto work = std::move(deferred);
    deferred.clear();
    work[0]();  // the first request's refinement
    drainMainQueue();
    EXPECT_EQ(nextMovie()->poster, nullptr);
    work[1]();
    drainMainQueue();
    EXPECT_EQ(nextMovie()->playback, second);
    ASSERT_NE(nextMovie()->poster, nullptr);
    EXPECT_EQ(nextMovie()->poster->width(), 1920 / 8) << "poster limited by the larger canvas side";

    rundown().setSelectedIndex(0);
    runDeferred();
    ASSERT_NE(nextMovie(), nullptr);
    EXPECT_EQ(nextMovie()->size, QSizeF(1920, 1080));
    EXPECT_NE(nextMovie()->poster, nullptr);
}

}  // namespace
}  // namespace velmar::test
