#include "ui/window/pane_view.h"

#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace velmar {

void PaneView::frameRect(QPainter& painter, const QRectF& r, double width, const QColor& color) {
    painter.fillRect(QRectF(r.left(), r.top(), r.width(), width), color);
    painter.fillRect(QRectF(r.left(), r.bottom() - width, r.width(), width), color);
    painter.fillRect(QRectF(r.left(), r.top() + width, width, r.height() - 2 * width), color);
    painter.fillRect(QRectF(r.right() - width, r.top() + width, width, r.height() - 2 * width),
                     color);
}

void PaneView::fillRounded(QPainter& painter, const QRectF& rect, double radius,
                           const QColor& color) {
    if (rect.height() <= 2 * radius || rect.width() <= 2 * radius) {
        QPainterPath shape;
        shape.addRoundedRect(rect, radius, radius);
        painter.fillPath(shape, color);
        return;
    }
    // A plain fill for the body; only the two strips with the corners are shapes.
    painter.fillRect(rect.adjusted(0, radius, 0, -radius), color);
    QPainterPath strips;
    strips.addRoundedRect(QRectF(rect.left(), rect.top(), rect.width(), 2 * radius), radius,
                          radius);
    strips.addRoundedRect(QRectF(rect.left(), rect.bottom() - 2 * radius, rect.width(), 2 * radius),
                          radius, radius);
    painter.save();
    painter.setClipRect(rect.adjusted(0, 0, 0, -rect.height() + radius), Qt::IntersectClip);
    painter.fillPath(strips, color);
    painter.restore();
    painter.save();
    painter.setClipRect(rect.adjusted(0, rect.height() - radius, 0, 0), Qt::IntersectClip);
    painter.fillPath(strips, color);
    painter.restore();
}

QRegion PaneView::roundedRegion(const QRect& rect, double radius) {
    if (rect.isEmpty()) return {};
    radius = std::min({radius, rect.width() / 2.0, rect.height() / 2.0});
    if (!(radius > 0)) return QRegion(rect);
    // Row by row through the corners: a pixel stays when its centre is inside the arc.
    const int rows = int(std::ceil(radius));
    QRegion region(rect.adjusted(0, rows, 0, -rows));
    for (int y = 0; y < rows; ++y) {
        const double dy = radius - (y + 0.5);
        const double dx = dy > 0 ? radius - std::sqrt(radius * radius - dy * dy) : 0;
        const int inset = std::max(0, int(std::ceil(dx - 0.5)));
        const int width = rect.width() - 2 * inset;
        if (width <= 0) continue;
        region += QRect(rect.left() + inset, rect.top() + y, width, 1);
        region += QRect(rect.left() + inset, rect.bottom() - y, width, 1);
    }
    return region;
}

PaneView::PaneView(QString title, QColor accent, QWidget* parent)
    : QWidget(parent), title_(std::move(title)), accent_(accent) {}

void PaneView::setScale(double s) {
    if (scale_ == s) return;
    scale_ = s;
    canvasRectChanged();
    update();
}

void PaneView::setFilename(const std::optional<QString>& name) {
    if (filename_ == name) return;
    filename_ = name;
    update(
        QRectF(filenameRect().topLeft() * scale_, filenameRect().size() * scale_).toAlignedRect());
}

void PaneView::setCanvas(const CanvasFormat& canvas) {
    if (canvas_.width == canvas.width && canvas_.height == canvas.height) return;
    canvas_ = canvas;
    canvasRectChanged();
    update();
}

void PaneView::setShowsMovieBadge(bool shows) {
    if (showsMovieBadge_ == shows) return;
    showsMovieBadge_ = shows;
    update();
}

QRectF PaneView::canvasBox(QSizeF pane) {
    const double top = kHeaderHeight + kSpacing;
    const double available = std::max(0.0, pane.height() - top - kSpacing - kFilenameHeight);
    const double width = std::max(0.0, pane.width());
    QSizeF box(width, width * 9 / 16);
    if (box.height() > available) box = QSizeF(available * 16 / 9, available);
    return QRectF((width - box.width()) / 2, top + (available - box.height()) / 2, box.width(),
                  box.height());
}

QRectF PaneView::canvasRect(const QRectF& box, const CanvasFormat& canvas) {
    if (canvas.width <= 0 || canvas.height <= 0 || !(box.width() > 0) || !(box.height() > 0))
        return {};
    const double s = std::min(box.width() / canvas.width, box.height() / canvas.height);
    QRectF rect(0, 0, s * canvas.width, s * canvas.height);
    rect.moveCenter(box.center());
    return rect;
}

QRectF PaneView::canvasRect() const {
    return canvasRect(canvasBox(QSizeF(size()) / scale_), canvas_);
}

QRegion PaneView::canvasBoxRegion() const {
    const QRectF box = canvasBox(QSizeF(size()) / scale_);
    return roundedRegion(QRectF(box.topLeft() * scale_, box.size() * scale_).toAlignedRect(),
                         4 * scale_);
}

QRectF PaneView::filenameRect() const {
    const QSizeF pane = QSizeF(size()) / scale_;
    return QRectF(0, pane.height() - kFilenameHeight, pane.width(), kFilenameHeight);
}

void PaneView::resizeEvent(QResizeEvent*) {
    canvasRectChanged();
}

bool PaneView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (filenameRect().contains(QPointF(help->pos()) / scale_))
            QToolTip::showText(help->globalPos(), filename_.value_or(QString()), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void PaneView::paintContent(QPainter&, const QRectF&) {}

void PaneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale_, scale_);
    const QSizeF pane = QSizeF(size()) / scale_;

    // Header: the title centred; the dot and the badge beside it take no room.
    QFont titleFont = DesignScale::font(17, 1, QFont::Black);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    const QFontMetricsF titleMetrics(titleFont);
    const double titleWidth = titleMetrics.horizontalAdvance(title_);
    const QRectF header(0, 0, pane.width(), kHeaderHeight);
    painter.setFont(titleFont);
    painter.setPen(accent_);
    painter.drawText(header, Qt::AlignCenter, title_);
    const double titleLeft = header.center().x() - titleWidth / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent_);
    painter.drawEllipse(QPointF(titleLeft - 18 + 4.5, header.center().y()), 4.5, 4.5);
    if (showsMovieBadge_) {
        // A strip of film: a rounded frame with perforations.
        const QRectF film(header.center().x() + titleWidth / 2 + 22 - 12, header.center().y() - 6,
                          13, 12);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(accent_, 1.5));
        painter.drawRoundedRect(film, 1.5, 1.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent_);
        for (int i = 0; i < 3; ++i) {
            painter.drawRect(QRectF(film.left() + 1.5, film.top() + 1.5 + i * 3.4, 1.6, 1.6));
            painter.drawRect(QRectF(film.right() - 3.1, film.top() + 1.5 + i * 3.4, 1.6, 1.6));
        }
    }

    // Canvas frame: black box, rounded 4, with the picture in the canvas rectangle; picture
    // and border are cut at the box's rounded corners too.
    const QRectF box = canvasBox(pane);
    const QRectF canvas = canvasRect(box, canvas_);
    if (!fillsCanvas() || !canvas.contains(box)) fillRounded(painter, box, 4, Qt::black);
    if (!canvas.isEmpty()) {
        painter.save();
        const QTransform design = painter.transform();
        painter.resetTransform();
        painter.setClipRegion(canvasBoxRegion());
        painter.setTransform(design);
        painter.setClipRect(canvas, Qt::IntersectClip);
        paintContent(painter, canvas);
        frameRect(painter, canvas, 1, Palette::withOpacity(accent_, 0.6));
        painter.restore();
    }

    // File name, cut in the middle.
    const QRectF nameRect = filenameRect();
    const QFont nameFont = DesignScale::font(20, 1, QFont::Medium, true);
    painter.setFont(nameFont);
    painter.setPen(Palette::secondaryText());
    const QString name = filename_.value_or(QStringLiteral("—"));
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetricsF(nameFont).elidedText(name, Qt::ElideMiddle, nameRect.width()));
}

}  // namespace velmar
