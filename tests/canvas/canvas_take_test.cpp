// A take through the real playout engine and a real movie playback, rendered at the paced SDI
// frame time with a fading keyer over it.
#include "canvas_fixture.h"

#include "core/movie_playback.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "models/language_settings.h"
#include "platform/player/player_video_output.h"
#include "support/event_loop.h"
#include "support/test_media.h"

#include <QTemporaryDir>

#include <cmath>

namespace velmar::test {
namespace {

constexpr int W = 64, H = 36;

struct CanvasTakeTest : ::testing::Test {
    QTemporaryDir dir;
    FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock, [](const QString&) {}};
    StillTextureCache stillCache;
    // Opaque, transparent and half-transparent columns.
    ImageRef keyerImage = makeImage(W, H, [](int x, int) {
        if (x < 20) return Bgra{90, 40, 200, 255};
        if (x < 44) return Bgra{0, 0, 0, 0};
        return Bgra{60, 220, 10, 128};
    });
    std::mutex mutex;
    DSKController::Snapshot keyer;
    std::unique_ptr<PlayoutEngine> engine;
    std::unique_ptr<CanvasEngine> canvas;

    void SetUp() override {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        PlayoutEngine::Services s;
        s.clock = &clock;
        s.timers = &clock;
        s.log = &log;
        s.loadFittedStill = [](const QUrl&, const CanvasFormat&) { return ImageRef(); };
        s.runInBackground = [](std::function<void()> work) { work(); };
        s.makePlayback = [this](const QUrl& url, bool muted, int loops) {
            return MoviePlayback::create(url.toLocalFile(), muted, loops, clock);
        };
        engine = std::make_unique<PlayoutEngine>(s);
        engine->setCanvas(CanvasFormat{W, H, "small"});

        CanvasEngine::Sources sources;
        sources.outputState = [this] { return engine->outputState(); };
        sources.keyerSnapshot = [this] {
            std::lock_guard lock(mutex);
            return keyer;
        };
        sources.frameRate = [this] { return engine->frameRate(); };
        CanvasEngine::Options options;
        options.clock = &clock;
        options.device = gpu::Device::create(2);
        options.stillCache = &stillCache;
        canvas = CanvasEngine::create(std::move(sources), options);
        ASSERT_TRUE(canvas);
        engine->onProgramMediaChange = [this](const std::optional<PlayoutMedia>&) {
            canvas->invalidateSource();
        };
    }
    void TearDown() override {
        canvas.reset();
        engine.reset();
        drainMainQueue();
        MoviePlayer::waitForReleases();
    }

    void settle() {
        drainMainQueue();
        waitFor([this] { return !engine->isNextLoading(); });
        drainMainQueue();
    }
};

TEST_F(CanvasTakeTest, AMovieGoesToAirUnderAFadingKeyer) {
    TestMedia::MovieOptions options{W, H};
    // Far longer than the 15 frames shown: at the end of the file the player takes every
    // picture its decoder still holds at once, which can overfill its queue and push out the
    // picture on show, depending on how far the render had got.
    options.seconds = 3;
    const QString moviePath = TestMedia::movie("mp4", options);
    ASSERT_FALSE(moviePath.isEmpty());
    Clip m;
    m.url = QUrl::fromLocalFile(moviePath);
    m.kind = Clip::Kind::movie;
    m.loopCount = 1;
    ClipGroup group;
    group.clips = {m};
    engine->rundown().loadGroups({group});
    settle();

    const double period = 1.0 / 25;
    canvas->setDeckLinkClock(true, period);
    const auto sdi = canvas->renderer()->makeSharedRenderTarget(W, H);
    const auto& pixels = *sdi->texture;
    {
        std::lock_guard lock(mutex);
        keyer.media = PlayoutMedia::still(keyerImage);
        keyer.from = 0;
        keyer.to = 0.5;
        keyer.started = clock.now();
        keyer.duration = 0.5;  // level = elapsed seconds, up to 0.5
    }
    const double keyerStart = clock.now();

    ASSERT_TRUE(engine->nextMedia() && engine->nextMedia()->isMovie());
    const auto playback = engine->nextMedia()->asMovie()->playback;
    waitFor([&] { return playback->isPrepared(); });
    PlayerVideoOutput& output = *playback->videoOutput();
    engine->returnPressed();
    ASSERT_TRUE(engine->programMedia() && engine->programMedia()->isMovie());
    // The take restarts the movie from its start on the player's thread, which re-anchors the
    // player's clock whenever it lands. A seek of our own to the same place completes after
    // that restart (or replaces it), so no re-anchoring happens under the renders below.
    std::atomic<bool> restarted{false};
    playback->player().seek(0.0, true, [&](bool) { restarted = true; });
    waitFor([&] { return restarted.load() && playback->playerRate() == 1.0f; });
    for (int frame = 0; frame < 15; ++frame) {  // the keyer reaches 0.5 on the way
        SCOPED_TRACE(frame);
        clock.advance(period);
        const double expected = output.itemTimeForHostTime(clock.now());
        // Decoding runs on real threads: the picture is waited for however long a loaded
        // machine takes, never against a deadline.
        waitFor([&] {
            const VideoFrameRef f = output.peekFrameForItemTime(expected);
            return f && f->time() > expected - period / 2;
        });
        ASSERT_TRUE(canvas->renderOutputFrame(sdi->texture));
        // The frame delivered is the one for the paced frame time (here the clock's time).
        const auto delivered = playback->health().lastDeliveredSeconds;
        ASSERT_TRUE(delivered);
        EXPECT_NEAR(*delivered, expected, 1e-9);
        const VideoFrameRef shown = output.peekFrameForItemTime(*delivered);
        ASSERT_TRUE(shown);
        const double level = std::min(0.5, clock.now() - keyerStart);
        expectKeyed(pixels, *keyerImage, level, [&](int x, int y) {
            const uint8_t* p =
                shown->data() + size_t(y) * size_t(shown->bytesPerRow()) + size_t(x) * 4;
            return Bgra{p[0], p[1], p[2], p[3]};
        });
    }
}

}  // namespace
}  // namespace velmar::test
