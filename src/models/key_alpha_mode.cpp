#include "models/key_alpha_mode.h"

#include "models/raw_enum.h"

namespace velmar {
namespace {

constexpr RawCase<KeyAlphaMode::Value> kCases[] = {{KeyAlphaMode::straight, "straight"},
                                                   {KeyAlphaMode::premultiplied, "premultiplied"}};
static_assert(raw_enum::inCaseOrder(kCases));

}  // namespace

const std::array<KeyAlphaMode, 2>& KeyAlphaMode::allCases() {
    static constexpr auto cases = raw_enum::allCases<KeyAlphaMode>(kCases);
    return cases;
}

QString KeyAlphaMode::rawValue() const {
    return raw_enum::rawValue(kCases, value_);
}

std::optional<KeyAlphaMode> KeyAlphaMode::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<KeyAlphaMode>(kCases, raw);
}

KeyAlphaMode KeyAlphaMode::fromJson(const QJsonValue& json) {
    return raw_enum::fromJson<KeyAlphaMode>(kCases, json, "keyAlphaMode", "keyAlphaMode");
}

}  // namespace velmar
