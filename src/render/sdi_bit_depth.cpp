#include "render/sdi_bit_depth.h"

namespace velmar {

const std::array<SDIBitDepth, 3>& SDIBitDepth::allCases() {
    static const std::array<SDIBitDepth, 3> cases = {eightBit, tenBit, tenBitFillOnly};
    return cases;
}

QString SDIBitDepth::rawValue() const {
    switch (value_) {
    case eightBit: return QStringLiteral("eightBit");
    case tenBit: return QStringLiteral("tenBitFillKey");
    case tenBitFillOnly: return QStringLiteral("tenBit");
    }
    return {};
}

std::optional<SDIBitDepth> SDIBitDepth::fromRawValue(const QString& raw) {
    for (SDIBitDepth depth : allCases()) {
        if (raw == depth.rawValue()) return depth;
    }
    return std::nullopt;
}

}  // namespace velmar
