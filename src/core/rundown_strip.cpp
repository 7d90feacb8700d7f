// The strip of the current tab: clips and markers in one row. Drags and nudges are worked out
// by StripOrder and written back here with NEXT kept on its clip; markers are added, renamed
// and removed; the sequence bar reads the tab as sections opened by its markers.
#include "core/rundown.h"

#include <algorithm>

namespace velmar {
namespace {

QList<QUuid> clipIDsOf(const ClipGroup& group) {
    QList<QUuid> ids;
    ids.reserve(group.clips.size());
    for (const Clip& clip : group.clips) ids.push_back(clip.id);
    return ids;
}

}  // namespace

void Rundown::toggleReorderSelection(int index) {
    if (groups_.isEmpty()) return;
    const auto& clips = groups_[safeGroupIndex()].clips;
    if (index < 0 || index >= clips.size()) return;
    QSet<QUuid> selection = reorderSelection_;
    const QUuid& id = clips[index].id;
    if (!selection.remove(id)) selection.insert(id);
    setReorderSelection(std::move(selection), index);
}

QSet<QUuid> Rundown::targetIDs(const QUuid& id) const {
    if (reorderSelection_.contains(id)) return reorderSelection_;
    return {id};
}

bool Rundown::move(const QSet<QUuid>& ids, const StripInsertion& to) {
    if (groups_.isEmpty()) return false;
    const int g = safeGroupIndex();
    StripOrder order(clipIDsOf(groups_[g]), groups_[g].markers);
    QSet<StripOrder::Item> selection;
    for (const QUuid& id : ids) selection.insert(StripOrder::Item::clip(id));
    if (!order.move(selection, to)) return false;
    applyStripOrder(order, g);
    return true;
}

bool Rundown::nudge(const QSet<QUuid>& ids, int step) {
    if (groups_.isEmpty()) return false;
    const int g = safeGroupIndex();
    StripOrder order(clipIDsOf(groups_[g]), groups_[g].markers);
    QSet<StripOrder::Item> selection;
    for (const QUuid& id : ids) selection.insert(StripOrder::Item::clip(id));
    if (!order.nudge(selection, step)) return false;
    applyStripOrder(order, g);
    return true;
}

void Rundown::moveMarker(const QUuid& id, const StripInsertion& to) {
    if (groups_.isEmpty()) return;
    const int g = safeGroupIndex();
    StripOrder order(clipIDsOf(groups_[g]), groups_[g].markers);
    if (order.move({StripOrder::Item::marker(id)}, to)) applyStripOrder(order, g);
}

void Rundown::applyStripOrder(const StripOrder& order, int inGroup) {
    if (inGroup < 0 || inGroup >= groups_.size()) return;
    ClipGroup& group = groups_[inGroup];
    std::optional<QUuid> selectedID;
    if (group.selectedIndex >= 0 && group.selectedIndex < group.clips.size()) {
        selectedID = group.clips[group.selectedIndex].id;
    }
    // The id index still describes the old order: it serves as the table from id to clip.
    const QList<QUuid> ids = order.clipIDs();
    const bool clipsMoved = ids != clipIDsOf(group);
    QList<Clip> clips;
    clips.reserve(ids.size());
    std::optional<int> selected;
    for (const QUuid& id : ids) {
        const auto at = locate(id);
        if (!at || at->first != inGroup) continue;
        if (selectedID && id == *selectedID) selected = static_cast<int>(clips.size());
        clips.push_back(std::move(group.clips[at->second]));
    }
    group.clips = std::move(clips);
    QList<Marker> markers = order.markers();
    const bool markersMoved = markers != group.markers;
    group.markers = std::move(markers);
    const int count = static_cast<int>(group.clips.size());
    const int next = selected ? *selected : std::min(group.selectedIndex, count);
    const bool nextMoved = next != group.selectedIndex;
    group.selectedIndex = next;
    rebuildIndex();
    if (clipsMoved) emit clipsChanged(inGroup);
    if (markersMoved) emit markersChanged(inGroup);
    if (nextMoved) emit selectionChanged();
    nextChanged(false);
}

void Rundown::addMarker(int position, const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || groups_.isEmpty()) return;
    ClipGroup& group = groups_[safeGroupIndex()];
    if (position < 0 || position > group.clips.size()) return;
    group.markers.push_back(Marker{QUuid::createUuid(), position, trimmed});
    // Stable: the new marker follows those already standing at its position.
    std::stable_sort(group.markers.begin(), group.markers.end(),
                     [](const Marker& a, const Marker& b) { return a.position < b.position; });
    emit markersChanged(safeGroupIndex());  // markers are not in the id index
}

void Rundown::renameMarker(const QUuid& id, const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || groups_.isEmpty()) return;
    auto& markers = groups_[safeGroupIndex()].markers;
    const auto it =
        std::find_if(markers.begin(), markers.end(), [&id](const Marker& m) { return m.id == id; });
    if (it == markers.end() || it->name == trimmed) return;
    it->name = trimmed;
    emit markersChanged(safeGroupIndex());
}

void Rundown::removeMarker(const QUuid& id) {
    if (groups_.isEmpty()) return;
    auto& markers = groups_[safeGroupIndex()].markers;
    if (markers.removeIf([&id](const Marker& m) { return m.id == id; }) > 0) {
        emit markersChanged(safeGroupIndex());
    }
}

QList<BarSection> Rundown::barSections() const {
    QList<BarSection> sections;
    if (groups_.isEmpty()) return sections;
    const ClipGroup& group = groups_[safeGroupIndex()];
    const int count = static_cast<int>(group.clips.size());
    if (count == 0) return sections;

    QList<const Marker*> inner;
    std::optional<QString> lead;
    for (const Marker& marker : group.markers) {
        if (marker.position > 0 && marker.position < count) inner.push_back(&marker);
        if (marker.position == 0 && !lead) lead = marker.name;
    }
    std::stable_sort(inner.begin(), inner.end(),
                     [](const Marker* a, const Marker* b) { return a->position < b->position; });

    auto add = [&sections](std::optional<QString> name, int start, int length, int color) {
        if (length > 0) sections.push_back(BarSection{std::move(name), start, length, color});
    };
    add(lead, 0, inner.isEmpty() ? count : inner.front()->position, 0);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const int start = inner[i]->position;
        const int end = i + 1 < inner.size() ? inner[i + 1]->position : count;
        add(inner[i]->name, start, end - start, static_cast<int>(i) + 1);
    }
    return sections;
}

}  // namespace velmar
