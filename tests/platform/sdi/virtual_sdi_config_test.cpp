#include "platform/sdi/virtual_sdi_config.h"
#include "platform/sdi/virtual_sdi_card.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

namespace velmar {
namespace {

TEST(VirtualSdiConfig, ParsesDevicesModesFaultsClockAndRecording) {
    std::string error;
    const auto plain = VirtualSdiConfig::parse("  ", &error);  // one full device, all modes
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->devices.size(), 1u);
    EXPECT_TRUE(plain->present && plain->devices[0].hasOutput && plain->devices[0].hasKeyer);
    EXPECT_EQ(plain->clock, SdiClockMode::realTime);
    EXPECT_EQ(plain->devices[0].effectiveModes().size(), SdiDisplayMode::standardModes().size());

    const auto config = VirtualSdiConfig::parse(
        "device=Stage A ; device=Spare,nooutput,noname; device=Fill,nokeyer,busy,noaudio,nowrap;"
        "mode=64x36@60000/1001,bgra,v210; mode=32x8@25/1,nokeying;"
        "fault=late@10;fault=drop@11;fault=refuse@3;fault=stall@20+5;fault=startfail;"
        "clock=manual;record=/tmp/x",
        &error);
    ASSERT_TRUE(config) << error;
    ASSERT_EQ(config->devices.size(), 3u);
    EXPECT_EQ(config->devices[0].name, "Stage A");
    EXPECT_FALSE(config->devices[1].hasOutput || config->devices[1].hasName);
    const SdiDeviceConfig& fill = config->devices[2];
    EXPECT_FALSE(fill.hasKeyer);
    EXPECT_TRUE(fill.faults.enableVideoBusy && fill.faults.enableAudioFails &&
                fill.faults.wrapUnsupported && fill.faults.startPlaybackFails);
    ASSERT_EQ(fill.modes.size(), 2u);
    const SdiDisplayMode& m = fill.modes[0].mode;
    EXPECT_EQ(std::tuple(m.width, m.height, m.timeScale, m.frameDuration),
              std::tuple(64, 36, 60000, 1001));
    EXPECT_TRUE(fill.modes[0].bgra8 && fill.modes[0].v210 && !fill.modes[0].ay10);
    EXPECT_NE(m.code, fill.modes[1].mode.code);
    EXPECT_TRUE(!fill.modes[1].keying && fill.modes[1].bgra8 && fill.modes[1].ay10);
    EXPECT_EQ(
        std::tuple(fill.faults.lateFrames, fill.faults.droppedFrames, fill.faults.refusedSchedules),
        std::tuple(std::set<long long>{10}, std::set<long long>{11}, std::set<long long>{3}));
    EXPECT_EQ(fill.faults.stalls.at(20), 5);
    EXPECT_EQ(std::pair(config->clock, config->recordDirectory),
              std::pair(SdiClockMode::manual, std::string("/tmp/x")));
}

TEST(VirtualSdiConfig, RefusesMalformedText) {
    const char* bad[] = {
        "device",
        "device=A,glitter",
        "mode=64x36@60/1",
        "device=A;mode=64x36@0/1",
        "device=A;mode=64x@60/1",
        "device=A;mode=0x36@60/1",
        "device=A;fault=late@x",
        "device=A;fault=stall@3",
        "device=A;fault=melt@3",
        "clock=sundial",
        "record=",
        "colour=blue",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(VirtualSdiConfig::parse(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    const auto off = VirtualSdiConfig::parse("off", nullptr);
    EXPECT_TRUE(off && !off->present);
}

TEST(VirtualSdiCard, LoadsOnceFromTheEnvironment) {
    setenv("VELMAR_VIRTUAL_SDI", "device=First,nooutput;device=Second;clock=manual", 1);
    VirtualSdiCard* card = loadVirtualSdiCard();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->deviceCount(), 2);
    EXPECT_EQ(card->clockMode(), SdiClockMode::manual);
    setenv("VELMAR_VIRTUAL_SDI", "off", 1);
    EXPECT_EQ(loadVirtualSdiCard(), card);  // never loaded again
    unsetenv("VELMAR_VIRTUAL_SDI");
}

}  // namespace
}  // namespace velmar
