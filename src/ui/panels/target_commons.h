#pragma once

#include "models/clip.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

namespace velmar {

// What the target clips among a tab's `clips` share, found in one walk of the tab (a whole tab
// of targets is 10000 clips, and the motion panel reads both at each rebuild). Outer optional:
// none when no clip is a target or the targets differ; inner: the shared value, absent when
// none of them has one of its own.
struct TargetCommons {
    std::optional<std::optional<MotionKind>> motion;
    std::optional<std::optional<double>> duration;

    static TargetCommons of(const QList<Clip>& clips, const QSet<QUuid>& targets);
};

}  // namespace velmar
