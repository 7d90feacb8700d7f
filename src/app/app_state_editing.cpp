// The test-pattern command, the duration sheet's targets and the corner-drag resize.
#include "app/app_state.h"

#include "app/led_cabinet_dialog.h"
#include "models/localized.h"

namespace velmar {

void AppState::toggleTestPattern(TestPatternKind kind) {
    if (engine_->testPattern() == kind) {
        engine_->clearTestPattern();
        return;
    }
    if (kind == TestPatternKind::ledCabinet) {
        const std::optional<LEDCabinetSize> size = askLEDCabinetSize();
        if (!size) return;
        setLedCabinet(*size);
    }
    engine_->showTestPattern(kind, ledCabinet_);
}

std::optional<LEDCabinetSize> AppState::askLEDCabinetSize() {
    AppDialogs::LEDCabinetPrompt prompt;
    prompt.messageText = localized("LED キャビネットの大きさ");
    const QString canvasText =
        QStringLiteral("%1×%2").arg(engine_->canvas().width).arg(engine_->canvas().height);
    prompt.informativeText = localizedFormat(
        "キャビネット（パネル）1 枚の横×縦のピクセル数を入れてください。キャンバス %@ "
        "を左上から区切ります。",
        {canvasText});
    prompt.widthText = QString::number(ledCabinet_.width);
    prompt.heightText = QString::number(ledCabinet_.height);
    while (dialogs_->runLEDCabinetDialog(prompt)) {
        if (const auto size = LEDCabinetDialog::parseSize(prompt.widthText, prompt.heightText)) {
            return size;
        }
        prompt.informativeText =
            localizedFormat("%lld〜%lld の整数で入れてください。",
                            {static_cast<long long>(LEDCabinetDialog::kMinSide),
                             static_cast<long long>(LEDCabinetDialog::kMaxSide)});
    }
    return std::nullopt;
}

void AppState::openDurationEditor(DurationEditor kind) {
    const std::optional<ClipGroup> group = engine_->rundown().currentGroup();
    if (!group || group->clips.isEmpty()) return;
    setDurationEditor(kind);
}

QSet<QUuid> AppState::durationTargets(DurationEditor kind) const {
    const Rundown& rundown = engine_->rundown();
    if (kind == DurationEditor::cursor) {
        const std::optional<Clip> clip = rundown.selectedClip();
        return clip ? QSet<QUuid>{clip->id} : QSet<QUuid>{};
    }
    if (!rundown.reorderSelection().isEmpty()) return rundown.reorderSelection();
    QSet<QUuid> ids;
    if (const std::optional<ClipGroup> group = rundown.currentGroup()) {
        for (const Clip& clip : group->clips) ids.insert(clip.id);
    }
    return ids;
}

void AppState::resizeSelectedTransform(double scaleDelta, QSizeF centerShift, QSizeF canvasSize) {
    Rundown& rundown = engine_->rundown();
    const QSet<QUuid> targets = rundown.motionTargetIDs();
    if (targets.isEmpty() || !(canvasSize.width() > 0) || !(canvasSize.height() > 0)) return;
    if (const auto v = rundown.commonTransformValue(ClipTransform::Field::scale, targets)) {
        rundown.setTransform(ClipTransform::Field::scale, *v + scaleDelta, targets);
    }
    if (const auto v = rundown.commonTransformValue(ClipTransform::Field::offsetX, targets)) {
        rundown.setTransform(ClipTransform::Field::offsetX,
                             *v + centerShift.width() / canvasSize.width(), targets);
    }
    // Screen y grows downward, canvas offsets upward.
    if (const auto v = rundown.commonTransformValue(ClipTransform::Field::offsetY, targets)) {
        rundown.setTransform(ClipTransform::Field::offsetY,
                             *v - centerShift.height() / canvasSize.height(), targets);
    }
}

}  // namespace velmar
