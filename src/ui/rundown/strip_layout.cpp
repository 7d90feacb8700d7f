#include "ui/rundown/strip_layout.h"

#include <algorithm>
#include <cmath>

namespace velmar {

StripLayout::StripLayout(int clipCount, const QList<Marker>& markers, bool rightToLeft,
                         double viewportWidth)
    : clipCount_(std::max(clipCount, 0)),
      rightToLeft_(rightToLeft),
      viewportWidth_(std::max(viewportWidth, 0.0)) {
    // Markers bucketed by gap, keeping the tab's order within a gap.
    const int gaps = clipCount_ + 1;
    std::vector<int> perGap(gaps, 0);
    for (const Marker& m : markers) {
        if (m.position >= 0 && m.position < gaps) ++perGap[m.position];
    }
    markerFirst_.assign(gaps + 1, 0);
    for (int g = 0; g < gaps; ++g) markerFirst_[g + 1] = markerFirst_[g] + perGap[g];
    markerIDs_.resize(markerFirst_[gaps]);
    std::vector<int> fill(markerFirst_.begin(), markerFirst_.end() - 1);
    for (const Marker& m : markers) {
        if (m.position >= 0 && m.position < gaps) markerIDs_[fill[m.position]++] = m.id;
    }

    unitStart_.resize(gaps + 1);
    double x = viewportWidth_ / 2;
    for (int g = 0; g < gaps; ++g) {
        unitStart_[g] = x;
        x += gapWidth(g) + kAnchorWidth + kCellWidth;
    }
    unitStart_[gaps] = x;
    contentWidth_ = x + viewportWidth_ / 2;
    buildCandidates();
}

double StripLayout::gapWidth(int g) const {
    const int n = markerFirst_[g + 1] - markerFirst_[g];
    return n == 0 ? kPlainGapWidth : n * kMarkerGapWidth;
}

int StripLayout::markerCount(int g) const {
    if (g < 0 || g > clipCount_) return 0;
    return markerFirst_[g + 1] - markerFirst_[g];
}

StripLayout::Span StripLayout::place(double ltrX, double width) const {
    return {rightToLeft_ ? contentWidth_ - ltrX - width : ltrX, width};
}

StripLayout::Span StripLayout::gap(int g) const {
    g = std::clamp(g, 0, clipCount_);
    return place(unitStart_[g], gapWidth(g));
}

StripLayout::Span StripLayout::anchor(int i) const {
    i = std::clamp(i, 0, clipCount_);
    return place(unitStart_[i] + gapWidth(i), kAnchorWidth);
}

StripLayout::Span StripLayout::cell(int i) const {
    i = std::clamp(i, 0, clipCount_);
    return place(unitStart_[i] + gapWidth(i) + kAnchorWidth, kCellWidth);
}

StripLayout::Span StripLayout::endCell() const {
    return cell(clipCount_);
}

std::vector<StripLayout::MarkerColumn> StripLayout::markerColumns(int g) const {
    std::vector<MarkerColumn> out;
    if (g < 0 || g > clipCount_) return out;
    const int first = markerFirst_[g];
    const int n = markerFirst_[g + 1] - first;
    out.reserve(n);
    // Left to right the tab's order runs along x; mirroring reverses it right to left.
    for (int k = 0; k < n; ++k) {
        out.push_back(
            {markerIDs_[first + k], place(unitStart_[g] + k * kMarkerGapWidth, kMarkerGapWidth)});
    }
    if (rightToLeft_) std::reverse(out.begin(), out.end());
    return out;
}

double StripLayout::scrollOffsetFor(int index) const {
    const int i = (index >= 0 && index < clipCount_) ? index : clipCount_;
    const Span a = anchor(i);
    return a.x + a.width / 2 - viewportWidth_ / 2;
}

int StripLayout::unitAt(double ltrX) const {
    const auto end = unitStart_.begin() + clipCount_ + 1;
    const int u =
        static_cast<int>(std::upper_bound(unitStart_.begin(), end, ltrX) - unitStart_.begin()) - 1;
    return std::clamp(u, 0, clipCount_);
}

std::pair<int, int> StripLayout::cellsIn(double x0, double x1) const {
    if (x1 <= x0 || viewportWidth_ <= 0) return {0, 0};
    double l0 = ltr(x0), l1 = ltr(x1);
    if (l0 > l1) std::swap(l0, l1);
    if (l1 <= unitStart_[0] || l0 >= unitStart_[clipCount_ + 1]) return {0, 0};
    const int first = unitAt(l0);
    const int last = std::min(unitAt(l1) + 1, clipCount_);
    return {std::min(first, last), last};
}

std::pair<int, int> StripLayout::gapsIn(double x0, double x1) const {
    if (x1 <= x0 || viewportWidth_ <= 0) return {0, 0};
    double l0 = ltr(x0), l1 = ltr(x1);
    if (l0 > l1) std::swap(l0, l1);
    if (l1 <= unitStart_[0] || l0 >= unitStart_[clipCount_ + 1]) return {0, 0};
    return {unitAt(l0), unitAt(l1) + 1};
}

StripLayout::Hit StripLayout::hitTest(double x) const {
    const double l = ltr(x);
    if (viewportWidth_ <= 0 || l < unitStart_[0] || l >= unitStart_[clipCount_ + 1]) return {};
    const int u = unitAt(l);
    const double offset = l - unitStart_[u];
    const double gw = gapWidth(u);
    if (offset < gw) {
        const int n = markerCount(u);
        if (n == 0) return {Part::gap, u, {}};
        const int k = std::clamp(static_cast<int>(offset / kMarkerGapWidth), 0, n - 1);
        return {Part::marker, u, markerIDs_[markerFirst_[u] + k]};
    }
    return {u == clipCount_ ? Part::end : Part::cell, u, {}};
}

void StripLayout::buildCandidates() {
    candidates_.clear();
    if (viewportWidth_ <= 0) return;
    candidates_.reserve(clipCount_ + 1 + markerIDs_.size() * 2);
    const double sign = rightToLeft_ ? -1 : 1;
    for (int g = 0; g <= clipCount_; ++g) {
        const int first = markerFirst_[g], n = markerFirst_[g + 1] - first;
        if (n == 0) {
            const Span s = gap(g);
            candidates_.push_back({sign * (s.x + s.width / 2), {g, std::nullopt, false}});
            continue;
        }
        for (int k = 0; k < n; ++k) {
            const Span s = place(unitStart_[g] + k * kMarkerGapWidth, kMarkerGapWidth);
            // The before side is the one the strip reaches first: left to right its left edge.
            const double before = rightToLeft_ ? s.right() : s.x;
            const double after = rightToLeft_ ? s.x : s.right();
            candidates_.push_back({sign * before, {g, markerIDs_[first + k], false}});
            candidates_.push_back({sign * after, {g, markerIDs_[first + k], true}});
        }
    }
}

std::optional<StripInsertion> StripLayout::nearestGap(QPointF p) const {
    if (candidates_.empty()) return std::nullopt;
    // Keys rise along the list, so the nearest is beside the first key at or past p.
    const double key = rightToLeft_ ? -p.x() : p.x();
    const auto it = std::lower_bound(candidates_.begin(), candidates_.end(), key,
                                     [](const Candidate& c, double k) { return c.key < k; });
    std::size_t chosen = it - candidates_.begin();
    if (it != candidates_.begin()) {
        std::size_t before = chosen - 1;
        while (before > 0 && candidates_[before - 1].key == candidates_[before].key) --before;
        // The earlier candidate wins a tie.
        if (it == candidates_.end() || key - candidates_[before].key <= it->key - key)
            chosen = before;
    }
    // Every gap and marker column spans the same rows.
    if (!(p.y() > kLabelTop - kDropBand && p.y() < kContentBottom + kDropBand)) return std::nullopt;
    return candidates_[chosen].insertion;
}

QString gapKey(const ClipGroup* group, int g) {
    if (group && g >= 0 && g < group->clips.size())
        return group->clips[g].id.toString(QUuid::WithoutBraces).toUpper();
    return QStringLiteral("END");
}

}  // namespace velmar
