// The clip strip on a tab of 10000 clips with 500 markers, offscreen in a 1904-point viewport
// (a 1920-wide window), beside a plain QListView (left-to-right flow, no wrapping, sizes not
// uniform) over a list model of the same 20502 rectangles (cells, gaps, markers, END) whose
// delegate paints the same tile, number and border. The peer is fair for layout and repaint; it
// has no drags, guides or thumbnail loading.
//
// Figures: a full repaint of the visible strip (thumbnails cached); a scroll from end to end in
// 500 steps (mean and worst step, and the most thumbnail requests in one step); the layout
// recompute after an edit beside the peer's relayout after rowsInserted; nearestGap by binary
// search beside a walk over every gap; the name filter typed letter by letter.
#include "core/rundown.h"
#include "ui/controls/checkerboard_background.h"
#include "ui/rundown/clip_strip.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHash>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>

using namespace velmar;

namespace {

constexpr int kClips = 10000;
constexpr int kMarkers = 500;
constexpr int kViewportWidth = 1904;
constexpr int kHeight = 174;
using L = StripLayout;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

ClipGroup bigTab() {
    ClipGroup g;
    g.name = "Bench";
    g.clips.reserve(kClips);
    for (int i = 0; i < kClips; ++i) {
        Clip c;
        c.displayName = QStringLiteral("Clip %1").arg(i, 5, 10, QLatin1Char('0'));
        c.url = QUrl::fromLocalFile(QStringLiteral("/media/clip%1.png").arg(i));
        g.clips.push_back(std::move(c));
    }
    for (int i = 0; i < kMarkers; ++i) {
        Marker m;
        m.position = i * (kClips / kMarkers);
        m.name = QStringLiteral("Part %1").arg(i);
        g.markers.push_back(m);
    }
    return g;
}

ImageRef thumbnail() {
    static const ImageRef image = [] {
        auto im = std::make_shared<QImage>(320, 180, QImage::Format_RGBA8888_Premultiplied);
        im->fill(QColor(40, 120, 200));
        return im;
    }();
    return image;
}

// The strip with every thumbnail in the cache: requests answer before they return.
struct Strip {
    Rundown rundown;
    std::unique_ptr<ClipStrip> strip;
    int requests = 0;

    Strip() {
        rundown.loadGroups({bigTab()});
        ClipStrip::Services s;
        s.thumbnail = [this](const QUrl&, int, ThumbnailSlots::Completion done) {
            ++requests;
            done(thumbnail());
        };
        strip = std::make_unique<ClipStrip>(rundown, s);
        strip->setRightToLeft(false);
        strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        strip->resize(kViewportWidth, kHeight);
        strip->show();
        rundown.setSelectedIndex(kClips / 2);
    }
};

// ---- The peer ------------------------------------------------------------------------------

enum class Kind { gap, marker, cell, end };
struct Item {
    Kind kind;
    int index;
};

class StripModel : public QAbstractListModel {
  public:
    explicit StripModel(const ClipGroup& g) {
        items_.reserve(2 * kClips + 2 + kMarkers);
        int m = 0;
        for (int i = 0; i <= g.clips.size(); ++i) {
            items_.push_back({Kind::gap, i});
            while (m < g.markers.size() && g.markers[m].position == i)
                items_.push_back({Kind::marker, m++});
            items_.push_back({i < g.clips.size() ? Kind::cell : Kind::end, i});
        }
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(items_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::UserRole) return {};
        const Item& it = items_[index.row()];
        return static_cast<int>(it.kind) * 1'000'000 + it.index;
    }
    void insertCell() {
        beginInsertRows({}, 0, 1);
        items_.insert(items_.begin(), {{Kind::gap, 0}, {Kind::cell, 0}});
        endInsertRows();
    }
    void removeCell() {
        beginRemoveRows({}, 0, 1);
        items_.erase(items_.begin(), items_.begin() + 2);
        endRemoveRows();
    }

  private:
    std::vector<Item> items_;
};

class StripDelegate : public QStyledItemDelegate {
  public:
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        switch (static_cast<Kind>(index.data(Qt::UserRole).toInt() / 1'000'000)) {
            case Kind::gap:
                return {30, kHeight};
            case Kind::marker:
                return {120, kHeight};
            default:
                return {169, kHeight};
        }
    }
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int v = index.data(Qt::UserRole).toInt();
        const auto kind = static_cast<Kind>(v / 1'000'000);
        const QRectF r = option.rect;
        if (kind == Kind::gap || kind == Kind::marker) {
            p->fillRect(QRectF(r.center().x() - 0.5, L::kTileTop, 1, L::kCellHeight),
                        QColor(255, 255, 255, 30));
            return;
        }
        p->setRenderHint(QPainter::Antialiasing);
        const QRectF tile(r.x() + 1, L::kTileTop, L::kCellWidth, L::kCellHeight);
        CheckerboardBackground::paint(*p, tile, 8);
        if (kind == Kind::cell) {
            QSizeF size(320, 180);
            size.scale(tile.size(), Qt::KeepAspectRatio);
            p->drawImage(QRectF(tile.center() - QPointF(size.width(), size.height()) / 2, size),
                         *thumbnail());
            p->setPen(Qt::gray);
            p->drawText(QRectF(tile.x(), L::kFooterTop, 60, 14), Qt::AlignLeft,
                        QString::asprintf("%03d", v % 1'000'000 + 1));
        }
        p->setPen(QPen(QColor(0, 0, 0, 153), 1));
        p->drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }
};

struct Peer {
    ClipGroup tab = bigTab();
    StripModel model{tab};
    StripDelegate delegate;
    QListView view;
    Peer() {
        view.setFlow(QListView::LeftToRight);
        view.setWrapping(false);
        view.setUniformItemSizes(false);
        view.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setFrameShape(QFrame::NoFrame);
        view.setItemDelegate(&delegate);
        view.setModel(&model);
        view.resize(kViewportWidth, kHeight);
        view.show();
        view.doItemsLayout();
        QScrollBar* bar = view.horizontalScrollBar();
        bar->setValue(bar->maximum() / 2);
    }
};

// Both sides paint their viewport's content, without the window background behind it.
void repaint(QWidget* viewport, QImage& image) {
    viewport->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
}

// ---- Repaint ---------------------------------------------------------------------------------

void BM_StripRepaint(benchmark::State& state) {
    Strip s;
    QImage image(kViewportWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) repaint(s.strip->viewport(), image);
    state.counters["cells_painted"] = s.strip->lastPaintedCells();
}
BENCHMARK(BM_StripRepaint)->Unit(benchmark::kMillisecond);

void BM_StripRepaint_ListViewPeer(benchmark::State& state) {
    Peer peer;
    QImage image(kViewportWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) repaint(peer.view.viewport(), image);
}
BENCHMARK(BM_StripRepaint_ListViewPeer)->Unit(benchmark::kMillisecond);

// ---- Scroll end to end -------------------------------------------------------------------------

template <typename Setup>
void scrollEndToEnd(benchmark::State& state, QAbstractScrollArea& area, Setup perStep) {
    QImage image(kViewportWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = area.horizontalScrollBar();
    double worst = 0, total = 0;
    int steps = 0, mostRequests = 0;
    for (auto _ : state) {
        for (int i = 0; i < 500; ++i) {
            const int before = perStep();
            const auto start = Clock::now();
            bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * i / 499));
            repaint(area.viewport(), image);
            const double t = since(start);
            mostRequests = std::max(mostRequests, perStep() - before);
            worst = std::max(worst, t);
            total += t;
            ++steps;
        }
    }
    state.counters["step_mean_ms"] = total / steps * 1e3;
    state.counters["step_worst_ms"] = worst * 1e3;
    state.counters["most_requests_in_a_step"] = mostRequests;
}

void BM_StripScrollEndToEnd(benchmark::State& state) {
    Strip s;
    s.strip->horizontalScrollBar()->setValue(0);
    scrollEndToEnd(state, *s.strip, [&s] { return s.requests; });
    // Visible cells plus the margin on each side, plus one partly shown at each edge.
    state.counters["visible_plus_margin"] =
        std::ceil(kViewportWidth / (L::kCellWidth + L::kPlainGapWidth + 1)) + 2 +
        2 * ClipStrip::kThumbnailMargin;
}
BENCHMARK(BM_StripScrollEndToEnd)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StripScrollEndToEnd_ListViewPeer(benchmark::State& state) {
    Peer peer;
    peer.view.horizontalScrollBar()->setValue(0);
    scrollEndToEnd(state, peer.view, [] { return 0; });
}
BENCHMARK(BM_StripScrollEndToEnd_ListViewPeer)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- Layout recompute --------------------------------------------------------------------------

// The tab after an edit: 0 one clip inserted at 0, 1 a block of 500 moved, 2 a marker added.
ClipGroup editedTab(int which) {
    Rundown r;
    r.loadGroups({bigTab()});
    if (which == 0) {
        Clip c;
        c.displayName = "new";
        r.addClips({c}, 0);
    } else if (which == 1) {
        QSet<QUuid> block;
        for (int i = 1000; i < 1500; ++i) block.insert(r.groups()[0].clips[i].id);
        r.move(block, StripInsertion{8000, std::nullopt, false});
    } else {
        r.addMarker(4321, "new");
    }
    return r.groups()[0];
}

void BM_StripLayoutRecompute(benchmark::State& state) {
    const ClipGroup tab = editedTab(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        StripLayout layout(static_cast<int>(tab.clips.size()), tab.markers, false, kViewportWidth);
        benchmark::DoNotOptimize(layout.contentWidth());
    }
    static const char* labels[] = {"after inserting one clip at 0", "after moving 500 clips",
                                   "after adding a marker"};
    state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_StripLayoutRecompute)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_StripLayoutRecompute_ListViewPeer(benchmark::State& state) {
    Peer peer;
    for (auto _ : state) {
        const auto start = Clock::now();
        peer.model.insertCell();
        peer.view.doItemsLayout();
        state.SetIterationTime(since(start));
        peer.model.removeCell();
    }
    state.SetLabel("relayout after rowsInserted");
}
BENCHMARK(BM_StripLayoutRecompute_ListViewPeer)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(50);

// ---- nearestGap --------------------------------------------------------------------------------

void BM_NearestGap(benchmark::State& state) {
    const ClipGroup tab = bigTab();
    const StripLayout layout(kClips, tab.markers, false, kViewportWidth);
    double x = 0;
    for (auto _ : state) {
        x = std::fmod(x + 7919.5, layout.contentWidth());
        benchmark::DoNotOptimize(layout.nearestGap({x, 80}));
    }
}
BENCHMARK(BM_NearestGap)->Unit(benchmark::kMicrosecond);

// The walk it replaces: on every pointer move, candidates from a table of frames keyed by gap
// and marker keys, one lookup per gap, then the nearest by a scan.
void BM_NearestGap_WalkPeer(benchmark::State& state) {
    const ClipGroup tab = bigTab();
    const StripLayout layout(kClips, tab.markers, false, kViewportWidth);
    QHash<QString, QRectF> frames;
    for (int g = 0; g <= kClips; ++g) {
        const auto span = layout.gap(g);
        frames.insert(gapKey(&tab, g), QRectF(span.x, 6, span.width, 150));
        for (const auto& c : layout.markerColumns(g))
            frames.insert("MARKER-" + c.id.toString(QUuid::WithoutBraces).toUpper(),
                          QRectF(c.span.x, 6, c.span.width, 150));
    }
    double x = 0;
    for (auto _ : state) {
        x = std::fmod(x + 7919.5, layout.contentWidth());
        std::vector<std::pair<double, StripInsertion>> candidates;
        for (int g = 0; g <= kClips; ++g) {
            bool any = false;
            for (const Marker& m : tab.markers) {
                if (m.position != g) continue;
                any = true;
                const auto it =
                    frames.constFind("MARKER-" + m.id.toString(QUuid::WithoutBraces).toUpper());
                if (it == frames.cend()) continue;
                candidates.push_back({it->left(), {g, m.id, false}});
                candidates.push_back({it->right(), {g, m.id, true}});
            }
            if (any) continue;
            const auto it = frames.constFind(gapKey(&tab, g));
            if (it != frames.cend()) candidates.push_back({it->center().x(), {g, {}, false}});
        }
        std::size_t best = 0;
        for (std::size_t i = 1; i < candidates.size(); ++i) {
            if (std::abs(candidates[i].first - x) < std::abs(candidates[best].first - x)) best = i;
        }
        benchmark::DoNotOptimize(candidates[best]);
    }
}
BENCHMARK(BM_NearestGap_WalkPeer)->Unit(benchmark::kMicrosecond);

// ---- Filter ------------------------------------------------------------------------------------

void BM_FilterKeystroke(benchmark::State& state) {
    Strip s;
    QImage image(kViewportWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    const QString typed = QStringLiteral("clip 04321");
    int k = 0;
    for (auto _ : state) {
        k = k % typed.size() + 1;
        s.rundown.setFilterText(typed.left(k));
        benchmark::DoNotOptimize(s.rundown.filteredCount());
        repaint(s.strip->viewport(), image);
    }
    state.SetLabel("count over 10000 names and repaint, per keystroke");
}
BENCHMARK(BM_FilterKeystroke)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
