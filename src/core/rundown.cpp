#include "core/rundown.h"

#include <algorithm>

namespace velmar {

Rundown::Rundown(QObject* parent) : QObject(parent) {
    ClipGroup group;
    group.name = QStringLiteral("Group 1");
    groups_ = {group};
    rebuildIndex();
}

// ---- State --------------------------------------------------------------------------------------

int Rundown::safeGroupIndex() const {
    return std::clamp(currentGroupIndex_, 0, static_cast<int>(groups_.size()) - 1);
}

std::optional<ClipGroup> Rundown::currentGroup() const {
    if (groups_.isEmpty()) return std::nullopt;
    return groups_[safeGroupIndex()];
}

std::optional<Clip> Rundown::selectedClip() const {
    if (groups_.isEmpty()) return std::nullopt;
    const ClipGroup& group = groups_[safeGroupIndex()];
    const int index = std::max(group.selectedIndex, 0);
    if (index >= group.clips.size()) return std::nullopt;
    return group.clips[index];
}

int Rundown::clampedNext() const {
    if (groups_.isEmpty()) return 0;
    const ClipGroup& group = groups_[safeGroupIndex()];
    return std::clamp(group.selectedIndex, 0, static_cast<int>(group.clips.size()));
}

bool Rundown::isAtEnd() const {
    if (groups_.isEmpty()) return true;
    return clampedNext() >= groups_[safeGroupIndex()].clips.size();
}

void Rundown::rebuildIndex() {
    clipIndex_.clear();
    for (int g = 0; g < groups_.size(); ++g) {
        const auto& clips = groups_[g].clips;
        for (int i = 0; i < clips.size(); ++i) clipIndex_.insert(clips[i].id, {g, i});
    }
}

std::optional<std::pair<int, int>> Rundown::locate(const QUuid& id) const {
    const auto it = clipIndex_.constFind(id);
    if (it == clipIndex_.cend()) return std::nullopt;
    return *it;
}

void Rundown::setCurrentGroupIndex(int index) {
    if (index == currentGroupIndex_) return;
    currentGroupIndex_ = index;
    emit currentTabChanged(index);
}

void Rundown::clipsEdited() {
    emit clipsChanged(safeGroupIndex());
}

void Rundown::replaceGroups(QList<ClipGroup> groups) {
    const QList<ClipGroup> old = std::exchange(groups_, std::move(groups));
    rebuildIndex();
    bool tabs = old.size() != groups_.size();
    bool selection = tabs;
    for (int g = 0; g < groups_.size(); ++g) {
        if (g >= old.size()) {
            emit clipsChanged(g);
            emit markersChanged(g);
            continue;
        }
        const ClipGroup& a = old[g];
        const ClipGroup& b = groups_[g];
        tabs = tabs || a.id != b.id || a.name != b.name;
        selection = selection || a.selectedIndex != b.selectedIndex;
        if (a.clips != b.clips) emit clipsChanged(g);
        if (a.markers != b.markers) emit markersChanged(g);
    }
    if (tabs) emit tabsChanged();
    if (selection) emit selectionChanged();
}

void Rundown::setFilterText(const QString& text) {
    if (text == filterText_) return;
    filterText_ = text;
    emit filterChanged();
}

// ---- Verification bookkeeping -------------------------------------------------------------------

bool Rundown::isVerified(const Clip& clip) const {
    const auto it = verifiedURLs_.constFind(clip.id);
    return it != verifiedURLs_.cend() && *it == clip.url;
}

bool Rundown::markVerified(const QUuid& id, const QUrl& url) {
    const auto at = locate(id);
    if (!at || groups_[at->first].clips[at->second].url != url) return false;
    verifiedURLs_.insert(id, url);
    return true;
}

void Rundown::setPendingVerification(int count) {
    count = std::max(0, count);
    if (count == pendingVerification_) return;
    pendingVerification_ = count;
    emit pendingVerificationChanged(count);
}

QList<QPair<QString, QString>> Rundown::applyUnreadable(const QList<UnreadableEntry>& entries) {
    QHash<QUuid, UnreadableEntry> byID;
    for (const UnreadableEntry& e : entries) byID.insert(e.id, e);
    QList<ClipGroup> copy = groups_;
    QList<QPair<QString, QString>> report;
    for (ClipGroup& group : copy) {
        for (Clip& clip : group.clips) {
            const auto it = byID.constFind(clip.id);
            if (it == byID.cend() || it->url != clip.url) continue;
            clip.unreadableReason = it->reason;
            report.push_back({it->name, it->reason});
        }
    }
    if (!report.isEmpty()) replaceGroups(std::move(copy));
    return report;
}

void Rundown::applyMetadata(const QHash<QUuid, QSizeF>& sizes, const QHash<QUuid, QPointF>& anchors,
                            const QHash<QUuid, QUrl>& sourceURLs) {
    QList<ClipGroup> copy = groups_;
    for (ClipGroup& group : copy) {
        for (Clip& clip : group.clips) {
            const auto source = sourceURLs.constFind(clip.id);
            if (source == sourceURLs.cend() || *source != clip.url) continue;
            // A size that does not fit an int (not a number, negative, huge) is ignored rather
            // than converted, which would be undefined.
            auto fits = [](double v) { return v >= 0 && v < 2147483648.0; };
            if (const auto size = sizes.constFind(clip.id);
                size != sizes.cend() && fits(size->width()) && fits(size->height())) {
                clip.pixelWidth = static_cast<int>(size->width());
                clip.pixelHeight = static_cast<int>(size->height());
            }
            if (const auto anchor = anchors.constFind(clip.id); anchor != anchors.cend()) {
                clip.contentAnchorX = anchor->x();
                clip.contentAnchorY = anchor->y();
            }
        }
    }
    replaceGroups(std::move(copy));
}

std::optional<Clip> Rundown::forgetSelectedStill() {
    if (groups_.isEmpty()) return std::nullopt;
    ClipGroup& group = groups_[safeGroupIndex()];
    if (group.selectedIndex < 0 || group.selectedIndex >= group.clips.size()) return std::nullopt;
    Clip& clip = group.clips[group.selectedIndex];
    if (clip.kind == Clip::Kind::movie) return std::nullopt;
    const bool changed = clip.pixelWidth || clip.pixelHeight || clip.unreadableReason;
    clip.pixelWidth.reset();
    clip.pixelHeight.reset();
    clip.unreadableReason.reset();
    const Clip updated = clip;
    if (changed) clipsEdited();
    verifiedURLs_.remove(updated.id);
    return updated;
}

}  // namespace velmar
