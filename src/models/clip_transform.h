#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

namespace velmar {

// The placement of a clip on the canvas. The identity (0, 0, 1, 0, 1) is what a new clip has.
// Equality is exact per field. A plain value; safe to copy between threads.
struct ClipTransform {
    // One field, named for editing. Converts to Field::Value; raw values equal the case names.
    class Field {
      public:
        enum Value : unsigned char { offsetX, offsetY, scale, rotation, opacity };

        // Implicit on purpose, like the enumeration it wraps.
        constexpr Field(Value value = offsetX) : value_(value) {}
        constexpr operator Value() const { return value_; }

        // All five, in the order above.
        static const std::array<Field, 5>& allCases();
        QString rawValue() const;
        static std::optional<Field> fromRawValue(const QString& raw);

      private:
        Value value_;
    };

    // Offset from the canvas centre as a fraction of the canvas width / height (y upward).
    double offsetX = 0;
    double offsetY = 0;
    // Size factor applied to the fitted clip.
    double scale = 1;
    // Degrees; positive turns the picture clockwise on the canvas.
    double rotation = 0;
    // 0 (invisible) to 1 (opaque), multiplied into the layer's opacity.
    double opacity = 1;

    static constexpr ClipTransform identity() { return {}; }
    bool isIdentity() const { return *this == identity(); }

    double value(Field field) const;
    void setValue(Field field, double value);

    // JSON object with "offsetX", "offsetY", "scale", "rotation", "opacity" (all required on
    // decoding; fromJson throws JsonDecodingError). JSON cannot carry a non-finite number, so
    // toJson writes such a field as its identity value, which is what loading would mend it
    // to, rather than a null that would make the whole document unreadable.
    QJsonObject toJson() const;
    static ClipTransform fromJson(const QJsonValue& json);

    friend bool operator==(const ClipTransform&, const ClipTransform&) = default;
};

size_t qHash(const ClipTransform& transform, size_t seed = 0);
inline size_t qHash(ClipTransform::Field field, size_t seed = 0) {
    return qHash(field.rawValue(), seed);
}

}  // namespace velmar
