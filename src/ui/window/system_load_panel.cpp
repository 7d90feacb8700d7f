#include "ui/window/system_load_panel.h"

#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {

bool above(double value, double threshold) {
    return std::isfinite(value) && value > threshold;
}

double rowHeight(double s) {
    return std::max(QFontMetricsF(DesignScale::font(13 * s, 1, QFont::Normal, true)).height(),
                    QFontMetricsF(DesignScale::font(11 * s, 1, QFont::Bold)).height());
}

}  // namespace

QString SystemLoadPanel::percentText(double value) {
    if (!std::isfinite(value)) return QStringLiteral("0%");
    return QString::asprintf("%.0f%%", value);
}

QList<SystemLoadPanel::Row> SystemLoadPanel::rows(const Figures& f) {
    QList<Row> out;
    out.append({L10N_KEY("CPU"), percentText(f.cpuPercent), above(f.cpuPercent, 300)});
    out.append({L10N_KEY("GPU"), percentText(f.gpuFramePercent), above(f.gpuFramePercent, 60)});
    out.append({L10N_KEY("RAM"), percentText(f.memoryPercent), above(f.memoryPercent, 70)});
    if (f.isDeckLinkRunning) {
        const std::uint64_t dropped = f.droppedFrames.value_or(0);
        out.append({L10N_KEY("DROP"), QString::number(dropped), dropped > 0});
    }
    if (f.onBattery) out.append({L10N_KEY("電源"), localized("バッテリー"), true});
    if (f.pendingVerification >= 1)
        out.append({L10N_KEY("確認中"), QString::number(f.pendingVerification), true});
    return out;
}

QSizeF SystemLoadPanel::size(const QList<Row>& rows, double s) {
    const QFontMetricsF labelMetrics(DesignScale::font(11 * s, 1, QFont::Bold));
    double labelWidth = 0;
    for (const Row& row : rows)
        labelWidth = std::max(labelWidth, labelMetrics.horizontalAdvance(localized(row.label)));
    const double height =
        rows.isEmpty() ? 0 : rows.size() * rowHeight(s) + (rows.size() - 1) * 2 * s;
    return {labelWidth + 6 * s + 52 * s, height};
}

void SystemLoadPanel::paint(QPainter& painter, const QRectF& area, const QList<Row>& rows,
                            double s) {
    const QSizeF total = size(rows, s);
    const double lineHeight = rowHeight(s);
    double y = area.center().y() - total.height() / 2;
    const QFont labelFont = DesignScale::font(11 * s, 1, QFont::Bold);
    const QFont valueFont = DesignScale::font(13 * s, 1, QFont::Normal, true);
    const double valueWidth = 52 * s;
    for (const Row& row : rows) {
        const QRectF value(area.right() - valueWidth, y, valueWidth, lineHeight);
        painter.setFont(valueFont);
        painter.setPen(row.warning ? Palette::systemOrange() : Palette::primaryText());
        painter.drawText(value, Qt::AlignRight | Qt::AlignVCenter, row.value);
        const QRectF label(area.left(), y, value.left() - 6 * s - area.left(), lineHeight);
        painter.setFont(labelFont);
        painter.setPen(Palette::secondaryText());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, localized(row.label));
        y += lineHeight + 2 * s;
    }
}

}  // namespace velmar
