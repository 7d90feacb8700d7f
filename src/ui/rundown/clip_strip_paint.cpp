// Drawing of the clip strip: only the gaps, markers and cells that meet the viewport, plus one
// cell on each side.
#include "core/rundown.h"
#include "ui/rundown/clip_cell.h"
#include "ui/rundown/clip_strip.h"
#include "ui/rundown/rundown_style.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace velmar {

namespace style = rundown_style;
using L = StripLayout;

namespace {

constexpr double kWellCorner = 6;
// Rows drawn in one go by the fills that span the whole height (see paintVisible).
constexpr int kBand = 64;

QString oneLine(QString text) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

}  // namespace

void ClipStrip::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    paintVisible(painter);
}

void ClipStrip::paintVisible(QPainter& p) {
    lastPaintedCells_ = 0;
    syncLayout();
    if (viewport()->width() <= 0 || viewport()->height() <= 0) return;
    p.save();
    p.scale(scale_, scale_);
    const QRectF area(0, 0, viewport()->width() / scale_, viewport()->height() / scale_);
    // The well's gradient is drawn once per size; the content keeps off its rounded corners, so
    // a plain rectangle clips it.
    if (wellCache_.size() != viewport()->size() || wellCacheScale_ != scale_) {
        wellCache_ = QImage(viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        wellCache_.fill(Qt::transparent);
        QPainter well(&wellCache_);
        well.scale(scale_, scale_);
        style::paintWellBackground(well, area, kWellCorner);
        wellCacheScale_ = scale_;
        // The border goes over the content: kept apart, and copied at the edges only.
        borderCache_ = QImage(viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        borderCache_.fill(Qt::transparent);
        QPainter border(&borderCache_);
        border.scale(scale_, scale_);
        style::paintWellBorder(border, area, kWellCorner);
    }
    p.save();
    p.resetTransform();
    // In bands of fewer than 96 rows: Qt's raster engine hands taller blends to its thread pool,
    // whose hand-offs cost more than these copies on a busy machine.
    for (int y = 0; y < wellCache_.height(); y += kBand)
        p.drawImage(QPoint(0, y), wellCache_, QRect(0, y, wellCache_.width(), kBand));
    p.restore();
    p.setClipRect(area);

    const double off = scrollOffset();
    p.translate(-off, 0);
    const double x0 = off - L::kCellWidth, x1 = off + area.width() + L::kCellWidth;
    const ClipGroup* g = group();

    const auto [g0, g1] = layout_.gapsIn(x0, x1);
    for (int gap = g0; gap < g1; ++gap) paintGap(p, gap);

    if (g) {
        const auto [c0, c1] = layout_.cellsIn(x0, x1);
        const int next = rundown_.clampedNext();
        const auto& selection = rundown_.reorderSelection();
        ClipCell cell;
        cell.canvas = canvas_;
        cell.fallbackMotion = defaultMotion_;
        cell.fallbackDuration = fadeDuration_;
        cell.spinnerPhase = spinnerPhase_;
        for (int i = c0; i < c1; ++i) {
            const Clip& clip = g->clips[i];
            cell.clip = &clip;
            cell.index = i;
            cell.isProgram = programClipID_ == clip.id;
            cell.isNext = i == next;
            cell.isSelected = selection.contains(clip.id);
            cell.matchesFilter = rundown_.matchesFilter(clip);
            cell.isDragging = draggingClipID_ == clip.id;
            // Composed once per picture and scale, then drawn without scaling.
            cell.picture = thumbnails_.prepared(clip.id, scale_, [this](const QImage& image) {
                return ClipCell::composeTile(&image, scale_);
            });
            cell.paint(p, layout_.cell(i).x);
            ++lastPaintedCells_;
        }
    }
    const L::Span end = layout_.endCell();
    if (end.right() > x0 && end.x < x1) {
        ClipCell::paintEnd(p, end.x, rundown_.isAtEnd());
        if (dropTarget_ && dropTarget_->gap == layout_.clipCount())
            p.fillRect(QRectF(end.x - 6, L::kTileTop, 4, L::kCellHeight), style::accentBlue());
    }
    p.translate(off, 0);

    // The centre line marks the NEXT position; clicks pass through it.
    for (double y = 2; y < area.height() - 2; y += kBand / scale_) {
        const double h = std::min(kBand / scale_, area.height() - 2 - y);
        p.fillRect(QRectF(area.width() / 2 - 0.5, y, 1, h), style::white(1, 0.35));
    }
    p.setClipping(false);
    if (fileDropTargeted_) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(style::accentBlue(), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(area.adjusted(1.5, 1.5, -1.5, -1.5), kWellCorner, kWellCorner);
    }
    p.resetTransform();
    const int w = borderCache_.width(), h = borderCache_.height();
    const int edge = std::min({int(std::ceil(kWellCorner * scale_)) + 2, w, h});
    for (const QRect band :
         {QRect(0, 0, w, edge), QRect(0, h - edge, w, edge), QRect(0, edge, edge, h - 2 * edge),
          QRect(w - edge, edge, edge, h - 2 * edge)})
        p.drawImage(band.topLeft(), borderCache_, band);
    p.restore();
}

void ClipStrip::paintGuide(QPainter& p, double cx, double level, bool hasMarker) const {
    // Between the resting look and the active one (blue, 4 wide, arrowheads) by the fade level.
    const double restWidth = hasMarker ? 2 : 1;
    const QColor rest = hasMarker ? style::white(1, 0.55) : style::white(1, 0.08);
    const QColor blue = style::accentBlue();
    const double width = restWidth + (4 - restWidth) * level;
    const auto mix = [level](double a, double b) { return a + (b - a) * level; };
    const QColor color = QColor::fromRgbF(
        float(mix(rest.redF(), blue.redF())), float(mix(rest.greenF(), blue.greenF())),
        float(mix(rest.blueF(), blue.blueF())), float(mix(rest.alphaF(), blue.alphaF())));
    p.fillRect(QRectF(cx - width / 2, L::kTileTop, width, L::kCellHeight), color);
    if (level <= 0) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(p.opacity() * std::min(level, 1.0));
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    const double top = L::kTileTop, bottom = L::kTileTop + L::kCellHeight;
    const QPointF down[3] = {{cx - 4.5, top}, {cx + 4.5, top}, {cx, top + 7}};
    const QPointF up[3] = {{cx - 4.5, bottom}, {cx + 4.5, bottom}, {cx, bottom - 7}};
    p.drawPolygon(down, 3);
    p.drawPolygon(up, 3);
    p.restore();
}

void ClipStrip::paintGap(QPainter& p, int gap) const {
    const double level = guideLevel(gap);
    const auto columns = layout_.markerColumns(gap);
    if (columns.empty()) {
        const L::Span span = layout_.gap(gap);
        const QPointF c(span.x + span.width / 2, L::kLabelTop + L::kLabelHeight / 2);
        p.setPen(QPen(style::dimGrey(), 1.8));
        p.drawLine(c - QPointF(3.5, 0), c + QPointF(3.5, 0));
        p.drawLine(c - QPointF(0, 3.5), c + QPointF(0, 3.5));
        paintGuide(p, c.x(), level, false);
        return;
    }
    const ClipGroup* g = group();
    const QFont& nameFont = style::font(12, QFont::Bold);
    const QFontMetricsF& metrics = style::metrics(12, QFont::Bold);
    for (const auto& column : columns) {
        QString name;
        if (g) {
            for (const Marker& m : g->markers) {
                if (m.id == column.id) name = m.name;
            }
        }
        p.save();
        if (draggingMarkerID_ == column.id) p.setOpacity(0.4);
        const QRectF label(column.span.x, L::kLabelTop, column.span.width, L::kLabelHeight);
        p.setFont(nameFont);
        p.setPen(style::white(0.96));
        p.drawText(label, Qt::AlignCenter | Qt::TextSingleLine,
                   metrics.elidedText(oneLine(name), Qt::ElideRight, label.width()));
        paintGuide(p, column.span.x + column.span.width / 2, level, true);
        if (dropTarget_ && dropTarget_->markerID == column.id) {
            // The bar stands on the side of the marker where the insertion lands.
            const bool left = dropTarget_->afterMarker == rightToLeft_;
            const double x = left ? column.span.x : column.span.right() - 4;
            p.fillRect(QRectF(x, L::kLabelTop, 4, L::kContentBottom - L::kLabelTop),
                       style::systemBlue());
        }
        p.restore();
    }
}

}  // namespace velmar
