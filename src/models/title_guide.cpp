#include "models/title_guide.h"

namespace velmar {

QJsonObject TitleGuide::toJson() const {
    return {{QStringLiteral("axis"),
             axis == Axis::horizontal ? QStringLiteral("horizontal") : QStringLiteral("vertical")},
            {QStringLiteral("position"), position}};
}

TitleGuide TitleGuide::fromJson(const JsonReader& json) {
    const QLatin1StringView axisKey("axis");
    const QString axis = json.string(axisKey);
    TitleGuide guide;
    if (axis == QStringLiteral("horizontal")) {
        guide.axis = Axis::horizontal;
    } else if (axis == QStringLiteral("vertical")) {
        guide.axis = Axis::vertical;
    } else {
        throw JsonReader::error(json.pathOf(axisKey), QStringLiteral("unknown axis"));
    }
    guide.position = json.number(QLatin1StringView("position"));
    return guide;
}

}  // namespace velmar
