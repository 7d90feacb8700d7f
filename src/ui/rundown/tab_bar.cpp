#include "ui/rundown/tab_bar.h"

#include "app/app_state.h"
#include "core/rundown.h"
#include "models/localized.h"
#include "ui/controls/aqua.h"
#include "ui/rundown/name_sheet.h"
#include "ui/rundown/rundown_style.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

namespace velmar {

namespace style = rundown_style;
using R = TabRowLayout;

namespace {

const QFont& roleFont(int role) {
    switch (role) {
        case R::numberRole:
            return style::font(10, QFont::Bold, true);
        case R::nameRole:
            return style::font(12);
        case R::selectedNameRole:
            return style::font(12, QFont::DemiBold);
        default:
            return style::font(10, QFont::Normal, true);
    }
}

QString oneLine(QString text) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

std::vector<R::Tab> tabsOf(const Rundown& rundown) {
    std::vector<R::Tab> tabs;
    const auto& groups = rundown.groups();
    tabs.reserve(groups.size());
    for (int i = 0; i < groups.size(); ++i) {
        tabs.push_back({i < 9 ? QString::number(i + 1) : QString(), oneLine(groups[i].name),
                        QString::number(groups[i].clips.size()), i == rundown.currentGroupIndex()});
    }
    return tabs;
}

}  // namespace

TabBar::TabBar(Rundown& rundown, FilterPopover::EntryFlag setNumberEntryOpen, QWidget* parent)
    : QWidget(parent),
      rundown_(rundown),
      popover_(new FilterPopover(rundown, std::move(setNumberEntryOpen), this)) {
    auto repaint = [this] {
        countText_.reset();
        clampOffset();
        update();
    };
    connect(&rundown_, &Rundown::tabsChanged, this, repaint);
    connect(&rundown_, &Rundown::currentTabChanged, this, repaint);
    connect(&rundown_, &Rundown::clipsChanged, this, repaint);
    connect(&rundown_, &Rundown::filterChanged, this, repaint);
}

void TabBar::followAppState(const AppState& app) {
    setFilterRequestToken(app.filterRequestToken());
    connect(&app, &AppState::filterRequestTokenChanged, this, &TabBar::setFilterRequestToken);
}

void TabBar::setScale(double s) {
    if (!(s > 0)) return;
    scale_ = s;
    updateGeometry();
    update();
}

QSize TabBar::sizeHint() const {
    return {static_cast<int>(600 * scale_), static_cast<int>(std::ceil(R::kBarHeight * scale_))};
}

void TabBar::setFilterRequestToken(int token) {
    const bool first = !std::exchange(tokenSeen_, true);
    if (first || token == token_) {
        token_ = token;
        return;
    }
    token_ = token;
    openFilter();
}

void TabBar::openFilter() {
    if (popover_->isVisible()) return;
    const QRectF b = rowLayout().filterButton;
    popover_->openBelow(mapToGlobal(toWidget(QPointF(b.center().x(), b.bottom())).toPoint()));
}

// The count is a looked-up text.
void TabBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) countText_.reset();
    QWidget::changeEvent(event);
}

QString TabBar::filterCountText() const {
    if (countText_) return *countText_;
    countText_ = QString();
    if (rundown_.filterText().isEmpty()) return {};
    const auto& groups = rundown_.groups();
    const long long total = groups.isEmpty() ? 0 : groups[rundown_.safeGroupIndex()].clips.size();
    countText_ =
        localizedFormat("%lld / %lld", {static_cast<long long>(rundown_.filteredCount()), total});
    return *countText_;
}

TabRowLayout TabBar::rowLayout() const {
    return R::make(tabsOf(rundown_), filterCountText(), width() / scale_,
                   [](const QString& text, int role) {
                       return QFontMetricsF(roleFont(role)).horizontalAdvance(text);
                   });
}

QPointF TabBar::toRow(QPointF pos) const {
    return {pos.x() / scale_ + rowOffset_, pos.y() / scale_};
}

QPointF TabBar::toWidget(QPointF row) const {
    return {(row.x() - rowOffset_) * scale_, row.y() * scale_};
}

void TabBar::clampOffset() {
    const double visible = width() / scale_;
    rowOffset_ = std::clamp(rowOffset_, 0.0, std::max(0.0, rowLayout().rowWidth - visible));
}

void TabBar::resizeEvent(QResizeEvent*) {
    clampOffset();
}

void TabBar::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
    rowOffset_ -= step / 4.0;
    clampOffset();
    update();
}

void TabBar::paintEvent(QPaintEvent*) {
    if (width() <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale_, scale_);
    const double visible = width() / scale_;
    p.fillRect(QRectF(0, R::kTabHeight, visible, 1), QColor::fromRgbF(0, 0, 0, 0.6));
    p.setClipRect(QRectF(0, 0, visible, R::kTabHeight));
    p.translate(-rowOffset_, 0);
    const TabRowLayout row = rowLayout();
    const auto tabs = tabsOf(rundown_);
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        const R::Tab& tab = tabs[i];
        const R::Cell& cell = row.cells[i];
        if (cell.rect.right() < rowOffset_ || cell.rect.left() > rowOffset_ + visible) continue;
        const QRectF r = cell.rect;
        // Only the top corners are rounded.
        QPainterPath shape;
        shape.moveTo(r.bottomLeft());
        shape.lineTo(r.left(), r.top() + 6);
        shape.quadTo(r.topLeft(), QPointF(r.left() + 6, r.top()));
        shape.lineTo(r.right() - 6, r.top());
        shape.quadTo(r.topRight(), QPointF(r.right(), r.top() + 6));
        shape.lineTo(r.bottomRight());
        shape.closeSubpath();
        p.fillPath(shape, Aqua::glossy(tab.selected ? style::systemAccent() : style::white(0.3),
                                       tab.selected));
        p.fillPath(shape, Aqua::shine());
        p.strokePath(shape, QPen(QColor::fromRgbF(0, 0, 0, 0.55), 1));
        const QRectF line(r.left(), r.top(), r.width(), r.height());
        if (!tab.number.isEmpty()) {
            p.setFont(roleFont(R::numberRole));
            p.setPen(tab.selected ? style::white(1, 0.8) : style::dimGrey());
            p.drawText(QRectF(cell.numberX, line.top(), 1e4, line.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, tab.number);
        }
        p.setFont(roleFont(tab.selected ? R::selectedNameRole : R::nameRole));
        p.setPen(tab.selected ? QColor(Qt::white) : style::white(0.96));
        p.drawText(QRectF(cell.nameX, line.top(), cell.countX - cell.nameX, line.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, tab.name);
        p.setFont(roleFont(R::countRole));
        p.setPen(tab.selected ? style::white(1, 0.75) : style::dimGrey());
        p.drawText(QRectF(cell.countX, line.top(), 1e4, line.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, tab.count);
    }
    // The add button: a bold plus.
    p.setPen(QPen(style::dimGrey(), 2));
    const QPointF a = row.addButton.center();
    p.drawLine(a - QPointF(4.5, 0), a + QPointF(4.5, 0));
    p.drawLine(a - QPointF(0, 4.5), a + QPointF(0, 4.5));

    const bool filtering = !rundown_.filterText().isEmpty();
    const QColor blue = style::accentBlue();
    if (filtering) {
        p.setFont(roleFont(R::filterCountRole));
        p.setPen(blue);
        p.drawText(row.filterCount, Qt::AlignCenter, filterCountText());
        const QRectF c = row.clearButton.adjusted(1.5, 1.5, -1.5, -1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(style::dimGrey());
        p.drawEllipse(c);
        p.setPen(QPen(style::white(0.1), 1.5));
        const QPointF m = c.center();
        p.drawLine(m + QPointF(-2.5, -2.5), m + QPointF(2.5, 2.5));
        p.drawLine(m + QPointF(-2.5, 2.5), m + QPointF(2.5, -2.5));
    }
    // The filter symbol: three lines narrowing downwards in a circle, filled while filtering.
    const QColor ink = filtering ? blue : style::dimGrey();
    const QPointF f = row.filterButton.center();
    p.setBrush(filtering ? QBrush(ink) : Qt::NoBrush);
    p.setPen(QPen(ink, 1.3));
    p.drawEllipse(f, 7, 7);
    p.setPen(QPen(filtering ? QColor(Qt::black) : ink, 1.3));
    for (int i = 0; i < 3; ++i) {
        const double half = 4 - i * 1.4;
        const double y = f.y() - 2.5 + i * 2.5;
        p.drawLine(QPointF(f.x() - half, y), QPointF(f.x() + half, y));
    }
}

void TabBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressAt_ = toRow(event->position());
}

void TabBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPointF at = toRow(event->position());
    const TabRowLayout row = rowLayout();
    auto pressedAndReleased = [&](const QRectF& r) {
        return r.contains(pressAt_) && r.contains(at);
    };
    if (const int tab = row.tabAt(at); tab >= 0 && row.tabAt(pressAt_) == tab) {
        rundown_.selectGroup(tab);
    } else if (pressedAndReleased(row.addButton)) {
        rundown_.addGroup(QStringLiteral("Group ") + QString::number(rundown_.groups().size() + 1));
    } else if (!row.clearButton.isEmpty() && pressedAndReleased(row.clearButton)) {
        rundown_.setFilterText(QString());
    } else if (pressedAndReleased(row.filterButton)) {
        openFilter();
    }
}

QList<MenuEntry> TabBar::menuAt(QPoint pos) {
    const int tab = rowLayout().tabAt(toRow(pos));
    if (tab < 0) return {};
    QPointer<TabBar> self(this);
    return rundown_menus::tabMenu(rundown_, rundown_.groups()[tab].id, [self](const QUuid& id) {
        if (self) self->beginRename(id);
    });
}

void TabBar::contextMenuEvent(QContextMenuEvent* event) {
    const auto entries = menuAt(event->pos());
    if (entries.isEmpty()) return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    rundown_menus::populate(*menu, entries);
    menu->popup(event->globalPos());
}

bool TabBar::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    auto* help = static_cast<QHelpEvent*>(e);
    const QPointF at = toRow(help->pos());
    const TabRowLayout row = rowLayout();
    QString text;
    if (row.addButton.contains(at)) text = localized("タブを追加");
    if (row.clearButton.contains(at)) text = localized("絞り込みを解除");
    if (row.filterButton.contains(at)) text = localized("名前で絞り込み");
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}

void TabBar::beginRename(const QUuid& tabID) {
    const auto index = rundown_menus::tabIndexOf(rundown_, tabID);
    if (!index) return;
    if (sheet_) sheet_->reject();
    sheet_ =
        new NameSheet(localized("タブ名"), rundown_.groups()[*index].name, QString(), 240, this);
    // The sheet holds the tab's id: tabs added, moved or removed meanwhile do not redirect it.
    connect(sheet_, &NameSheet::confirmed, this, [this, tabID](const QString& text) {
        if (const auto i = rundown_menus::tabIndexOf(rundown_, tabID))
            rundown_.renameGroup(*i, text);  // as typed; the rundown trims
    });
    sheet_->open();
}

}  // namespace velmar
