#pragma once

#include "ui/rundown/filter_popover.h"
#include "ui/rundown/name_sheet.h"
#include "ui/rundown/rundown_menus.h"
#include "ui/rundown/tab_row_layout.h"

#include <QPointer>
#include <QWidget>

namespace velmar {

class AppState;
class Rundown;

// The row of tabs above the clip strip: one custom-painted cell per tab (the current one raised
// and lit), a click makes a tab current, a context menu renames, moves or deletes it, the add
// button appends "Group n", and the name-filter control stands at the right end. The row
// scrolls sideways (wheel) when it is wider than the bar; the tabs always run left to right.
class TabBar : public QWidget {
    Q_OBJECT
  public:
    TabBar(Rundown& rundown, FilterPopover::EntryFlag setNumberEntryOpen,
           QWidget* parent = nullptr);

    // Opens the filter on later changes of the application's filter request counter.
    void followAppState(const AppState& app);
    void setScale(double s);
    // The application's filter request counter. The first value seen is only noted; each later
    // change opens the filter popover.
    void setFilterRequestToken(int token);
    void openFilter();

    TabRowLayout rowLayout() const;
    // Row x of the bar's left edge.
    double rowOffset() const { return rowOffset_; }
    // Viewport position (pixels) of a row point, and back.
    QPointF toWidget(QPointF row) const;
    FilterPopover* filterPopover() const { return popover_; }
    NameSheet* renameSheet() const { return sheet_; }
    QList<MenuEntry> menuAt(QPoint pos);
    void beginRename(const QUuid& tabID);

    QSize sizeHint() const override;

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QPointF toRow(QPointF widgetPos) const;
    QString filterCountText() const;
    void clampOffset();

    Rundown& rundown_;
    FilterPopover* popover_;
    QPointer<NameSheet> sheet_;
    double scale_ = 1;
    double rowOffset_ = 0;
    bool tokenSeen_ = false;
    int token_ = 0;
    QPointF pressAt_;
    // The "M / N" count, counted once per change of the filter, the clips or the tab.
    mutable std::optional<QString> countText_;
};

}  // namespace velmar
