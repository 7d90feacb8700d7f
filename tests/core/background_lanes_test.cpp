// The engine's and the keyer's background work on the program's own lanes, with every movie
// probe and still check blocked.
#include "core/background_runner.h"
#include "core/dsk_controller.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_gate.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <mutex>
#include <set>

namespace velmar {
namespace {

// Mended: verification passes, NEXT posters, test patterns and keyer loads shared one pool as
// large as the machine has cores, and a pass holds its thread for all its clips, so probes that
// hang could keep a keyer load or a test pattern from starting while on air.
TEST(BackgroundLanesTest, KeyerLoadsAndTestPatternsStartWhileEveryProbeIsBlocked) {
    QTemporaryDir dir;
    test::FakeClock clock;
    PlayoutLog log(dir.path() + "/Logs", clock, clock, [](const QString&) {});
    test::TestGate probes;
    struct Release {  // a failed check leaves no job blocked behind it
        test::TestGate& gate;
        ~Release() { gate.open(); }
    } release{probes};
    PlayoutEngine::Services s = PlayoutEngine::Services::standard();
    s.clock = &clock;
    s.timers = &clock;
    s.log = &log;
    s.movieProbeFailure = [&](const QUrl&) -> std::optional<QString> {
        probes.pass();
        return std::nullopt;
    };
    s.stillRejectionReason = s.movieProbeFailure;
    s.videoPixelSize = [&](const QUrl&) -> std::optional<QSizeF> {
        probes.pass();
        return std::nullopt;
    };
    s.prepareTexture = nullptr;
    PlayoutEngine engine(s);
    engine.setCanvas(CanvasFormat{64, 36, "test"});

    // More passes than the machine has cores, each stuck on its first clip.
    const int passes = 2 * QThread::idealThreadCount() + 2;
    for (int i = 0; i < passes; ++i) {
        Clip clip;
        clip.kind = Clip::Kind::movie;
        clip.url = QUrl::fromLocalFile(QString("/media/m%1.mov").arg(i));
        clip.displayName = clip.url.fileName();
        engine.verify({clip});
    }
    ASSERT_TRUE(probes.awaitWaiting(1));
    EXPECT_EQ(engine.rundown().pendingVerification(), passes);

    // The keyer loads a still on the same program lanes.
    const QString still = dir.filePath("key.png");
    QFile(still).open(QIODevice::WriteOnly);
    DSKController::Services k = DSKController::Services::standard();
    k.clock = &clock;
    k.timers = &clock;
    k.loadFullStill = [](const QUrl&) -> ImageRef {
        auto image = std::make_shared<QImage>(8, 8, QImage::Format_RGBA8888_Premultiplied);
        image->fill(Qt::green);
        return image;
    };
    k.prepareTexture = nullptr;
    DSKController keyer(k);
    keyer.load(QUrl::fromLocalFile(still));
    EXPECT_TRUE(test::waitUntil([&] { return keyer.media().has_value(); }, 60))
        << "the keyer load waited behind the blocked probes";
    engine.showTestPattern(TestPatternKind::colorBars75, LEDCabinetSize{128, 128});
    EXPECT_TRUE(test::waitUntil([&] { return engine.testPattern().has_value(); }, 60))
        << "the test pattern waited behind the blocked probes";
    EXPECT_EQ(engine.rundown().pendingVerification(), passes) << "the probes are still blocked";

    // Let go, every pass finishes.
    probes.open();
    EXPECT_TRUE(test::waitUntil([&] { return engine.rundown().pendingVerification() == 0; }, 60));
}

// Every kind of work has a lane of its own in the process's runner: a job of each kind runs. A
// kind without one would have its jobs refused, and whatever waits on them would wait for ever.
TEST(BackgroundLanesTest, EveryKindOfWorkHasALane) {
    using Work = BackgroundRunner::Work;
    const Work kinds[] = {Work::verification, Work::metadata,   Work::nextPoster, Work::testPattern,
                          Work::keyerListing, Work::keyerStill, Work::keyerMovie};
    EXPECT_EQ(std::size(kinds), BackgroundRunner::kWorkKinds);
    struct Ran {
        std::mutex mutex;
        std::set<Work> kinds;
    };
    const auto ran = std::make_shared<Ran>();  // a job may outlive a failed test
    const BackgroundRunner runner = BackgroundRunner::standard();
    for (const Work kind : kinds) {
        EXPECT_GE(BackgroundRunner::standardLimit(kind), 1) << int(kind);
        runner(kind, [ran, kind] {
            std::lock_guard lock(ran->mutex);
            ran->kinds.insert(kind);
        });
    }
    EXPECT_TRUE(test::waitUntil(
        [&] {
            std::lock_guard lock(ran->mutex);
            return ran->kinds.size() == std::size(kinds);
        },
        60));
    std::lock_guard lock(ran->mutex);
    for (const Work kind : kinds) EXPECT_TRUE(ran->kinds.count(kind)) << int(kind);
}

}  // namespace
}  // namespace velmar
