#include "models/title_text_layer.h"

#include "models/raw_enum.h"

namespace velmar {

namespace {
using Key = QLatin1StringView;
using Alignment = TitleTextLayer::Alignment;
constexpr RawCase<Alignment> kAlignmentCases[] = {
    {Alignment::left, "left"}, {Alignment::center, "center"}, {Alignment::right, "right"}};
static_assert(raw_enum::inCaseOrder(kAlignmentCases));
}  // namespace

QString TitleTextLayer::rawValue(Alignment alignment) {
    return raw_enum::rawValue(kAlignmentCases, alignment);
}

std::optional<TitleTextLayer::Alignment> TitleTextLayer::alignmentFromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<Alignment>(kAlignmentCases, raw);
}

QJsonObject TitleTextLayer::toJson() const {
    QJsonArray effectArray;
    for (const TitleEffect& effect : effects) effectArray.append(effect.toJson());
    return {{QStringLiteral("id"), uuidToJson(id)},
            {QStringLiteral("text"), text},
            {QStringLiteral("fontName"), fontName},
            {QStringLiteral("fontSize"), fontSize},
            {QStringLiteral("fill"), fill.toJson()},
            {QStringLiteral("effects"), effectArray},
            {QStringLiteral("x"), x},
            {QStringLiteral("y"), y},
            {QStringLiteral("alignment"), rawValue(alignment)}};
}

TitleTextLayer TitleTextLayer::fromJson(const JsonReader& json) {
    TitleTextLayer layer;
    if (json.has(Key("id")))
        layer.id = uuidFromJson(json.json().value(Key("id")), json.pathOf(Key("id")));
    layer.text = json.optionalString(Key("text")).value_or(QString());
    layer.fontName =
        json.optionalString(Key("fontName")).value_or(QStringLiteral("HiraginoSans-W6"));
    layer.fontSize = json.optionalNumber(Key("fontSize")).value_or(96);
    if (auto fill = json.optionalObject(Key("fill"))) layer.fill = TitleRGBA::fromJson(*fill);
    layer.x = json.optionalNumber(Key("x")).value_or(0.5);
    layer.y = json.optionalNumber(Key("y")).value_or(0.8);
    if (auto raw = json.optionalString(Key("alignment"))) {
        const auto alignment = alignmentFromRawValue(*raw);
        if (!alignment)
            throw JsonReader::error(json.pathOf(Key("alignment")),
                                    QStringLiteral("unknown alignment"));
        layer.alignment = *alignment;
    }
    layer.effects.clear();
    if (auto effects = json.optionalArray(Key("effects"))) {
        for (qsizetype i = 0; i < effects->size(); ++i) {
            const QString path = json.pathOf(Key("effects")) + QStringLiteral("[%1]").arg(i);
            layer.effects.append(TitleEffect::fromJson(JsonReader::object(effects->at(i), path)));
        }
        return layer;
    }
    TitleEffect edge = TitleEffect::standardEdge();
    if (auto outline = json.optionalObject(Key("outline")))
        edge.color = TitleRGBA::fromJson(*outline);
    edge.size = json.optionalNumber(Key("outlineWidth")).value_or(3);
    TitleEffect shadow = TitleEffect::standardShadow();
    if (auto color = json.optionalObject(Key("shadow"))) shadow.color = TitleRGBA::fromJson(*color);
    shadow.size = json.optionalNumber(Key("shadowBlur")).value_or(8);
    layer.effects = {edge, shadow};
    return layer;
}

}  // namespace velmar
