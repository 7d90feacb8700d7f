#include "core/reference_tone_kind.h"

namespace velmar {
namespace {

struct KindInfo {
    const char* raw;
    const char* label;
};

// Indexed by ReferenceToneKind::Value.
constexpr KindInfo kInfo[] = {
    {"sine1k20", "1kHz -20dBFS"},
    {"sine1k18", "1kHz -18dBFS"},
    {"sine1k20Left", "1kHz -20dBFS L"},
    {"sine1k20Right", "1kHz -20dBFS R"},
    {"ebuIdent", "EBU IDENT -18dBFS"},
    {"pinkNoise20", "PINK -20dBFS RMS"},
};

}  // namespace

const std::array<ReferenceToneKind, 6>& ReferenceToneKind::allCases() {
    static const std::array<ReferenceToneKind, 6> all = {sine1k20,      sine1k18, sine1k20Left,
                                                         sine1k20Right, ebuIdent, pinkNoise20};
    return all;
}

std::optional<ReferenceToneKind> ReferenceToneKind::fromRawValue(const QString& raw) {
    for (ReferenceToneKind kind : allCases()) {
        if (raw == QLatin1String(kInfo[kind.value()].raw)) return kind;
    }
    return std::nullopt;
}

QString ReferenceToneKind::rawValue() const { return QString::fromLatin1(kInfo[value_].raw); }

QString ReferenceToneKind::label() const { return QString::fromUtf8(kInfo[value_].label); }

}  // namespace velmar
