#include "sdi/zr_deck_link_api.h"
#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

SdiDeviceConfig device(const std::string& name) {
    SdiDeviceConfig d;
    d.name = name;
    d.modes = {test::bridgeMode(test::kMode25, 25, 1)};
    return d;
}

TEST(ZRDeckLinkListing, DevicesWithoutOutputAreSkippedButUseUpTheirIndex) {
    VirtualSdiConfig config;
    SdiDeviceConfig noOutput = device("Capture Only");
    noOutput.hasOutput = false;
    SdiDeviceConfig named = device("Studio 4K");
    SdiDeviceConfig anonymous = device("ignored");
    anonymous.hasName = false;
    anonymous.hasKeyer = false;
    SdiDeviceConfig emptyName = device("");
    config.devices = {noOutput, named, anonymous, emptyName};
    VirtualSdiCard card(config);

    const std::vector<ZRDeckLinkDevice> expected = {
        {1, "Studio 4K", true}, {2, "DeckLink", false}, {3, "DeckLink", true}};
    EXPECT_EQ(ZRDeckLinkOutput::availableDevices(&card), expected);

    // Devices are reached by their index in the whole iteration.
    EXPECT_EQ(ZRCopyDeviceAtIndex(1, &card), card.deviceAtIndex(1));
    EXPECT_EQ(ZRCopyDeviceAtIndex(0, &card), card.deviceAtIndex(0));
    EXPECT_EQ(ZRCopyDeviceAtIndex(4, &card), nullptr);
    EXPECT_EQ(ZRCopyDeviceAtIndex(-1, &card), nullptr);  // not the first device
}

TEST(ZRDeckLinkListing, WithoutADriverEverythingIsEmpty) {
    EXPECT_EQ(CreateDeckLinkIteratorInstance(nullptr), nullptr);
    EXPECT_EQ(ZRCopyDeviceAtIndex(0, nullptr), nullptr);
    EXPECT_TRUE(ZRDeckLinkOutput::availableDevices(nullptr).empty());
    EXPECT_TRUE(ZRDeckLinkOutput::supportedModesForDeviceIndex(nullptr, 0, false, false).empty());
}

TEST(ZRDeckLinkListing, ModesFollowFormatKeyingAndConversionRules) {
    const std::uint32_t all = fourCC("mALL"), bgraOnly = fourCC("mBGR"), converts = fourCC("mCNV"),
                        noKeying = fourCC("mNOK");
    SdiDeviceConfig d = device("Modes");
    d.modes = {test::bridgeMode(all, 60000, 1001), test::bridgeMode(bgraOnly, 50, 1),
               test::bridgeMode(converts, 30, 1), test::bridgeMode(noKeying, 24000, 1001)};
    d.modes[1].v210 = d.modes[1].ay10 = false;
    d.modes[2].actualMode = all;  // the card would get there only by converting
    d.modes[3].keying = false;
    SdiDeviceConfig noKeyingFlag = d;
    noKeyingFlag.supportsExternalKeying = false;
    SdiDeviceConfig noKeyer = d;
    noKeyer.hasKeyer = false;
    SdiDeviceConfig noOutput = d;
    noOutput.hasOutput = false;
    VirtualSdiConfig config;
    config.devices = {d, noKeyingFlag, noKeyer, noOutput};
    VirtualSdiCard card(config);

    auto codes = [&](long long index, bool tenBit, bool key) {
        std::vector<std::uint32_t> out;
        for (const ZRDeckLinkMode& m :
             ZRDeckLinkOutput::supportedModesForDeviceIndex(&card, index, tenBit, key)) {
            out.push_back(m.displayMode());
        }
        return out;
    };
    using V = std::vector<std::uint32_t>;
    struct Case {
        long long index;
        bool tenBit, key;
        V expected;
    };
    const Case cases[] = {
        {0, false, false, {all, bgraOnly, noKeying}},
        {0, false, true, {all, bgraOnly}},
        {0, true, false, {all, noKeying}},
        {0, true, true, {all}},
        {1, true, false, {all, noKeying}},  // fill only needs no keying flag
        {1, true, true, {}},                // fill and key does
        {2, true, true, {}},                // nor without a keyer
        {3, false, false, {}},              // no output
        {4, false, false, {}},              // beyond the last device
        {-1, false, false, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(codes(c.index, c.tenBit, c.key), c.expected)
            << "device " << c.index << " tenBit " << c.tenBit << " key " << c.key;
    }

    const std::vector<ZRDeckLinkMode> modes =
        ZRDeckLinkOutput::supportedModesForDeviceIndex(&card, 0, true, true);
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0], ZRDeckLinkMode(all, test::kWidth, test::kHeight, 60000, 1001, "mode mALL"));
}

}  // namespace
}  // namespace velmar
