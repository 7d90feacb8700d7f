// The sequence bar's positions, worked out by hand for a 500-point bar.
#include "ui/rundown/sequence_bar_geometry.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using G = SequenceBarGeometry;

G bar(double width, int clips, bool rtl = false) {
    return G{width, clips, true, rtl};
}

TEST(SequenceBarGeometry, PlayheadAndProgramMarkOnA500PointBar) {
    const G ltr = bar(500, 10);
    EXPECT_DOUBLE_EQ(ltr.unit(), 50);
    EXPECT_DOUBLE_EQ(ltr.playheadX(ltr.cursorIndex(std::nullopt, 3)), 175);
    EXPECT_EQ(ltr.programMark(2), (G::ProgramMark{{100, 50}, 124}));
    // END on the right edge; out-of-range selections clamp to clip 0 and END.
    EXPECT_DOUBLE_EQ(ltr.playheadX(ltr.cursorIndex(std::nullopt, 10)), 500);
    EXPECT_DOUBLE_EQ(ltr.playheadX(ltr.cursorIndex(std::nullopt, -4)), 25);
    EXPECT_DOUBLE_EQ(ltr.playheadX(ltr.cursorIndex(std::nullopt, 99)), 500);
    EXPECT_EQ(ltr.cursorIndex(7, 3), 7) << "the scrub index wins while dragging";

    const G rtl = bar(500, 10, true);
    EXPECT_DOUBLE_EQ(rtl.playheadX(3), 325);
    EXPECT_DOUBLE_EQ(rtl.playheadX(10), 0) << "END sits on the left edge right to left";
    EXPECT_EQ(rtl.programMark(2), (G::ProgramMark{{350, 50}, 500 - 124 - 2}));

    // 1000 clips on 500 points: the column is still 2 wide.
    EXPECT_EQ(bar(500, 1000).programMark(3), (G::ProgramMark{{2, 2}, 2}));
    EXPECT_FALSE(ltr.programMark(std::nullopt));
    EXPECT_FALSE(bar(500, 0).programMark(0));
    const G noTab{500, 0, false, false};
    EXPECT_DOUBLE_EQ(noTab.playheadX(noTab.cursorIndex(std::nullopt, 5)), 0);
    EXPECT_DOUBLE_EQ((G{500, 0, false, true}).playheadX(0), 500);
}

TEST(SequenceBarGeometry, SectionsShareRoundedEdgesAndAreAtLeastOneWide) {
    // 7 clips on 100 points: U = 14.2857...; edges round halves away from zero.
    const G g = bar(100, 7);
    EXPECT_EQ(g.section({std::nullopt, 0, 3, 0}), (G::Span{0, 43}));
    EXPECT_EQ(g.section({std::nullopt, 3, 4, 1}), (G::Span{43, 57}));
    EXPECT_EQ(bar(100, 7, true).section({std::nullopt, 0, 3, 0}), (G::Span{57, 43}));
    // 1000 clips on 500: a one-clip section rounds to 0 or 1 wide and is drawn 1 wide.
    EXPECT_EQ(bar(500, 1000).section({std::nullopt, 5, 1, 0}), (G::Span{3, 1}));
    EXPECT_DOUBLE_EQ(G::nearest(2.5), 3);
    EXPECT_DOUBLE_EQ(G::nearest(-2.5), -3);

    const BarSection s{QString("B"), 4, 3, 1};
    EXPECT_TRUE(G::isCurrent(s, true, 4));
    EXPECT_FALSE(G::isCurrent(s, true, 7));
    EXPECT_FALSE(G::isCurrent(s, false, 5)) << "a tab without markers is never highlighted";
}

TEST(SequenceBarGeometry, ScrubIndexTruncatesClampsAndMirrors) {
    const G ltr = bar(500, 10), rtl = bar(500, 10, true);
    struct Case {
        double x;
        int ltr, rtl;
    };
    const Case cases[] = {{0, 0, 10},   {49.9, 0, 9}, {50, 1, 9},   {499, 9, 0},
                          {500, 10, 0}, {620, 10, 0}, {-30, 0, 10}, {-80, 0, 10}};
    for (const Case& c : cases) {
        EXPECT_EQ(ltr.scrubIndex(c.x), c.ltr) << c.x;
        EXPECT_EQ(rtl.scrubIndex(c.x), c.rtl) << c.x;
    }
    EXPECT_FALSE(bar(0, 10).scrubIndex(10)) << "a bar 0 wide takes no drag";
    EXPECT_FALSE(bar(500, 0).scrubIndex(10));
}

}  // namespace
}  // namespace velmar
