// Main-thread cost of editing a rundown at its limit of 10000 clips: adding, moving a block of
// 500 clips, nudging it, markers, the sequence bar, per-clip settings, and a verification pass
// over 10000 stills (fake checks that answer at once, run on a worker thread). Each figure is
// the time of one edit on the main thread; the counter "of_5ms" gives it as a share of the
// 5 ms an edit may take. The verification pass is set beside the peer it replaced: finding
// each checked clip by a walk over all tabs instead of the id index.
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

using namespace velmar;

namespace {

constexpr int kClips = Rundown::kMaxClips;
constexpr int kBlock = 500;

QList<Clip> makeStills(int n, const QString& prefix) {
    QList<Clip> clips;
    clips.reserve(n);
    for (int i = 0; i < n; ++i) {
        Clip clip;
        clip.url = QUrl::fromLocalFile(QStringLiteral("/media/%1%2.png").arg(prefix).arg(i));
        clip.displayName = prefix + QString::number(i);
        clips.push_back(std::move(clip));
    }
    return clips;
}

// An engine whose checks answer at once on a worker thread, so that the main thread pays only
// for the edits and for applying the results.
struct Bench {
    QTemporaryDir dir;
    test::FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock, [](const QString&) {}};
    QThreadPool pool;
    std::unique_ptr<PlayoutEngine> engine;

    Bench() {
        pool.setMaxThreadCount(1);
        PlayoutEngine::Services s;
        s.clock = &clock;
        s.timers = &clock;
        s.log = &log;
        s.loadFittedStill = [](const QUrl&, const CanvasFormat&) -> ImageRef {
            auto image = std::make_shared<QImage>(4, 4, QImage::Format_RGBA8888_Premultiplied);
            image->fill(Qt::white);
            return image;
        };
        s.stillRejectionReason = [](const QUrl&) { return std::optional<QString>(); };
        s.movieProbeFailure = [](const QUrl&) { return std::optional<QString>(); };
        s.stillPixelSize = [](const QUrl&) { return std::optional<QSize>(QSize(1920, 1080)); };
        s.runInBackground = [this](std::function<void()> work) { pool.start(std::move(work)); };
        engine = std::make_unique<PlayoutEngine>(s);
    }
    ~Bench() {
        settle();
        engine.reset();
    }

    // Waits until every pass has finished and its results were applied.
    void settle() {
        pool.waitForDone();
        test::drainMainQueue();
        test::waitUntil([this] { return engine->rundown().pendingVerification() == 0; }, 30);
        pool.waitForDone();
        test::drainMainQueue();
    }

    void fill(int clips, int markers = 0) {
        ClipGroup group;
        group.name = QStringLiteral("A");
        group.clips = makeStills(clips, QStringLiteral("c"));
        for (int i = 0; i < markers; ++i) {
            group.markers.push_back(
                Marker{QUuid::createUuid(), (i * 50) % (clips + 1), QStringLiteral("m%1").arg(i)});
        }
        engine->rundown().loadGroups({group, ClipGroup{}});
        settle();
    }

    QSet<QUuid> block(int from, int count) const {
        QSet<QUuid> ids;
        const auto& clips = engine->rundown().groups()[0].clips;
        for (int i = from; i < from + count && i < clips.size(); ++i) ids.insert(clips[i].id);
        return ids;
    }
};

// The mean, the worst and the mean as a share of the 5 ms an edit may take.
void report(benchmark::State& state, double totalSeconds, double worst) {
    const double mean = totalSeconds / std::max<double>(1, static_cast<double>(state.iterations()));
    state.counters["mean_ms"] = mean * 1e3;
    state.counters["worst_ms"] = worst * 1e3;
    state.counters["of_5ms"] = mean / 0.005;
}

template <typename Edit>
void timed(benchmark::State& state, Edit&& edit) {
    double total = 0;
    double worst = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        edit();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        worst = std::max(worst, seconds);
    }
    report(state, total, worst);
}

void BM_AddClips10000(benchmark::State& state) {
    double total = 0;
    double worst = 0;
    for (auto _ : state) {
        Bench r;
        const QList<Clip> clips = makeStills(kClips, QStringLiteral("n"));
        const auto start = std::chrono::steady_clock::now();
        r.engine->rundown().addClips(clips);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        worst = std::max(worst, seconds);
        r.settle();
    }
    report(state, total, worst);
}
BENCHMARK(BM_AddClips10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_MoveBlock500(benchmark::State& state) {
    Bench r;
    r.fill(kClips, 200);
    const QSet<QUuid> ids = r.block(1000, kBlock);
    bool forward = true;
    timed(state, [&] {
        r.engine->rundown().move(ids, StripInsertion{forward ? 8000 : 1000});
        forward = !forward;
    });
}
BENCHMARK(BM_MoveBlock500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_NudgeBlock500(benchmark::State& state) {
    Bench r;
    r.fill(kClips, 200);
    const QSet<QUuid> ids = r.block(4000, kBlock);
    int step = 0;
    timed(state, [&] { r.engine->rundown().nudge(ids, (step++ / 10) % 2 == 0 ? 1 : -1); });
}
BENCHMARK(BM_NudgeBlock500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_AddMarker(benchmark::State& state) {
    Bench r;
    r.fill(kClips);
    int i = 0;
    timed(state, [&] {
        r.engine->rundown().addMarker((i * 47) % (kClips + 1), QStringLiteral("marker %1").arg(i));
        ++i;
    });
}
BENCHMARK(BM_AddMarker)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

void BM_BarSections(benchmark::State& state) {
    Bench r;
    r.fill(kClips, 200);
    timed(state, [&] { benchmark::DoNotOptimize(r.engine->rundown().barSections()); });
}
BENCHMARK(BM_BarSections)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(100);

void BM_SetTransform500(benchmark::State& state) {
    Bench r;
    r.fill(kClips);
    const QSet<QUuid> ids = r.block(2000, kBlock);
    double v = 0;
    timed(state, [&] {
        r.engine->rundown().setTransform(ClipTransform::Field::offsetX, v, ids);
        v = v > 1 ? 0 : v + 0.01;
    });
}
BENCHMARK(BM_SetTransform500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// 500 clips to the other tab and back: the current tab alternates to follow them.
void BM_MoveBlockToAnotherTab(benchmark::State& state) {
    Bench r;
    r.fill(kClips, 200);
    const QSet<QUuid> ids = r.block(3000, kBlock);
    double total = 0;
    double worst = 0;
    for (auto _ : state) {
        const int from = r.engine->rundown().currentGroupIndex();
        const auto start = std::chrono::steady_clock::now();
        r.engine->rundown().moveClips(ids, 1 - from);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        worst = std::max(worst, seconds);
        r.engine->rundown().selectGroup(1 - from);
    }
    report(state, total, worst);
}
BENCHMARK(BM_MoveBlockToAnotherTab)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RemoveAndReAdd500(benchmark::State& state) {
    Bench r;
    r.fill(kClips, 200);
    double total = 0;
    double worst = 0;
    for (auto _ : state) {
        const QList<Clip> removed = r.engine->rundown().groups()[0].clips.mid(5000, kBlock);
        QSet<QUuid> ids;
        for (const Clip& c : removed) ids.insert(c.id);
        auto start = std::chrono::steady_clock::now();
        r.engine->rundown().removeClips(ids, 0);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        start = std::chrono::steady_clock::now();
        r.engine->rundown().addClips(makeStills(kBlock, QStringLiteral("r")), 5000);
        const double add =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        worst = std::max({worst, seconds, add});
        seconds += add;
        total += seconds;
        state.SetIterationTime(seconds);
        r.settle();
    }
    report(state, total / 2, worst);  // two edits per iteration
    state.SetLabel("remove 500 + insert 500, mean per edit");
}
BENCHMARK(BM_RemoveAndReAdd500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ReplaceClip(benchmark::State& state) {
    Bench r;
    r.fill(kClips);
    int i = 0;
    timed(state, [&] {
        r.engine->rundown().replaceClip(
            5000, QUrl::fromLocalFile(QStringLiteral("/media/x%1.png").arg(i++)));
    });
}
BENCHMARK(BM_ReplaceClip)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// A whole verification pass: from the request until every result is applied. The main thread
// applies one step per clip; "per_clip_us" is the main-thread share per clip.
void BM_Verify10000(benchmark::State& state) {
    Bench r;
    r.fill(kClips);
    const QList<Clip> clips = r.engine->rundown().groups()[0].clips;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        r.engine->verify(clips);
        r.settle();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["per_clip_us"] = total / static_cast<double>(state.iterations()) / kClips * 1e6;
}
BENCHMARK(BM_Verify10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The peer: each of the 10000 steps finds its clip by walking all tabs, as before the index.
void BM_Verify10000_LinearLookupPeer(benchmark::State& state) {
    Bench r;
    r.fill(kClips);
    const QList<ClipGroup> groups = r.engine->rundown().groups();
    const QList<Clip> clips = groups[0].clips;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int found = 0;
        for (const Clip& wanted : clips) {
            for (const ClipGroup& group : groups) {
                const auto it = std::find_if(
                    group.clips.begin(), group.clips.end(),
                    [&](const Clip& c) { return c.id == wanted.id && c.url == wanted.url; });
                if (it != group.clips.end()) {
                    ++found;
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(found);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["per_clip_us"] = total / static_cast<double>(state.iterations()) / kClips * 1e6;
    state.SetLabel("lookups only, without applying anything");
}
BENCHMARK(BM_Verify10000_LinearLookupPeer)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
