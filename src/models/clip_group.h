#pragma once

#include "models/clip.h"
#include "models/marker.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUuid>

namespace velmar {

// One tab of the rundown: its clips in strip order, its markers (each placed by the number of
// clips before it) and the index of the NEXT clip, which may equal the clip count (NEXT stands
// past the last clip, at the end of the tab). A plain value; a newly made group draws a fresh
// random id. Equality and hashing cover every field.
struct ClipGroup {
    QUuid id = QUuid::createUuid();
    QString name;
    QList<Clip> clips;
    QList<Marker> markers;
    int selectedIndex = 0;

    friend bool operator==(const ClipGroup&, const ClipGroup&) = default;
};

size_t qHash(const ClipGroup& group, size_t seed = 0);

}  // namespace velmar
