// What a clip cell shows under its picture: number, border, fit and motion badges.
#include "ui/rundown/clip_badges.h"
#include "models/language_settings.h"
#include "support/qt_printers.h"
#include "ui/rundown/rundown_style.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

namespace cb = clip_badges;
namespace style = rundown_style;

struct ClipBadges : ::testing::Test {
    void SetUp() override { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
    void TearDown() override { LanguageSettings::shared().setLanguage(AppLanguage::system); }
};

TEST_F(ClipBadges, NumberAndBorderFollowProgramNextAndSelection) {
    EXPECT_EQ(cb::cellNumber(0), "001");
    EXPECT_EQ(cb::cellNumber(999), "1000") << "never cut to three digits";
    struct Case {
        bool program, next, selected;
        QColor border;
        double width;
    };
    const QColor black60 = QColor::fromRgbF(0, 0, 0, 0.6);
    const Case cases[] = {
        {true, true, true, style::systemRed(), 3},
        {false, true, true, style::systemGreen(), 3},
        {false, false, true, style::accentBlue(), 3},
        {true, false, false, style::systemRed(), 3},
        {false, false, false, black60, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cb::tileBorder(c.program, c.next, c.selected), (cb::Border{c.border, c.width}));
    }
    EXPECT_EQ(cb::numberText(4, true, true), (cb::Text{"005", true, style::systemRed()}));
    EXPECT_EQ(cb::numberText(4, false, false), (cb::Text{"005", false, style::dimGrey()}));
}

TEST_F(ClipBadges, FitBadgeComparesThePictureWithTheCanvas) {
    const CanvasFormat canvas;  // 1920 x 1080
    auto sized = [](std::optional<int> w, std::optional<int> h) {
        Clip c;
        c.pixelWidth = w;
        c.pixelHeight = h;
        return c;
    };
    EXPECT_FALSE(cb::fitBadge(sized(1920, 1080), canvas));
    EXPECT_FALSE(cb::fitBadge(sized(std::nullopt, 1080), canvas));
    EXPECT_EQ(cb::fitBadge(sized(1280, 720), canvas)->text, "小");
    EXPECT_EQ(cb::fitBadge(sized(1920, 720), canvas)->text, "小");
    EXPECT_EQ(cb::fitBadge(sized(3840, 1080), canvas)->text, "縮小");
    EXPECT_EQ(cb::fitBadge(sized(100, 1081), canvas)->text, "縮小");
}

TEST_F(ClipBadges, MotionBadgeTellsOwnSettingsFromDefaults) {
    const QColor blue = style::accentBlue(), grey = style::white(0.66, 0.6);
    Clip still;
    // The default cut: regular grey, no duration, the common duration still in the help.
    auto b = cb::motionBadge(still, MotionKind::cut, 0.5);
    EXPECT_EQ(b.label, (cb::Text{"CUT", false, grey}));
    EXPECT_FALSE(b.duration);
    EXPECT_FALSE(b.loop);
    EXPECT_EQ(cb::motionBadgeHelp(still, 0.5), "共通尺 0.50 秒");

    // Own cut: bold blue, no duration even with an own duration.
    Clip ownCut;
    ownCut.motion = MotionKind::cut;
    ownCut.motionDuration = 2;
    b = cb::motionBadge(ownCut, MotionKind::fade, 0.5);
    EXPECT_EQ(b.label, (cb::Text{"CUT", true, blue}));
    EXPECT_FALSE(b.duration);
    EXPECT_EQ(cb::motionBadgeHelp(ownCut, 0.5), "この素材の尺");

    // Own motion over the default duration: bold blue label, regular grey duration.
    Clip slide;
    slide.motion = MotionKind::slideUp;
    b = cb::motionBadge(slide, MotionKind::fade, 0.5);
    EXPECT_EQ(b.label, (cb::Text{"SLIDE ↑", true, blue}));
    EXPECT_EQ(b.duration, (cb::Text{"0.50s", false, grey}));

    // Own duration under the default motion: the duration is bold blue on its own.
    Clip timed;
    timed.motionDuration = 5;
    b = cb::motionBadge(timed, MotionKind::zoom, 0.5);
    EXPECT_EQ(b.label, (cb::Text{"ZOOM", false, grey}));
    EXPECT_EQ(b.duration, (cb::Text{"5.00s", true, blue}));

    Clip movie;
    movie.kind = Clip::Kind::movie;
    movie.loopCount = 0;
    b = cb::motionBadge(movie, MotionKind::fade, 1.25);
    EXPECT_EQ(b.loop, (cb::Text{"∞", true, style::systemOrange()}));
    EXPECT_EQ(b.duration->text, "1.25s");

    Clip placed;
    EXPECT_FALSE(cb::transformBadgeHelp(placed));
    placed.transform.opacity = 0.999;
    EXPECT_EQ(cb::transformBadgeHelp(placed), "配置を変えてあります");
}

}  // namespace
}  // namespace velmar
