#include "models/title_document.h"

#include "models/title_error.h"

#include <QJsonDocument>

namespace velmar {

namespace {

using Key = QLatin1StringView;

}  // namespace

QJsonObject TitleDocument::toJson() const {
    QJsonArray layerArray;
    for (const TitleTextLayer& layer : layers) layerArray.append(layer.toJson());
    QJsonArray guideArray;
    for (const TitleGuide& guide : guides) guideArray.append(guide.toJson());
    return {{QStringLiteral("formatVersion"), formatVersion},
            {QStringLiteral("name"), name},
            {QStringLiteral("canvas"), canvas.toJson()},
            {QStringLiteral("layers"), layerArray},
            {QStringLiteral("guides"), guideArray},
            {QStringLiteral("templateFields"), QJsonArray::fromStringList(templateFields)}};
}

TitleDocument TitleDocument::fromJson(const JsonReader& json) {
    if (auto version = json.optionalInteger(Key("formatVersion"));
        version && *version != 1 && *version != 2) {
        throw TitleError(TitleError::Kind::unsupportedVersion);
    }
    TitleDocument document;
    document.formatVersion = kCurrentFormatVersion;
    document.name = json.optionalString(Key("name")).value_or(QString::fromUtf8("新規テロップ"));
    document.canvas = CanvasFormat::fromJson(json.child(Key("canvas")).json());
    const QJsonArray layers = json.array(Key("layers"));
    for (qsizetype i = 0; i < layers.size(); ++i) {
        const QString path = json.pathOf(Key("layers")) + QStringLiteral("[%1]").arg(i);
        document.layers.append(TitleTextLayer::fromJson(JsonReader::object(layers.at(i), path)));
    }
    const QJsonArray guides = json.optionalArray(Key("guides")).value_or(QJsonArray());
    for (qsizetype i = 0; i < guides.size(); ++i) {
        const QString path = json.pathOf(Key("guides")) + QStringLiteral("[%1]").arg(i);
        document.guides.append(TitleGuide::fromJson(JsonReader::object(guides.at(i), path)));
    }
    const QJsonArray fields = json.optionalArray(Key("templateFields")).value_or(QJsonArray());
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString path = json.pathOf(Key("templateFields")) + QStringLiteral("[%1]").arg(i);
        document.templateFields.append(JsonReader::toString(fields.at(i), path));
    }
    return document;
}

std::optional<QByteArray> TitleDocument::encoded() const {
    const QJsonObject object = toJson();
    if (!JsonReader::allNumbersFinite(object)) return std::nullopt;
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

TitleDocument TitleDocument::decode(const QByteArray& json) {
    return fromJson(JsonReader::document(json));
}

}  // namespace velmar
