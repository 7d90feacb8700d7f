#include "models/key_alpha_mode.h"

#include "models/json_decoding.h"

namespace velmar {

const std::array<KeyAlphaMode, 2>& KeyAlphaMode::allCases() {
    static const std::array<KeyAlphaMode, 2> cases = {straight, premultiplied};
    return cases;
}

QString KeyAlphaMode::rawValue() const {
    return value_ == straight ? QStringLiteral("straight") : QStringLiteral("premultiplied");
}

std::optional<KeyAlphaMode> KeyAlphaMode::fromRawValue(const QString& raw) {
    for (KeyAlphaMode value : allCases()) {
        if (raw == value.rawValue()) return value;
    }
    return std::nullopt;
}

KeyAlphaMode KeyAlphaMode::fromJson(const QJsonValue& json) {
    const QString raw = json::toString(json, QStringLiteral("keyAlphaMode"));
    if (const auto value = fromRawValue(raw)) return *value;
    throw JsonDecodingError(QStringLiteral("unknown keyAlphaMode \"%1\"").arg(raw));
}

}  // namespace velmar
