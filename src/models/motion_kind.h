#pragma once

#include "models/motion_transform.h"

#include <QHashFunctions>
#include <QJsonValue>
#include <QString>

#include <array>
#include <optional>

namespace velmar {

// The nine take motions, with the curve that gives a layer's pose at any presence. A small
// value wrapping an enumeration: it converts to MotionKind::Value, so it can be switched on and
// compared with the constants (MotionKind::fade). Stored by its raw value, which
// equals the case name. Pure functions; usable from any thread.
class MotionKind {
  public:
    enum Value : unsigned char {
        cut,
        fade,
        slideLeft,
        slideRight,
        slideUp,
        slideDown,
        zoom,
        dive,
        rotate
    };

    // Implicit on purpose, like the enumeration it wraps.
    constexpr MotionKind(Value value = cut) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // All nine, in the order above.
    static const std::array<MotionKind, 9>& allCases();

    // "cut", "fade", "slideLeft", ...
    QString rawValue() const;
    static std::optional<MotionKind> fromRawValue(const QString& raw);

    // The Japanese display label, a key for localized() (e.g. "フェード").
    const char* titleKey() const;
    // The fixed, untranslated name in status lines and the operation log ("FADE", "SLIDE ←").
    QString statusLabel() const;

    // The pose at `presence` (0 = absent, 1 = fully present; clamped to 0...1, NaN counts as 0)
    // while the layer comes on (`entering`) or goes off. Only slides, scale, rotation and
    // opacity are set; offsets and anchors are always 0.
    MotionTransform transform(double presence, bool entering) const;

    // JSON: the raw value as a string. fromJson throws JsonDecodingError for anything else.
    QJsonValue toJson() const { return rawValue(); }
    static MotionKind fromJson(const QJsonValue& json);

  private:
    Value value_;
};

inline size_t qHash(MotionKind kind, size_t seed = 0) {
    return qHash(kind.rawValue(), seed);
}

}  // namespace velmar
