#pragma once

#include <QRect>
#include <QString>

namespace velmar {

// One display as the screen provider lists it. `identity` is unique among the screens listed
// together; it is built from the name, the serial number and the geometry, since names alone
// repeat (several X screens of one display server share a name).
struct ScreenInfo {
    QString identity;
    QString name;
    QString serialNumber;
    QRect geometry;           // device-independent pixels
    double refreshRate = 60;  // frames per second
    double devicePixelRatio = 1;

    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

// A visible top-level window of the application and the screen it lies on.
struct VisibleWindow {
    QString title;
    QString screenIdentity;
};

}  // namespace velmar
