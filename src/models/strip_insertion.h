#pragma once

#include <QHashFunctions>
#include <QUuid>

#include <optional>

namespace velmar {

// A drop point on the strip: in the gap after `gap` clips, or, when `markerID` names a marker on
// the strip, just after (`afterMarker`) or just before that marker.
struct StripInsertion {
    int gap = 0;
    std::optional<QUuid> markerID;
    bool afterMarker = false;

    friend bool operator==(const StripInsertion&, const StripInsertion&) = default;
};

inline size_t qHash(const StripInsertion& s, size_t seed = 0) {
    return qHashMulti(seed, s.gap, s.markerID.has_value(), s.markerID.value_or(QUuid()),
                      s.afterMarker);
}

}  // namespace velmar
