#include "core/reference_tone_kind.h"

#include "models/raw_enum.h"

namespace velmar {
namespace {

using K = ReferenceToneKind;

struct KindInfo {
    K::Value value;
    const char* raw;
    const char* label;
};

// Indexed by ReferenceToneKind::Value.
constexpr KindInfo kInfo[] = {
    {K::sine1k20, "sine1k20", "1kHz -20dBFS"},
    {K::sine1k18, "sine1k18", "1kHz -18dBFS"},
    {K::sine1k20Left, "sine1k20Left", "1kHz -20dBFS L"},
    {K::sine1k20Right, "sine1k20Right", "1kHz -20dBFS R"},
    {K::ebuIdent, "ebuIdent", "EBU IDENT -18dBFS"},
    {K::pinkNoise20, "pinkNoise20", "PINK -20dBFS RMS"},
};
static_assert(raw_enum::inCaseOrder(kInfo));

}  // namespace

const std::array<ReferenceToneKind, 6>& ReferenceToneKind::allCases() {
    static constexpr auto all = raw_enum::allCases<ReferenceToneKind>(kInfo);
    return all;
}

std::optional<ReferenceToneKind> ReferenceToneKind::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<ReferenceToneKind>(kInfo, raw);
}

QString ReferenceToneKind::rawValue() const {
    return raw_enum::rawValue(kInfo, value_);
}

QString ReferenceToneKind::label() const {
    return QString::fromUtf8(kInfo[value_].label);
}

}  // namespace velmar
