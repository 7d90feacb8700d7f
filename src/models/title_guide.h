#pragma once

#include "models/json_reader.h"

namespace velmar {

// A layout guide line of a title. JSON keys "axis" ("horizontal" or "vertical") and
// "position", both required. A plain value.
struct TitleGuide {
    enum class Axis { horizontal, vertical };
    Axis axis = Axis::horizontal;
    double position = 0;

    QJsonObject toJson() const;
    static TitleGuide fromJson(const JsonReader& json);
    bool operator==(const TitleGuide&) const = default;
};

inline size_t qHash(const TitleGuide& g, size_t seed = 0) {
    return qHashMulti(seed, static_cast<int>(g.axis), g.position);
}

}  // namespace velmar
