#pragma once

#include "models/canvas_format.h"
#include "models/clip_transform.h"
#include "models/key_alpha_mode.h"
#include "models/motion_kind.h"
#include "models/playout_media.h"

#include <QPointF>

#include <functional>
#include <memory>
#include <optional>

namespace velmar {

// What a renderer needs to draw the program layer. Immutable once published.
struct OutputState {
    std::optional<PlayoutMedia> media;
    double opacity = 0;
    bool keyOutputEnabled = true;
    double fadeStartTime = 0;  // host seconds; 0 when no fade runs
    double fadeDuration = 0;
    double fadeFrom = 0;
    double fadeTo = 0;
    CanvasFormat canvas;
    bool unpremultiplyAlpha = false;
    KeyAlphaMode keyAlphaMode = KeyAlphaMode::straight;
    MotionKind motion = MotionKind::fade;
    bool entering = true;
    ClipTransform transform;
    QPointF contentAnchor;
    bool isTestPattern = false;
};

// A renderer's copy: the record of the last rebuild (shared, never copied field by field)
// and the program level evaluated at the moment of the copy (0 while the key is off).
struct OutputSnapshot {
    std::shared_ptr<const OutputState> state;
    double opacity = 0;
    const OutputState* operator->() const { return state.get(); }
};

// Where a renderer reads the program layer; any thread may call it.
using OutputStateSource = std::function<OutputSnapshot()>;

}  // namespace velmar
