#pragma once

#include "models/clip.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

namespace velmar {

// The motion duration shared by the target clips among `clips` (in strip order). Outer: none
// when no clip is a target or their durations differ; inner: the shared duration, absent when
// none of them has one of its own (they all use the engine's default).
std::optional<std::optional<double>> commonDuration(const QList<Clip>& clips,
                                                    const QSet<QUuid>& targets);

}  // namespace velmar
