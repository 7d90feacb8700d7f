#pragma once

#include "models/bar_section.h"

#include <optional>

namespace velmar {

// The geometry of the sequence bar as pure functions of the bar's width W (design units), the
// clip count N and the strip direction. Every x is measured left to right; right to left, the
// positions are mirrored (W - x - width).
struct SequenceBarGeometry {
    static constexpr double kBarHeight = 34;
    static constexpr double kLabelMinWidth = 34;
    static constexpr double kTickWidth = 2;
    static constexpr double kTickHeight = 8;
    static constexpr double kPlayheadWidth = 13;

    struct Span {
        double x = 0;
        double width = 0;
        friend bool operator==(const Span&, const Span&) = default;
    };
    struct ProgramMark {
        Span column;
        double tickX = 0;
        friend bool operator==(const ProgramMark&, const ProgramMark&) = default;
    };

    double width = 0;
    int clipCount = 0;
    bool hasTab = false;
    bool rightToLeft = false;

    // Rounded to the nearest whole number, halves away from zero.
    static double nearest(double v);

    // W / N, or 0 without clips.
    double unit() const;
    // The cursor index: the scrub index while dragging, else the selected index clamped to
    // 0...N (0 without a tab).
    int cursorIndex(std::optional<int> scrub, int selectedIndex) const;
    // A section's span: edges from its own first and past-the-end clips, at least 1 wide.
    Span section(const BarSection& s) const;
    // Whether a section is drawn bright and bold: only when the tab has markers.
    static bool isCurrent(const BarSection& s, bool tabHasMarkers, int cursor);
    // The playhead's centre line: the centre of clip K, or the END edge; 0 when nothing is laid
    // out. Mirrored right to left.
    double playheadX(int cursor) const;
    // The red column and tick of the program clip; none without a program index or clips.
    std::optional<ProgramMark> programMark(std::optional<int> programIndex) const;
    // The clip index under a pointer x, truncated and clamped to 0...N (N is END); none while
    // nothing is laid out.
    std::optional<int> scrubIndex(double x) const;
};

}  // namespace velmar
