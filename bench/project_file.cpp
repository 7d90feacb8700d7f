// Saving and opening a project of 10000 clips through the project file path (encode, seal,
// atomic write; read, open, decode, makeGroups) beside a plain QJsonDocument encode and parse of
// the same data. The counter ratio_vs_raw_json is our time over the raw JSON time, measured
// interleaved in the same run (target: within 2).
#include "models/playout_project.h"
#include "platform/base/atomic_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

using namespace velmar;

namespace {

PlayoutProject makeProject() {
    PlayoutProject project;
    for (int g = 0; g < 10; ++g) {
        PlayoutProject::GroupRecord group;
        group.name = QStringLiteral("Tab %1").arg(g);
        group.selectedIndex = 3;
        group.markers = QList<PlayoutProject::MarkerRecord>{{10, QStringLiteral("Opening")},
                                                            {500, QStringLiteral("Break")}};
        for (int i = 0; i < 1000; ++i) {
            PlayoutProject::ClipRecord clip;
            clip.path =
                QStringLiteral("/media/shows/episode-%1/graphics/lower-third-%2.png").arg(g).arg(i);
            clip.displayName = QStringLiteral("lower-third-%1").arg(i);
            clip.pixelWidth = 1920;
            clip.pixelHeight = 1080;
            clip.contentAnchorX = 0.125 * (i % 8) - 0.5;
            clip.contentAnchorY = -0.25;
            if (i % 3 == 0) clip.transform = ClipTransform{0.1, -0.05, 1.25, 0, 0.9};
            if (i % 5 == 0) clip.motion = MotionKind::cut;
            if (i % 7 == 0) clip.motionDuration = 0.75;
            group.clips.append(clip);
        }
        project.groups.append(group);
    }
    return project;
}

// The same data as a plain QJsonObject, built from the records as any JSON writer would.
QByteArray rawEncode(const PlayoutProject& project) {
    QJsonArray groups;
    for (const auto& g : project.groups) {
        QJsonArray clips;
        for (const auto& c : g.clips) {
            QJsonObject o{{QStringLiteral("path"), c.path},
                          {QStringLiteral("displayName"), c.displayName},
                          {QStringLiteral("pixelWidth"), *c.pixelWidth},
                          {QStringLiteral("pixelHeight"), *c.pixelHeight},
                          {QStringLiteral("contentAnchorX"), *c.contentAnchorX},
                          {QStringLiteral("contentAnchorY"), *c.contentAnchorY}};
            if (c.transform) o.insert(QStringLiteral("transform"), c.transform->toJson());
            if (c.motion) o.insert(QStringLiteral("motion"), c.motion->toJson());
            if (c.motionDuration) o.insert(QStringLiteral("motionDuration"), *c.motionDuration);
            clips.append(o);
        }
        groups.append(QJsonObject{{QStringLiteral("name"), g.name},
                                  {QStringLiteral("selectedIndex"), g.selectedIndex},
                                  {QStringLiteral("clips"), clips}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("groups"), groups}})
        .toJson(QJsonDocument::Indented);
}

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Ours over the peer, from interleaved runs.
double ratio(const std::function<void()>& ours, const std::function<void()>& peer) {
    double a = 0, b = 0;
    for (int i = 0; i < 5; ++i) {
        a += seconds(ours);
        b += seconds(peer);
    }
    return a / b;
}

struct Data {
    QTemporaryDir dir;
    PlayoutProject project = makeProject();
    QString projectPath = dir.filePath(QStringLiteral("show.tavrendek"));
    QString rawPath = dir.filePath(QStringLiteral("show.json"));
    Data() {
        AtomicFile::write(projectPath, project.sealedFileData());
        QFile raw(rawPath);
        raw.open(QIODevice::WriteOnly);
        raw.write(rawEncode(project));
    }
};

Data& data() {
    static Data d;
    return d;
}

void save(const Data& d) {
    AtomicFile::write(d.projectPath, d.project.sealedFileData());
}

void open(const Data& d) {
    const PlayoutProject loaded = PlayoutProject::load(d.projectPath);
    benchmark::DoNotOptimize(loaded.makeGroups());
}

void rawParse(const Data& d) {
    QFile file(d.rawPath);
    file.open(QIODevice::ReadOnly);
    benchmark::DoNotOptimize(QJsonDocument::fromJson(file.readAll()));
}

}  // namespace

static void BM_RawJsonEncode(benchmark::State& state) {
    Data& d = data();
    for (auto _ : state) benchmark::DoNotOptimize(rawEncode(d.project));
}
BENCHMARK(BM_RawJsonEncode)->Unit(benchmark::kMillisecond);

static void BM_ProjectSave(benchmark::State& state) {
    Data& d = data();
    for (auto _ : state) save(d);
    state.counters["ratio_vs_raw_json"] =
        ratio([&] { save(d); }, [&] { benchmark::DoNotOptimize(rawEncode(d.project)); });
    state.counters["ratio_without_fsync_write"] =
        ratio([&] { benchmark::DoNotOptimize(d.project.sealedFileData()); },
              [&] { benchmark::DoNotOptimize(rawEncode(d.project)); });
}
BENCHMARK(BM_ProjectSave)->Unit(benchmark::kMillisecond);

static void BM_RawJsonParse(benchmark::State& state) {
    Data& d = data();
    for (auto _ : state) rawParse(d);
}
BENCHMARK(BM_RawJsonParse)->Unit(benchmark::kMillisecond);

static void BM_ProjectOpen(benchmark::State& state) {
    Data& d = data();
    for (auto _ : state) open(d);
    state.counters["ratio_vs_raw_json"] = ratio([&] { open(d); }, [&] { rawParse(d); });
    // Without makeGroups(), whose 10000 file-existence checks the raw parse does not do.
    state.counters["ratio_load_only"] =
        ratio([&] { benchmark::DoNotOptimize(PlayoutProject::load(d.projectPath)); },
              [&] { rawParse(d); });
}
BENCHMARK(BM_ProjectOpen)->Unit(benchmark::kMillisecond);

// The parts of opening, to see where the time goes.
static void BM_ProjectDecodeOnly(benchmark::State& state) {
    const QByteArray json = *data().project.encoded();
    for (auto _ : state) benchmark::DoNotOptimize(PlayoutProject::decode(json));
}
BENCHMARK(BM_ProjectDecodeOnly)->Unit(benchmark::kMillisecond);

static void BM_ProjectMakeGroupsOnly(benchmark::State& state) {
    const PlayoutProject& project = data().project;
    for (auto _ : state) benchmark::DoNotOptimize(project.makeGroups());
}
BENCHMARK(BM_ProjectMakeGroupsOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
