#include "platform/player/movie_player.h"

#include "platform/player/movie_source.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_media.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sched.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

namespace velmar {
namespace {

using test::TestMedia;

// Makes `name` in the media folder with ffmpeg from a lavfi source, unless it is there already.
QString made(const QString& name, const QString& source, const QStringList& encoding) {
    const QString path = TestMedia::directory() + "/" + name;
    if (!QFile::exists(path)) {
        TestMedia::run("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y", "-f",
                                             "lavfi", "-i", source} +
                                     encoding + QStringList{path});
    }
    return path;
}

const QStringList kGop10{"-c:v",          "libx264", "-g",  "10", "-keyint_min", "10",
                         "-sc_threshold", "0",       "-bf", "0",  "-pix_fmt",    "yuv420p"};

// 160x90, 25 fps, 1 s: frames at 0.00, 0.04 ... 0.96; one keyframe every 10 frames.
QString shortMovie() {
    return made("gop10.mp4", "testsrc2=size=160x90:rate=25:duration=1", kGop10);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Harness {
    test::FakeClock clock;
    std::atomic<int> ends{0};
    std::atomic<int> loops{0};
    std::unique_ptr<MoviePlayer> player;

    explicit Harness(const QString& path, MoviePlayer::Options options = {}) {
        MoviePlayer::Callbacks callbacks;
        callbacks.reachedEnd = [this] { ++ends; };
        callbacks.looped = [this] { ++loops; };
        player = std::make_unique<MoviePlayer>(path.toStdString(), clock, callbacks, options);
    }
    bool ready() {
        return test::waitUntil([&] { return player->status() != MoviePlayer::Status::Unknown; },
                               10) &&
               player->status() == MoviePlayer::Status::ReadyToPlay;
    }
    double shownTime() {
        auto& out = player->videoOutput();
        VideoFrameRef f = out.peekFrameForItemTime(out.itemTimeForHostTime(clock.now()));
        return f ? f->time() : -1;
    }
    // Waits until the output shows a frame at `time` for the clock's present item time.
    bool shows(double time) {
        return test::waitUntil([&] { return std::fabs(shownTime() - time) < 0.001; }, 5);
    }
    bool seek(double seconds, bool precise) {
        std::atomic<int> done{-1};
        player->seek(seconds, precise, [&](bool finished) { done = finished ? 1 : 0; });
        return test::waitUntil([&] { return done.load() >= 0; }, 5) && done.load() == 1;
    }
    // Runs the clock frame by frame up to frame `last` (of 0.04 s, across the loop points of a
    // movie `period` long, each shown as the end of the pass before): every frame comes in
    // turn, none is missing or repeated, and the clock never stops.
    void playFrames(int last, double period = 1.0) {
        auto& out = player->videoOutput();
        for (int i = 1; i <= last; ++i) {
            clock.advance(0.04);
            const double t = out.itemTimeForHostTime(clock.now());
            ASSERT_NEAR(t, i * 0.04, 1e-6);
            ASSERT_TRUE(test::waitUntil([&] {
                VideoFrameRef f = out.peekFrameForItemTime(t);
                return f && std::fabs(f->time() - t) < 0.001;
            })) << "frame "
                << i;
            const double passes = std::max(0.0, std::ceil(t / period - 1e-6) - 1);
            ASSERT_NEAR(player->currentTime(), t - passes * period, 1e-9) << i;
            ASSERT_EQ(player->rate(), 1.0f);
        }
    }
    static void pause(double seconds) {
        test::waitUntil([] { return false; }, seconds);
    }
};

TEST(MoviePlayer, ClockFollowsRateAndStopsAtTheEnd) {
    Harness h(shortMovie());
    ASSERT_TRUE(h.ready()) << h.player->errorMessage();
    EXPECT_NEAR(h.player->duration(), 1.0, 0.001);
    EXPECT_NEAR(h.player->nominalFrameDuration(), 0.04, 1e-9);
    auto& out = h.player->videoOutput();
    ASSERT_TRUE(out.hasNewFrameForItemTime(0.0));
    VideoFrameRef first = out.copyFrameForItemTime(0.0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->width(), 160);
    EXPECT_EQ(first->data()[3], 255);               // opaque
    EXPECT_FALSE(out.hasNewFrameForItemTime(0.0));  // taken already

    h.player->setRate(1.0f);
    h.clock.advance(0.5);
    EXPECT_NEAR(h.player->currentTime(), 0.5, 1e-9);
    h.player->setRate(2.0f);  // applied at once from the present position
    h.clock.advance(0.05);
    EXPECT_NEAR(h.player->currentTime(), 0.6, 1e-9);
    h.clock.advance(1.0);
    ASSERT_TRUE(test::waitUntil([&] { return h.ends.load() == 1; }, 5));
    EXPECT_EQ(h.player->rate(), 0.0f);
    EXPECT_NEAR(h.player->currentTime(), 1.0, 1e-9);
    EXPECT_TRUE(h.shows(0.96));  // rests on the last frame
    h.clock.advance(0.5);
    Harness::pause(0.05);
    EXPECT_EQ(h.ends.load(), 1);  // reported once
}

TEST(MoviePlayer, LoopsOnItsOwnWithoutAGapThenStopsAtTheLastEnd) {
    Harness h(shortMovie());
    ASSERT_TRUE(h.ready());
    h.player->setLoopsRemaining(1);
    h.player->setRate(1.0f);
    h.playFrames(49);
    EXPECT_TRUE(test::waitUntil([&] { return h.loops.load() == 1; }, 5));
    EXPECT_EQ(h.ends.load(), 0);
    EXPECT_EQ(h.player->loopsRemaining(), 0);
    // The second play ends like a single one: paused on its last frame, reported once.
    h.clock.advance(0.1);
    ASSERT_TRUE(test::waitUntil([&] { return h.ends.load() == 1; }, 5));
    EXPECT_EQ(h.player->rate(), 0.0f);
    EXPECT_NEAR(h.player->currentTime(), 1.0, 1e-9);
    EXPECT_EQ(h.loops.load(), 1);
    // A seek returns to the item's own timeline.
    ASSERT_TRUE(h.seek(0.5, true));
    EXPECT_NEAR(h.player->videoOutput().itemTimeForHostTime(h.clock.now()), 0.5, 1e-9);

    // Reverse play in the second pass of an endless loop folds back onto the item: from 0.12
    // back to 0, then rests at the start.
    Harness e(shortMovie());
    ASSERT_TRUE(e.ready());
    e.player->setLoopsRemaining(-1);
    e.player->setRate(1.0f);
    e.playFrames(28);
    e.player->setRate(-1.0f);
    e.clock.advance(0.08);
    EXPECT_NEAR(e.player->currentTime(), 0.04, 1e-6);
    EXPECT_TRUE(e.shows(0.04));
    e.clock.advance(0.5);
    ASSERT_TRUE(test::waitUntil([&] { return e.player->rate() == 0.0f; }, 5));
    EXPECT_NEAR(e.player->currentTime(), 0.0, 1e-9);
    EXPECT_TRUE(e.shows(0.0));
}

// 160x90, 25 fps, 0.6 s (15 frames) with B-frames, so the decoder reorders.
QString bFrameMovie(const QString& extension = "mp4") {
    return made("bframes15." + extension, "testsrc2=size=160x90:rate=25:duration=0.6",
                {"-c:v", "libx264", "-g", "25", "-bf", "3", "-pix_fmt", "yuv420p"});
}

// With sixteen decoding threads and the reorder delay the decoder holds back more pictures
// than the movie has: every one comes out at once at the end of the file, more than the queue
// holds, at the open and again at the end of each pass of a loop. Every frame still comes in
// turn, from the first to the end of a play and across the loop point, and the end is
// reported only after the last.
TEST(MoviePlayer, EveryFrameOfTheEndOfFileBurstIsShownInTurn) {
    MoviePlayer::Options options;
    options.videoThreads = 16;
    Harness h(bFrameMovie(), options);
    ASSERT_TRUE(h.ready()) << h.player->errorMessage();
    EXPECT_TRUE(h.shows(0.0));
    h.player->setRate(1.0f);
    h.playFrames(14, 0.6);
    EXPECT_EQ(h.ends.load(), 0);
    h.clock.advance(0.1);
    ASSERT_TRUE(test::waitUntil([&] { return h.ends.load() == 1; }, 5));
    EXPECT_TRUE(h.shows(0.56));

    Harness l(bFrameMovie(), options);
    ASSERT_TRUE(l.ready());
    l.player->setLoopsRemaining(2);
    l.player->setRate(1.0f);
    Harness::pause(0.05);  // the worker turns while the last pictures still wait
    l.playFrames(44, 0.6);
    EXPECT_TRUE(test::waitUntil([&] { return l.loops.load() == 2; }, 5));
    EXPECT_EQ(l.ends.load(), 0);
    l.clock.advance(0.1);
    ASSERT_TRUE(test::waitUntil([&] { return l.ends.load() == 1; }, 5));
    EXPECT_TRUE(l.shows(0.56 + 1.2));
}

// AVI keeps no presentation stamps, only the decoding order: the first picture is still at
// item time 0 and every later one comes in turn, though the decoder holds pictures back (with
// one decoding thread and with many).
TEST(MoviePlayer, AnAviWithBFramesStartsAtZeroAndShowsEveryFrameInTurn) {
    for (const int threads : {1, 16}) {
        SCOPED_TRACE(threads);
        MoviePlayer::Options options;
        options.videoThreads = threads;
        Harness h(bFrameMovie("avi"), options);
        ASSERT_TRUE(h.ready()) << h.player->errorMessage();
        EXPECT_TRUE(h.player->videoOutput().hasNewFrameForItemTime(0.0));
        EXPECT_TRUE(h.shows(0.0));
        h.player->setRate(1.0f);
        h.playFrames(14, 0.6);
        h.clock.advance(0.1);
        ASSERT_TRUE(test::waitUntil([&] { return h.ends.load() == 1; }, 5));
        EXPECT_TRUE(h.shows(0.56));
    }
}

// While the clock stands at rate 1 the picture queue fills and stays full; the sound is still
// read more than a second ahead, and the pictures passed over on the way (held as packets)
// come out in turn once the clock runs, none lost, with the sound kept ahead.
TEST(MoviePlayer, SoundReadsAheadOfAFullPictureQueue) {
    for (const char* container : {"mp4", "mov"}) {
        SCOPED_TRACE(container);
        TestMedia::MovieOptions options;
        options.width = 160;
        options.height = 90;
        options.seconds = 4;
        options.audio = true;
        const QString path = TestMedia::movie(container, options);
        ASSERT_FALSE(path.isEmpty());
        Harness h(path);
        ASSERT_TRUE(h.ready()) << h.player->errorMessage();
        ASSERT_TRUE(h.player->hasAudio());
        h.player->setRate(1.0f);
        EXPECT_TRUE(test::waitUntil([&] { return h.player->bufferedSoundSeconds() >= 1.2; }, 10))
            << h.player->bufferedSoundSeconds();
        EXPECT_TRUE(h.shows(0.0));
        h.playFrames(50, 4.0);
        EXPECT_TRUE(test::waitUntil([&] { return h.player->bufferedSoundSeconds() >= 1.2; }, 10))
            << h.player->bufferedSoundSeconds();
        EXPECT_LE(h.player->pooledFrameCount(), 20);
    }
}

// The bytes held for the sound's read-ahead bound what waits at once, not what passes through:
// a movie holding many times the bound over its length keeps its sound read ahead to the end.
TEST(MoviePlayer, SoundKeepsReadingAheadAfterMoreThanItsByteBoundWasHeld) {
    TestMedia::MovieOptions options;
    options.width = 160;
    options.height = 90;
    options.seconds = 8;
    options.audio = true;
    options.codec = "rawvideo";  // every picture packet is the same 160 × 90 × 1.5 bytes
    const QString path = TestMedia::movie("avi", options);
    ASSERT_FALSE(path.isEmpty());
    MoviePlayer::Options playerOptions;
    playerOptions.readAheadBytes = 100LL * 160 * 90 * 3 / 2;  // 4 s of pictures
    Harness h(path, playerOptions);
    ASSERT_TRUE(h.ready()) << h.player->errorMessage();
    ASSERT_TRUE(h.player->hasAudio());
    h.player->setRate(1.0f);
    auto& out = h.player->videoOutput();
    for (int i = 1; i < 200; ++i) {
        h.clock.advance(0.04);
        const double t = i * 0.04;
        ASSERT_TRUE(test::waitUntil([&] {
            VideoFrameRef f = out.peekFrameForItemTime(t);
            return f && std::fabs(f->time() - t) < 0.001;
        })) << "frame "
            << i;
        if (i % 25 != 0) continue;
        // Each second: the sound is read ahead again, as far as the movie goes.
        const double ahead = std::min(1.2, 7.9 - t);
        ASSERT_TRUE(test::waitUntil([&] { return h.player->bufferedSoundSeconds() >= ahead; }, 10))
            << "at " << t << " s: " << h.player->bufferedSoundSeconds();
    }
    h.clock.advance(0.1);
    EXPECT_TRUE(test::waitUntil([&] { return h.ends.load() == 1; }, 5));
}

TEST(MoviePlayer, SeeksPreciseLooseAndOutOfRange) {
    Harness h(shortMovie());
    ASSERT_TRUE(h.ready());
    struct Case {
        double target;
        bool precise;
        double time;   // item time after the seek
        double frame;  // frame shown
    };
    const Case cases[] = {
        {0.52, true, 0.52, 0.52}, {0.55, true, 0.55, 0.52}, {0.55, false, 0.4, 0.4},
        {0.85, false, 0.8, 0.8},  {-3.0, true, 0.0, 0.0},   {99.0, true, 1.0, 0.96},
        {0.0, true, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << (c.precise ? " precise" : " loose"));
        ASSERT_TRUE(h.seek(c.target, c.precise));
        EXPECT_NEAR(h.player->currentTime(), c.time, 1e-6);
        EXPECT_TRUE(h.shows(c.frame)) << h.shownTime();
    }
    // A superseded seek still completes; the newer one wins.
    std::atomic<int> first{-1}, second{-1};
    h.player->seek(0.2, true, [&](bool f) { first = f; });
    h.player->seek(0.6, true, [&](bool f) { second = f; });
    ASSERT_TRUE(test::waitUntil([&] { return first >= 0 && second >= 0; }, 5));
    EXPECT_EQ(second.load(), 1);
    EXPECT_NEAR(h.player->currentTime(), 0.6, 1e-6);
}

TEST(MoviePlayer, StepsByOneFrameEitherWay) {
    Harness h(shortMovie());
    ASSERT_TRUE(h.ready());
    h.player->setRate(1.0f);
    using Step = std::pair<int, double>;
    for (const Step& step :
         {Step{1, 0.04}, Step{1, 0.08}, Step{-1, 0.04}, Step{-1, 0.0}, Step{-1, 0.0}}) {
        const double frame = step.second;
        SCOPED_TRACE(frame);
        h.player->stepByCount(step.first);
        EXPECT_EQ(h.player->rate(), 0.0f);
        ASSERT_TRUE(
            test::waitUntil([&] { return std::fabs(h.player->currentTime() - frame) < 1e-6; }, 5));
        ASSERT_TRUE(h.shows(frame));  // stays at the start
    }
}

TEST(MoviePlayer, ReverseAndFastRatesShowFramesForTheClock) {
    Harness h(shortMovie());
    ASSERT_TRUE(h.ready());
    ASSERT_TRUE(h.seek(0.8, true));
    h.player->setRate(-1.0f);
    h.clock.advance(0.3);  // 0.5: the run from the keyframe at 0.4
    EXPECT_TRUE(h.shows(0.48)) << h.shownTime();
    h.clock.advance(0.2);  // 0.3: the group before
    EXPECT_TRUE(h.shows(0.28)) << h.shownTime();
    h.player->setRate(-8.0f);
    h.clock.advance(0.02);  // 0.14: still within the decoded run
    EXPECT_TRUE(h.shows(0.12)) << h.shownTime();
    ASSERT_TRUE(h.seek(0.9, true));
    h.clock.advance(0.01);  // 0.82: keyframes only, from the keyframe at 0.8
    EXPECT_TRUE(h.shows(0.8)) << h.shownTime();
    h.clock.advance(1.0);  // stops at the start
    EXPECT_TRUE(test::waitUntil([&] { return h.player->rate() == 0.0f; }, 5));
    EXPECT_EQ(h.player->currentTime(), 0.0);

    h.player->setRate(4.0f);
    h.clock.advance(0.15);  // 0.6: the keyframe at 0.4 at least
    EXPECT_TRUE(test::waitUntil([&] { return h.shownTime() >= 0.4 && h.shownTime() <= 0.6; }, 5))
        << h.shownTime();
    h.player->setRate(1.0f);  // back to every frame
    h.clock.advance(0.04);
    EXPECT_TRUE(h.shows(0.64)) << h.shownTime();
}

TEST(MoviePlayer, BadFilesFailClearlyWithoutHanging) {
    const QByteArray good = readAll(shortMovie());
    ASSERT_GT(good.size(), 1000);
    // The index up front intact, every picture scrambled: it opens, but nothing decodes.
    QByteArray scrambled = readAll(made("faststart.mp4", "testsrc2=size=160x90:rate=25:duration=1",
                                        kGop10 + QStringList{"-movflags", "+faststart"}));
    const int mdat = scrambled.indexOf("mdat");
    ASSERT_GT(mdat, 0);
    for (int i = mdat + 4; i < scrambled.size(); ++i) scrambled[i] = char((i * 13) ^ 0x5a);
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"truncated.mp4", good.left(good.size() / 2)},
        {"garbage.mov", QByteArray(4096, '\x5a')},
        {"empty.mp4", QByteArray()},
        {"scrambled.mp4", scrambled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(TestMedia::file(c.name, c.bytes));
        EXPECT_FALSE(h.ready());
        EXPECT_FALSE(h.player->errorMessage().empty());
        std::atomic<int> answered{-1};
        h.player->seek(0.5, true, [&](bool f) { answered = f; });
        EXPECT_TRUE(test::waitUntil([&] { return answered.load() == 0; }, 2));
    }
    // Never opened for reading: a missing file and a FIFO (whose open would wait for a writer).
    for (const QString& path :
         {TestMedia::directory() + "/no-such-file.mov", TestMedia::fifo("pipe.mp4")}) {
        Harness h(path);
        EXPECT_FALSE(h.ready());
    }

    // The time limit reaches into the open itself: with none left, a good file fails at once.
    MoviePlayer::Options noTime;
    noTime.openTimeoutSeconds = 0;
    Harness late(shortMovie(), noTime);
    EXPECT_FALSE(late.ready());
}

TEST(MoviePlayer, CorruptMiddleKeepsLastGoodFrameAndReachesTheEnd) {
    // An MPEG transport stream has no index to lose: damage only hits the pictures.
    QByteArray bytes =
        readAll(made("corrupt-source.ts", "testsrc2=size=160x90:rate=25:duration=1",
                     {"-c:v", "libx264", "-g", "10", "-bf", "0", "-pix_fmt", "yuv420p"}));
    ASSERT_FALSE(bytes.isEmpty());
    for (int i = bytes.size() / 2; i < bytes.size() / 2 + bytes.size() / 5; ++i)
        bytes[i] = char(i * 7);
    Harness h(TestMedia::file("corrupt-middle.ts", bytes));
    ASSERT_TRUE(h.ready()) << h.player->errorMessage();
    h.player->setRate(1.0f);
    for (int i = 0; i < 30 && h.ends.load() == 0; ++i, Harness::pause(0.005)) h.clock.advance(0.05);
    EXPECT_TRUE(test::waitUntil([&] { return h.ends.load() == 1; }, 5));
}

TEST(MoviePlayer, SingleFrameMovieEndsOnItsFrame) {
    TestMedia::MovieOptions one{64, 36};
    one.seconds = 0.04;
    Harness s(TestMedia::movie("mp4", one));
    ASSERT_TRUE(s.ready()) << s.player->errorMessage();
    s.player->setRate(1.0f);
    s.clock.advance(0.1);
    EXPECT_TRUE(test::waitUntil([&] { return s.ends.load() == 1; }, 5));
    EXPECT_TRUE(s.shows(0.0));
}

TEST(MoviePlayer, ConvertsToStraightBGRAWithTheMatrixAndRangeTheStreamNames) {
    // One colour made from RGB with the BT.601 matrix: tagged BT.601 (limited or full range) it
    // comes back, tagged BT.709 it is clearly off. Alpha stays straight.
    const QString colour = "color=c=0x20D040:size=64x36:rate=25:duration=0.2";
    const QStringList x264{"-c:v", "libx264", "-qp", "0", "-colorspace", "bt470bg"};
    struct Case {
        QString path;
        std::array<int, 4> bgra;
        bool matches;  // within 9 in all, or clearly off (beyond 30)
    };
    const Case cases[] = {
        {made("bt601.mp4", colour, x264 + QStringList{"-pix_fmt", "yuv420p"}),
         {0x40, 0xD0, 0x20, 255},
         true},
        {made("bt601-full.mp4", colour,
              x264 + QStringList{"-pix_fmt", "yuvj420p", "-color_range", "pc"}),
         {0x40, 0xD0, 0x20, 255},
         true},
        {made("bt709.mp4", colour,
              {"-c:v", "libx264", "-qp", "0", "-colorspace", "bt709", "-pix_fmt", "yuv420p"}),
         {0x40, 0xD0, 0x20, 255},
         false},
        {made("alpha.mov", "color=c=red@0.5:size=64x36:rate=25:duration=0.2,format=rgba",
              {"-c:v", "qtrle", "-pix_fmt", "argb"}),
         {0, 0, 255, 128},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        Harness h(c.path);
        ASSERT_TRUE(h.ready()) << h.player->errorMessage();
        EXPECT_EQ(h.player->hasAlpha(), c.bgra[3] != 255);
        VideoFrameRef f = h.player->videoOutput().copyFrameForItemTime(0);
        ASSERT_TRUE(f);
        const std::uint8_t* px = f->data() + 18 * f->bytesPerRow() + 32 * 4;
        int error = 0;
        for (int i = 0; i < 4; ++i) error += std::abs(px[i] - c.bgra[i]);
        EXPECT_TRUE(c.matches ? error <= 9 : error > 30)
            << int(px[0]) << " " << int(px[1]) << " " << int(px[2]) << " " << int(px[3]);
    }
}

TEST(MovieSource, CountsOnlyTheCoresItMayRunOn) {
    int counted = 0;
    std::thread pinned([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        if (sched_setaffinity(0, sizeof one, &one) == 0) counted = MovieSource::usableCores();
    });
    pinned.join();
    EXPECT_EQ(counted, 1);
}

}  // namespace
}  // namespace velmar
