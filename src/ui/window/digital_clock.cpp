#include "ui/window/digital_clock.h"

#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>

namespace velmar {

DigitalClock::Parts DigitalClock::parts(const QDateTime& date) {
    const QDateTime local = date.toLocalTime();
    const QTime time = local.time();
    const int hour = time.isValid() ? time.hour() : 0;
    const int minute = time.isValid() ? time.minute() : 0;
    const int second = time.isValid() ? time.second() : 0;
    Parts parts;
    parts.hm = QStringLiteral("%1:%2").arg(hour, 2, 10, QChar('0')).arg(minute, 2, 10, QChar('0'));
    parts.second = QStringLiteral("%1").arg(second, 2, 10, QChar('0'));
    parts.day = QLocale(QLocale::English, QLocale::UnitedStates)
                    .toString(local.date(), QStringLiteral("M/d (ddd)"));
    return parts;
}

void DigitalClock::paint(QPainter& painter, const QRectF& area, const QDateTime& date, double s) {
    const Parts p = parts(date);
    const QFont hmFont = DesignScale::font(46 * s, 1, QFont::DemiBold, true);
    const QFont secondFont = DesignScale::font(26 * s, 1, QFont::Medium, true);
    const QFont dayFont = DesignScale::font(11 * s, 1, QFont::Normal, true);
    const QFontMetricsF hmMetrics(hmFont);
    const QFontMetricsF dayMetrics(dayFont);
    const double total = hmMetrics.height() + dayMetrics.height();
    const double top = area.center().y() - total / 2;
    const double baseline = top + hmMetrics.ascent();

    painter.setFont(hmFont);
    painter.setPen(Palette::primaryText());
    painter.drawText(QPointF(area.left(), baseline), p.hm);
    const double hmWidth = hmMetrics.horizontalAdvance(p.hm);
    painter.setFont(secondFont);
    painter.setPen(Palette::secondaryText());
    painter.drawText(QPointF(area.left() + hmWidth + 4 * s, baseline), p.second);
    painter.setFont(dayFont);
    painter.drawText(QPointF(area.left(), top + hmMetrics.height() + dayMetrics.ascent()), p.day);
}

}  // namespace velmar
