// Tabs and the clip collection: making, renaming, removing, reordering and switching tabs;
// adding, replacing, moving and removing clips; loading a whole rundown. Every edit keeps the
// id index (`clipIndex_`) in step with `groups_`, keeps markers and NEXT on the clips they stood
// by, and leaves the program clip alone.
#include "core/playout_engine.h"

#include "core/playout_log.h"
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

// ---- Internals ----------------------------------------------------------------------------------

void PlayoutEngine::commitGroups() {
    rebuildIndex();
    emit groupsChanged();
}

void PlayoutEngine::setCurrentGroupIndex(int index) {
    if (index == currentGroupIndex_) return;
    currentGroupIndex_ = index;
    emit groupsChanged();
}

void PlayoutEngine::reloadNextMediaUnlessKept() {
    if (const std::optional<Clip> clip = selectedClip()) {
        if (nextMediaClipID_ && *nextMediaClipID_ == clip->id) return;
        if (isNextLoading_ && nextLoadingClipID_ && *nextLoadingClipID_ == clip->id) return;
    }
    reloadNextMedia();
}

void PlayoutEngine::compactPositions(int inGroup, QList<int> removed) {
    if (inGroup < 0 || inGroup >= groups_.size()) return;
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
    group.markers = std::move(markers);

    // NEXT stays on its clip, or moves to the one that followed a removed NEXT.
    const int selected = group.selectedIndex - countBelow(removed, group.selectedIndex);
    group.selectedIndex = std::clamp(selected, 0, left);
}

// ---- Tabs ---------------------------------------------------------------------------------------

bool PlayoutEngine::blockedWhileOnAir(const QString& action) {
    if (state_ == State::off) return false;
    setLastMessage(localizedFormat("オンエア中は%@できません", {action}));
    return true;
}

void PlayoutEngine::addGroup(const QString& name) {
    ClipGroup group;
    group.name = name;
    groups_.push_back(std::move(group));
    currentGroupIndex_ = static_cast<int>(groups_.size()) - 1;
    // An empty tab at the end: no clip changes its place, so the id index stays right.
    emit groupsChanged();
    reloadNextMedia();
}

void PlayoutEngine::renameGroup(int index, const QString& name) {
    if (index < 0 || index >= groups_.size()) return;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed == groups_[index].name) return;
    groups_[index].name = trimmed;
    emit groupsChanged();
}

void PlayoutEngine::removeGroup(int index) {
    if (blockedWhileOnAir(localized("タブの削除は"))) return;
    if (index < 0 || index >= groups_.size()) return;
    if (groups_.size() < 2) {
        setLastMessage(localized("最後のタブは削除できません"));
        return;
    }
    const int current = safeGroupIndex();
    groups_.removeAt(index);
    // The tab the operator works in stays current when another tab goes; when the current tab
    // itself goes, the one that followed it (or the new last tab) takes its place, and the
    // reorder selection, which held its clips, is emptied as on any switch of tabs.
    const int last = static_cast<int>(groups_.size()) - 1;
    currentGroupIndex_ = std::clamp(index < current ? current - 1 : current, 0, last);
    if (index == current) setReorderSelection({}, std::nullopt);
    commitGroups();
    reloadNextMediaUnlessKept();
}

void PlayoutEngine::moveGroup(int index, int delta) {
    if (blockedWhileOnAir(localized("タブの並べ替えは"))) return;
    const int count = static_cast<int>(groups_.size());
    if (index < 0 || index >= count) return;
    const long long target = static_cast<long long>(index) + delta;
    if (target < 0 || target >= count) return;
    const QUuid currentID = groups_[safeGroupIndex()].id;
    groups_.move(index, static_cast<int>(target));
    int current = std::clamp(currentGroupIndex_, 0, count - 1);
    for (int g = 0; g < count; ++g) {
        if (groups_[g].id == currentID) {
            current = g;
            break;
        }
    }
    currentGroupIndex_ = current;
    commitGroups();  // tab numbers changed
}

void PlayoutEngine::selectGroup(int index) {
    if (index < 0 || index >= groups_.size() || index == currentGroupIndex_) return;
    setCurrentGroupIndex(index);
    setReorderSelection({}, std::nullopt);
    reloadNextMedia();
}

void PlayoutEngine::cycleGroup(bool forward) {
    const int n = static_cast<int>(groups_.size());
    if (n < 2) return;
    const int current = safeGroupIndex();
    selectGroup(forward ? (current + 1) % n : (current - 1 + n) % n);
}

// ---- Clips --------------------------------------------------------------------------------------

void PlayoutEngine::addClips(const QList<Clip>& prepared, std::optional<int> insertAt,
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
            setLastMessage(localized("取り込み先のタブが無くなったため、追加を取りやめました"));
            return;
        }
    } else {
        if (groups_.isEmpty()) return;
        g = safeGroupIndex();
    }
    if (prepared.isEmpty()) {
        setLastMessage(localized("対応する素材がありませんでした"));
        return;
    }
    qsizetype total = 0;
    for (const ClipGroup& group : groups_) total += group.clips.size();
    const qsizetype room = maxClips - total;
    if (room < 1) {
        setLastMessage(
            localizedFormat("素材は全体で %lld 件までです", {static_cast<long long>(maxClips)}));
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
    for (Marker& marker : group.markers) {
        if (marker.position >= at) marker.position += static_cast<int>(accepted);
    }
    // NEXT stays on its clip; an empty tab keeps 0, which makes the first added clip NEXT.
    if (existing > 0 && group.selectedIndex >= at) {
        group.selectedIndex += static_cast<int>(accepted);
    }
    commitGroups();

    const auto added = static_cast<long long>(accepted);
    if (dropped > 0) {
        setLastMessage(
            localizedFormat("%lld 件を追加しました（上限を超える %lld 件は追加していません）",
                            {added, static_cast<long long>(dropped)}));
    } else if (!insertAt) {
        setLastMessage(localizedFormat("%lld 件を追加しました", {added}));
    } else {
        setLastMessage(localizedFormat("%lld 件を %lld 番目に追加しました",
                                       {added, static_cast<long long>(at) + 1}));
    }

    QSet<QUuid> ids;
    ids.reserve(accepted);
    for (const Clip& clip : adding) ids.insert(clip.id);
    resolvePixelSizes(ids);
    verify(adding);
    reloadNextMediaUnlessKept();
}

void PlayoutEngine::replaceClip(int index, const QUrl& url) {
    if (blockedWhileOnAir(localized("素材の差し替えは"))) return;
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
    emit groupsChanged();  // same id at the same place: the id index stays right

    verifiedURLs_.remove(fresh.id);
    if (services_.forgetThumbnail) {
        services_.forgetThumbnail(old.url.isLocalFile() ? old.url.toLocalFile() : old.url.path());
    }
    resolvePixelSizes({fresh.id});
    verify({fresh});
    reloadNextMedia();  // the same NEXT clip now shows another file
    setLastMessage(localizedFormat("差し替えました: %@", {fresh.displayName}));
    services_.log->write(QStringLiteral("REPLACE  ") + old.displayName + QStringLiteral(" -> ") +
                         fresh.displayName);
}

void PlayoutEngine::loadGroups(QList<ClipGroup> groups) {
    if (groups.isEmpty()) {
        ClipGroup group;
        group.name = QStringLiteral("Group 1");
        groups.push_back(group);
    }
    for (ClipGroup& group : groups) {
        group.selectedIndex =
            std::clamp(group.selectedIndex, 0, static_cast<int>(group.clips.size()));
    }
    // The index is set before the tabs are published, so that observers never see the new
    // tabs with the old current index.
    verifiedURLs_.clear();
    currentGroupIndex_ = 0;
    setGroups(std::move(groups));
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
    verify(all);
    resolvePixelSizes(lacking);
    reloadNextMedia();
}

void PlayoutEngine::moveClips(const QSet<QUuid>& ids, int toGroup) {
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
    compactPositions(g, removed);
    // Appended after everything, also after a marker at the end of the destination.
    groups_[toGroup].clips.append(moving);
    commitGroups();

    setReorderSelection({}, std::nullopt);
    reloadNextMediaUnlessKept();
    const QString name = groups_[toGroup].name;
    const auto count = static_cast<long long>(moving.size());
    setLastMessage(localizedFormat("%lld 件を「%@」へ移動しました", {count, name}));
    services_.log->write(QStringLiteral("MOVE  ") + QString::number(count) +
                         QStringLiteral(" clips -> ") + name);
}

int PlayoutEngine::removeClips(const QSet<QUuid>& ids, int inGroup) {
    if (inGroup < 0 || inGroup >= groups_.size() || ids.isEmpty()) return 0;
    ClipGroup& group = groups_[inGroup];
    QList<int> removed;
    for (int i = 0; i < group.clips.size(); ++i) {
        if (ids.contains(group.clips[i].id)) removed.push_back(i);
    }
    if (removed.isEmpty()) return 0;
    // One pass over the tab rather than one shift of the tail per removed clip.
    group.clips.removeIf([&ids](const Clip& clip) { return ids.contains(clip.id); });
    compactPositions(inGroup, removed);
    commitGroups();
    if (inGroup == safeGroupIndex()) reloadNextMediaUnlessKept();
    return static_cast<int>(removed.size());
}

void PlayoutEngine::deleteSelection() {
    if (groups_.isEmpty()) return;
    const int n = removeClips(motionTargetIDs(), safeGroupIndex());
    if (n < 1) return;
    setReorderSelection({}, std::nullopt);
    setLastMessage(localizedFormat("%lld 件を削除しました", {static_cast<long long>(n)}));
}

}  // namespace velmar
