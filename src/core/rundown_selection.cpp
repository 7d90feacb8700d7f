// Selection and navigation: which clip of the current tab is NEXT, the reorder selection, and
// the strip's text filter.
#include "core/rundown.h"

#include "models/localized.h"

#include <algorithm>

namespace velmar {

void Rundown::setSelectedIndex(int index) {
    if (groups_.isEmpty()) return;
    ClipGroup& group = groups_[safeGroupIndex()];
    const int clamped = std::clamp(index, 0, static_cast<int>(group.clips.size()));
    if (clamped == group.selectedIndex) {
        nextChanged(false);
        return;
    }
    group.selectedIndex = clamped;
    emit selectionChanged();
    nextChanged(true);
}

void Rundown::selectNext() {
    setSelectedIndex(clampedNext() + 1);
}

void Rundown::selectPrevious() {
    setSelectedIndex(clampedNext() - 1);
}

void Rundown::jumpToLast() {
    if (groups_.isEmpty()) return;
    const int count = static_cast<int>(groups_[safeGroupIndex()].clips.size());
    setSelectedIndex(count > 0 ? count - 1 : 0);
}

void Rundown::jumpToMarker(bool forward) {
    if (groups_.isEmpty()) return;
    QList<int> positions;
    for (const Marker& marker : groups_[safeGroupIndex()].markers) positions << marker.position;
    if (positions.isEmpty()) {
        message(localized("マーカーがありません"));
        return;
    }
    std::sort(positions.begin(), positions.end());
    const int current = clampedNext();
    std::optional<int> found;
    if (forward) {
        for (int p : positions) {
            if (p > current) {
                found = p;
                break;
            }
        }
    } else {
        for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
            if (*it < current) {
                found = *it;
                break;
            }
        }
    }
    if (found) setSelectedIndex(*found);
}

void Rundown::extendSelection(int step) {
    if (groups_.isEmpty()) return;
    const int current = clampedNext();
    const int target = current + step;
    const int count = static_cast<int>(groups_[safeGroupIndex()].clips.size());
    if (target < 0 || target >= count) return;
    if (current < count) {
        if (!selectionAnchor_) selectionAnchor_ = current;
        if (reorderSelection_.isEmpty()) {
            reorderSelection_.insert(groups_[safeGroupIndex()].clips[current].id);
            emit selectionChanged();
        }
    }
    setSelectedIndex(target);
    extendReorderSelection(target);
}

void Rundown::extendReorderSelection(int index) {
    if (groups_.isEmpty()) return;
    const auto& clips = groups_[safeGroupIndex()].clips;
    const int count = static_cast<int>(clips.size());
    if (index < 0 || index >= count) return;
    const int anchor = selectionAnchor_.value_or(clampedNext());
    const int lo = std::min(anchor, index);
    const int hi = std::max(anchor, index);
    if (lo < 0 || lo >= count || hi >= count) return;
    QSet<QUuid> ids;
    for (int i = lo; i <= hi; ++i) ids.insert(clips[i].id);
    setReorderSelection(std::move(ids), anchor);
}

void Rundown::selectAllInTab() {
    QSet<QUuid> ids;
    if (!groups_.isEmpty()) {
        for (const Clip& clip : groups_[safeGroupIndex()].clips) ids.insert(clip.id);
    }
    const auto count = static_cast<long long>(ids.size());
    setReorderSelection(std::move(ids), selectionAnchor_);
    message(localizedFormat("%lld 件を選択しました", {count}));
}

void Rundown::setReorderSelection(QSet<QUuid> ids, std::optional<int> anchor) {
    selectionAnchor_ = anchor;
    if (ids == reorderSelection_) return;
    reorderSelection_ = std::move(ids);
    emit selectionChanged();
}

namespace {

// The filter text without its leading and trailing spaces and tabs.
QString filterQuery(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(text[start])) ++start;
    while (end > start && blank(text[end - 1])) --end;
    return text.mid(start, end - start);
}

// Case-insensitive by simple case folding, which covers the scripts a rundown holds. The
// comparison folds as it goes, so a count over a whole tab allocates nothing per name.
bool nameMatches(const QString& name, const QString& query) {
    return query.isEmpty() || name.contains(query, Qt::CaseInsensitive);
}

}  // namespace

bool Rundown::matchesFilter(const Clip& clip) const {
    return nameMatches(clip.displayName, filterQuery(filterText_));
}

int Rundown::filteredCount() const {
    if (groups_.isEmpty()) return 0;
    const auto& clips = groups_[safeGroupIndex()].clips;
    const QString query = filterQuery(filterText_);
    return static_cast<int>(std::count_if(clips.begin(), clips.end(), [&](const Clip& c) {
        return nameMatches(c.displayName, query);
    }));
}

}  // namespace velmar
