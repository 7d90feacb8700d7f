#include "ui/rundown/clip_badges.h"

#include "models/localized.h"
#include "ui/rundown/rundown_style.h"

namespace velmar::clip_badges {

namespace style = rundown_style;

QString cellNumber(int index) {
    return QString::asprintf("%03d", index + 1);
}

Border tileBorder(bool isProgram, bool isNext, bool isSelected) {
    if (isProgram) return {style::systemRed(), 3};
    if (isNext) return {style::systemGreen(), 3};
    if (isSelected) return {style::accentBlue(), 3};
    return {QColor::fromRgbF(0, 0, 0, 0.6), 1};
}

Text numberText(int index, bool isProgram, bool isNext) {
    const QColor color = isProgram ? style::systemRed()
                         : isNext  ? style::systemGreen()
                                   : style::dimGrey();
    return {cellNumber(index), isNext, color};
}

std::optional<FitBadge> fitBadge(const Clip& clip, const CanvasFormat& canvas) {
    if (!clip.pixelWidth || !clip.pixelHeight) return std::nullopt;
    const int w = *clip.pixelWidth, h = *clip.pixelHeight;
    if (w == canvas.width && h == canvas.height) return std::nullopt;
    if (w <= canvas.width && h <= canvas.height) {
        QColor orange = style::systemOrange();
        orange.setAlphaF(0.8);
        return FitBadge{localized("小"), orange};
    }
    QColor blue = style::systemBlue();
    blue.setAlphaF(0.75);
    return FitBadge{localized("縮小"), blue};
}

namespace {

Text ownOrDefault(const QString& text, bool own) {
    return own ? Text{text, true, style::accentBlue()} : Text{text, false, style::white(0.66, 0.6)};
}

}  // namespace

Motion motionBadge(const Clip& clip, MotionKind fallback, double fallbackDuration) {
    const MotionKind motion = clip.motion.value_or(fallback);
    Motion out;
    out.label = ownOrDefault(motion.statusLabel(), clip.motion.has_value());
    if (const auto loop = clip.loopLabel()) out.loop = Text{*loop, true, style::systemOrange()};
    if (motion != MotionKind::cut) {
        const double d = clip.motionDuration.value_or(fallbackDuration);
        out.duration = ownOrDefault(QString::asprintf("%.2fs", d), clip.motionDuration.has_value());
    }
    return out;
}

QString motionBadgeHelp(const Clip& clip, double fallbackDuration) {
    return clip.motionDuration ? localized("この素材の尺")
                               : localizedFormat("共通尺 %.2f 秒", {fallbackDuration});
}

std::optional<QString> transformBadgeHelp(const Clip& clip) {
    if (clip.transform.isIdentity()) return std::nullopt;
    return localized("配置を変えてあります");
}

}  // namespace velmar::clip_badges
