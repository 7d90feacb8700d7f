#include "models/title_effect.h"

#include "models/raw_enum.h"

namespace velmar {
namespace {

using K = TitleEffectKind;
constexpr RawCase<K> kKindCases[] = {{K::edge, "edge"},
                                     {K::shadow, "shadow"},
                                     {K::outerGlow, "outerGlow"},
                                     {K::innerGlow, "innerGlow"}};
static_assert(raw_enum::inCaseOrder(kKindCases));
static_assert(raw_enum::allCases<K>(kKindCases) == TitleEffect::allKinds);

}  // namespace

QString uuidToJson(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QUuid uuidFromJson(const QJsonValue& value, const QString& path) {
    const QString text = JsonReader::toString(value, path);
    const QUuid id = text.size() == 36 ? QUuid::fromString(text) : QUuid();
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000")) {
        throw JsonReader::error(path, QStringLiteral("not a UUID"));
    }
    return id;
}

QString TitleEffect::rawValue(TitleEffectKind kind) {
    return raw_enum::rawValue(kKindCases, kind);
}

std::optional<TitleEffectKind> TitleEffect::kindFromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<TitleEffectKind>(kKindCases, raw);
}

TitleEffect TitleEffect::standardEdge() {
    return {QUuid::createUuid(), TitleEffectKind::edge, true, {0, 0, 0, 1}, 3, 0, 0};
}

TitleEffect TitleEffect::standardShadow() {
    return {QUuid::createUuid(), TitleEffectKind::shadow, true, {0, 0, 0, 0.75}, 8, 3, 4};
}

QJsonObject TitleEffect::toJson() const {
    return {{QStringLiteral("id"), uuidToJson(id)}, {QStringLiteral("kind"), rawValue(kind)},
            {QStringLiteral("enabled"), enabled},   {QStringLiteral("color"), color.toJson()},
            {QStringLiteral("size"), size},         {QStringLiteral("offsetX"), offsetX},
            {QStringLiteral("offsetY"), offsetY}};
}

TitleEffect TitleEffect::fromJson(const JsonReader& json) {
    TitleEffect effect;
    const QLatin1StringView idKey("id");
    if (!json.has(idKey)) json.string(idKey);  // throws: required
    effect.id = uuidFromJson(json.json().value(idKey), json.pathOf(idKey));
    const QLatin1StringView kindKey("kind");
    const auto kind = kindFromRawValue(json.string(kindKey));
    if (!kind) throw JsonReader::error(json.pathOf(kindKey), QStringLiteral("unknown effect kind"));
    effect.kind = *kind;
    effect.enabled = json.boolean(QLatin1StringView("enabled"));
    effect.color = TitleRGBA::fromJson(json.child(QLatin1StringView("color")));
    effect.size = json.number(QLatin1StringView("size"));
    effect.offsetX = json.number(QLatin1StringView("offsetX"));
    effect.offsetY = json.number(QLatin1StringView("offsetY"));
    return effect;
}

}  // namespace velmar
