#pragma once

#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/motion_kind.h"

#include <QColor>
#include <QString>

#include <optional>

namespace velmar {

// What a clip cell shows besides its picture, as plain values: the running number, the border
// of the tile, the fit badge and the motion and transform badges. Drawing reads these.
namespace clip_badges {

// One line of badge text with its weight and colour.
struct Text {
    QString text;
    bool bold = false;
    QColor color;
    friend bool operator==(const Text&, const Text&) = default;
};

// The running number of a cell: at least three digits, never cut ("001", "1000").
QString cellNumber(int index);

struct Border {
    QColor color;
    double width = 1;
    friend bool operator==(const Border&, const Border&) = default;
};
// PROGRAM red wins over NEXT green, which wins over the selection's accent blue.
Border tileBorder(bool isProgram, bool isNext, bool isSelected);
// The number's colour: red on PROGRAM, green when NEXT, else dim grey; bold when NEXT.
Text numberText(int index, bool isProgram, bool isNext);

struct FitBadge {
    QString text;  // looked-up "小" or "縮小"
    QColor background;
    friend bool operator==(const FitBadge&, const FitBadge&) = default;
};
// None when the size is unknown or equals the canvas; "小" when the picture fits inside the
// canvas, "縮小" when it is wider or taller.
std::optional<FitBadge> fitBadge(const Clip& clip, const CanvasFormat& canvas);

struct Motion {
    Text label;                    // "FADE", "SLIDE ←", ...; bold blue when the clip's own
    std::optional<Text> loop;      // "∞", "×3"; bold orange
    std::optional<Text> duration;  // "0.50s"; none under a cut
};
Motion motionBadge(const Clip& clip, MotionKind fallback, double fallbackDuration);
// The motion badge's help: "この素材の尺", or "共通尺 %.2f 秒" filled, for every motion.
QString motionBadgeHelp(const Clip& clip, double fallbackDuration);

// The transform badge's help text; none while the placement is exactly the identity.
std::optional<QString> transformBadgeHelp(const Clip& clip);

}  // namespace clip_badges
}  // namespace velmar
