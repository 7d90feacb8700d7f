#include "models/motion_kind.h"

#include "models/localized.h"
#include "models/raw_enum.h"

#include <cmath>
#include <numbers>

namespace velmar {
namespace {

using M = MotionKind;

struct Entry {
    M::Value value;
    const char* raw;
    const char* titleKey;
    const char* statusLabel;
};

constexpr Entry kEntries[] = {
    {M::cut, "cut", L10N_KEY("カット"), "CUT"},
    {M::fade, "fade", L10N_KEY("フェード"), "FADE"},
    {M::slideLeft, "slideLeft", L10N_KEY("スライド ←（右から入る）"), "SLIDE ←"},
    {M::slideRight, "slideRight", L10N_KEY("スライド →（左から入る）"), "SLIDE →"},
    {M::slideUp, "slideUp", L10N_KEY("スライド ↑（下から入る）"), "SLIDE ↑"},
    {M::slideDown, "slideDown", L10N_KEY("スライド ↓（上から入る）"), "SLIDE ↓"},
    {M::zoom, "zoom", L10N_KEY("ズーム（0%→100%）"), "ZOOM"},
    {M::dive, "dive", L10N_KEY("飛び込み（300%→100%）"), "DIVE"},
    {M::rotate, "rotate", L10N_KEY("回転"), "ROTATE"},
};
static_assert(raw_enum::inCaseOrder(kEntries));

}  // namespace

const std::array<MotionKind, 9>& MotionKind::allCases() {
    static constexpr auto cases = raw_enum::allCases<MotionKind>(kEntries);
    return cases;
}

QString MotionKind::rawValue() const {
    return raw_enum::rawValue(kEntries, value_);
}

std::optional<MotionKind> MotionKind::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<MotionKind>(kEntries, raw);
}

const char* MotionKind::titleKey() const {
    return kEntries[value_].titleKey;
}

QString MotionKind::statusLabel() const {
    return QString::fromUtf8(kEntries[value_].statusLabel);
}

MotionTransform MotionKind::transform(double presence, bool entering) const {
    // NaN fails both comparisons and ends up at 0, like a presence at or below 0.
    const double p = presence > 1 ? 1.0 : (presence > 0 ? presence : 0.0);
    const double q = 1 - p;
    const double e = entering ? 1 - q * q * q : p * p * p;  // ease-out / ease-in cubic
    const double s = p * p * (3 - 2 * p);                   // smoothstep

    MotionTransform t;
    t.opacity = p;
    switch (value_) {
        case cut:
            t.opacity = p > 0.5 ? 1.0 : 0.0;
            break;
        case fade:
            break;
        case slideLeft:
            t.slideX = 1 - s;
            t.opacity = 1;
            break;
        case slideRight:
            t.slideX = s - 1;
            t.opacity = 1;
            break;
        case slideUp:
            t.slideY = s - 1;
            t.opacity = 1;
            break;
        case slideDown:
            t.slideY = 1 - s;
            t.opacity = 1;
            break;
        case zoom:
            t.scale = e;
            break;
        case dive:
            t.scale = 3 - 2 * e;
            break;
        case rotate:
            t.scale = 0.6 + 0.4 * e;
            t.rotation = (1 - e) * std::numbers::pi / 4;
            break;
    }
    return t;
}

MotionKind MotionKind::fromJson(const QJsonValue& json) {
    return raw_enum::fromJson<MotionKind>(kEntries, json, "motion", "motion");
}

}  // namespace velmar
