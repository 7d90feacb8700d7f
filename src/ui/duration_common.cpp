#include "ui/duration_common.h"

namespace velmar {

std::optional<std::optional<double>> commonDuration(const QList<Clip>& clips,
                                                    const QSet<QUuid>& targets) {
    const Clip* first = nullptr;
    for (const Clip& clip : clips) {
        if (!targets.contains(clip.id)) continue;
        if (!first) {
            first = &clip;
        } else if (clip.motionDuration != first->motionDuration) {
            return std::nullopt;
        }
    }
    if (!first) return std::nullopt;
    return std::optional<std::optional<double>>(std::in_place, first->motionDuration);
}

}  // namespace velmar
