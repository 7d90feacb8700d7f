#include "ui/panels/level_meter_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmar {

double LevelMeterModel::decibels(float level) {
    if (!std::isfinite(level) || level <= 0) return -std::numeric_limits<double>::infinity();
    return std::min(20.0 * std::log10(double(level)), 0.0);
}

double LevelMeterModel::threshold(int segment) {
    return (segment + 1) * 60.0 / kSegmentCount - 60.0;
}

LevelMeterModel::Zone LevelMeterModel::zone(int segment) {
    const double t = threshold(segment);
    if (t > -3) return Zone::red;
    if (t > -12) return Zone::yellow;
    return Zone::green;
}

bool LevelMeterModel::isLit(int segment, double dB, bool isIdle) {
    return !isIdle && threshold(segment) <= dB;
}

int LevelMeterModel::litCount(double dB, bool isIdle) {
    int count = 0;
    for (int i = 0; i < kSegmentCount; ++i)
        if (isLit(i, dB, isIdle)) ++count;
    return count;
}

QString LevelMeterModel::readout(double dB, bool isIdle) {
    if (isIdle) return QStringLiteral("--");
    if (!std::isfinite(dB)) return QStringLiteral("-∞");
    return QString::asprintf("%.0f", dB);
}

bool LevelMeterModel::isReadoutRed(double dB, bool isIdle) {
    return !isIdle && dB >= -3;
}

const std::array<int, 8>& LevelMeterModel::scaleMarks() {
    static const std::array<int, 8> marks{-60, -48, -36, -24, -18, -12, -6, 0};
    return marks;
}

double LevelMeterModel::markX(double dB, double w) {
    return w * (dB + 60) / 60;
}

double LevelMeterModel::labelX(double dB, double w) {
    return std::min(std::max(markX(dB, w), 10.0), w - 8);
}

}  // namespace velmar
