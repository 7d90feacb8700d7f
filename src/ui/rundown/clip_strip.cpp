#include "ui/rundown/clip_strip.h"

#include "app/app_state.h"
#include "core/playout_engine.h"
#include "core/rundown.h"
#include "core/thumbnail_cache.h"
#include "models/localized.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "ui/rundown/clip_cell.h"
#include "ui/rundown/name_sheet.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QToolTip>

#include <cmath>

namespace velmar {

using L = StripLayout;

ClipStrip::ClipStrip(Rundown& rundown, Services services, QWidget* parent)
    : QAbstractScrollArea(parent),
      rundown_(rundown),
      services_(std::move(services)),
      thumbnails_(services_.thumbnail
                      ? services_.thumbnail
                      : [](const QUrl& url, int maxPixel, ThumbnailSlots::Completion completion) {
                            ThumbnailCache::shared().thumbnail(url, maxPixel,
                                                               std::move(completion));
                        }),
      clock_(services_.clock ? *services_.clock : HostClock::system()) {
    TimerFactory& timers = services_.timers ? *services_.timers : TimerFactory::system();
    guideTimer_ = timers.makeTimer([this] {
        if (!guides_.isRunning(clock_.now())) guideTimer_->stop();
        viewport()->update();
    });
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAutoFillBackground(false);
    spinner_.setInterval(100);
    connect(&spinner_, &QTimer::timeout, this, [this] {
        spinnerPhase_ = (spinnerPhase_ + 1) % 8;
        viewport()->update();
    });
    thumbnails_.setOnChange([this] {
        updateSpinner();
        viewport()->update();
    });
    if (!services_.thumbnail) {
        connect(&ThumbnailCache::shared(), &ThumbnailCache::didInvalidate, this,
                &ClipStrip::invalidateThumbnails);
    }

    connect(&rundown_, &Rundown::tabsChanged, this, &ClipStrip::relayout);
    connect(&rundown_, &Rundown::currentTabChanged, this, [this] {
        relayout();
        scrollToNext();  // also when the new tab's index equals the old one's
    });
    auto currentTabEdited = [this](int tab) {
        if (tab == rundown_.safeGroupIndex()) relayout();
    };
    connect(&rundown_, &Rundown::clipsChanged, this, currentTabEdited);
    connect(&rundown_, &Rundown::markersChanged, this, currentTabEdited);
    connect(&rundown_, &Rundown::selectionChanged, this, &ClipStrip::onSelectionChanged);
    connect(&rundown_, &Rundown::filterChanged, viewport(), qOverload<>(&QWidget::update));
    relayout();
}

ClipStrip::~ClipStrip() = default;

void ClipStrip::followEngine(const PlayoutEngine& engine) {
    auto program = [this, &engine] {
        setProgramClipID(engine.programClip() ? std::optional(engine.programClip()->id)
                                              : std::nullopt);
    };
    auto settings = [this, &engine] { setDefaults(engine.defaultMotion(), engine.fadeDuration()); };
    program();
    settings();
    setCanvas(engine.canvas());
    connect(&engine, &PlayoutEngine::programChanged, this, program);
    connect(&engine, &PlayoutEngine::settingsChanged, this, settings);
    connect(&engine, &PlayoutEngine::canvasChanged, this,
            [this, &engine] { setCanvas(engine.canvas()); });
}

void ClipStrip::followAppState(const AppState& app) {
    setRightToLeft(app.stripRightToLeft());
    connect(&app, &AppState::stripRightToLeftChanged, this, &ClipStrip::setRightToLeft);
}

void ClipStrip::setProgramClipID(std::optional<QUuid> id) {
    if (programClipID_ == id) return;
    programClipID_ = id;
    viewport()->update();
}

void ClipStrip::setCanvas(const CanvasFormat& canvas) {
    canvas_ = canvas;
    viewport()->update();
}

void ClipStrip::setDefaults(MotionKind motion, double duration) {
    defaultMotion_ = motion;
    fadeDuration_ = duration;
    viewport()->update();
}

void ClipStrip::setRightToLeft(bool rightToLeft) {
    if (rightToLeft_ == rightToLeft) return;
    rightToLeft_ = rightToLeft;
    relayout();
    scrollToNext();
}

void ClipStrip::setScale(double s) {
    if (!(s > 0) || s == scale_) return;
    scale_ = s;
    updateGeometry();
    relayout();
    scrollToNext();
}

void ClipStrip::invalidateThumbnails() {
    thumbnails_.invalidate();
    updateSpinner();
    viewport()->update();
}

const ClipGroup* ClipStrip::group() const {
    const auto& groups = rundown_.groups();
    return groups.isEmpty() ? nullptr : &groups[rundown_.safeGroupIndex()];
}

double ClipStrip::scrollOffset() const {
    return horizontalScrollBar()->value() / scale_;
}

QPointF ClipStrip::toContent(QPointF pos) const {
    return {pos.x() / scale_ + scrollOffset(), pos.y() / scale_};
}

QPointF ClipStrip::toViewport(QPointF content) const {
    return {(content.x() - scrollOffset()) * scale_, content.y() * scale_};
}

void ClipStrip::relayout() {
    const ClipGroup* g = group();
    layout_ =
        StripLayout(g ? static_cast<int>(g->clips.size()) : 0, g ? g->markers : QList<Marker>{},
                    rightToLeft_, viewport()->width() / scale_);
    updateScrollRange();
    updateWanted();
    viewport()->update();
}

void ClipStrip::syncLayout() {
    const ClipGroup* g = group();
    if (layout_.clipCount() != (g ? static_cast<int>(g->clips.size()) : 0)) relayout();
}

void ClipStrip::updateScrollRange() {
    QScrollBar* bar = horizontalScrollBar();
    const int total = static_cast<int>(std::ceil(layout_.contentWidth() * scale_));
    const int page = viewport()->width();
    bar->setRange(0, std::max(0, total - page));
    bar->setPageStep(std::max(1, page));
    bar->setSingleStep(20);
}

void ClipStrip::setScrollOffset(double offset) {
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(offset * scale_)));
}

void ClipStrip::scrollToNext() {
    lastNext_ = rundown_.clampedNext();
    lastTab_ = rundown_.safeGroupIndex();
    setScrollOffset(layout_.scrollOffsetFor(lastNext_));
    updateWanted();
    viewport()->update();
}

void ClipStrip::onSelectionChanged() {
    if (rundown_.clampedNext() != lastNext_ || rundown_.safeGroupIndex() != lastTab_)
        scrollToNext();
    viewport()->update();
}

void ClipStrip::updateWanted() {
    syncLayout();
    const ClipGroup* g = group();
    std::vector<std::pair<QUuid, QUrl>> wanted;
    if (g && layout_.viewportWidth() > 0) {
        const double off = scrollOffset();
        const double margin = kThumbnailMargin * (L::kCellWidth + L::kPlainGapWidth + 1);
        const auto [first, last] =
            layout_.cellsIn(off - margin, off + layout_.viewportWidth() + margin);
        for (int i = first; i < last; ++i) {
            const Clip& clip = g->clips[i];
            if (!clip.isMissing && !clip.unreadableReason) wanted.emplace_back(clip.id, clip.url);
        }
    }
    thumbnails_.want(wanted);
    updateSpinner();
}

void ClipStrip::updateSpinner() {
    syncLayout();
    const ClipGroup* g = group();
    bool waiting = false;
    if (g && isVisible()) {
        const double off = scrollOffset();
        const auto [first, last] = layout_.cellsIn(off, off + layout_.viewportWidth());
        for (int i = first; i < last && !waiting; ++i) {
            const Clip& clip = g->clips[i];
            waiting = !clip.isMissing && !clip.unreadableReason && thumbnails_.isWaiting(clip.id);
        }
    }
    if (waiting && !spinner_.isActive()) spinner_.start();
    if (!waiting) spinner_.stop();
}

QSize ClipStrip::sizeHint() const {
    const int bar = horizontalScrollBar()->sizeHint().height();
    return {static_cast<int>(600 * scale_),
            static_cast<int>(std::ceil(L::kTotalHeight * scale_)) + bar};
}

QSize ClipStrip::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void ClipStrip::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
    scrollToNext();
}

void ClipStrip::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    relayout();
    scrollToNext();
}

void ClipStrip::scrollContentsBy(int, int) {
    updateWanted();
    viewport()->update();
}

// ---- Pointer -------------------------------------------------------------------------------

StripLayout::Hit ClipStrip::hitAt(QPointF c) const {
    if (c.y() < L::kLabelTop || c.y() >= L::kContentBottom) return {};
    return layout_.hitTest(c.x());
}

std::optional<int> ClipStrip::fileDropGap(QPointF c) const {
    const auto hit = hitAt(c);
    switch (hit.part) {
        case StripLayout::Part::gap:
        case StripLayout::Part::marker:
        case StripLayout::Part::end:
            return hit.index;
        default:
            return std::nullopt;
    }
}

void ClipStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    syncLayout();
    const QPointF c = toContent(event->position());
    Press press{hitAt(c), c, {}, false, false};
    const ClipGroup* g = group();
    if (press.hit.part == StripLayout::Part::cell && g) press.clipID = g->clips[press.hit.index].id;
    if (press.hit.part == StripLayout::Part::gap)
        press.addButton = c.y() < L::kLabelTop + L::kLabelHeight;
    press_ = press;
}

void ClipStrip::mouseMoveEvent(QMouseEvent* event) {
    if (!press_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPointF c = toContent(event->position());
    const bool draggable = press_->hit.part == StripLayout::Part::cell ||
                           press_->hit.part == StripLayout::Part::marker;
    if (!press_->dragging) {
        const QPointF d = c - press_->origin;
        if (!draggable || std::hypot(d.x(), d.y()) < kDragThreshold) return;
        press_->dragging = true;
        if (press_->hit.part == StripLayout::Part::cell)
            draggingClipID_ = press_->clipID;
        else
            draggingMarkerID_ = press_->hit.markerID;
    }
    setDropTarget(layout_.nearestGap(c));
}

void ClipStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !press_) return;
    const Press press = *std::exchange(press_, std::nullopt);
    const QPointF c = toContent(event->position());
    if (press.dragging) {
        // One engine call with the point under the release, then the drag state is cleared.
        const auto target = layout_.nearestGap(c);
        const auto clipID = std::exchange(draggingClipID_, std::nullopt);
        const auto markerID = std::exchange(draggingMarkerID_, std::nullopt);
        setDropTarget(std::nullopt);
        if (target && clipID) rundown_.move(rundown_.targetIDs(*clipID), *target);
        if (target && markerID) rundown_.moveMarker(*markerID, *target);
        viewport()->update();
        return;
    }
    switch (press.hit.part) {
        case StripLayout::Part::cell:
            clickCell(press.clipID, event->modifiers());
            break;
        case StripLayout::Part::end:
            clickEnd();
            break;
        case StripLayout::Part::gap: {
            const auto now = hitAt(c);
            if (press.addButton && now.part == StripLayout::Part::gap &&
                now.index == press.hit.index && c.y() < L::kLabelTop + L::kLabelHeight)
                beginAddMarker(press.hit.index);
            break;
        }
        default:
            break;
    }
}

void ClipStrip::mouseDoubleClickEvent(QMouseEvent* event) {
    const auto hit = hitAt(toContent(event->position()));
    if (event->button() == Qt::LeftButton && hit.part == StripLayout::Part::marker) {
        press_.reset();
        beginRenameMarker(hit.markerID);
        return;
    }
    mousePressEvent(event);
}

void ClipStrip::setDropTarget(std::optional<StripInsertion> target) {
    dropTarget_ = std::move(target);
    // Only a plain insertion point lights the guides of its gap.
    const bool plain = dropTarget_ && !dropTarget_->markerID;
    guides_.setActive(plain ? std::optional(dropTarget_->gap) : std::nullopt, clock_.now());
    if (guides_.isRunning(clock_.now()) && !guideTimer_->isActive())
        guideTimer_->start(1.0 / 60, true);
    viewport()->update();
}

double ClipStrip::guideLevel(int gap) const {
    return guides_.level(gap, clock_.now());
}

void ClipStrip::clickCell(const QUuid& clipID, Qt::KeyboardModifiers modifiers) {
    const auto index = rundown_menus::currentIndexOf(rundown_, clipID);
    if (!index) return;
    if (modifiers & Qt::ControlModifier) {
        rundown_.toggleReorderSelection(*index);
    } else if (modifiers & Qt::ShiftModifier) {
        rundown_.extendReorderSelection(*index);
    } else {
        rundown_.setReorderSelection({}, std::nullopt);
        rundown_.setSelectedIndex(*index);
    }
}

void ClipStrip::clickEnd() {
    const ClipGroup* g = group();
    rundown_.setReorderSelection({}, std::nullopt);
    rundown_.setSelectedIndex(g ? static_cast<int>(g->clips.size()) : 0);
}

QList<MenuEntry> ClipStrip::menuAt(QPoint pos) {
    syncLayout();
    const auto hit = hitAt(toContent(pos));
    const ClipGroup* g = group();
    if (hit.part == StripLayout::Part::cell && g)
        return rundown_menus::clipMenu(rundown_, g->clips[hit.index].id, services_.menu);
    if (hit.part == StripLayout::Part::marker) {
        QPointer<ClipStrip> self(this);
        return rundown_menus::markerMenu(rundown_, hit.markerID, [self](const QUuid& id) {
            if (self) self->beginRenameMarker(id);
        });
    }
    return {};
}

void ClipStrip::contextMenuEvent(QContextMenuEvent* event) {
    const auto entries = menuAt(event->pos());
    if (entries.isEmpty()) return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    rundown_menus::populate(*menu, entries);
    menu->popup(event->globalPos());
}

// ---- Marker sheet --------------------------------------------------------------------------

void ClipStrip::beginAddMarker(int gap) {
    if (sheet_) sheet_->reject();
    const ClipGroup* g = group();
    // The sheet holds the tab and the gap's key, not the gap's index: an import while it is up
    // moves the gap, and the marker must still land beside the same clip.
    const QUuid tabID = g ? g->id : QUuid();
    const QString key = gapKey(g, gap);
    sheet_ =
        new NameSheet(localized("マーカーを追加"), QString(), localized("例: B部門"), 260, this);
    connect(sheet_, &NameSheet::confirmed, this, [this, tabID, key](const QString& text) {
        const ClipGroup* now = group();
        if (!now || now->id != tabID) return;
        int at = static_cast<int>(now->clips.size());
        if (key != QLatin1String("END")) {
            const auto index = rundown_menus::currentIndexOf(rundown_, QUuid::fromString(key));
            if (!index) return;
            at = *index;
        }
        rundown_.addMarker(at, text);
    });
    sheet_->open();
}

void ClipStrip::beginRenameMarker(const QUuid& markerID) {
    if (sheet_) sheet_->reject();
    const ClipGroup* g = group();
    QString name;
    if (g) {
        for (const Marker& m : g->markers) {
            if (m.id == markerID) name = m.name;
        }
    }
    sheet_ = new NameSheet(localized("マーカー名を変更"), name, localized("例: B部門"), 260, this);
    connect(sheet_, &NameSheet::confirmed, this,
            [this, markerID](const QString& text) { rundown_.renameMarker(markerID, text); });
    sheet_->open();
}

// ---- File drops ----------------------------------------------------------------------------

void ClipStrip::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    dragMoveEvent(event);
}

void ClipStrip::dragMoveEvent(QDragMoveEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    const auto gap = fileDropGap(toContent(event->position()));
    fileDropTargeted_ = !gap;
    setDropTarget(gap ? std::optional(StripInsertion{*gap, std::nullopt, false}) : std::nullopt);
    event->acceptProposedAction();
    viewport()->update();
}

void ClipStrip::dragLeaveEvent(QDragLeaveEvent*) {
    fileDropTargeted_ = false;
    setDropTarget(std::nullopt);
    viewport()->update();
}

void ClipStrip::dropEvent(QDropEvent* event) {
    const auto gap = fileDropGap(toContent(event->position()));
    fileDropTargeted_ = false;
    setDropTarget(std::nullopt);
    viewport()->update();
    QList<QUrl> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) files << url;
    }
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (services_.importURLs) services_.importURLs(files, gap);
}

bool ClipStrip::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
    syncLayout();
    auto* help = static_cast<QHelpEvent*>(event);
    const QPointF c = toContent(help->pos());
    const auto hit = hitAt(c);
    const ClipGroup* g = group();
    std::optional<QString> text;
    if (hit.part == StripLayout::Part::cell && g) {
        ClipCell cell;
        cell.clip = &g->clips[hit.index];
        cell.index = hit.index;
        cell.isSelected = rundown_.reorderSelection().contains(cell.clip->id);
        cell.isNext = hit.index == rundown_.clampedNext();
        cell.isProgram = programClipID_ == cell.clip->id;
        cell.canvas = canvas_;
        cell.fallbackMotion = defaultMotion_;
        cell.fallbackDuration = fadeDuration_;
        text = cell.toolTipAt(c, layout_.cell(hit.index).x);
    } else if (hit.part == StripLayout::Part::gap && c.y() < L::kLabelTop + L::kLabelHeight) {
        text = localized("ここにマーカーを追加");
    } else if (hit.part == StripLayout::Part::marker) {
        text = localized("ドラッグでマーカーを移動。青い線の位置へ挿入します");
    }
    if (text)
        QToolTip::showText(help->globalPos(), *text, viewport());
    else
        QToolTip::hideText();
    return true;
}

}  // namespace velmar
