#include "ui/tools/signal_monitor_readouts.h"

#include "canvas/signal_snapshot.h"
#include "ui/tools/signal_monitor_palette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace velmar {

namespace {

using Line = SignalMonitorFormats::Line;

constexpr double kColumnSpacing = 26;
constexpr double kLineSpacing = 3;
constexpr double kLabelWidth = 128;
constexpr double kLabelGap = 8;
constexpr double kValueMinimum = 120;
constexpr double kLastColumnMaximum = 300;

QFont font(int pixels, QFont::Weight weight, bool monospaced) {
    QFont f(monospaced ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

QFont fontOf(Line::Style style) {
    switch (style) {
        case Line::Style::row:
            return font(11, QFont::Normal, true);
        case Line::Style::allClear:
            return font(11, QFont::DemiBold, false);
        case Line::Style::alertCount:
            return font(11, QFont::DemiBold, true);
        case Line::Style::plainCount:
            return font(11, QFont::Normal, true);
        case Line::Style::hint:
            break;
    }
    return font(10, QFont::Normal, false);
}

QFont titleFont() {
    return font(11, QFont::Bold, false);
}
QFont labelFont() {
    return font(10, QFont::Normal, false);
}

double naturalWidth(const Line& line) {
    const double text = QFontMetricsF(fontOf(line.style)).horizontalAdvance(line.text);
    if (line.style == Line::Style::row)
        return kLabelWidth + kLabelGap + std::max(kValueMinimum, text);
    return text;
}

}  // namespace

SignalMonitorReadouts::SignalMonitorReadouts(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kContentHeight + 2 * kPadding);
}

void SignalMonitorReadouts::setSnapshot(std::shared_ptr<const SignalSnapshot> snapshot) {
    columns_ = snapshot ? SignalMonitorFormats::readoutColumns(*snapshot)
                        : std::vector<SignalMonitorFormats::Column>{};
    update();
}

void SignalMonitorReadouts::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), 4, 4);
    p.fillPath(outline, SignalMonitorPalette::grey(0.12));
    const QRectF content(kPadding, kPadding, width() - 2 * kPadding, kContentHeight);
    p.setClipRect(content);

    double x = content.left();
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const auto& column = columns_[c];
        const bool last = c + 1 == columns_.size();
        double columnWidth = QFontMetricsF(titleFont()).horizontalAdvance(column.title);
        for (const Line& line : column.lines)
            columnWidth = std::max(columnWidth, naturalWidth(line));
        if (last) columnWidth = std::min(columnWidth, kLastColumnMaximum);
        columnWidth = std::min(columnWidth, std::max(0.0, content.right() - x));

        double y = content.top();
        p.setFont(titleFont());
        p.setPen(SignalMonitorPalette::grey(0.96));
        const double titleHeight = QFontMetricsF(titleFont()).height();
        p.drawText(QRectF(x, y, columnWidth, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   column.title);
        y += titleHeight + kLineSpacing;

        for (const Line& line : column.lines) {
            QFont f = fontOf(line.style);
            double height = QFontMetricsF(f).height();
            if (line.style == Line::Style::row) {
                p.setFont(labelFont());
                p.setPen(SignalMonitorPalette::grey(0.66));
                p.drawText(QRectF(x, y, kLabelWidth, height), Qt::AlignLeft | Qt::AlignVCenter,
                           line.label);
                p.setFont(f);
                p.setPen(SignalMonitorPalette::grey(0.96));
                p.drawText(
                    QRectF(x + kLabelWidth + kLabelGap, y,
                           std::max(kValueMinimum, naturalWidth(line) - kLabelWidth - kLabelGap),
                           height),
                    Qt::AlignLeft | Qt::AlignVCenter, line.text);
            } else if (line.style == Line::Style::hint) {
                p.setFont(f);
                p.setPen(SignalMonitorFormats::colour(line.style));
                const QRectF box(x, y, columnWidth, 3 * height);
                const QRectF used =
                    p.boundingRect(box, Qt::TextWordWrap | Qt::AlignLeft, line.text);
                p.save();
                p.setClipRect(box, Qt::IntersectClip);
                p.drawText(box, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, line.text);
                p.restore();
                height = std::min(used.height(), 3 * height);
            } else {
                // One line, shrunk down to 0.7 of its size when it is wider than the column.
                const double natural = QFontMetricsF(f).horizontalAdvance(line.text);
                if (natural > columnWidth && natural > 0) {
                    const double scale = std::max(0.7, columnWidth / natural);
                    f.setPixelSize(std::max(1, int(f.pixelSize() * scale)));
                }
                p.setFont(f);
                p.setPen(SignalMonitorFormats::colour(line.style));
                p.drawText(QRectF(x, y, columnWidth, height), Qt::AlignLeft | Qt::AlignVCenter,
                           line.text);
            }
            y += height + kLineSpacing;
        }
        x += columnWidth + kColumnSpacing;
    }
}

}  // namespace velmar
