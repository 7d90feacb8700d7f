#include "ui/duration_common.h"

#include "ui/target_commons.h"

namespace velmar {

std::optional<std::optional<double>> commonDuration(const QList<Clip>& clips,
                                                    const QSet<QUuid>& targets) {
    return TargetCommons::of(clips, targets).duration;
}

}  // namespace velmar
