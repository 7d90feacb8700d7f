// What the operator panels compute and paint per change, with a whole tab of 10000 clips as
// the motion targets: the shared duration, the shared motion with the lit key (one walk for
// the nine keys) beside its peer, a walk over the targets for each key; and the DSK preview box
// painting a 3840 x 2160 still from its cached fitted image beside scaling the still at each
// paint. Each figure is one rebuild or one paint on the main thread.
#include "core/rundown.h"
#include "ui/dsk_panel_preview.h"
#include "ui/duration_common.h"
#include "ui/motion_profile_panel.h"

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

// One walk for the shared motion, then the lit rule for each of the nine keys.
void BM_LitKeysFromCommonMotion(benchmark::State& state) {
    Rundown rundown;
    ClipGroup group;
    group.name = "Tab";
    group.clips = makeClips();
    const QSet<QUuid> ids = idsOf(group.clips);
    rundown.loadGroups({group});
    for (auto _ : state) {
        const auto common = rundown.commonMotion(ids);
        int lit = 0;
        for (MotionKind motion : MotionKind::allCases()) {
            lit += MotionProfilePanel::isLit(common, motion) ? 1 : 0;
        }
        benchmark::DoNotOptimize(lit);
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
        p.fillRect(target.rect(), QColor(0, 0, 0, 115));
        p.drawImage(DSKPanelPreview::fittedRect(fitted.size(), target.rect()).topLeft(), fitted);
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

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
