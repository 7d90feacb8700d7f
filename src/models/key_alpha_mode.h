#pragma once

#include <QHashFunctions>
#include <QJsonValue>
#include <QString>

#include <array>
#include <optional>

namespace velmar {

// Whether the fill sent beside the key signal is straight or premultiplied by the key.
// A small value wrapping an enumeration: it converts to KeyAlphaMode::Value, so it can be switched
// on and compared with the constants. Stored by its raw value, which equals the case name.
class KeyAlphaMode {
  public:
    enum Value : unsigned char { straight, premultiplied };

    // Implicit on purpose, like the enumeration it wraps.
    constexpr KeyAlphaMode(Value value = straight) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // Both cases, in the order above.
    static const std::array<KeyAlphaMode, 2>& allCases();

    // "straight" or "premultiplied".
    QString rawValue() const;
    static std::optional<KeyAlphaMode> fromRawValue(const QString& raw);

    // JSON: the raw value as a string. fromJson throws JsonDecodingError for anything else.
    QJsonValue toJson() const { return rawValue(); }
    static KeyAlphaMode fromJson(const QJsonValue& json);

  private:
    Value value_;
};

inline size_t qHash(KeyAlphaMode value, size_t seed = 0) {
    return qHash(value.rawValue(), seed);
}

}  // namespace velmar
