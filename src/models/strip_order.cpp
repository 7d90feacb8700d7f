#include "models/strip_order.h"

#include <algorithm>
#include <vector>

namespace velmar {

StripOrder::StripOrder(const QList<QUuid>& clipIDs, const QList<Marker>& markers)
    : sourceMarkers(markers) {
    const qsizetype n = clipIDs.size();
    // The markers on the strip, by position; the stable sort keeps the list order of markers
    // that share a position.
    std::vector<const Marker*> placed;
    placed.reserve(markers.size());
    for (const Marker& m : markers) {
        if (m.position >= 0 && m.position <= n) placed.push_back(&m);
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Marker* a, const Marker* b) { return a->position < b->position; });

    items.reserve(n + static_cast<qsizetype>(placed.size()));
    auto next = placed.begin();
    for (qsizetype i = 0; i <= n; ++i) {
        for (; next != placed.end() && (*next)->position == i; ++next) {
            items.append(Item::marker((*next)->id));
        }
        if (i < n) items.append(Item::clip(clipIDs[i]));
    }
}

QList<QUuid> StripOrder::clipIDs() const {
    QList<QUuid> ids;
    for (const Item& item : items) {
        if (item.isClip()) ids.append(item.id());
    }
    return ids;
}

QList<Marker> StripOrder::markers() const {
    QList<Marker> result;
    int clipsBefore = 0;
    for (const Item& item : items) {
        if (item.isClip()) {
            ++clipsBefore;
            continue;
        }
        const auto source = std::find_if(sourceMarkers.begin(), sourceMarkers.end(),
                                         [&](const Marker& m) { return m.id == item.id(); });
        if (source == sourceMarkers.end()) continue;
        Marker m = *source;
        m.position = clipsBefore;
        result.append(m);
    }
    return result;
}

bool StripOrder::nudge(const QSet<Item>& selection, int delta) {
    if (delta == 0 || items.size() < 2) return false;
    const QList<Item> before = items;
    if (delta > 0) {
        for (qsizetype i = items.size() - 2; i >= 0; --i) {
            if (selection.contains(items[i]) && !selection.contains(items[i + 1])) {
                items.swapItemsAt(i, i + 1);
            }
        }
    } else {
        for (qsizetype i = 1; i < items.size(); ++i) {
            if (selection.contains(items[i]) && !selection.contains(items[i - 1])) {
                items.swapItemsAt(i, i - 1);
            }
        }
    }
    return items != before;
}

bool StripOrder::move(const QSet<Item>& selection, const StripInsertion& insertion) {
    // The target index in the current order.
    qsizetype target = -1;
    if (insertion.markerID) {
        const qsizetype at = items.indexOf(Item::marker(*insertion.markerID));
        if (at >= 0) target = at + (insertion.afterMarker ? 1 : 0);
    }
    if (target < 0) {
        // The first index with exactly `gap` clips before it; past the end when none has.
        target = items.size();
        qsizetype clipsBefore = 0;
        for (qsizetype i = 0; i <= items.size(); ++i) {
            if (clipsBefore == insertion.gap) {
                target = i;
                break;
            }
            if (i < items.size() && items[i].isClip()) ++clipsBefore;
        }
    }

    QList<Item> moving;
    QList<Item> remaining;
    qsizetype selectedBeforeTarget = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (selection.contains(items[i])) {
            moving.append(items[i]);
            if (i < target) ++selectedBeforeTarget;
        } else {
            remaining.append(items[i]);
        }
    }
    if (moving.isEmpty()) return false;

    const qsizetype at = std::clamp<qsizetype>(target - selectedBeforeTarget, 0, remaining.size());
    QList<Item> result = remaining.mid(0, at);
    result.append(moving);
    result.append(remaining.mid(at));
    const bool changed = result != items;
    items = std::move(result);
    return changed;
}

}  // namespace velmar
