// Per-clip settings: placement on the canvas, loop count, take motion and its duration, for a
// set of clips of the current tab at once, with the common values the panels show. These edits
// reach the program at its next take: the snapshot reads the program clip, which they leave.
#include "core/rundown.h"
#include "models/clip_commons.h"

#include "models/duration_rounding.h"
#include "models/localized.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmar {
namespace {

double clampField(ClipTransform::Field field, double value) {
    switch (field) {
        case ClipTransform::Field::offsetX:
        case ClipTransform::Field::offsetY:
            return std::clamp(value, -2.0, 2.0);
        case ClipTransform::Field::scale:
            return std::clamp(value, 0.05, 4096.0);
        case ClipTransform::Field::rotation:
            return std::clamp(value, -180.0, 180.0);
        case ClipTransform::Field::opacity:
            return std::clamp(value, 0.0, 1.0);
    }
    return value;
}

}  // namespace

QSet<QUuid> Rundown::motionTargetIDs() const {
    if (!reorderSelection_.isEmpty()) return reorderSelection_;
    if (const std::optional<Clip> clip = selectedClip()) return {clip->id};
    return {};
}

QList<int> Rundown::targetIndices(const QSet<QUuid>& ids) const {
    QList<int> indices;
    if (groups_.isEmpty()) return indices;
    const int g = safeGroupIndex();
    for (const QUuid& id : ids) {
        if (const auto at = locate(id); at && at->first == g) indices.push_back(at->second);
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

std::optional<double> Rundown::commonTransformValue(ClipTransform::Field field,
                                                    const QSet<QUuid>& ids) const {
    const QList<int> targets = targetIndices(ids);
    if (targets.isEmpty()) return std::nullopt;
    const auto& clips = groups_[safeGroupIndex()].clips;
    const double first = clips[targets.front()].transform.value(field);
    for (int i : targets) {
        if (clips[i].transform.value(field) != first) return std::nullopt;
    }
    return first;
}

void Rundown::setTransform(ClipTransform::Field field, double value, const QSet<QUuid>& ids) {
    if (groups_.isEmpty() || ids.isEmpty() || !std::isfinite(value)) return;
    const double clamped = clampField(field, value);
    auto& clips = groups_[safeGroupIndex()].clips;
    bool changed = false;
    for (int i : targetIndices(ids)) {
        if (clips[i].transform.value(field) == clamped) continue;
        clips[i].transform.setValue(field, clamped);
        changed = true;
    }
    if (changed) clipsEdited();
}

void Rundown::resetTransform(const QSet<QUuid>& ids) {
    if (groups_.isEmpty() || ids.isEmpty()) return;
    auto& clips = groups_[safeGroupIndex()].clips;
    bool changed = false;
    for (int i : targetIndices(ids)) {
        if (clips[i].transform == ClipTransform::identity()) continue;
        clips[i].transform = ClipTransform::identity();
        changed = true;
    }
    if (changed) clipsEdited();
    message(localizedFormat("配置を戻しました（%lld 件）", {static_cast<long long>(ids.size())}));
}

void Rundown::fitSmallImagesToCanvas(const QSet<QUuid>& ids, const CanvasFormat& canvas) {
    if (groups_.isEmpty() || ids.isEmpty()) return;
    auto& clips = groups_[safeGroupIndex()].clips;
    int fitted = 0;
    int pending = 0;
    for (int i : targetIndices(ids)) {
        Clip& clip = clips[i];
        if (clip.kind != Clip::Kind::still) continue;
        if (!clip.pixelWidth || !clip.pixelHeight || *clip.pixelWidth < 1 ||
            *clip.pixelHeight < 1) {
            ++pending;
            continue;
        }
        const double w = *clip.pixelWidth;
        const double h = *clip.pixelHeight;
        const double theta = clip.transform.rotation * std::numbers::pi / 180.0;
        const double c = std::abs(std::cos(theta));
        const double s = std::abs(std::sin(theta));
        const double boxW = c * w + s * h;
        const double boxH = s * w + c * h;
        if (!(boxW > 0 && boxH > 0)) continue;
        const double factor = std::min(canvas.width / boxW, canvas.height / boxH);
        if (!(factor > 1) || !std::isfinite(factor)) continue;  // already reaches an edge
        clip.transform.scale = std::clamp(factor, 0.05, 4096.0);
        clip.transform.offsetX = 0;
        clip.transform.offsetY = 0;
        ++fitted;
    }
    if (fitted > 0) {
        clipsEdited();
        message(localizedFormat("FIT: %lld 件をキャンバスに合わせました",
                                {static_cast<long long>(fitted)}));
    } else if (pending > 0) {
        message(localized("画像サイズの確認が終わってから FIT を押してください"));
    } else {
        message(localized("FIT の対象になる小さい静止画がありません"));
    }
}

void Rundown::setLoopCount(int count, const QSet<QUuid>& ids) {
    if (groups_.isEmpty() || ids.isEmpty()) return;
    const int n = std::max(count, 0);
    auto& clips = groups_[safeGroupIndex()].clips;
    const std::optional<Clip> next = selectedClip();
    int changed = 0;
    bool edited = false;
    bool nextEdited = false;
    for (int i : targetIndices(ids)) {
        if (clips[i].kind != Clip::Kind::movie) continue;
        edited = edited || clips[i].loopCount != n;
        clips[i].loopCount = n;
        ++changed;
        if (next && next->id == clips[i].id) nextEdited = true;
    }
    if (changed == 0) return;
    if (edited) clipsEdited();
    const QString label =
        count < 1 ? localized("無限") : localizedFormat("%lld 回", {static_cast<long long>(count)});
    message(localizedFormat("繰り返し: %@（%lld 件）", {label, static_cast<long long>(changed)}));
    // The NEXT movie's playback was made with the old count; any other NEXT stays as loaded.
    nextChanged(nextEdited);
}

std::optional<int> Rundown::commonLoopCount(const QSet<QUuid>& ids) const {
    std::optional<int> common;
    const QList<int> targets = targetIndices(ids);
    for (int i : targets) {
        const Clip& clip = groups_[safeGroupIndex()].clips[i];
        if (clip.kind != Clip::Kind::movie) continue;
        if (!common) {
            common = clip.loopCount;
        } else if (*common != clip.loopCount) {
            return std::nullopt;
        }
    }
    return common;
}

void Rundown::setMotion(std::optional<MotionKind> motion, const QSet<QUuid>& ids) {
    if (groups_.isEmpty() || ids.isEmpty()) return;
    auto& clips = groups_[safeGroupIndex()].clips;
    bool changed = false;
    for (int i : targetIndices(ids)) {
        changed = changed || clips[i].motion != motion;
        clips[i].motion = motion;
    }
    if (changed) clipsEdited();
    const QString label = motion ? motion->statusLabel() : localized("既定");
    message(
        localizedFormat("モーション: %@（%lld 件）", {label, static_cast<long long>(ids.size())}));
}

void Rundown::setMotionDuration(std::optional<double> seconds, const QSet<QUuid>& ids) {
    if (groups_.isEmpty() || ids.isEmpty()) return;
    std::optional<double> value;
    if (seconds) {
        value = roundedMotionDuration(*seconds);
        if (!value) return;
    }
    auto& clips = groups_[safeGroupIndex()].clips;
    bool changed = false;
    for (int i : targetIndices(ids)) {
        changed = changed || clips[i].motionDuration != value;
        clips[i].motionDuration = value;
    }
    if (changed) clipsEdited();
}

std::optional<std::optional<MotionKind>> Rundown::commonMotion(const QSet<QUuid>& ids) const {
    if (groups_.isEmpty()) return std::nullopt;
    return sharedAmong(groups_[safeGroupIndex()].clips, ids,
                       [](const Clip& clip) { return clip.motion; });
}

}  // namespace velmar
