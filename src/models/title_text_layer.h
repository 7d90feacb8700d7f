#pragma once

#include "models/title_effect.h"

#include <QList>

namespace velmar {

// One text layer of a title. TitleTextLayer::made() is a new layer with the editor's defaults
// ("テロップ", white, the standard edge and shadow). Reading takes every key as optional (an
// absent "text" is empty); a layer without "effects" gets an edge and a shadow built from the
// flat keys of older files ("outline", "outlineWidth", "shadow", "shadowBlur"), which are never
// written. A plain value, identified by `id`.
struct TitleTextLayer {
    enum class Alignment { left, center, right };

    QUuid id = QUuid::createUuid();
    QString text = QString::fromUtf8("テロップ");
    QString fontName = QStringLiteral("HiraginoSans-W6");
    double fontSize = 96;
    TitleRGBA fill;
    QList<TitleEffect> effects{TitleEffect::standardEdge(), TitleEffect::standardShadow()};
    double x = 0.5;
    double y = 0.8;
    Alignment alignment = Alignment::center;

    static QString rawValue(Alignment alignment);
    static std::optional<Alignment> alignmentFromRawValue(const QString& raw);

    QJsonObject toJson() const;
    static TitleTextLayer fromJson(const JsonReader& json);
    bool operator==(const TitleTextLayer&) const = default;
};

inline size_t qHash(const TitleTextLayer& l, size_t seed = 0) {
    return qHashMulti(seed, l.id, l.text, l.fontName, l.fontSize, l.fill,
                      qHashRange(l.effects.begin(), l.effects.end()), l.x, l.y,
                      static_cast<int>(l.alignment));
}

}  // namespace velmar
