// A take through the real playout engine and a real movie playback, rendered by the canvas
// engine into a shared pixel buffer at the paced SDI frame time, with the keyer over it.
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
    // The still the engine loads for "S": a soft alpha ramp over colours.
    ImageRef still = makeImage(W, H, [](int x, int y) {
        return Bgra{(x * 4) % 256, (y * 7) % 256, 255 - x * 3, 40 + x * 3};
    });
    // The keyer: opaque, transparent and half-transparent columns.
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
        s.loadFittedStill = [this](const QUrl&, const CanvasFormat&) { return still; };
        s.runInBackground = [](std::function<void()> work) { work(); };
        s.makePlayback = [this](const QUrl& url, bool muted, int loops) {
            return MoviePlayback::create(url.toLocalFile(), muted, loops, clock);
        };
        engine = std::make_unique<PlayoutEngine>(s);
        engine->setCanvas(CanvasFormat{W, H, "small"});

        // The keyer's medium reaches the canvas through its snapshot, taken after the canvas
        // lock as the keyer's own would be.
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
        waitUntil([this] { return !engine->isNextLoading(); }, 5.0);
        drainMainQueue();
    }
};

TEST_F(CanvasTakeTest, AStillThenAMovieGoToAirUnderAFadingKeyer) {
    TestMedia::MovieOptions options;
    options.width = W;
    options.height = H;
    const QString moviePath = TestMedia::movie("mp4", options);
    ASSERT_FALSE(moviePath.isEmpty());
    Clip s, m;
    s.url = QUrl::fromLocalFile("/media/S.png");
    s.kind = Clip::Kind::still;
    m.url = QUrl::fromLocalFile(moviePath);
    m.kind = Clip::Kind::movie;
    m.loopCount = 1;
    ClipGroup group;
    group.clips = {s, m};
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

    // The still by cut; the keyer's ramp is still at 0.
    engine->returnPressed();
    ASSERT_EQ(engine->state(), PlayoutEngine::State::on);
    auto stillAt = [&](int x, int y) { return straightOf(still->constScanLine(y) + x * 4); };
    ASSERT_TRUE(canvas->renderOutputFrame(sdi->texture));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(pixelAt(pixels, x, y), stillAt(x, y)) << x << "," << y;

    // Five frames later the keyer stands at 0.2 at the paced frame time.
    clock.advance(5 * period);
    ASSERT_TRUE(canvas->renderOutputFrame(sdi->texture));
    expectKeyed(pixels, *keyerImage, 5 * period, stillAt);

    // The movie by cut (NEXT moved on to it); once prepared it plays at full level.
    settle();
    ASSERT_TRUE(engine->nextMedia() && engine->nextMedia()->isMovie());
    const auto playback = engine->nextMedia()->asMovie()->playback;
    ASSERT_TRUE(waitUntil([&] { return playback->isPrepared(); }, 10));
    engine->returnPressed();
    ASSERT_TRUE(engine->programMedia() && engine->programMedia()->isMovie());
    ASSERT_TRUE(waitUntil([&] { return playback->playerRate() == 1.0f; }, 5));
    PlayerVideoOutput& output = *playback->videoOutput();
    for (int frame = 0; frame < 12; ++frame) {  // the keyer reaches 0.5 on the way
        SCOPED_TRACE(frame);
        clock.advance(period);
        // Ask for the item time on every try: the player may re-anchor its clock while its start
        // settles on a loaded machine.
        ASSERT_TRUE(waitUntil(
            [&] {
                const double item = output.itemTimeForHostTime(clock.now());
                const auto f = output.peekFrameForItemTime(item);
                return f && f->time() > item - period / 2;
            },
            10));
        ASSERT_TRUE(canvas->renderOutputFrame(sdi->texture));
        // The frame delivered is the one for the paced frame time (here the clock's time; the
        // player may have re-anchored its clock while its start settled, so ask it now).
        const auto delivered = playback->health().lastDeliveredSeconds;
        ASSERT_TRUE(delivered);
        EXPECT_NEAR(*delivered, output.itemTimeForHostTime(clock.now()), 1e-9);
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
