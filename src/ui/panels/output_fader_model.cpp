#include "ui/panels/output_fader_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmar {

double OutputFaderModel::decibels(double position) {
    if (!(position > 0)) return -std::numeric_limits<double>::infinity();
    return 40.0 * std::log10(std::min(position, 1.0));
}

QString OutputFaderModel::readout(double position) {
    const double dB = decibels(position);
    if (!std::isfinite(dB)) return QStringLiteral("-∞");
    return QString::asprintf("%+.1f", dB);
}

bool OutputFaderModel::isReadoutOrange(double position) {
    return decibels(position) < -0.05;
}

double OutputFaderModel::shownPosition(double position) {
    if (std::isnan(position)) return 0;
    return std::clamp(position, 0.0, 1.0);
}

const std::array<int, 5>& OutputFaderModel::marks() {
    static const std::array<int, 5> values{0, -6, -12, -20, -40};
    return values;
}

double OutputFaderModel::markX(double dB, double w) {
    return w * std::pow(10.0, dB / 40.0);
}

double OutputFaderModel::fillWidth(double position, double w) {
    return std::max(w, 1.0) * shownPosition(position);
}

double OutputFaderModel::knobCenter(double position, double w) {
    w = std::max(w, 1.0);
    return std::min(std::max(fillWidth(position, w), 5.0), w - 5);
}

double OutputFaderModel::positionAt(double x, double w) {
    w = std::max(w, 1.0);
    const double p = x / w;
    return std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0);
}

double OutputFaderModel::gain(double position) {
    const double p = shownPosition(position);
    return p * p;
}

}  // namespace velmar
