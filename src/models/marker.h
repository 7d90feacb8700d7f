#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUuid>

namespace velmar {

// A named divider between clips of a tab. `position` is the number of clips before it (0 = before
// the first clip, the clip count = after the last); markers that share a position stand on the
// strip in the order of the tab's marker list. A newly made Marker draws a fresh random id.
struct Marker {
    QUuid id = QUuid::createUuid();
    int position = 0;
    QString name;

    friend bool operator==(const Marker&, const Marker&) = default;
};

inline size_t qHash(const Marker& m, size_t seed = 0) {
    return qHashMulti(seed, m.id, m.position, m.name);
}

}  // namespace velmar
