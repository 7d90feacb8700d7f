// Canvas format and output frame rate. The operator's setters are refused while the program is
// not off and report what is in force afterwards; the silent forms serve project loading.
#include "core/playout_engine.h"

#include "models/localized.h"

namespace velmar {
namespace {

constexpr int kMaxCanvasWidth = 4096;
constexpr int kMaxCanvasHeight = 2160;
constexpr double kMaxCanvasPixels = 8'847'360.0;

}  // namespace

void PlayoutEngine::applyCanvasSilently(const CanvasFormat& format) {
    if (format.width < 1 || format.width > kMaxCanvasWidth || format.height < 1 ||
        format.height > kMaxCanvasHeight ||
        static_cast<double>(format.width) * static_cast<double>(format.height) > kMaxCanvasPixels) {
        setLastMessage(localized("キャンバスのサイズが安全上限を超えています"));
        return;
    }
    CanvasFormat accepted = format;
    for (const CanvasFormat& preset : CanvasFormat::presets()) {
        if (preset.width == format.width && preset.height == format.height) {
            accepted.name = preset.name;
            break;
        }
    }
    const bool changed = accepted != canvas_;
    canvas_ = accepted;
    if (changed) emit canvasChanged();
    refreshOutputState();
    reloadNextMedia();  // the NEXT still is decoded again to fit the new canvas
    redrawTestPatternForCanvas();
}

void PlayoutEngine::setCanvas(const CanvasFormat& format) {
    if (state_ != State::off) {
        setLastMessage(localized("オンエア中はフォーマットを変更できません"));
        return;
    }
    applyCanvasSilently(format);
    // Names the canvas in force, also when the size was refused and the canvas kept.
    setLastMessage(localizedFormat("フォーマット: %@", {canvas_.label()}));
}

void PlayoutEngine::applyFrameRateSilently(const FrameRate& rate) {
    if (!FrameRate::presets().contains(rate)) return;
    if (rate == frameRate_) return;
    frameRate_ = rate;
    emit frameRateChanged();
}

void PlayoutEngine::setFrameRate(const FrameRate& rate) {
    if (state_ != State::off) {
        setLastMessage(localized("オンエア中はフレームレートを変更できません"));
        return;
    }
    applyFrameRateSilently(rate);
    // The rate in force: a rate that is not a preset was not applied and is not named.
    setLastMessage(localizedFormat("フレームレート: %@", {frameRate_.label()}));
}

}  // namespace velmar
