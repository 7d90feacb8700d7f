#include "ui/window/pane_caption.h"

#include "ui/controls/design_scale.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace velmar {

PaneCaption::PaneCaption(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

void PaneCaption::setCaption(const QString& text, const Style& style) {
    text_ = text;
    style_ = style;
    update();
}

void PaneCaption::setScale(double s) {
    scale_ = s;
    update();
}

QFont PaneCaption::font() const {
    return DesignScale::font(style_.points, 1, style_.weight, true);
}

QSizeF PaneCaption::designSize() const {
    const QFontMetricsF metrics(font());
    QSizeF size(metrics.horizontalAdvance(text_), metrics.height());
    if (style_.capsule) size += QSizeF(20, 6);
    return size;
}

void PaneCaption::paintEvent(QPaintEvent*) {
    if (text_.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale_, scale_);
    const QRectF area(QPointF(0, 0), designSize());
    if (style_.capsule) {
        QPainterPath capsule;
        capsule.addRoundedRect(area, area.height() / 2, area.height() / 2);
        painter.fillPath(capsule, *style_.capsule);
    }
    painter.setFont(font());
    painter.setPen(style_.text);
    painter.drawText(area, Qt::AlignCenter, text_);
}

}  // namespace velmar
