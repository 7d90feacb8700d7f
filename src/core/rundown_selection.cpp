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

// The filter text without its leading and trailing spaces and tabs; when it is plain ASCII,
// also in lower case, so names can be compared against it by the fast path below.
struct FilterQuery {
    QString text;
    bool ascii = true;
};

FilterQuery filterQuery(const QString& raw) {
    qsizetype start = 0;
    qsizetype end = raw.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(raw[start])) ++start;
    while (end > start && blank(raw[end - 1])) --end;
    FilterQuery q{raw.mid(start, end - start), true};
    for (const QChar c : q.text) q.ascii = q.ascii && c.unicode() < 0x80;
    if (q.ascii) q.text = q.text.toLower();
    return q;
}

char16_t lowerASCII(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Case-insensitive by simple case folding, which covers the scripts a rundown holds. The
// filter counts every name of a tab on each keystroke, so an ASCII query against an ASCII name
// is compared in place; any other pair goes through Qt's folding comparison (a non-ASCII
// letter such as the Kelvin sign may fold to an ASCII one).
bool nameMatches(const QString& name, const FilterQuery& query) {
    const qsizetype ql = query.text.size();
    if (ql == 0) return true;
    const char16_t* n = reinterpret_cast<const char16_t*>(name.utf16());
    const qsizetype nl = name.size();
    bool ascii = query.ascii;
    for (qsizetype i = 0; i < nl && ascii; ++i) ascii = n[i] < 0x80;
    if (!ascii) return name.contains(query.text, Qt::CaseInsensitive);
    const char16_t* q = reinterpret_cast<const char16_t*>(query.text.utf16());
    for (qsizetype at = 0; at + ql <= nl; ++at) {
        qsizetype k = 0;
        while (k < ql && lowerASCII(n[at + k]) == q[k]) ++k;
        if (k == ql) return true;
    }
    return false;
}

}  // namespace

bool Rundown::matchesFilter(const Clip& clip) const {
    return nameMatches(clip.displayName, filterQuery(filterText_));
}

int Rundown::filteredCount() const {
    if (groups_.isEmpty()) return 0;
    const auto& clips = groups_[safeGroupIndex()].clips;
    const FilterQuery query = filterQuery(filterText_);
    return static_cast<int>(std::count_if(clips.begin(), clips.end(), [&](const Clip& c) {
        return nameMatches(c.displayName, query);
    }));
}

}  // namespace velmar
