#include "ui/panels/duration_common.h"

#include "models/clip_commons.h"

namespace velmar {

std::optional<std::optional<double>> commonDuration(const QList<Clip>& clips,
                                                    const QSet<QUuid>& targets) {
    return sharedAmong(clips, targets, [](const Clip& clip) { return clip.motionDuration; });
}

}  // namespace velmar
