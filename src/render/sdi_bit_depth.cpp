#include "render/sdi_bit_depth.h"

#include "models/raw_enum.h"

namespace velmar {
namespace {

// Crossed on purpose (see the header): stored settings hold these.
constexpr RawCase<SDIBitDepth::Value> kCases[] = {{SDIBitDepth::eightBit, "eightBit"},
                                                  {SDIBitDepth::tenBit, "tenBitFillKey"},
                                                  {SDIBitDepth::tenBitFillOnly, "tenBit"}};
static_assert(raw_enum::inCaseOrder(kCases));

}  // namespace

const std::array<SDIBitDepth, 3>& SDIBitDepth::allCases() {
    static constexpr auto cases = raw_enum::allCases<SDIBitDepth>(kCases);
    return cases;
}

QString SDIBitDepth::rawValue() const {
    return raw_enum::rawValue(kCases, value_);
}

std::optional<SDIBitDepth> SDIBitDepth::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<SDIBitDepth>(kCases, raw);
}

}  // namespace velmar
