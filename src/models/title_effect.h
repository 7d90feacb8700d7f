#pragma once

#include "models/json_reader.h"
#include "models/title_rgba.h"

#include <QUuid>

#include <array>
#include <optional>

namespace velmar {

// One text effect of a title layer. JSON: "id", "kind", "enabled", "color", "size", "offsetX",
// "offsetY", all required. A plain value, identified by `id`.
enum class TitleEffectKind { edge, shadow, outerGlow, innerGlow };

struct TitleEffect {
    QUuid id;
    TitleEffectKind kind = TitleEffectKind::edge;
    bool enabled = true;
    TitleRGBA color;
    double size = 0;
    double offsetX = 0;
    double offsetY = 0;

    static constexpr std::array<TitleEffectKind, 4> allKinds{
        TitleEffectKind::edge, TitleEffectKind::shadow, TitleEffectKind::outerGlow,
        TitleEffectKind::innerGlow};
    static QString rawValue(TitleEffectKind kind);
    static std::optional<TitleEffectKind> kindFromRawValue(const QString& raw);

    // The standard edge (black, 3) and shadow (black at 0.75, blur 8, offset 3, 4), each with a
    // new id.
    static TitleEffect standardEdge();
    static TitleEffect standardShadow();

    QJsonObject toJson() const;
    static TitleEffect fromJson(const JsonReader& json);
    bool operator==(const TitleEffect&) const = default;
};

// UUIDs as stored in title JSON: upper-case and hyphenated; reading takes either case.
QString uuidToJson(const QUuid& id);
QUuid uuidFromJson(const QJsonValue& value, const QString& path);

inline size_t qHash(const TitleEffect& e, size_t seed = 0) {
    return qHashMulti(seed, e.id, static_cast<int>(e.kind), e.enabled, e.color, e.size, e.offsetX,
                      e.offsetY);
}

}  // namespace velmar
