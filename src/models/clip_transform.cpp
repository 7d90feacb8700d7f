#include "models/clip_transform.h"

#include "models/json_decoding.h"
#include "models/raw_enum.h"

#include <cmath>

namespace velmar {
namespace {

using Field = ClipTransform::Field;
constexpr RawCase<Field::Value> kFieldCases[] = {{Field::offsetX, "offsetX"},
                                                 {Field::offsetY, "offsetY"},
                                                 {Field::scale, "scale"},
                                                 {Field::rotation, "rotation"},
                                                 {Field::opacity, "opacity"}};
static_assert(raw_enum::inCaseOrder(kFieldCases));

double finiteOr(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}

}  // namespace

const std::array<ClipTransform::Field, 5>& ClipTransform::Field::allCases() {
    static constexpr auto cases = raw_enum::allCases<Field>(kFieldCases);
    return cases;
}

QString ClipTransform::Field::rawValue() const {
    return raw_enum::rawValue(kFieldCases, value_);
}

std::optional<ClipTransform::Field> ClipTransform::Field::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<Field>(kFieldCases, raw);
}

double ClipTransform::value(Field field) const {
    switch (field) {
        case Field::offsetX:
            return offsetX;
        case Field::offsetY:
            return offsetY;
        case Field::scale:
            return scale;
        case Field::rotation:
            return rotation;
        case Field::opacity:
            return opacity;
    }
    return 0;
}

void ClipTransform::setValue(Field field, double value) {
    switch (field) {
        case Field::offsetX:
            offsetX = value;
            break;
        case Field::offsetY:
            offsetY = value;
            break;
        case Field::scale:
            scale = value;
            break;
        case Field::rotation:
            rotation = value;
            break;
        case Field::opacity:
            opacity = value;
            break;
    }
}

QJsonObject ClipTransform::toJson() const {
    return QJsonObject{
        {QStringLiteral("offsetX"), finiteOr(offsetX, 0)},
        {QStringLiteral("offsetY"), finiteOr(offsetY, 0)},
        {QStringLiteral("scale"), finiteOr(scale, 1)},
        {QStringLiteral("rotation"), finiteOr(rotation, 0)},
        {QStringLiteral("opacity"), finiteOr(opacity, 1)},
    };
}

ClipTransform ClipTransform::fromJson(const QJsonValue& json) {
    const QJsonObject o = json::toObject(json, QStringLiteral("transform"));
    ClipTransform t;
    t.offsetX = json::requireDouble(o, "offsetX");
    t.offsetY = json::requireDouble(o, "offsetY");
    t.scale = json::requireDouble(o, "scale");
    t.rotation = json::requireDouble(o, "rotation");
    t.opacity = json::requireDouble(o, "opacity");
    return t;
}

size_t qHash(const ClipTransform& t, size_t seed) {
    // Adding 0.0 turns -0.0 into +0.0, so that the two (which compare equal) hash alike.
    return qHashMulti(seed, t.offsetX + 0.0, t.offsetY + 0.0, t.scale + 0.0, t.rotation + 0.0,
                      t.opacity + 0.0);
}

}  // namespace velmar
