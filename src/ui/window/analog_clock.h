#pragma once

#include <QRectF>
#include <QTime>

class QPainter;

namespace velmar {

// A clock face with sixty ticks and three hands. Angles are in radians on screen axes (y down):
// -pi/2 points to twelve and angles grow clockwise. The second hand moves in whole seconds,
// the minute and hour hands continuously.
struct AnalogClock {
    struct Hands {
        double hour = 0;
        double minute = 0;
        double second = 0;
    };
    struct Tick {
        double inner = 0;  // radius where the tick starts
        double outer = 0;
        double lineWidth = 0;
        double opacity = 0;
    };

    static Hands handAngles(const QTime& time);
    // Tick i of 60 on a face of radius r: hour marks from 0.78 r, the others from 0.88 r,
    // both to 0.95 r.
    static Tick tick(int i, double r);
    static void paint(QPainter& painter, const QRectF& area, const QTime& time);
    // The two layers of paint(): the face and its ticks, which stay, and the hands.
    static void paintFace(QPainter& painter, const QRectF& area);
    static void paintHands(QPainter& painter, const QRectF& area, const QTime& time);
};

}  // namespace velmar
