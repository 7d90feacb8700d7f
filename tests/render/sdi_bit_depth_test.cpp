// The stored raw values of the SDI bit depth, crossed on purpose: "tenBit" is fill only.
#include "render/sdi_bit_depth.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(SDIBitDepth, RawValuesRoundTripAndKeepTheirCrossedMeaning) {
    const std::pair<SDIBitDepth, const char*> cases[] = {{SDIBitDepth::eightBit, "eightBit"},
                                                         {SDIBitDepth::tenBit, "tenBitFillKey"},
                                                         {SDIBitDepth::tenBitFillOnly, "tenBit"}};
    for (const auto& [depth, raw] : cases) {
        EXPECT_EQ(depth.rawValue(), QString::fromLatin1(raw));
        EXPECT_EQ(SDIBitDepth::fromRawValue(QString::fromLatin1(raw)), depth);
    }
    for (const char* unknown : {"", "TenBit", "tenBitFillOnly"})
        EXPECT_FALSE(SDIBitDepth::fromRawValue(QString::fromLatin1(unknown))) << unknown;
}

}  // namespace
}  // namespace velmar
