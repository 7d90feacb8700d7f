#pragma once

#include "models/canvas_format.h"
#include "models/motion_kind.h"
#include "models/strip_insertion.h"
#include "ui/rundown/clip_strip_guide_fade.h"
#include "ui/rundown/name_sheet.h"
#include "ui/rundown/rundown_menus.h"
#include "ui/rundown/strip_layout.h"
#include "ui/rundown/thumbnail_slots.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace velmar {

class AppState;
class HostClock;
class PlayoutEngine;
class Rundown;
class Timer;
class TimerFactory;

// The horizontal rundown of the current tab: a gap before every clip cell (markers live there),
// the cells, and the END cell, running left to right or right to left. One scroll area that
// paints only what meets the viewport, from a StripLayout rebuilt once per change of tab,
// clips, markers, direction or width. It keeps the NEXT position on the centre line, selects on
// clicks, reorders clips and markers by dragging (the engine is called once, at release), adds
// dropped local files through the import callback, and hosts the marker sheet.
//
// Everything is drawn in design units and scaled by setScale(s).
class ClipStrip : public QAbstractScrollArea {
    Q_OBJECT
  public:
    struct Services {
        // Imports local files at a clip index of the current tab, or at its end (none). The
        // application remembers the files' access and then imports them.
        std::function<void(const QList<QUrl>& urls, std::optional<int> insertAt)> importURLs;
        ClipMenuCallbacks menu;
        // Asks for a thumbnail; empty: the process-wide thumbnail cache.
        ThumbnailSlots::Request thumbnail;
        // The clock and timers of the drop guides' fades; empty: the system's.
        HostClock* clock = nullptr;
        TimerFactory* timers = nullptr;
    };
    // How far a press must travel before it drags a cell or a marker.
    static constexpr double kDragThreshold = 6;
    // Cells beyond each edge of the viewport whose thumbnails are asked for ahead.
    static constexpr int kThumbnailMargin = 2;

    ClipStrip(Rundown& rundown, Services services, QWidget* parent = nullptr);
    ~ClipStrip() override;

    // Follows the engine's program clip, canvas and default motion; the strip then needs no
    // further wiring from the engine.
    void followEngine(const PlayoutEngine& engine);
    // Follows the application's strip direction.
    void followAppState(const AppState& app);
    void setProgramClipID(std::optional<QUuid> id);
    void setCanvas(const CanvasFormat& canvas);
    void setDefaults(MotionKind motion, double duration);
    void setRightToLeft(bool rightToLeft);
    bool rightToLeft() const { return rightToLeft_; }
    void setScale(double s);
    double scale() const { return scale_; }
    // The thumbnail cache was emptied.
    void invalidateThumbnails();

    const StripLayout& stripLayout() const { return layout_; }
    // Horizontal scroll offset in design units.
    double scrollOffset() const;
    // Viewport position (pixels) of a content point (design units), and back.
    QPointF toViewport(QPointF content) const;
    QPointF toContent(QPointF viewportPos) const;
    // The context menu the strip would show at a viewport position.
    QList<MenuEntry> menuAt(QPoint viewportPos);
    // The marker sheet now open, if any.
    NameSheet* openSheet() const { return sheet_; }
    const std::optional<StripInsertion>& dropTarget() const { return dropTarget_; }
    // How lit the drop guides of gap g are now, 0 to 1.
    double guideLevel(int gap) const;
    bool isSpinnerRunning() const { return spinner_.isActive(); }
    int thumbnailRequests() const { return thumbnails_.requestsMade(); }
    // Cells painted by the last paint, for checks that only the visible range is drawn.
    int lastPaintedCells() const { return lastPaintedCells_; }
    // Paints the visible strip at the current offset into a painter over the viewport's area.
    void paintVisible(QPainter& painter);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    void beginAddMarker(int gap);
    void beginRenameMarker(const QUuid& markerID);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    struct Press {
        StripLayout::Hit hit;
        QPointF origin;  // content coordinates
        QUuid clipID;
        bool addButton = false;
        bool dragging = false;
    };
    const ClipGroup* group() const;
    void relayout();
    // Rebuilds the layout when the tab's clip count moved on before its change signal arrived,
    // so that no index of the layout outruns the tab.
    void syncLayout();
    void updateScrollRange();
    void scrollToNext();
    void setScrollOffset(double offset);
    void updateWanted();
    void updateSpinner();
    void onSelectionChanged();
    // The hit under a content point, restricted to the rows the parts occupy.
    StripLayout::Hit hitAt(QPointF content) const;
    // The file-drop target under a content point: a gap or END (its gap index), else none.
    std::optional<int> fileDropGap(QPointF content) const;
    void clickCell(const QUuid& clipID, Qt::KeyboardModifiers modifiers);
    void clickEnd();
    // Sets the insertion point and starts the guides' fade towards it.
    void setDropTarget(std::optional<StripInsertion> target);
    void paintGap(QPainter& p, int g) const;
    void paintGuide(QPainter& p, double centreX, double level, bool hasMarker) const;

    Rundown& rundown_;
    Services services_;
    StripLayout layout_;
    ThumbnailSlots thumbnails_;
    QTimer spinner_;
    int spinnerPhase_ = 0;
    double scale_ = 1;
    bool rightToLeft_ = true;
    std::optional<QUuid> programClipID_;
    CanvasFormat canvas_;
    MotionKind defaultMotion_ = MotionKind::fade;
    double fadeDuration_ = 0.5;
    int lastNext_ = -1;
    int lastTab_ = -1;

    std::optional<Press> press_;
    std::optional<StripInsertion> dropTarget_;
    std::optional<QUuid> draggingClipID_;
    std::optional<QUuid> draggingMarkerID_;
    bool fileDropTargeted_ = false;
    QPointer<NameSheet> sheet_;
    int lastPaintedCells_ = 0;
    HostClock& clock_;
    ClipStripGuideFade guides_;
    std::unique_ptr<Timer> guideTimer_;
    QImage wellCache_;
    QImage borderCache_;
    double wellCacheScale_ = 0;
};

}  // namespace velmar
