// Tabs and the clip collection: making, renaming, removing, reordering and switching tabs;
// adding, replacing, moving and removing clips; loading a whole rundown. Every edit keeps the
// id index (`clipIndex_`) in step with `groups_` and keeps markers and NEXT on the clips they
// stood by.
#include "core/rundown.h"

#include "models/localized.h"

#include <QFileInfo>

#include <algorithm>

namespace velmar {
namespace {

// How many of the ascending `sorted` values are strictly below `value`.
int countBelow(const QList<int>& sorted, int value) {
    return static_cast<int>(std::lower_bound(sorted.begin(), sorted.end(), value) - sorted.begin());
}

}  // namespace

Rundown::Moved Rundown::compactPositions(int inGroup, QList<int> removed) {
    Moved moved;
    if (inGroup < 0 || inGroup >= groups_.size()) return moved;
    std::sort(removed.begin(), removed.end());
    ClipGroup& group = groups_[inGroup];
    const int left = static_cast<int>(group.clips.size());

    // A marker moves back by the clips removed before its gap; one removed right after it
    // leaves it where it is.
    QList<Marker> markers;
    markers.reserve(group.markers.size());
    for (Marker marker : group.markers) {
        marker.position -= countBelow(removed, marker.position);
        markers.push_back(std::move(marker));
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const Marker& a, const Marker& b) { return a.position < b.position; });
    markers.removeIf([left](const Marker& m) { return m.position < 0 || m.position > left; });
    moved.markers = markers != group.markers;
    group.markers = std::move(markers);

    // NEXT stays on its clip, or moves to the one that followed a removed NEXT.
    const int selected =
        std::clamp(group.selectedIndex - countBelow(removed, group.selectedIndex), 0, left);
    moved.next = selected != group.selectedIndex;
    group.selectedIndex = selected;
    return moved;
}

void Rundown::publishMoved(int inGroup, Moved moved) {
    if (moved.markers) emit markersChanged(inGroup);
    if (moved.next) emit selectionChanged();
}

// ---- Tabs ---------------------------------------------------------------------------------------

void Rundown::addGroup(const QString& name) {
    ClipGroup group;
    group.name = name;
    groups_.push_back(std::move(group));
    // An empty tab at the end: no clip changes its place, so the id index stays right.
    const int previous = std::exchange(currentGroupIndex_, static_cast<int>(groups_.size()) - 1);
    emit tabsChanged();
    if (currentGroupIndex_ != previous) emit currentTabChanged(currentGroupIndex_);
    nextChanged(true);
}

void Rundown::renameGroup(int index, const QString& name) {
    if (index < 0 || index >= groups_.size()) return;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed == groups_[index].name) return;
    groups_[index].name = trimmed;
    emit tabsChanged();
}

void Rundown::removeGroup(int index) {
    if (!mayChange(localized("タブの削除は"))) return;
    if (index < 0 || index >= groups_.size()) return;
    if (groups_.size() < 2) {
        message(localized("最後のタブは削除できません"));
        return;
    }
    const int current = safeGroupIndex();
    groups_.removeAt(index);
    rebuildIndex();
    // The tab the operator works in stays current when another tab goes; when the current tab
    // itself goes, the one that followed it (or the new last tab) takes its place, and the
    // reorder selection, which held its clips, is emptied as on any switch of tabs.
    const int last = static_cast<int>(groups_.size()) - 1;
    const int previous = std::exchange(
        currentGroupIndex_, std::clamp(index < current ? current - 1 : current, 0, last));
    emit tabsChanged();
    // Another tab is current when the current one went, maybe at the same index.
    if (index == current || currentGroupIndex_ != previous) {
        emit currentTabChanged(currentGroupIndex_);
    }
    if (index == current) setReorderSelection({}, std::nullopt);
    nextChanged(false);
}

void Rundown::moveGroup(int index, int delta) {
    if (!mayChange(localized("タブの並べ替えは"))) return;
    const int count = static_cast<int>(groups_.size());
    if (index < 0 || index >= count) return;
    const long long target = static_cast<long long>(index) + delta;
    if (target < 0 || target >= count || target == index) return;
    const QUuid currentID = groups_[safeGroupIndex()].id;
    groups_.move(index, static_cast<int>(target));
    rebuildIndex();
    int current = std::clamp(currentGroupIndex_, 0, count - 1);
    for (int g = 0; g < count; ++g) {
        if (groups_[g].id == currentID) {
            current = g;
            break;
        }
    }
    const int previous = std::exchange(currentGroupIndex_, current);
    emit tabsChanged();  // tab numbers changed
    if (current != previous) emit currentTabChanged(current);
}

void Rundown::selectGroup(int index) {
    if (index < 0 || index >= groups_.size() || index == currentGroupIndex_) return;
    setCurrentGroupIndex(index);
    setReorderSelection({}, std::nullopt);
    nextChanged(true);
}

void Rundown::cycleGroup(bool forward) {
    const int n = static_cast<int>(groups_.size());
    if (n < 2) return;
    const int current = safeGroupIndex();
    selectGroup(forward ? (current + 1) % n : (current - 1 + n) % n);
}

// ---- Clips --------------------------------------------------------------------------------------

void Rundown::addClips(const QList<Clip>& prepared, std::optional<int> insertAt,
                       std::optional<QUuid> toGroup) {
    int g = -1;
    if (toGroup) {
        for (int i = 0; i < groups_.size(); ++i) {
            if (groups_[i].id == *toGroup) {
                g = i;
                break;
            }
        }
        if (g < 0) {
            message(localized("取り込み先のタブが無くなったため、追加を取りやめました"));
            return;
        }
    } else {
        if (groups_.isEmpty()) return;
        g = safeGroupIndex();
    }
    if (prepared.isEmpty()) {
        message(localized("対応する素材がありませんでした"));
        return;
    }
    qsizetype total = 0;
    for (const ClipGroup& group : groups_) total += group.clips.size();
    const qsizetype room = kMaxClips - total;
    if (room < 1) {
        message(
            localizedFormat("素材は全体で %lld 件までです", {static_cast<long long>(kMaxClips)}));
        return;
    }
    const qsizetype accepted = std::min(room, prepared.size());
    const qsizetype dropped = prepared.size() - accepted;
    const QList<Clip> adding = dropped > 0 ? prepared.first(accepted) : prepared;

    ClipGroup& group = groups_[g];
    const qsizetype existing = group.clips.size();
    const qsizetype at =
        insertAt ? std::min<qsizetype>(existing, std::max(*insertAt, 0)) : existing;
    if (at == existing) {
        group.clips.append(adding);
    } else {
        QList<Clip> clips;
        clips.reserve(existing + accepted);
        clips.append(group.clips.first(at));
        clips.append(adding);
        clips.append(group.clips.sliced(at));
        group.clips = std::move(clips);
    }
    // Clips inserted at a marker's gap land before the marker.
    bool markersMoved = false;
    for (Marker& marker : group.markers) {
        if (marker.position >= at) {
            marker.position += static_cast<int>(accepted);
            markersMoved = true;
        }
    }
    // NEXT stays on its clip; an empty tab keeps 0, which makes the first added clip NEXT.
    const bool nextMoved = existing > 0 && group.selectedIndex >= at;
    if (nextMoved) group.selectedIndex += static_cast<int>(accepted);
    rebuildIndex();
    emit clipsChanged(g);
    if (markersMoved) emit markersChanged(g);
    if (nextMoved) emit selectionChanged();

    const auto added = static_cast<long long>(accepted);
    if (dropped > 0) {
        message(localizedFormat("%lld 件を追加しました（上限を超える %lld 件は追加していません）",
                                {added, static_cast<long long>(dropped)}));
    } else if (!insertAt) {
        message(localizedFormat("%lld 件を追加しました", {added}));
    } else {
        message(localizedFormat("%lld 件を %lld 番目に追加しました",
                                {added, static_cast<long long>(at) + 1}));
    }

    QSet<QUuid> ids;
    ids.reserve(accepted);
    for (const Clip& clip : adding) ids.insert(clip.id);
    if (hooks_.resolvePixelSizes) hooks_.resolvePixelSizes(ids);
    if (hooks_.verify) hooks_.verify(adding);
    nextChanged(false);
}

void Rundown::replaceClip(int index, const QUrl& url) {
    if (!mayChange(localized("素材の差し替えは"))) return;
    if (groups_.isEmpty()) return;
    ClipGroup& group = groups_[safeGroupIndex()];
    if (index < 0 || index >= group.clips.size()) return;

    const Clip old = group.clips[index];
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    Clip fresh;
    fresh.id = old.id;
    fresh.url = url;
    fresh.displayName = QFileInfo(path).completeBaseName();
    fresh.kind = Clip::kindFor(url).value_or(Clip::Kind::still);
    fresh.isMissing = !QFileInfo::exists(path);
    fresh.transform = old.transform;
    fresh.motion = old.motion;
    fresh.motionDuration = old.motionDuration;
    if (fresh.kind == Clip::Kind::movie) fresh.loopCount = old.loopCount;
    group.clips[index] = fresh;
    clipsEdited();  // same id at the same place: the id index stays right

    verifiedURLs_.remove(fresh.id);
    if (hooks_.fileReplaced) hooks_.fileReplaced(old.url);
    if (hooks_.resolvePixelSizes) hooks_.resolvePixelSizes({fresh.id});
    if (hooks_.verify) hooks_.verify({fresh});
    nextChanged(true);  // the same NEXT clip now shows another file
    message(localizedFormat("差し替えました: %@", {fresh.displayName}));
    if (hooks_.log) {
        hooks_.log(QStringLiteral("REPLACE  ") + old.displayName + QStringLiteral(" -> ") +
                   fresh.displayName);
    }
}

void Rundown::loadGroups(QList<ClipGroup> groups) {
    if (groups.isEmpty()) {
        ClipGroup group;
        group.name = QStringLiteral("Group 1");
        groups.push_back(group);
    }
    for (ClipGroup& group : groups) {
        group.selectedIndex =
            std::clamp(group.selectedIndex, 0, static_cast<int>(group.clips.size()));
    }
    verifiedURLs_.clear();
    // The index is set before the tabs are published, so that observers never see the new
    // tabs with the old current index.
    const bool indexChanged = currentGroupIndex_ != 0;
    currentGroupIndex_ = 0;
    replaceGroups(std::move(groups));
    if (indexChanged) emit currentTabChanged(0);
    setReorderSelection({}, std::nullopt);
    QList<Clip> all;
    QSet<QUuid> lacking;
    for (const ClipGroup& group : groups_) {
        for (const Clip& clip : group.clips) {
            all.push_back(clip);
            if (!clip.pixelWidth || !clip.pixelHeight || !clip.contentAnchorX ||
                !clip.contentAnchorY) {
                lacking.insert(clip.id);
            }
        }
    }
    if (hooks_.verify) hooks_.verify(all);
    if (hooks_.resolvePixelSizes) hooks_.resolvePixelSizes(lacking);
    nextChanged(true);
}

void Rundown::moveClips(const QSet<QUuid>& ids, int toGroup) {
    if (groups_.isEmpty() || ids.isEmpty()) return;
    const int g = safeGroupIndex();
    if (toGroup < 0 || toGroup >= groups_.size() || toGroup == g) return;

    ClipGroup& source = groups_[g];
    QList<Clip> moving;
    QList<Clip> staying;
    QList<int> removed;
    staying.reserve(source.clips.size());
    for (int i = 0; i < source.clips.size(); ++i) {
        const Clip& clip = source.clips[i];
        if (ids.contains(clip.id)) {
            moving.push_back(clip);
            removed.push_back(i);
        } else {
            staying.push_back(clip);
        }
    }
    if (moving.isEmpty()) return;
    source.clips = std::move(staying);
    // Appended after everything, also after a marker at the end of the destination.
    groups_[toGroup].clips.append(moving);
    const Moved moved = compactPositions(g, removed);
    rebuildIndex();
    emit clipsChanged(g);
    emit clipsChanged(toGroup);
    publishMoved(g, moved);

    setReorderSelection({}, std::nullopt);
    nextChanged(false);
    const QString name = groups_[toGroup].name;
    const auto count = static_cast<long long>(moving.size());
    message(localizedFormat("%lld 件を「%@」へ移動しました", {count, name}));
    if (hooks_.log) {
        hooks_.log(QStringLiteral("MOVE  ") + QString::number(count) +
                   QStringLiteral(" clips -> ") + name);
    }
}

int Rundown::removeClips(const QSet<QUuid>& ids, int inGroup) {
    if (inGroup < 0 || inGroup >= groups_.size() || ids.isEmpty()) return 0;
    ClipGroup& group = groups_[inGroup];
    QList<int> removed;
    for (int i = 0; i < group.clips.size(); ++i) {
        if (ids.contains(group.clips[i].id)) removed.push_back(i);
    }
    if (removed.isEmpty()) return 0;
    // One pass over the tab rather than one shift of the tail per removed clip.
    group.clips.removeIf([&ids](const Clip& clip) { return ids.contains(clip.id); });
    const Moved moved = compactPositions(inGroup, removed);
    rebuildIndex();
    emit clipsChanged(inGroup);
    publishMoved(inGroup, moved);
    if (inGroup == safeGroupIndex()) nextChanged(false);
    return static_cast<int>(removed.size());
}

void Rundown::deleteSelection() {
    if (groups_.isEmpty()) return;
    const int n = removeClips(motionTargetIDs(), safeGroupIndex());
    if (n < 1) return;
    setReorderSelection({}, std::nullopt);
    message(localizedFormat("%lld 件を削除しました", {static_cast<long long>(n)}));
}

void Rundown::removeClip(int index) {
    if (groups_.isEmpty()) return;
    const int g = safeGroupIndex();
    const auto& clips = groups_[g].clips;
    if (index < 0 || index >= clips.size()) return;
    const QUuid id = clips[index].id;
    if (removeClips({id}, g) < 1) return;
    QSet<QUuid> selection = reorderSelection_;
    selection.remove(id);
    setReorderSelection(std::move(selection), selectionAnchor_);
}

}  // namespace velmar
