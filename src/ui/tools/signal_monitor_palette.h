#pragma once

#include <QColor>

namespace velmar {

// The fixed colours of the signal monitor: grey levels and the system colours it names.
struct SignalMonitorPalette {
    static QColor grey(double level) { return QColor::fromRgbF(level, level, level); }
    static QColor white(double opacity) { return QColor::fromRgbF(1, 1, 1, opacity); }
    static QColor green() { return QColor(52, 199, 89); }
    static QColor orange() { return QColor(255, 149, 0); }
    static QColor red() { return QColor(255, 59, 48); }
};

}  // namespace velmar
