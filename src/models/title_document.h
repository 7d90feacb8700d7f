#pragma once

#include "models/canvas_format.h"
#include "models/title_guide.h"
#include "models/title_text_layer.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace velmar {

// A title: a named canvas with text layers, guides and template field names. JSON keys
// "formatVersion", "name", "canvas", "layers", "guides", "templateFields". Reading refuses a
// "formatVersion" other than 1 or 2 with TitleError::unsupportedVersion before anything else is
// read, and always gives version 2, so an old document is written back as version 2. "canvas"
// and "layers" are required; a wrong type anywhere fails with JsonReader::Error. A plain value.
struct TitleDocument {
    static constexpr int kCurrentFormatVersion = 2;

    int formatVersion = kCurrentFormatVersion;
    QString name = QString::fromUtf8("新規テロップ");
    CanvasFormat canvas;
    QList<TitleTextLayer> layers;
    QList<TitleGuide> guides;
    QStringList templateFields;

    QJsonObject toJson() const;
    static TitleDocument fromJson(const JsonReader& json);

    // Sorted-key JSON text; nothing when a number is not finite (JSON cannot hold it).
    std::optional<QByteArray> encoded() const;
    // Throws TitleError or JsonReader::Error.
    static TitleDocument decode(const QByteArray& json);

    bool operator==(const TitleDocument&) const = default;
};

inline size_t qHash(const TitleDocument& d, size_t seed = 0) {
    return qHashMulti(seed, d.formatVersion, d.name, d.canvas,
                      qHashRange(d.layers.begin(), d.layers.end()),
                      qHashRange(d.guides.begin(), d.guides.end()), d.templateFields);
}

}  // namespace velmar
