#include "ui/panels/target_commons.h"

namespace velmar {

TargetCommons TargetCommons::of(const QList<Clip>& clips, const QSet<QUuid>& targets) {
    const Clip* first = nullptr;
    bool sameMotion = true;
    bool sameDuration = true;
    for (const Clip& clip : clips) {
        if (!targets.contains(clip.id)) continue;
        if (!first) {
            first = &clip;
            continue;
        }
        sameMotion = sameMotion && clip.motion == first->motion;
        sameDuration = sameDuration && clip.motionDuration == first->motionDuration;
        if (!sameMotion && !sameDuration) break;
    }
    TargetCommons commons;
    if (!first) return commons;
    if (sameMotion) commons.motion.emplace(first->motion);
    if (sameDuration) commons.duration.emplace(first->motionDuration);
    return commons;
}

}  // namespace velmar
