#include "ui/panels/duration_common.h"

#include "models/clip_commons.h"
#include "ui/controls/palette.h"

#include <QLabel>

namespace velmar {

std::optional<std::optional<double>> commonDuration(const QList<Clip>& clips,
                                                    const QSet<QUuid>& targets) {
    return sharedAmong(clips, targets, [](const Clip& clip) { return clip.motionDuration; });
}

void useSecondaryText(QLabel* label) {
    label->setStyleSheet(
        QStringLiteral("color: %1;").arg(Palette::secondaryText().name(QColor::HexArgb)));
}

}  // namespace velmar
