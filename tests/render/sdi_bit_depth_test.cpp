// The stored raw values of the SDI bit depth, crossed on purpose: "tenBit" is fill only.
#include "render/sdi_bit_depth.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(SDIBitDepth, RawValuesRoundTripAndKeepTheirCrossedMeaning) {
    const struct {
        SDIBitDepth depth;
        const char* raw;
    } cases[] = {
        {SDIBitDepth::eightBit, "eightBit"},
        {SDIBitDepth::tenBit, "tenBitFillKey"},
        {SDIBitDepth::tenBitFillOnly, "tenBit"},
    };
    ASSERT_EQ(SDIBitDepth::allCases().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(SDIBitDepth::allCases()[i], cases[i].depth);
        EXPECT_EQ(cases[i].depth.rawValue(), QString::fromLatin1(cases[i].raw));
        EXPECT_EQ(SDIBitDepth::fromRawValue(QString::fromLatin1(cases[i].raw)), cases[i].depth);
    }
    for (const char* unknown : {"", "tenbit", "TenBit", "tenBitFillOnly", "eightBit "})
        EXPECT_FALSE(SDIBitDepth::fromRawValue(QString::fromLatin1(unknown))) << unknown;
}

}  // namespace
}  // namespace velmar
