#include "ui/tools/signal_monitor_pane.h"

#include "ui/tools/signal_monitor_palette.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace velmar {

namespace {

constexpr int kTitleSpacing = 4;

QFont titleFont() {
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(11);
    f.setWeight(QFont::Bold);
    return f;
}

QFont labelFont(QFont::Weight weight, bool monospaced) {
    QFont f(monospaced ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(9);  // 8.5 points, to the next whole pixel
    f.setWeight(weight);
    return f;
}

// Image pixels placed with the nearest source pixel, as blocks.
void drawBlocks(QPainter& p, const QRectF& target, const QImage& image) {
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(target, image);
}

}  // namespace

SignalMonitorPane::SignalMonitorPane(Kind kind, const QString& title, QWidget* parent)
    : QWidget(parent), kind_(kind) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setTitle(title);
}

void SignalMonitorPane::setTitle(const QString& title) {
    title_ = title;
    setAccessibleName(title);
    update();
}

void SignalMonitorPane::setGraticule(SignalMonitorGeometry::Graticule graticule) {
    graticule_ = graticule;
    update();
}

void SignalMonitorPane::setImage(const QImage& image, const QImage& overlay) {
    image_ = image;
    overlay_ = overlay;
    update();
}

QRect SignalMonitorPane::contentRect() const {
    const int top = QFontMetrics(titleFont()).height() + kTitleSpacing;
    return QRect(0, top, width(), std::max(0, height() - top));
}

void SignalMonitorPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(titleFont());
    p.setPen(SignalMonitorPalette::grey(0.96));
    p.drawText(QRect(0, 0, width(), QFontMetrics(titleFont()).height()),
               Qt::AlignLeft | Qt::AlignVCenter, title_);

    const QRect content = contentRect();
    QPainterPath clip;
    clip.addRoundedRect(QRectF(content), 3, 3);
    p.setClipPath(clip);
    p.fillRect(content, Qt::black);
    p.translate(content.topLeft());
    switch (kind_) {
        case Kind::picture:
            paintPicture(p, QRect(QPoint(0, 0), content.size()));
            break;
        case Kind::waveform:
            paintWaveform(p, QRect(QPoint(0, 0), content.size()));
            break;
        case Kind::vectorscope:
            paintVectorscope(p, QRect(QPoint(0, 0), content.size()));
            break;
    }
}

void SignalMonitorPane::paintPicture(QPainter& p, const QRect& content) const {
    if (image_.isNull()) return;
    QSizeF fitted = QSizeF(image_.size()).scaled(QSizeF(content.size()), Qt::KeepAspectRatio);
    const QRectF target(content.left() + (content.width() - fitted.width()) / 2,
                        content.top() + (content.height() - fitted.height()) / 2, fitted.width(),
                        fitted.height());
    drawBlocks(p, target, image_);
    if (!overlay_.isNull()) drawBlocks(p, target, overlay_);
}

void SignalMonitorPane::paintWaveform(QPainter& p, const QRect& content) const {
    using Geometry = SignalMonitorGeometry;
    const QRectF plot = Geometry::waveformPlot(QSizeF(content.size()));
    if (!image_.isNull()) drawBlocks(p, plot, image_);

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setFont(labelFont(QFont::Normal, true));
    const QFontMetricsF metrics(p.font());
    for (const Geometry::LevelLine& level : Geometry::levelLines(plot, graticule_)) {
        QPen pen(SignalMonitorPalette::white(level.opacity), 1);
        if (level.dashed) pen.setDashPattern({3, 3});
        p.setPen(pen);
        p.drawLine(level.line);
        p.setPen(SignalMonitorPalette::white(0.6));
        const double w = metrics.horizontalAdvance(level.label);
        const double h = metrics.height();
        p.drawText(QRectF(level.labelAnchor.x() - w, level.labelAnchor.y() - h / 2, w, h),
                   Qt::AlignRight | Qt::AlignVCenter, level.label);
    }
    if (graticule_ == Geometry::Graticule::rgb) {
        p.setPen(QPen(SignalMonitorPalette::white(0.3), 1));
        for (const QLineF& line : Geometry::paradeSeparators(plot)) p.drawLine(line);
    }
}

void SignalMonitorPane::paintVectorscope(QPainter& p, const QRect& content) const {
    using Geometry = SignalMonitorGeometry;
    const QRectF square = Geometry::vectorscopeSquare(QSizeF(content.size()));
    if (!image_.isNull()) drawBlocks(p, square, image_);

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(SignalMonitorPalette::white(0.25), 1));
    p.drawEllipse(square);
    const QPointF centre = square.center();
    QPainterPath cross;
    cross.moveTo(square.left(), centre.y());
    cross.lineTo(square.right(), centre.y());
    cross.moveTo(centre.x(), square.top());
    cross.lineTo(centre.x(), square.bottom());
    p.setPen(QPen(SignalMonitorPalette::white(0.18), 1));
    p.drawPath(cross);

    p.setFont(labelFont(QFont::DemiBold, false));
    const QFontMetricsF metrics(p.font());
    for (const Geometry::Target& target : Geometry::vectorscopeTargets(square)) {
        p.setPen(QPen(SignalMonitorPalette::white(0.55), 1));
        p.drawRect(target.box);
        p.setPen(SignalMonitorPalette::white(0.7));
        const double w = metrics.horizontalAdvance(target.label);
        const double h = metrics.height();
        p.drawText(QRectF(target.labelCentre.x() - w / 2, target.labelCentre.y() - h / 2, w, h),
                   Qt::AlignCenter, target.label);
    }
}

}  // namespace velmar
