#pragma once

namespace velmar {

// The pose of one layer at one moment of a motion. MotionKind::transform() fills the slides,
// scale, rotation and opacity and leaves offsets and anchors at 0; the renderer puts the clip's
// offsets and content anchor into those and combines the rest with the clip's transform.
// A plain value; safe to copy between threads.
struct MotionTransform {
    // Slide in units of the distance that carries the layer clear of the canvas (with a gap of 2%
    // of the canvas): 1 beyond the right (X) or top (Y) edge, -1 beyond the left or bottom edge.
    double slideX = 0;
    double slideY = 0;
    // Offset of the layer's centre from the canvas centre, as a fraction of the canvas width
    // (X) or height (Y, positive upward).
    double offsetX = 0;
    double offsetY = 0;
    // Size factor of the fitted layer, about the anchor.
    double scale = 1;
    // Radians, positive counter-clockwise.
    double rotation = 0;
    // 0 to 1.
    double opacity = 1;
    // Pivot of scaling in half-widths / half-heights of the layer: -1 left/top, 1 right/bottom.
    double anchorX = 0;
    double anchorY = 0;

    friend bool operator==(const MotionTransform&, const MotionTransform&) = default;
};

}  // namespace velmar
