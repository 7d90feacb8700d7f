#include "models/preview_background.h"

#include "models/json_decoding.h"

namespace velmar {

const std::array<PreviewBackground, 2>& PreviewBackground::allCases() {
    static const std::array<PreviewBackground, 2> cases = {checker, black};
    return cases;
}

QString PreviewBackground::rawValue() const {
    return value_ == checker ? QStringLiteral("checker") : QStringLiteral("black");
}

std::optional<PreviewBackground> PreviewBackground::fromRawValue(const QString& raw) {
    for (PreviewBackground value : allCases()) {
        if (raw == value.rawValue()) return value;
    }
    return std::nullopt;
}

PreviewBackground PreviewBackground::fromJson(const QJsonValue& json) {
    const QString raw = json::toString(json, QStringLiteral("previewBackground"));
    if (const auto value = fromRawValue(raw)) return *value;
    throw JsonDecodingError(QStringLiteral("unknown previewBackground \"%1\"").arg(raw));
}

}  // namespace velmar
