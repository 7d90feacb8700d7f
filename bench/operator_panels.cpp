// What the operator panels compute and paint per change, with a whole tab of 10000 clips as the
// motion targets: the shared duration; the shared motion and duration with the lit keys (one
// walk for the nine keys) beside its peer, a walk over the targets for each key; the DSK preview
// box painting a 3840 x 2160 still from its cached fitted image beside scaling the still at each
// paint; the timecode panel under PROGRAM painted whole at s = 1 (target: 1 % of its 0.1 s
// refresh); and the meter arithmetic of one refresh with its allocation count. Each figure is
// one rebuild or one paint on the main thread.
#include "allocation_counter.h"
#include "core/rundown.h"
#include "ui/panels/dsk_panel_preview.h"
#include "ui/panels/duration_common.h"
#include "ui/panels/level_meter.h"
#include "ui/panels/level_meter_model.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/panels/timecode_panel.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

using namespace velmar;

namespace {

constexpr int kClips = Rundown::kMaxClips;

QList<Clip> makeClips() {
    QList<Clip> clips;
    clips.reserve(kClips);
    for (int i = 0; i < kClips; ++i) {
        Clip clip;
        clip.url = QUrl::fromLocalFile(QStringLiteral("/media/c%1.png").arg(i));
        clip.displayName = QStringLiteral("c%1").arg(i);
        clip.motion = MotionKind::zoom;
        clip.motionDuration = 1.5;
        clips.push_back(std::move(clip));
    }
    return clips;
}

QSet<QUuid> idsOf(const QList<Clip>& clips) {
    QSet<QUuid> ids;
    ids.reserve(clips.size());
    for (const Clip& clip : clips) ids.insert(clip.id);
    return ids;
}

void BM_CommonDuration(benchmark::State& state) {
    const QList<Clip> clips = makeClips();
    const QSet<QUuid> ids = idsOf(clips);
    for (auto _ : state) benchmark::DoNotOptimize(commonDuration(clips, ids));
}
BENCHMARK(BM_CommonDuration)->Unit(benchmark::kMicrosecond);

// The panel's rebuild: the rundown's walk of the tab for the shared motion, the lit rule for
// each of the nine keys, and the walk for the shared duration.
void BM_LitKeysFromCommonMotion(benchmark::State& state) {
    Rundown rundown;
    rundown.addClips(makeClips());
    const QList<Clip> clips = rundown.currentGroup()->clips;
    const QSet<QUuid> ids = idsOf(clips);
    for (auto _ : state) {
        const auto motion = rundown.commonMotion(ids);
        int lit = 0;
        for (MotionKind kind : MotionKind::allCases()) {
            lit += MotionProfilePanel::isLit(motion, kind) ? 1 : 0;
        }
        benchmark::DoNotOptimize(lit);
        benchmark::DoNotOptimize(commonDuration(clips, ids));
    }
}
BENCHMARK(BM_LitKeysFromCommonMotion)->Unit(benchmark::kMicrosecond);

// Peer: each key walks the targets to see whether all have its motion.
void BM_LitKeysWalkPerKey(benchmark::State& state) {
    const QList<Clip> clips = makeClips();
    const QSet<QUuid> ids = idsOf(clips);
    for (auto _ : state) {
        int lit = 0;
        for (MotionKind motion : MotionKind::allCases()) {
            bool all = true;
            bool any = false;
            for (const Clip& clip : clips) {
                if (!ids.contains(clip.id)) continue;
                any = true;
                all = all && clip.motion == std::optional<MotionKind>(motion);
            }
            lit += any && all ? 1 : 0;
        }
        benchmark::DoNotOptimize(lit);
    }
}
BENCHMARK(BM_LitKeysWalkPerKey)->Unit(benchmark::kMicrosecond);

ImageRef bigStill() {
    auto image = std::make_shared<QImage>(3840, 2160, QImage::Format_RGBA8888_Premultiplied);
    image->fill(QColor(40, 120, 200));
    return image;
}

// The box's paint: the fitted image made once, drawn as it is.
void BM_PreviewPaintCached(benchmark::State& state) {
    const ImageRef still = bigStill();
    const QImage fitted = DSKPanelPreview::fitted(*still, QSize(190, 84));
    QImage target(190, 84, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&target);
        DSKPanelPreview::paint(p, target.rect(), fitted, false);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PreviewPaintCached)->Unit(benchmark::kMicrosecond);

// The whole widget rendered, with the toolkit's own cost of a paint around it.
void BM_PreviewWidgetRender(benchmark::State& state) {
    DSKPanelPreview preview;
    preview.resize(190, 84);
    preview.setPicture(bigStill());
    QImage target(190, 84, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        preview.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PreviewWidgetRender)->Unit(benchmark::kMicrosecond);

// Peer: the still scaled into the box at each paint.
void BM_PreviewPaintScalingEachTime(benchmark::State& state) {
    const ImageRef still = bigStill();
    QImage target(190, 84, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&target);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.fillRect(target.rect(), QColor(0, 0, 0, 115));
        p.drawImage(DSKPanelPreview::fittedRect(still->size(), target.rect()), *still);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PreviewPaintScalingEachTime)->Unit(benchmark::kMicrosecond);

// The whole strip as the 0.1 s refresh repaints it: the two time lines, the running meter at
// -6 and -10 dB and the fader.
void BM_TimecodePanelPaint(benchmark::State& state) {
    double fader = 0.8;
    TimecodePanel panel(TimecodePanel::Bindings{[&fader] { return fader; },
                                                [&fader](double p) { fader = p; }, nullptr},
                        QColor(255, 149, 0));
    panel.setScale(1);
    panel.resize(panel.sizeHint());
    panel.meter()->setLevels(0.5f, 0.316f, false, std::nullopt);
    QImage target(panel.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        panel.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_TimecodePanelPaint)->Unit(benchmark::kMicrosecond);

// The meter's arithmetic for one refresh of both channels, without the readout text: dB, the
// lit segments and the red readout. "allocations" counts per refresh and must stay 0.
void BM_MeterModelRefresh(benchmark::State& state) {
    float level = 0.5f;
    const long before = gAllocations.load();
    for (auto _ : state) {
        int lit = 0;
        for (const float channel : {level, level * 0.7f}) {
            const double dB = LevelMeterModel::decibels(channel);
            lit += LevelMeterModel::litCount(dB, false);
            lit += LevelMeterModel::isReadoutRed(dB, false) ? 1 : 0;
            for (int i = 0; i < LevelMeterModel::kSegmentCount; ++i)
                lit += LevelMeterModel::zone(i) == LevelMeterModel::Zone::red ? 1 : 0;
        }
        benchmark::DoNotOptimize(lit);
        level = level > 0.9f ? 0.01f : level * 1.01f;
    }
    state.counters["allocations"] = benchmark::Counter(double(gAllocations.load() - before),
                                                       benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MeterModelRefresh);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
