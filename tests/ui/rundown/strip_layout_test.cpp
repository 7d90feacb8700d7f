// The strip's geometry, its hit test and the insertion point of a drag, with values worked out
// by hand from the layout constants (gap 30 or 120 per marker, anchor 1, cell 168).
#include "ui/rundown/strip_layout.h"
#include "support/qt_printers.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>

namespace velmar {
namespace {

using Span = StripLayout::Span;
using Part = StripLayout::Part;

Marker marker(int position, const QString& name) {
    Marker m;
    m.position = position;
    m.name = name;
    return m;
}

TEST(StripLayout, PlacesGapsCellsAndEndInBothDirections) {
    // Three clips, one marker at gap 1, a marker stored past the clip count (not laid out).
    const Marker m = marker(1, "B");
    const QList<Marker> markers{m, marker(9, "stale")};
    const StripLayout ltr(3, markers, false, 1000);
    // 500 of half viewport, units of 199 (plain gap) and 289 (marker gap), END unit 199.
    EXPECT_EQ(ltr.gap(0), (Span{500, 30}));
    EXPECT_EQ(ltr.anchor(0), (Span{530, 1}));
    EXPECT_EQ(ltr.cell(0), (Span{531, 168}));
    EXPECT_EQ(ltr.gap(1), (Span{699, 120}));
    EXPECT_EQ(ltr.cell(1), (Span{820, 168}));
    EXPECT_EQ(ltr.gap(3), (Span{1187, 30}));
    EXPECT_EQ(ltr.endCell(), (Span{1218, 168}));
    EXPECT_DOUBLE_EQ(ltr.contentWidth(), 1386 + 500);
    EXPECT_EQ(ltr.markerCount(3), 0);
    // Centring the anchor: its middle minus half the viewport.
    EXPECT_DOUBLE_EQ(ltr.scrollOffsetFor(0), 30.5);
    EXPECT_DOUBLE_EQ(ltr.scrollOffsetFor(3), 1217.5 - 500);
    EXPECT_DOUBLE_EQ(ltr.scrollOffsetFor(-1), ltr.scrollOffsetFor(3)) << "outside: END";
    EXPECT_DOUBLE_EQ(ltr.scrollOffsetFor(99), ltr.scrollOffsetFor(3));

    const StripLayout rtl(3, markers, true, 1000);
    // The mirror: END first, clip 0 rightmost.
    EXPECT_EQ(rtl.endCell(), (Span{500, 168}));
    EXPECT_EQ(rtl.gap(3), (Span{669, 30}));
    EXPECT_EQ(rtl.cell(0), (Span{1886 - 531 - 168, 168}));
    EXPECT_LT(rtl.cell(2).x, rtl.cell(1).x);
    EXPECT_DOUBLE_EQ(rtl.scrollOffsetFor(3), 668.5 - 500);
}

TEST(StripLayout, HitTestAndVisibleRangesFindGapsMarkersCellsAndEnd) {
    const Marker m1 = marker(2, "m1"), m2 = marker(2, "m2");
    for (bool rtl : {false, true}) {
        SCOPED_TRACE(rtl ? "right to left" : "left to right");
        const StripLayout layout(5, {m1, m2}, rtl, 800);
        for (int i = 0; i < 5; ++i) {
            const auto hit = layout.hitTest(layout.cell(i).x + 84);
            EXPECT_EQ(hit.part, Part::cell);
            EXPECT_EQ(hit.index, i);
        }
        EXPECT_EQ(layout.hitTest(layout.gap(4).x + 15).part, Part::gap);
        EXPECT_EQ(layout.hitTest(layout.endCell().x + 1).part, Part::end);
        EXPECT_EQ(layout.hitTest(layout.endCell().x + 1).index, 5);
        EXPECT_EQ(layout.hitTest(10).part, Part::none) << "the half-viewport space";
        // Two columns in gap 2, m1 first in strip order.
        const auto columns = layout.markerColumns(2);
        ASSERT_EQ(columns.size(), 2u);
        EXPECT_EQ(columns[0].id, rtl ? m2.id : m1.id) << "right to left shows m2, m1";
        for (const auto& c : columns) EXPECT_EQ(layout.hitTest(c.span.x + 60).markerID, c.id);

        // Cells 1 and 2 meet a window from the middle of cell 1 to the middle of cell 2.
        const double a = layout.cell(1).x + 84, b = layout.cell(2).x + 84;
        const auto [first, last] = layout.cellsIn(std::min(a, b), std::max(a, b));
        EXPECT_LE(first, 1);
        EXPECT_GE(last, 3);
        EXPECT_LE(last - first, 3) << "no more than the cells met plus one";
    }
    const StripLayout none(5, {}, false, 0);
    EXPECT_EQ(none.hitTest(100).part, Part::none) << "a strip 0 wide takes nothing";
    EXPECT_EQ(none.cellsIn(0, 1e6), (std::pair<int, int>{0, 0}));
    EXPECT_FALSE(none.nearestGap({100, 80}));
}

// The walk over every candidate that the binary search replaces, written from the rules: nearest
// by |x - p.x|, a later candidate wins only when strictly nearer, then the band.
std::optional<StripInsertion> walk(const StripLayout& layout, const QList<Marker>& markers,
                                   QPointF p) {
    std::optional<StripInsertion> best;
    double bestDistance = 0;
    auto consider = [&](double x, StripInsertion s) {
        const double d = std::abs(x - p.x());
        if (!best || d < bestDistance) best = s, bestDistance = d;
    };
    for (int g = 0; g <= layout.clipCount(); ++g) {
        bool any = false;
        for (const Marker& m : markers) {
            if (m.position != g) continue;
            any = true;
            for (const auto& c : layout.markerColumns(g)) {
                if (c.id != m.id) continue;
                const double left = c.span.x, right = c.span.right();
                consider(layout.rightToLeft() ? right : left, {g, m.id, false});
                consider(layout.rightToLeft() ? left : right, {g, m.id, true});
            }
        }
        if (!any) consider(layout.gap(g).x + layout.gap(g).width / 2, {g, std::nullopt, false});
    }
    if (!(p.y() > 6 - 40 && p.y() < 156 + 40)) return std::nullopt;
    return best;
}

TEST(StripLayout, NearestGapFollowsTheHitTestRules) {
    const Marker m1 = marker(3, "m1"), m2 = marker(3, "m2");
    const QList<Marker> markers{m1, m2};
    struct Case {
        const char* what;
        bool rtl;
        double x;  // relative to the left edge of gap 3's columns
        double y;
        std::optional<StripInsertion> expected;
    };
    const std::optional<StripInsertion> none;
    const Case cases[] = {
        {"border of m1 and m2 gives m1's after side", false, 120, 80,
         StripInsertion{3, m1.id, true}},
        {"left edge of m1", false, 2, 80, StripInsertion{3, m1.id, false}},
        {"right edge of m2", false, 238, 80, StripInsertion{3, m2.id, true}},
        {"right to left the left edge is the after side", true, 2, 80,
         StripInsertion{3, m2.id, true}},
        {"right to left border", true, 120, 80, StripInsertion{3, m1.id, true}},
        {"right to left right edge is m1's before side", true, 238, 80,
         StripInsertion{3, m1.id, false}},
        {"39 above the gap still hits", false, 2, 6 - 39, StripInsertion{3, m1.id, false}},
        {"40 above yields nothing", false, 2, 6 - 40, none},
        {"39 below hits", false, 2, 156 + 39, StripInsertion{3, m1.id, false}},
        {"40 below yields nothing", false, 2, 156 + 40, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StripLayout layout(6, markers, c.rtl, 900);
        const double left = layout.gap(3).x;
        EXPECT_EQ(layout.nearestGap({left + c.x, c.y}), c.expected);
    }
    // Halfway between the centres of plain gaps 1 and 2, the lower gap wins; right to left too.
    for (bool rtl : {false, true}) {
        const StripLayout layout(6, {}, rtl, 900);
        const double mid = (layout.gap(1).x + layout.gap(2).x) / 2 + 15;
        EXPECT_EQ(layout.nearestGap({mid, 80}), (StripInsertion{1, std::nullopt, false}));
    }
}

TEST(StripLayout, NearestGapBySearchAgreesWithTheWalkOnRandomStrips) {
    QRandomGenerator rng(21);
    for (int round = 0; round < 200; ++round) {
        const int count = rng.bounded(0, 12);
        QList<Marker> markers;
        const int nMarkers = rng.bounded(0, 6);
        for (int i = 0; i < nMarkers; ++i) markers << marker(rng.bounded(0, count + 1), "m");
        const bool rtl = rng.bounded(2) == 1;
        const StripLayout layout(count, markers, rtl, 400);
        for (int probe = 0; probe < 20; ++probe) {
            // Integer and half-integer x hit the exact ties between candidates.
            const QPointF p(rng.bounded(0, static_cast<int>(layout.contentWidth()) * 2) / 2.0,
                            rng.bounded(-60, 220));
            ASSERT_EQ(layout.nearestGap(p), walk(layout, markers, p))
                << "round " << round << " x " << p.x() << " rtl " << rtl;
        }
    }
}

TEST(StripLayout, GapKeyIsTheClipUuidInUpperCaseElseEnd) {
    ClipGroup group;
    group.clips = {Clip{}, Clip{}};
    const QString first = gapKey(&group, 0);
    EXPECT_EQ(first.size(), 36);
    EXPECT_EQ(first, first.toUpper());
    EXPECT_EQ(QUuid::fromString(first), group.clips[0].id);
    EXPECT_EQ(gapKey(&group, 2), "END");
    EXPECT_EQ(gapKey(&group, -1), "END");
    EXPECT_EQ(gapKey(nullptr, 0), "END");
}

}  // namespace
}  // namespace velmar
