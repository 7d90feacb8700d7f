// The meter, fader and timecode arithmetic, against figures computed outside this code.
#include "ui/panels/level_meter_model.h"
#include "ui/panels/output_fader_model.h"
#include "ui/panels/timecode_panel_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace velmar {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Levels, their readouts and lit segments as computed with Python's math module.
TEST(LevelMeterModel, ReadoutLitSegmentsAndRedFollowTheLevel) {
    // The Float just above 10^(-3/20): -3 dB reads red while the red segments stay dark.
    const float minus3 = std::nextafter(float(std::pow(10.0, -3.0 / 20)), 2.0f);
    struct Case {
        float level;
        const char* readout;
        int lit;
        bool red;
    };
    for (const Case& c :
         {Case{0.5f, "-6", 43, false}, Case{0.1f, "-20", 32, false},
          Case{float(std::pow(10.0, -18.0 / 20)), "-18", 33, false}, Case{0.9999f, "-0", 47, true},
          Case{minus3, "-3", 45, true}, Case{1.0f, "0", 48, true}, Case{4.0f, "0", 48, true},
          Case{0.0f, "-∞", 0, false}, Case{-0.5f, "-∞", 0, false}, Case{kInf, "-∞", 0, false},
          Case{kNaN, "-∞", 0, false}}) {
        SCOPED_TRACE(c.level);
        const double dB = LevelMeterModel::decibels(c.level);
        EXPECT_EQ(LevelMeterModel::readout(dB, false), QString::fromUtf8(c.readout));
        EXPECT_EQ(LevelMeterModel::litCount(dB, false), c.lit);
        EXPECT_EQ(LevelMeterModel::isReadoutRed(dB, false), c.red);
        // Idle: nothing lit, "--" in grey, whatever the level.
        EXPECT_EQ(LevelMeterModel::litCount(dB, true), 0);
        EXPECT_EQ(LevelMeterModel::readout(dB, true), "--");
        EXPECT_FALSE(LevelMeterModel::isReadoutRed(dB, true));
    }
}

TEST(LevelMeterModel, ZonesAndScaleLabelsStayInsideANarrowArea) {
    int counts[3] = {};
    for (int i = 0; i < LevelMeterModel::kSegmentCount; ++i)
        ++counts[int(LevelMeterModel::zone(i))];
    EXPECT_EQ(counts[int(LevelMeterModel::Zone::green)], 38);
    EXPECT_EQ(counts[int(LevelMeterModel::Zone::yellow)], 7);
    EXPECT_EQ(counts[int(LevelMeterModel::Zone::red)], 3);
    EXPECT_DOUBLE_EQ(LevelMeterModel::markX(-18, 300), 210);
    EXPECT_DOUBLE_EQ(LevelMeterModel::labelX(-60, 300), 10);
    EXPECT_DOUBLE_EQ(LevelMeterModel::labelX(0, 300), 292);
    EXPECT_DOUBLE_EQ(LevelMeterModel::labelX(-30, 300), 150);
}

// dB, readouts and colours of fader positions, computed with Python's math module.
TEST(OutputFaderModel, ReadoutAndOrangeFollowFortyLog10) {
    struct Case {
        double position;
        double dB;
        const char* readout;
        bool orange;
    };
    for (const Case& c :
         {Case{1.0, 0.0, "+0.0", false}, Case{1.5, 0.0, "+0.0", false},
          Case{0.5, -12.0412, "-12.0", true}, Case{0.997, -0.05219, "-0.1", true},
          Case{0.9988, -0.02086, "-0.0", false}, Case{0.997127, -0.04999, "-0.0", false},
          Case{0.997125, -0.05000, "-0.1", true}, Case{0.1, -40.0, "-40.0", true}}) {
        SCOPED_TRACE(c.position);
        EXPECT_NEAR(OutputFaderModel::decibels(c.position), c.dB, 1e-4);
        EXPECT_EQ(OutputFaderModel::readout(c.position), c.readout);
        EXPECT_EQ(OutputFaderModel::isReadoutOrange(c.position), c.orange);
    }
    for (double p : {0.0, -1.0, double(kNaN)}) {
        EXPECT_EQ(OutputFaderModel::readout(p), "-∞") << p;
        EXPECT_TRUE(OutputFaderModel::isReadoutOrange(p)) << p;
    }
}

TEST(OutputFaderModel, TrackGeometryClampsStoredPositionsAndPointer) {
    const double marks[] = {1.0, 0.70795, 0.50119, 0.31623, 0.1};
    for (size_t i = 0; i < OutputFaderModel::marks().size(); ++i)
        EXPECT_NEAR(OutputFaderModel::markX(OutputFaderModel::marks()[i], 200), 200 * marks[i],
                    1e-3);
    struct Case {
        double position, fill, knob, gain;
    };
    for (const Case& c : {Case{0.5, 100, 100, 0.25}, Case{1.0, 200, 195, 1}, Case{0.0, 0, 5, 0},
                          Case{2.0, 200, 195, 1}, Case{-1, 0, 5, 0}, Case{double(kNaN), 0, 5, 0}}) {
        SCOPED_TRACE(c.position);
        EXPECT_DOUBLE_EQ(OutputFaderModel::fillWidth(c.position, 200), c.fill);
        EXPECT_DOUBLE_EQ(OutputFaderModel::knobCenter(c.position, 200), c.knob);
        EXPECT_DOUBLE_EQ(OutputFaderModel::gain(c.position), c.gain);
    }
    EXPECT_DOUBLE_EQ(OutputFaderModel::positionAt(50, 200), 0.25);
    EXPECT_DOUBLE_EQ(OutputFaderModel::positionAt(-30, 200), 0);
    EXPECT_DOUBLE_EQ(OutputFaderModel::positionAt(250, 200), 1);
}

// Seconds x rates worked out by hand: whole seconds of elapsed time, then the frame within the
// second at the actual rate, capped below the rounded-up rate.
TEST(TimecodePanelModel, TimecodeTable) {
    const FrameRate ntsc60{60000, 1001}, ntsc24{24000, 1001}, pal{25, 1}, zero{25, 0};
    struct Case {
        double seconds;
        FrameRate rate;
        const char* text;
    };
    for (const Case& c : {Case{3661.5, ntsc60, "01:01:01:29"}, Case{0.999, pal, "00:00:00:24"},
                          Case{0.9999, ntsc24, "00:00:00:23"}, Case{-5, pal, "00:00:00:00"},
                          Case{90000, pal, "25:00:00:00"}, Case{0.999, zero, "00:00:00:59"},
                          Case{0.5, FrameRate{-25, 1}, "00:00:00:30"},
                          Case{59.96, FrameRate{30000, 1001}, "00:00:59:28"}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TimecodePanelModel::timecode(c.seconds, c.rate), c.text);
    }
}

// Values that used to reach an integer conversion unchecked: they must give defined text
// (UBSan runs this too).
TEST(TimecodePanelModel, NonFiniteAndHugeInputsGiveDefinedText) {
    const FrameRate pal{25, 1};
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(TimecodePanelModel::timecode(std::nan(""), pal), "00:00:00:00");
    EXPECT_EQ(TimecodePanelModel::timecode(-inf, pal), "00:00:00:00");
    EXPECT_EQ(TimecodePanelModel::timecode(inf, pal), "00:00:00:00");
    EXPECT_EQ(TimecodePanelModel::timecode(1e300, pal), "277777777:46:40:00");
    // A rate of 2^62 frames per second: the frame digits stay below the capped nominal rate.
    const QString extreme =
        TimecodePanelModel::timecode(0.5, FrameRate{std::numeric_limits<qint64>::max(), 1});
    EXPECT_EQ(extreme, "00:00:00:999999");
}

TEST(TimecodePanelModel, DurationRemainingAndSizes) {
    const double nan = std::nan("");
    EXPECT_DOUBLE_EQ(TimecodePanelModel::remainingSeconds(10, 0), 10);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::remainingSeconds(10, nan), 10);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::remainingSeconds(10, 4), 6);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::remainingSeconds(10, 12), 0);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::remainingSeconds(nan, 3), 0);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::durationSeconds(-2), 0);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::currentSeconds(-2), 0);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::valueFontSize(200), 11);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::valueFontSize(520), 15);
    EXPECT_DOUBLE_EQ(TimecodePanelModel::valueFontSize(1000), 26);
    EXPECT_NEAR(TimecodePanelModel::labelFontSize(1000), 21.32, 1e-9);
    EXPECT_NEAR(TimecodePanelModel::labelColumnWidth(200), 72.16, 1e-9);
}

}  // namespace
}  // namespace velmar
