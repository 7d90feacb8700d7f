#include "ui/panels/duration_common.h"

#include "ui/panels/target_commons.h"

namespace velmar {

std::optional<std::optional<double>> commonDuration(const QList<Clip>& clips,
                                                    const QSet<QUuid>& targets) {
    return TargetCommons::of(clips, targets).duration;
}

}  // namespace velmar
