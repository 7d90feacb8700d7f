#pragma once

#include "models/marker.h"
#include "models/strip_insertion.h"

#include <QHashFunctions>
#include <QList>
#include <QSet>
#include <QUuid>

namespace velmar {

// The clips and markers of one tab as one interleaved sequence, for reordering. Built from the
// clip ids and the markers (each placed by its position); nudge() and move() reorder a
// selection of items; clipIDs() and markers() give the new clip order and the markers with
// their positions recomputed. A plain value without side effects.
class StripOrder {
  public:
    // One entry of the strip: a clip or a marker, by id.
    class Item {
      public:
        static Item clip(const QUuid& id) { return Item(false, id); }
        static Item marker(const QUuid& id) { return Item(true, id); }

        bool isMarker() const { return isMarker_; }
        bool isClip() const { return !isMarker_; }
        const QUuid& id() const { return id_; }

        friend bool operator==(const Item&, const Item&) = default;

      private:
        Item(bool isMarker, const QUuid& id) : isMarker_(isMarker), id_(id) {}
        bool isMarker_;
        QUuid id_;
    };

    // For i = 0...n: the markers at position i (in the given order), then clip i. Markers whose
    // position lies outside 0...n are left out.
    StripOrder(const QList<QUuid>& clipIDs, const QList<Marker>& markers);

    // The clips and markers in strip order.
    QList<Item> items;
    // The markers the order was built from (for their names).
    QList<Marker> sourceMarkers;

    // The clip ids in strip order.
    QList<QUuid> clipIDs() const;
    // The markers in strip order, each positioned after the clips that now stand before it.
    QList<Marker> markers() const;

    // Moves the selected items one step toward the end (delta > 0) or the start (delta < 0);
    // only the sign counts. Adjacent selected items move as a block; an item that is at the end
    // it moves toward, or behind a selected item that cannot move, stays. Returns whether the
    // order changed.
    bool nudge(const QSet<Item>& selection, int delta);
    // Moves the selected items, in their strip order, to the drop point. Returns whether the
    // order changed.
    bool move(const QSet<Item>& selection, const StripInsertion& insertion);
};

inline size_t qHash(const StripOrder::Item& item, size_t seed = 0) {
    return qHashMulti(seed, item.isMarker(), item.id());
}

}  // namespace velmar
