#include "core/thumbnail_cache.h"
#include "support/qt_printers.h"

#include "core/concurrency_gate.h"
#include "core/media_loader.h"
#include "platform/base/main_thread.h"
#include "support/child_probe.h"
#include "support/crafted_still.h"
#include "support/event_loop.h"
#include "support/test_media.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace velmar {
namespace {

using test::CraftedStill;
using test::TestMedia;

QUrl stillFileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

TestMedia::MovieOptions tinyMovie(int frameRate = 25) {
    TestMedia::MovieOptions o{64, 36, frameRate};
    o.seconds = 0.2;
    return o;
}

// Collects completions: how many came, whether any came off the main thread, the last picture.
struct Results {
    struct State {
        int count = 0;
        bool offMain = false;
        ImageRef last;
    };
    std::shared_ptr<State> s = std::make_shared<State>();

    ThumbnailCache::Completion completion() const {
        return [s = s](ImageRef image) {
            ++s->count;
            s->offMain |= !isMainThread();
            s->last = std::move(image);
        };
    }
    bool waitFor(int n) const {
        return test::waitUntil([&] { return s->count >= n; }, 20.0);
    }
};

TEST(ConcurrencyGateTest, AdmitsTwoThenServesWaitersInOrder) {
    ConcurrencyGate gate(2);
    std::vector<int> admitted;
    for (int i = 0; i < 4; ++i) gate.acquire([&, i] { admitted.push_back(i); });
    EXPECT_EQ(admitted, (std::vector<int>{0, 1}));
    EXPECT_EQ(gate.waiting(), 2);
    gate.release();  // hands the slot to waiter 2 without lowering the count
    gate.release();
    EXPECT_EQ(admitted, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(gate.running(), 2);
    EXPECT_EQ(gate.waiting(), 0);
    for (int i = 0; i < 3; ++i) gate.release();  // nobody waits: down to 0 and no lower
    EXPECT_EQ(gate.running(), 0);
}

TEST(ThumbnailCacheTest, DecodesStillsInTheBackgroundAndServesHitsAtOnce) {
    ThumbnailCache cache;
    const QUrl url = stillFileUrl(TestMedia::still("png", {640, 480}));
    Results first;
    cache.thumbnail(url, 320, first.completion());
    EXPECT_EQ(first.s->count, 0);  // a miss never completes before returning
    ASSERT_TRUE(first.waitFor(1));
    EXPECT_FALSE(first.s->offMain);
    ASSERT_TRUE(first.s->last);
    EXPECT_EQ((first.s->last)->size(), QSize(320, 240));
    EXPECT_EQ(cache.count(), 1);
    EXPECT_EQ(cache.totalCost(), 320 * 4 * 240);

    // Keyed by path alone: a larger request gets the cached picture, before returning.
    Results second;
    cache.thumbnail(url, 640, second.completion());
    EXPECT_EQ(second.s->count, 1);
    EXPECT_EQ(second.s->last, first.s->last);

    // A movie's thumbnail is its first frame.
    const QUrl movie = stillFileUrl(TestMedia::movie("mov", tinyMovie()));
    cache.thumbnail(movie, 32, second.completion());
    ASSERT_TRUE(second.waitFor(2));
    ASSERT_TRUE(second.s->last);
    EXPECT_EQ((second.s->last)->size(), QSize(32, 18));
    EXPECT_TRUE(cache.contains(movie.path()));
}

// A child runs the loads, so that a loader held on a pipe (and the cache waiting for it as it
// goes) ends as a failure instead of a stuck test.
TEST(ThumbnailCacheTest, FailuresAreNotCachedAndNeverHang) {
    const QUrl cases[] = {
        stillFileUrl(TestMedia::file("text.png", "no picture")),
        stillFileUrl(TestMedia::fifo("pipe.png")),
        stillFileUrl(TestMedia::fifo("pipe.mov")),
        stillFileUrl(TestMedia::file("empty.mov", {})),
        stillFileUrl(TestMedia::directory() + "/missing.jpg"),
        // Once ended the process on a loader thread.
        stillFileUrl(TestMedia::file("screen.gif", CraftedStill::gif(32768, 32768, 1, 1))),
    };
    const auto child = test::ChildProbe::within([&] {
        QByteArray seen;
        {
            ThumbnailCache cache;
            Results results;
            for (const QUrl& url : cases) cache.thumbnail(url, 96, results.completion());
            if (!results.waitFor(6)) return QByteArray("not all answered");
            seen = QByteArray(results.s->last ? "a picture" : "none") + " cached " +
                   QByteArray::number(cache.count());
        }
        return seen + " and stopped";
    });
    ASSERT_TRUE(child.exited) << "hung on a pipe";
    EXPECT_EQ(child.output.toStdString(), "none cached 0 and stopped");
}

TEST(ThumbnailCacheTest, EvictsTheLeastRecentlyUsedBeyondItsLimits) {
    const QUrl a = stillFileUrl(TestMedia::still("png", {64, 48}));
    const QUrl b = stillFileUrl(TestMedia::still("jpg", {64, 48}));
    const QUrl c = stillFileUrl(TestMedia::still("bmp", {64, 48}));
    Results r;
    auto load = [&](ThumbnailCache& cache, const QUrl& url) {
        const int before = r.s->count;
        cache.thumbnail(url, 32, r.completion());
        EXPECT_TRUE(r.waitFor(before + 1));
    };
    ThumbnailCache::Limits limits;
    limits.countLimit = 2;
    ThumbnailCache cache(limits);
    for (const QUrl& url : {a, b, a, c}) load(cache, url);  // a is used again after b
    EXPECT_TRUE(cache.contains(a.path()));
    EXPECT_FALSE(cache.contains(b.path()));
    EXPECT_TRUE(cache.contains(c.path()));

    // Cost: room for one 32 x 24 picture only.
    limits.countLimit = 240;
    limits.totalCostLimit = 32 * 24 * 4 + 10;
    ThumbnailCache small(limits);
    for (const QUrl& url : {a, b}) load(small, url);
    EXPECT_EQ(small.count(), 1);
    EXPECT_TRUE(small.contains(b.path()));
    EXPECT_LE(small.totalCost(), limits.totalCostLimit);
    small.remove(b.path());
    EXPECT_EQ(small.totalCost(), 0);

    QSignalSpy spy(&cache, &ThumbnailCache::didInvalidate);
    cache.invalidate();
    EXPECT_EQ(cache.count(), 0);
    EXPECT_EQ(spy.count(), 1);
}

// A slow disk: every read of a movie waits. Counts how many reads are under way at once.
struct SlowDisk {
    explicit SlowDisk(int milliseconds) {
        MediaLoader::setReadHookForTesting([this, milliseconds] {
            const int now = ++active;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            --active;
        });
    }
    ~SlowDisk() { MediaLoader::setReadHookForTesting({}); }
    std::atomic<int> active{0};
    std::atomic<int> peak{0};
};

// Every extraction overruns its bound: it gives nothing, nothing is cached, and no more than two
// ever run at once.
TEST(ThumbnailCacheTest, NoMoreThanTwoMovieExtractionsEverRun) {
    ThumbnailCache::Limits limits;
    limits.movieSeconds = 0.05;
    ThumbnailCache cache(limits);
    SlowDisk disk(60);  // each read outlasts the bound: every extraction overruns
    Results r;
    for (int i = 0; i < 6; ++i)  // six different files
        cache.thumbnail(stillFileUrl(TestMedia::movie("mov", tinyMovie(20 + i))), 32,
                        r.completion());
    ASSERT_TRUE(r.waitFor(6));
    EXPECT_LE(disk.peak.load(), 2);
    EXPECT_GE(disk.peak.load(), 1);
    EXPECT_EQ(cache.count(), 0);
}

TEST(ThumbnailCacheTest, DestroyingWithWorkInFlightCompletesEveryRequest) {
    Results r;
    {
        ThumbnailCache::Limits limits;
        limits.movieSeconds = 5;
        ThumbnailCache cache(limits);
        SlowDisk disk(20);
        for (int i = 0; i < 4; ++i) {
            cache.thumbnail(stillFileUrl(TestMedia::movie("mov", tinyMovie(30 + i))), 32,
                            r.completion());
            cache.thumbnail(stillFileUrl(TestMedia::still("png", {64 + i, 48})), 32,
                            r.completion());
        }
    }
    ASSERT_TRUE(r.waitFor(8));
}

TEST(ThumbnailCacheAnchorTest, WeighsPixelsByAlpha) {
    auto image = [](int w, int h, int alpha, int columns) {  // alpha in the first columns only
        QImage img(w, h, QImage::Format_RGBA8888_Premultiplied);
        img.fill(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < columns; ++x) img.scanLine(y)[4 * x + 3] = uchar(alpha);
        return img;
    };
    EXPECT_FALSE(ThumbnailCache::anchor(QImage()));
    EXPECT_FALSE(ThumbnailCache::anchor(image(8, 8, 5, 8)));  // too faint
    EXPECT_TRUE(ThumbnailCache::anchor(image(8, 8, 6, 8)));

    const auto opaque = ThumbnailCache::anchor(image(8, 4, 255, 8));
    ASSERT_TRUE(opaque);
    EXPECT_DOUBLE_EQ(opaque->x(), -1.0 / 8);
    EXPECT_DOUBLE_EQ(opaque->y(), -1.0 / 4);

    const auto left = ThumbnailCache::anchor(image(100, 10, 255, 50));
    ASSERT_TRUE(left);
    EXPECT_NEAR(left->x(), -0.5, 0.02);
    EXPECT_NEAR(left->y(), -0.1, 1e-9);
}

}  // namespace
}  // namespace velmar
