#include "ui/panels/timecode_panel_model.h"

#include <algorithm>
#include <cmath>

namespace velmar {

double TimecodePanelModel::framesPerSecond(const FrameRate& rate) {
    if (rate.frameDuration < 1) return 60;
    const double fps = double(rate.timeScale) / double(rate.frameDuration);
    return std::isfinite(fps) && fps > 0 ? fps : 60;
}

QString TimecodePanelModel::timecode(double seconds, const FrameRate& rate) {
    const double fps = framesPerSecond(rate);
    const double nominal = std::min(std::ceil(fps), kMaxNominalFPS);
    const double t = std::isfinite(seconds) ? std::clamp(seconds, 0.0, kMaxSeconds) : 0.0;
    const double whole = std::trunc(t);
    const double f = std::trunc((t - whole) * fps);
    const double frames = std::clamp(f, 0.0, std::max(nominal, 1.0) - 1);
    const auto n = static_cast<long long>(whole);
    return QString::asprintf("%02lld:%02lld:%02lld:%02lld", n / 3600, (n % 3600) / 60, n % 60,
                             static_cast<long long>(frames));
}

double TimecodePanelModel::durationSeconds(double rawDuration) {
    return std::isfinite(rawDuration) ? std::max(rawDuration, 0.0) : 0.0;
}

double TimecodePanelModel::remainingSeconds(double rawDuration, double currentSeconds) {
    const double d = durationSeconds(rawDuration);
    if (!std::isfinite(currentSeconds) || !(currentSeconds > 0)) return d;
    return std::max(d - currentSeconds, 0.0);
}

double TimecodePanelModel::currentSeconds(double rawCurrent) {
    return std::isfinite(rawCurrent) ? std::max(rawCurrent, 0.0) : 0.0;
}

double TimecodePanelModel::valueFontSize(double panelWidth) {
    if (!std::isfinite(panelWidth)) panelWidth = 520;
    return std::clamp(panelWidth * 15 / 520, 11.0, 26.0);
}

double TimecodePanelModel::labelFontSize(double panelWidth) {
    return 0.82 * valueFontSize(panelWidth);
}

double TimecodePanelModel::labelColumnWidth(double panelWidth) {
    return 8 * labelFontSize(panelWidth);
}

QString TimecodePanelModel::toneLabel(ReferenceToneKind kind) {
    switch (kind.value()) {
        case ReferenceToneKind::sine1k20:
            return QStringLiteral("1kHz -20dBFS");
        case ReferenceToneKind::sine1k18:
            return QStringLiteral("1kHz -18dBFS");
        case ReferenceToneKind::sine1k20Left:
            return QStringLiteral("1kHz -20dBFS L");
        case ReferenceToneKind::sine1k20Right:
            return QStringLiteral("1kHz -20dBFS R");
        case ReferenceToneKind::ebuIdent:
            return QStringLiteral("EBU IDENT -18dBFS");
        case ReferenceToneKind::pinkNoise20:
            return QStringLiteral("PINK -20dBFS RMS");
    }
    return {};
}

}  // namespace velmar
