#pragma once

#include "models/json_reader.h"

#include <QHashFunctions>
#include <QJsonObject>

namespace velmar {

// A colour of a title: four components, no range enforced. JSON keys "r", "g", "b", "a", all
// required. A plain value.
struct TitleRGBA {
    double r = 1;
    double g = 1;
    double b = 1;
    double a = 1;

    QJsonObject toJson() const {
        return {{QStringLiteral("r"), r},
                {QStringLiteral("g"), g},
                {QStringLiteral("b"), b},
                {QStringLiteral("a"), a}};
    }
    static TitleRGBA fromJson(const JsonReader& json) {
        return {json.number(QLatin1StringView("r")), json.number(QLatin1StringView("g")),
                json.number(QLatin1StringView("b")), json.number(QLatin1StringView("a"))};
    }
    bool operator==(const TitleRGBA&) const = default;
};

inline size_t qHash(const TitleRGBA& c, size_t seed = 0) {
    return qHashMulti(seed, c.r, c.g, c.b, c.a);
}

}  // namespace velmar
