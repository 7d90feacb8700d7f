#include "models/frame_rate.h"

#include "models/json_decoding.h"

#include <cmath>

namespace velmar {

const QList<FrameRate>& FrameRate::presets() {
    static const QList<FrameRate> table = {
        {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1},
    };
    return table;
}

QString FrameRate::id() const {
    return QString::number(timeScale) + QLatin1Char('/') + QString::number(frameDuration);
}

double FrameRate::rate() const {
    if (frameDuration < 1) return 0;
    return static_cast<double>(timeScale) / static_cast<double>(frameDuration);
}

QString FrameRate::label() const {
    const double r = rate();
    const double whole = std::round(r);  // halves away from zero
    if (std::abs(r - whole) < 0.001) return QString::asprintf("%.0f p", whole);
    return QString::asprintf("%.2f p", r);
}

QJsonObject FrameRate::toJson() const {
    return QJsonObject{
        {QStringLiteral("timeScale"), timeScale},
        {QStringLiteral("frameDuration"), frameDuration},
    };
}

FrameRate FrameRate::fromJson(const QJsonValue& json) {
    const QJsonObject o = json::toObject(json, QStringLiteral("frameRate"));
    FrameRate r;
    r.timeScale = json::requireInt64(o, "timeScale");
    r.frameDuration = json::requireInt64(o, "frameDuration");
    return r;
}

bool sameRate(const FrameRate& a, const FrameRate& b) {
    if (a.frameDuration < 1 || b.frameDuration < 1) return a == b;
    // 64 x 64 bits fits 128 bits exactly.
    return static_cast<__int128>(a.timeScale) * b.frameDuration ==
           static_cast<__int128>(b.timeScale) * a.frameDuration;
}

}  // namespace velmar
