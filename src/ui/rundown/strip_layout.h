#pragma once

#include "models/clip_group.h"
#include "models/marker.h"
#include "models/strip_insertion.h"

#include <QPointF>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>
#include <vector>

namespace velmar {

// The horizontal geometry of the clip strip in design units: the x of every gap, marker column,
// cell, scroll anchor and the END cell of one tab, for a direction and a viewport width. Built
// once per change of the tab's clips, markers, the direction or the width; every query is a
// prefix-sum lookup or a binary search, so painting and hit-testing cost no walk over the tab.
//
// Strip order left to right: half a viewport of space, then per clip its gap, a 1-unit scroll
// anchor and its cell, then the last gap, the END anchor and the END cell, then half a viewport.
// Right to left is the exact mirror of that, so the END cell comes first.
class StripLayout {
  public:
    // Layout constants of the strip.
    static constexpr double kCellWidth = 168;
    static constexpr double kCellHeight = 94;
    static constexpr double kLabelHeight = 18;
    static constexpr double kFooterHeight = 32;
    static constexpr double kRowSpacing = 3;
    static constexpr double kTopPadding = 6;
    static constexpr double kBottomPadding = 18;
    static constexpr double kPlainGapWidth = 30;
    static constexpr double kMarkerGapWidth = 120;
    static constexpr double kAnchorWidth = 1;
    // Rows of the content, top to bottom.
    static constexpr double kLabelTop = kTopPadding;
    static constexpr double kTileTop = kLabelTop + kLabelHeight + kRowSpacing;
    static constexpr double kFooterTop = kTileTop + kCellHeight + kRowSpacing;
    static constexpr double kContentBottom = kFooterTop + kFooterHeight;
    static constexpr double kTotalHeight = kContentBottom + kBottomPadding;  // 174
    // How far above or below a gap a drag still aims at it (exclusive).
    static constexpr double kDropBand = 40;

    struct Span {
        double x = 0;
        double width = 0;
        double right() const { return x + width; }
        bool contains(double px) const { return px >= x && px < x + width; }
        friend bool operator==(const Span&, const Span&) = default;
    };
    struct MarkerColumn {
        QUuid id;
        Span span;
    };
    enum class Part { none, gap, marker, cell, end };
    struct Hit {
        Part part = Part::none;
        int index = -1;  // gap or clip index; the clip count for END
        QUuid markerID;  // for Part::marker
    };

    StripLayout() : StripLayout(0, {}, false, 0) {}
    // Markers outside 0...clipCount are left out; markers sharing a position keep their order.
    StripLayout(int clipCount, const QList<Marker>& markers, bool rightToLeft,
                double viewportWidth);

    int clipCount() const { return clipCount_; }
    bool rightToLeft() const { return rightToLeft_; }
    double viewportWidth() const { return viewportWidth_; }
    double contentWidth() const { return contentWidth_; }

    Span gap(int g) const;     // 0...clipCount
    Span anchor(int i) const;  // scroll anchor before cell i; clipCount: the END anchor
    Span cell(int i) const;    // 0...clipCount-1
    Span endCell() const;
    // The marker columns of gap g in strip order (reversed tab order right to left).
    std::vector<MarkerColumn> markerColumns(int g) const;
    int markerCount(int g) const;

    // The horizontal scroll offset that puts the anchor of a NEXT index on the viewport's
    // centre; indices outside the tab give the END anchor.
    double scrollOffsetFor(int index) const;

    // Clip indices whose cells meet [x0, x1), as [first, last); first == last when none.
    std::pair<int, int> cellsIn(double x0, double x1) const;
    // Gap indices whose spans meet [x0, x1), as [first, last).
    std::pair<int, int> gapsIn(double x0, double x1) const;

    // What lies under a content x (any y; callers check rows).
    Hit hitTest(double x) const;

    // The insertion point a drag at p (content coordinates) aims at: the nearest plain gap
    // centre or marker side, ties to the earlier in gap order; nil when p lies 40 or more above
    // or below the gap rows, or when nothing is laid out (a viewport 0 wide).
    std::optional<StripInsertion> nearestGap(QPointF p) const;

  private:
    // Left-to-right x of a span, mirrored when the strip runs right to left.
    Span place(double ltrX, double width) const;
    double ltr(double x) const { return rightToLeft_ ? contentWidth_ - x : x; }
    // Index of the unit (gap g + anchor + cell g) that holds an ltr x; clipCount for the tail.
    int unitAt(double ltrX) const;
    double gapWidth(int g) const;
    void buildCandidates();

    int clipCount_ = 0;
    bool rightToLeft_ = false;
    double viewportWidth_ = 0;
    double contentWidth_ = 0;
    // unitStart_[g]: ltr x where gap g begins; unitStart_[clipCount + 1]: end of the END cell.
    std::vector<double> unitStart_;
    // Markers per gap, in the tab's marker order: gap -> [first, last) into markerIDs_.
    std::vector<int> markerFirst_;
    std::vector<QUuid> markerIDs_;

    struct Candidate {
        double key;  // x, negated right to left so that keys rise along the list
        StripInsertion insertion;
    };
    std::vector<Candidate> candidates_;
};

// The key under which gap g reports: the upper-case uuid of clip g when it exists, else "END".
QString gapKey(const ClipGroup* group, int g);

}  // namespace velmar
