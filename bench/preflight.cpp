// The pre-show check on a large rundown: run() against its floor, one pass reading each clip's
// flags and size plus one volume lookup per distinct folder. The checks open no media file and
// ask for each folder's volume once, so run() should stay within about twice the floor.
//
//   velmar_bench_preflight
#include "app/preflight_runner.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "models/clip_group.h"
#include "platform/base/volume_info.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/deck_link_controller.h"
#include "sdi/zr_deck_link_output.h"
#include "support/fake_clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace velmar;

namespace {

constexpr int kClips = 10'000;
constexpr int kFolders = 100;

// The virtual card's standard device; no controller, so no soak.
struct BenchHost : PreflightRunner::Host {
    VirtualSdiCard card{VirtualSdiConfig::defaultConfig()};
    std::vector<ZRDeckLinkDevice> devices;
    void refreshDeckLinkDevices() override { devices = ZRDeckLinkOutput::availableDevices(&card); }
    std::vector<ZRDeckLinkDevice> availableDeckLinkDevices() const override { return devices; }
    long long selectedDeckLinkIndex() const override { return 0; }
    SDIBitDepth sdiBitDepth() const override { return SDIBitDepth::eightBit; }
    bool useExternalKeyer() const override { return true; }
    DeckLinkController* deckLink() override { return nullptr; }
    bool isDeckLinkRunning() const override { return false; }
    void startDeckLink() override {}
    void stopDeckLink() override {}
    std::vector<ZRDeckLinkMode> supportedModes(long long index, SDIBitDepth depth,
                                               bool keyer) const override {
        return DeckLinkController::supportedModes(&card, index, depth, keyer);
    }
};

// 10,000 clips spread over 100 real folders, every clip read and measured.
struct Rundown {
    QTemporaryDir dir;
    test::FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock, [](const QString&) {}};
    std::unique_ptr<PlayoutEngine> engine;
    BenchHost host;

    Rundown() {
        PlayoutEngine::Services services = PlayoutEngine::Services::standard();
        services.clock = &clock;
        services.timers = &clock;
        services.log = &log;
        services.runInBackground = [](std::function<void()>) {};
        engine = std::make_unique<PlayoutEngine>(services);
        ClipGroup group;
        group.name = "Tab";
        for (int i = 0; i < kClips; ++i) {
            const QString folder = dir.filePath(QString("f%1").arg(i % kFolders));
            QDir().mkpath(folder);
            Clip clip;
            clip.url = QUrl::fromLocalFile(folder + QString("/clip%1.png").arg(i));
            clip.displayName = QString("clip%1").arg(i);
            clip.pixelWidth = i % 3 ? 1920 : 3840;
            clip.pixelHeight = i % 3 ? 1080 : 2160;
            group.clips << clip;
        }
        engine->rundown().loadGroups({group});
        engine->rundown().setPendingVerification(0);
    }
};

void BM_PreflightRun(benchmark::State& state) {
    Rundown rundown;
    PreflightRunner::Services services;
    services.log = &rundown.log;
    services.timers = &rundown.clock;
    PreflightRunner runner(*rundown.engine, rundown.host, services);
    for (auto _ : state) {
        runner.run();
        benchmark::DoNotOptimize(runner.items().size());
    }
    state.SetItemsProcessed(state.iterations() * kClips);
}
BENCHMARK(BM_PreflightRun)->Unit(benchmark::kMillisecond);

// The floor: each clip's flags and size read once, each distinct folder's volume asked once.
void BM_FlagsAndVolumesFloor(benchmark::State& state) {
    Rundown rundown;
    for (auto _ : state) {
        long long readable = 0;
        QSet<QString> folders;
        for (const ClipGroup& group : rundown.engine->rundown().groups()) {
            for (const Clip& clip : group.clips) {
                if (!clip.isMissing && !clip.unreadableReason && clip.pixelWidth) ++readable;
                folders.insert(QFileInfo(clip.url.toLocalFile()).absolutePath());
            }
        }
        int internal = 0;
        for (const QString& folder : folders) internal += volumeIsInternal(folder).value_or(false);
        benchmark::DoNotOptimize(readable + internal);
    }
    state.SetItemsProcessed(state.iterations() * kClips);
}
BENCHMARK(BM_FlagsAndVolumesFloor)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
