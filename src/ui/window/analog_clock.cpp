#include "ui/window/analog_clock.h"

#include "ui/controls/palette.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmar {

namespace {
constexpr double kPi = std::numbers::pi;

QPointF along(QPointF p, double r, double angle) {
    return p + QPointF(r * std::cos(angle), r * std::sin(angle));
}
}  // namespace

AnalogClock::Hands AnalogClock::handAngles(const QTime& time) {
    const int hour = time.isValid() ? time.hour() : 0;
    const double sec = time.isValid() ? time.second() : 0;
    const double m = (time.isValid() ? time.minute() : 0) + sec / 60;
    const double hr = (hour % 12) + m / 60;
    Hands hands;
    hands.hour = 2 * kPi * (hr / 12) - kPi / 2;
    hands.minute = 2 * kPi * (m / 60) - kPi / 2;
    hands.second = 2 * kPi * (sec / 60) - kPi / 2;
    return hands;
}

AnalogClock::Tick AnalogClock::tick(int i, double r) {
    const bool hourMark = i % 5 == 0;
    return {(hourMark ? 0.78 : 0.88) * r, 0.95 * r, hourMark ? 1.6 : 0.8, hourMark ? 0.55 : 0.2};
}

void AnalogClock::paint(QPainter& painter, const QRectF& area, const QTime& time) {
    paintFace(painter, area);
    paintHands(painter, area, time);
}

void AnalogClock::paintFace(QPainter& painter, const QRectF& area) {
    const double r = std::min(area.width(), area.height()) / 2;
    if (!(r > 0)) return;
    const QPointF p = area.center();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Palette::black(0.55));
    painter.setPen(QPen(Palette::white(1, 0.25), 1));
    painter.drawEllipse(p, r, r);

    for (int i = 0; i < 60; ++i) {
        const Tick t = tick(i, r);
        const double a = 2 * kPi * i / 60 - kPi / 2;
        painter.setPen(QPen(Palette::white(1, t.opacity), t.lineWidth, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(along(p, t.inner, a), along(p, t.outer, a));
    }
    painter.restore();
}

void AnalogClock::paintHands(QPainter& painter, const QRectF& area, const QTime& time) {
    const double r = std::min(area.width(), area.height()) / 2;
    if (!(r > 0)) return;
    const QPointF p = area.center();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const Hands hands = handAngles(time);
    struct Hand {
        double angle, tip, width;
        QColor color;
    };
    for (const Hand& h : {Hand{hands.hour, 0.5, 3.2, Palette::white(1, 0.9)},
                          Hand{hands.minute, 0.72, 2.2, Palette::white(1, 0.9)},
                          Hand{hands.second, 0.82, 1.2, Palette::clockRed()}}) {
        QPen pen(h.color, h.width, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter.setPen(pen);
        painter.drawLine(along(p, -0.12 * r, h.angle), along(p, h.tip * r, h.angle));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::clockRed());
    painter.drawEllipse(p, 2.5, 2.5);
    painter.restore();
}

}  // namespace velmar
