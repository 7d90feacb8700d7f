#pragma once

#include <QDateTime>
#include <QRectF>
#include <QString>

class QPainter;

namespace velmar {

// The time of day with the date: "09:05" large, the seconds "07" beside it, and "3/7 (Sat)"
// under them, always with the English weekday whatever the interface language. Laid out
// 190 s wide, leading aligned.
struct DigitalClock {
    struct Parts {
        QString hm;      // "%02d:%02d" of hour (0-23) and minute
        QString second;  // "%02d"
        QString day;     // "M/d (ddd)" in US English
    };

    // From `date` in local time.
    static Parts parts(const QDateTime& date);
    static double width(double s) { return 190 * s; }
    // Draws into `area` (design units) vertically centred at scale s.
    static void paint(QPainter& painter, const QRectF& area, const QDateTime& date, double s);
};

}  // namespace velmar
