#pragma once

#include <QHashFunctions>
#include <QJsonValue>
#include <QString>

#include <array>
#include <optional>

namespace velmar {

// What the preview panes draw behind transparent areas: a checkerboard or black.
// A small value wrapping an enumeration: it converts to PreviewBackground::Value, so it can be
// switched on and compared with the constants. Stored by its raw value, which equals the case name.
class PreviewBackground {
  public:
    enum Value : unsigned char { checker, black };

    // Implicit on purpose, like the enumeration it wraps.
    constexpr PreviewBackground(Value value = checker) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // Both cases, in the order above.
    static const std::array<PreviewBackground, 2>& allCases();

    // "checker" or "black".
    QString rawValue() const;
    static std::optional<PreviewBackground> fromRawValue(const QString& raw);

    // JSON: the raw value as a string. fromJson throws JsonDecodingError for anything else.
    QJsonValue toJson() const { return rawValue(); }
    static PreviewBackground fromJson(const QJsonValue& json);

  private:
    Value value_;
};

inline size_t qHash(PreviewBackground value, size_t seed = 0) {
    return qHash(value.rawValue(), seed);
}

}  // namespace velmar
