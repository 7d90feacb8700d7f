#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>

class QPainter;

namespace velmar {

// The right-aligned column of load figures in the information bar: CPU, GPU and memory always,
// dropped SDI frames while SDI runs, a power warning on battery, and the clips still being
// checked. A value turns orange past its threshold; thresholds are strict and compare the
// unrounded figures. Every size is a multiple of the bar's scale s.
class SystemLoadPanel {
  public:
    struct Figures {
        double cpuPercent = 0;
        double gpuFramePercent = 0;
        double memoryPercent = 0;
        bool onBattery = false;
        bool isDeckLinkRunning = false;
        std::optional<std::uint64_t> droppedFrames;  // none without an SDI controller
        int pendingVerification = 0;
    };
    struct Row {
        QString label;  // localisation key
        QString value;
        bool warning = false;
        friend bool operator==(const Row&, const Row&) = default;
    };

    static QList<Row> rows(const Figures& figures);
    // "%.0f%%" of the figure; "0%" when it is not finite.
    static QString percentText(double value);

    // Ideal size of the column at scale s.
    static QSizeF size(const QList<Row>& rows, double s);
    // Draws the rows right-aligned in `area`, centred vertically.
    static void paint(QPainter& painter, const QRectF& area, const QList<Row>& rows, double s);
};

}  // namespace velmar
