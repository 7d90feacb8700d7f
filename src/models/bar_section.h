#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

namespace velmar {

// One section of the sequence bar: the clips from `start` on, `count` of them, opened by a
// marker's name (none for a section no marker opens), drawn in palette colour `colorIndex`.
// Identified by `start`.
struct BarSection {
    std::optional<QString> name;
    int start = 0;
    int count = 0;
    int colorIndex = 0;

    friend bool operator==(const BarSection&, const BarSection&) = default;
};

inline size_t qHash(const BarSection& s, size_t seed = 0) {
    return qHashMulti(seed, s.name.has_value(), s.name.value_or(QString()), s.start, s.count,
                      s.colorIndex);
}

}  // namespace velmar
