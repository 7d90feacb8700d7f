#include "models/preview_background.h"

#include "models/raw_enum.h"

namespace velmar {
namespace {

constexpr RawCase<PreviewBackground::Value> kCases[] = {{PreviewBackground::checker, "checker"},
                                                        {PreviewBackground::black, "black"}};
static_assert(raw_enum::inCaseOrder(kCases));

}  // namespace

const std::array<PreviewBackground, 2>& PreviewBackground::allCases() {
    static constexpr auto cases = raw_enum::allCases<PreviewBackground>(kCases);
    return cases;
}

QString PreviewBackground::rawValue() const {
    return raw_enum::rawValue(kCases, value_);
}

std::optional<PreviewBackground> PreviewBackground::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<PreviewBackground>(kCases, raw);
}

PreviewBackground PreviewBackground::fromJson(const QJsonValue& json) {
    return raw_enum::fromJson<PreviewBackground>(kCases, json, "previewBackground",
                                                 "previewBackground");
}

}  // namespace velmar
