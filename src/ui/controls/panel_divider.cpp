#include "ui/controls/panel_divider.h"

#include "ui/controls/palette.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {
constexpr double kMinimumDragDistance = 1;  // design units
constexpr double kBarWidth = 5;
}  // namespace

PanelDivider::PanelDivider(Binding width, double lowerBound, double upperBound, double direction,
                           QWidget* parent)
    : QWidget(parent),
      width_(std::move(width)),
      lowerBound_(lowerBound),
      upperBound_(upperBound),
      direction_(direction) {
    setCursor(Qt::SizeHorCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

double PanelDivider::draggedWidth(double startWidth, double translation, double lowerBound,
                                  double upperBound, double direction) {
    return std::clamp(startWidth + translation * direction, lowerBound, upperBound);
}

void PanelDivider::setScale(double s) {
    scale_ = s;
    updateGeometry();
    update();
}

QSize PanelDivider::sizeHint() const {
    return {int(std::lround(kHitWidth * scale_)), 10};
}

void PanelDivider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const double barWidth = kBarWidth * scale_;
    const QRectF bar((width() - barWidth) / 2, 0, barWidth, height());
    painter.fillRect(bar, isHovering_ ? Palette::withOpacity(Palette::accentBlue(), 0.6)
                                      : Palette::white(1, 0.08));
}

void PanelDivider::enterEvent(QEnterEvent*) {
    isHovering_ = true;
    update();
}

void PanelDivider::leaveEvent(QEvent*) {
    isHovering_ = false;
    update();
}

void PanelDivider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    pressX_ = event->globalPosition().x();
}

void PanelDivider::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) return;
    const double translation = (event->globalPosition().x() - pressX_) / scale_;
    if (!startWidth_) {
        if (std::abs(translation) < kMinimumDragDistance) return;
        startWidth_ = width_.get();
    }
    width_.set(draggedWidth(*startWidth_, translation, lowerBound_, upperBound_, direction_));
}

void PanelDivider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = false;
    startWidth_.reset();
}

}  // namespace velmar
