#include "models/canvas_format.h"

#include "models/json_decoding.h"
#include "models/localized.h"

namespace velmar {
namespace {

const char* const kCustomName = L10N_KEY("カスタム");

}  // namespace

QString CanvasFormat::customName() {
    return QString::fromUtf8(kCustomName);
}

const QList<CanvasFormat>& CanvasFormat::presets() {
    static const QList<CanvasFormat> table = {
        {1920, 1080, QStringLiteral("HD 1080")}, {3840, 2160, QStringLiteral("UHD 4K")},
        {1280, 720, QStringLiteral("HD 720")},   {2048, 1080, QStringLiteral("DCI 2K")},
        {4096, 2160, QStringLiteral("DCI 4K")},
    };
    return table;
}

QString CanvasFormat::id() const {
    return QString::number(width) + QLatin1Char('x') + QString::number(height);
}

QString CanvasFormat::label() const {
    const QString shown = name == customName() ? localized(kCustomName) : name;
    return shown + QStringLiteral("  ") + QString::number(width) + QChar(0x00D7) +
           QString::number(height);
}

QJsonObject CanvasFormat::toJson() const {
    return QJsonObject{
        {QStringLiteral("width"), width},
        {QStringLiteral("height"), height},
        {QStringLiteral("name"), name},
    };
}

CanvasFormat CanvasFormat::fromJson(const QJsonValue& json) {
    const QJsonObject o = json::toObject(json, QStringLiteral("canvas"));
    CanvasFormat f;
    f.width = json::requireInt(o, "width");
    f.height = json::requireInt(o, "height");
    f.name = json::requireString(o, "name");
    return f;
}

}  // namespace velmar
