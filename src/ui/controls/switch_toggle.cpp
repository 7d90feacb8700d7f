#include "ui/controls/switch_toggle.h"

#include "ui/controls/palette.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace velmar {

SwitchToggle::SwitchToggle(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

QColor SwitchToggle::onColor() {
    return Palette::systemBlue();
}

QColor SwitchToggle::offColor() {
    return Palette::white(0.3);
}

// The track follows the font, so a switch drawn with a scaled-down font shrinks with it; the
// floor only keeps room for the knob.
int SwitchToggle::trackHeight() const {
    return std::max(6, QFontMetrics(font()).height() - 2);
}

QRect SwitchToggle::trackRect() const {
    const int h = trackHeight();
    return QRect(1, (height() - h) / 2, h * 9 / 5, h);
}

QSize SwitchToggle::sizeHint() const {
    const QFontMetrics metrics(font());
    const int h = trackHeight();
    const int textWidth = text().isEmpty() ? 0 : h / 2 + metrics.horizontalAdvance(text()) + 1;
    return QSize(2 + h * 9 / 5 + textWidth, std::max(h, metrics.height()) + 2);
}

QSize SwitchToggle::minimumSizeHint() const {
    return sizeHint();
}

bool SwitchToggle::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void SwitchToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);
    const QRectF track = trackRect();
    const double radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? onColor() : offColor());
    painter.drawRoundedRect(track, radius, radius);
    const double knob = track.height() - 4;
    const double knobX = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Palette::white(1));
    painter.drawEllipse(QRectF(knobX, track.top() + 2, knob, knob));
    if (text().isEmpty()) return;
    painter.setOpacity(1);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const QRect label(int(track.right()) + int(track.height() / 2), 0,
                      width() - int(track.right()) - int(track.height() / 2), height());
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

}  // namespace velmar
