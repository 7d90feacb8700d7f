#include "ui/controls/scrubbable_value.h"

#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velmar {

namespace {
constexpr double kMinimumDragDistance = 3;  // design units
constexpr double kPadding = 7;
}  // namespace

ScrubbableValue::ScrubbableValue(Config config, QWidget* parent)
    : QWidget(parent), config_(std::move(config)) {
    retranslate();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ScrubbableValue::retranslate() {
    setToolTip(localized("クリックで入力、横にドラッグで増減"));
}

void ScrubbableValue::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void ScrubbableValue::setDisplay(const QString& display) {
    if (config_.display == display) return;
    config_.display = display;
    update();
}

void ScrubbableValue::setLabel(const QString& label) {
    config_.label = label;
    update();
}

void ScrubbableValue::setValueEnabled(bool enabled) {
    if (config_.isEnabled == enabled) return;
    config_.isEnabled = enabled;
    update();
}

void ScrubbableValue::setScale(double s) {
    scale_ = s;
    updateGeometry();
    update();
}

QSize ScrubbableValue::sizeHint() const {
    return {int(std::ceil(120 * scale_)), int(std::ceil(config_.controlHeight * scale_))};
}

QSize ScrubbableValue::minimumSizeHint() const {
    return {int(std::ceil(40 * scale_)), int(std::ceil(config_.controlHeight * scale_))};
}

void ScrubbableValue::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(config_.isEnabled ? 1.0 : 0.4);
    painter.scale(scale_, scale_);
    const QRectF area(0, 0, width() / scale_, height() / scale_);

    QPainterPath shape;
    shape.addRoundedRect(area, 4, 4);
    painter.fillPath(shape, Palette::black(0.35));
    const QColor highlight = isDragging_ ? Palette::accentBlue() : Palette::white(1, 0.2);
    painter.setPen(QPen(highlight, 1));
    painter.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), 3.5, 3.5);

    const QRectF content = area.adjusted(kPadding, 0, -kPadding, 0);
    painter.setFont(DesignScale::font(13, 1, QFont::Normal, true));
    painter.setPen(isDragging_ ? Palette::accentBlue() : Palette::primaryText());
    const double valueWidth = painter.fontMetrics().horizontalAdvance(config_.display);
    painter.drawText(content, Qt::AlignRight | Qt::AlignVCenter, config_.display);

    painter.setFont(DesignScale::font(11, 1, QFont::Bold));
    painter.setPen(Palette::secondaryText());
    // The caption keeps to the room the value and the 6 + 2 unit gap leave.
    const QRectF captionArea = content.adjusted(0, 0, -(valueWidth + 8), 0);
    const QString caption = painter.fontMetrics().elidedText(
        localized(config_.label), Qt::ElideRight, int(std::max(0.0, captionArea.width())));
    painter.drawText(captionArea, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

void ScrubbableValue::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    dragStarted_ = false;
    pressPosition_ = event->position();
    accumulated_ = 0;
}

void ScrubbableValue::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) return;
    const QPointF travel = (event->position() - pressPosition_) / scale_;
    if (!dragStarted_) {
        if (std::hypot(travel.x(), travel.y()) < kMinimumDragDistance) return;
        dragStarted_ = true;
    }
    if (!config_.isEnabled) return;
    if (!isDragging_) {
        isDragging_ = true;
        update();
    }
    const double total = travel.x() * config_.step;
    const double increment = total - accumulated_;
    accumulated_ = total;
    if (config_.onScrub) config_.onScrub(increment);
}

void ScrubbableValue::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    if (dragStarted_) {
        endDrag();
        return;
    }
    if (config_.isEnabled && config_.onOpen) config_.onOpen();
}

void ScrubbableValue::endDrag() {
    dragStarted_ = false;
    accumulated_ = 0;
    if (isDragging_) {
        isDragging_ = false;
        update();
    }
}

}  // namespace velmar
