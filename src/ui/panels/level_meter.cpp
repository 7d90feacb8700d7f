#include "ui/panels/level_meter.h"

#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/panels/level_meter_model.h"

#include <algorithm>

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace velmar {

namespace {

constexpr double kNameWidth = 12;
constexpr double kReadoutWidth = 36;
constexpr double kSpacing = 4;
constexpr double kBarHeight = 9;
constexpr double kHeaderHeight = 12;
constexpr double kRowGap = 2;
const QColor kAmber = QColor::fromRgbF(1.0f, 0.86f, 0.3f);

QColor zoneColor(LevelMeterModel::Zone zone) {
    switch (zone) {
        case LevelMeterModel::Zone::red:
            return QColor::fromRgbF(1.0f, 0.24f, 0.2f);
        case LevelMeterModel::Zone::yellow:
            return QColor::fromRgbF(1.0f, 0.82f, 0.12f);
        case LevelMeterModel::Zone::green:
            return QColor::fromRgbF(0.14f, 0.86f, 0.3f);
    }
    return {};
}

}  // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    retranslate();
}

void LevelMeter::retranslate() {
    // clang-format off
    setToolTip(localized("サンプルピークの目安（dBFS）。緑: -12 dBFS未満／黄: -12〜-3 dBFS／赤: -3〜0 dBFS。色分けは警告用で、VU・LUFS・真のピーク値ではありません。"));
    // clang-format on
}

void LevelMeter::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void LevelMeter::setLevels(float left, float right, bool isIdle, std::optional<QString> toneLabel) {
    left_ = left;
    right_ = right;
    isIdle_ = isIdle;
    toneLabel_ = std::move(toneLabel);
    update();
}

void LevelMeter::setScale(double s) {
    if (s == scale_) return;
    scale_ = s;
    updateGeometry();
    update();
}

QSize LevelMeter::sizeHint() const {
    return QSize(qRound(240 * scale_), qRound(kHeight * scale_));
}

void LevelMeter::paintChannel(QPainter& painter, double y, double width, const char* name,
                              float level) {
    const double dB = LevelMeterModel::decibels(level);
    painter.setFont(DesignScale::font(10, 1, QFont::Bold, true));
    painter.setPen(Palette::secondaryText());
    painter.drawText(QRectF(0, y - 3, kNameWidth + 8, kBarHeight + 6),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(name));
    const double barX = kNameWidth + kSpacing;
    const double barW = std::max(width - kNameWidth - kReadoutWidth - 2 * kSpacing, 1.0);
    const int n = LevelMeterModel::kSegmentCount;
    const double segW = std::max((barW - (n - 1)) / n, 0.1);
    for (int i = 0; i < n; ++i) {
        const QColor color = zoneColor(LevelMeterModel::zone(i));
        painter.fillRect(
            QRectF(barX + i * (segW + 1), y, segW, kBarHeight),
            LevelMeterModel::isLit(i, dB, isIdle_) ? color : Palette::withOpacity(color, 0.16));
    }
    painter.setFont(DesignScale::font(10, 1, QFont::DemiBold, true));
    painter.setPen(LevelMeterModel::isReadoutRed(dB, isIdle_) ? Palette::systemRed()
                                                              : Palette::secondaryText());
    painter.drawText(QRectF(width - kReadoutWidth - 8, y - 3, kReadoutWidth + 8, kBarHeight + 6),
                     Qt::AlignRight | Qt::AlignVCenter, LevelMeterModel::readout(dB, isIdle_));
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale_, scale_);
    const double width = this->width() / scale_;

    // Header.
    if (toneLabel_) {
        const QFont font = DesignScale::font(10, 1, QFont::Black, true);
        painter.setFont(font);
        const QString text = localizedFormat("TONE  %@", {*toneLabel_});
        const double textW = QFontMetricsF(font).horizontalAdvance(text);
        QPainterPath back;
        back.addRoundedRect(QRectF(0, 0, textW + 10, kHeaderHeight), 2, 2);
        painter.fillPath(back, kAmber);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(5, 0, textW + 2, kHeaderHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         text);
    } else {
        painter.setFont(DesignScale::font(10, 1, QFont::Bold, true));
        painter.setPen(kAmber);
        painter.drawText(QRectF(0, 0, width, kHeaderHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         localized("PEAK  dBFS"));
    }

    double y = kHeaderHeight + kRowGap;
    paintChannel(painter, y, width, "L", left_);
    y += kBarHeight + kRowGap;
    paintChannel(painter, y, width, "R", right_);
    y += kBarHeight + kRowGap;

    // Scale under the bars.
    const double areaX = kNameWidth + kSpacing;
    const double areaW = std::max(width - kNameWidth - kReadoutWidth - 2 * kSpacing, 1.0);
    painter.setFont(DesignScale::font(9, 1, QFont::Medium, true));
    for (int d : LevelMeterModel::scaleMarks()) {
        const double x = areaX + LevelMeterModel::markX(d, areaW);
        painter.fillRect(QRectF(x - 0.5, y, 1, 4), Palette::white(1, 0.55));
        const double lx = areaX + LevelMeterModel::labelX(d, areaW);
        painter.setPen(Palette::secondaryText());
        painter.drawText(QRectF(lx - 15, y + 5, 30, 12), Qt::AlignCenter,
                         QString::asprintf("%d", d));
    }
}

}  // namespace velmar
