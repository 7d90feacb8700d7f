#include "core/rundown.h"
#include "models/language_settings.h"
#include "ui/panels/dsk_control_bar.h"
#include "ui/panels/dsk_panel_presenter.h"
#include "ui/panels/duration_common.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/panels/reference_tone_menu.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

using Kind = DSKPanelPresenter::MediaKind;

class OperatorPanelRulesTest : public ::testing::Test {
  protected:
    void SetUp() override { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
};

TEST_F(OperatorPanelRulesTest, DSKPanelStateTable) {
    DSKPanelPresenter::Inputs none, still, movie, loading, keyed;
    still.sourcePath = "/dsk/logo.png";
    still.media = Kind::still;
    still.hasPicture = true;
    still.countLabel = "1 / 3";
    movie = still;
    movie.media = Kind::movie;
    movie.hasPicture = false;  // no poster
    loading.isLoading = true;
    keyed = movie;
    keyed.isActive = true;
    // status, picture, spinner, name, choose, clear, loop group
    const std::vector<std::pair<DSKPanelPresenter::Inputs, const char*>> cases = {
        {none, "OFF - - 素材未選択 choose - -"},
        {still, "OFF picture - logo.png choose clear -"},
        {movie, "OFF - - logo.png choose clear loop"},
        {loading, "OFF - spinner 素材未選択 choose - -"},
        {keyed, "ON_AIR - - logo.png - - loop"},
    };
    for (const auto& [in, expected] : cases) {
        const auto s = DSKPanelPresenter::present(in);
        const QString shown =
            QStringList{QString(s.status).replace(' ', '_'), s.showsPicture ? "picture" : "-",
                        s.showsSpinner ? "spinner" : "-",    s.name,
                        s.chooseEnabled ? "choose" : "-",    s.clearEnabled ? "clear" : "-",
                        s.showsLoopGroup ? "loop" : "-"}
                .join(' ');
        EXPECT_EQ(shown, QString::fromUtf8(expected));
        EXPECT_EQ(s.onAir, in.isActive);
        EXPECT_EQ(s.nameHelp, in.sourcePath.value_or(QString()));
        EXPECT_EQ(s.count, in.countLabel);
    }
    DSKPanelPresenter::Inputs end = movie;
    end.loops = false;
    end.errorMessage = "DSK を消してから素材を変更してください";
    const auto s = DSKPanelPresenter::present(end);
    EXPECT_FALSE(s.loopLit);
    EXPECT_EQ(s.loopText, QString::fromUtf8("最終フレームで停止"));
    EXPECT_EQ(s.error, end.errorMessage);
    EXPECT_EQ(DSKPanelPresenter::present(movie).loopText, QString::fromUtf8("繰り返し再生"));
}

TEST_F(OperatorPanelRulesTest, DSKControlBarEnableTable) {
    struct Case {
        const char* name;
        bool media, loading;
        int sources;
        bool transitioning;
        DSKControlBar::Enables expected;
    };
    const std::vector<Case> cases = {
        {"no medium, sources listed", false, false, 3, false, {false, false, false}},
        {"loading", true, true, 3, false, {false, false, false}},
        {"single file", true, false, 1, false, {false, true, true}},
        {"folder of two", true, false, 2, false, {true, true, true}},
        {"fade running", true, false, 2, true, {true, true, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DSKControlBar::enables(c.media, c.loading, c.sources, c.transitioning),
                  c.expected)
            << c.name;
    }
}

Clip clipWith(std::optional<double> duration, std::optional<MotionKind> motion = {}) {
    Clip clip;
    clip.motionDuration = duration;
    clip.motion = motion;
    return clip;
}

// Motion and duration are shared or not each on its own: a walk that stops at the first
// difference of one must still settle the other.
TEST_F(OperatorPanelRulesTest, CommonDurationAndMotionOverTargets) {
    // The motion panel asks the rundown for the shared motion of the current tab.
    Rundown rundown;
    rundown.addClips({clipWith(0.5, MotionKind::zoom), clipWith(0.5, MotionKind::fade),
                      clipWith(1.0, MotionKind::zoom), clipWith({}), clipWith({})});
    const QList<Clip> clips = rundown.currentGroup()->clips;
    ASSERT_EQ(clips.size(), 5);
    const auto ids = [&](std::initializer_list<int> indices) {
        QSet<QUuid> set;
        for (int i : indices) set.insert(clips[i].id);
        return set;
    };
    using Common = std::optional<std::optional<double>>;
    using Motion = std::optional<std::optional<MotionKind>>;
    const Motion zoom(std::in_place, MotionKind::zoom);
    struct Case {
        QSet<QUuid> targets;
        Common duration;
        Motion motion;
    };
    const Case cases[] = {
        {ids({0, 1}), Common(0.5), Motion()},
        {ids({0, 2}), Common(), zoom},
        {ids({0, 1, 2}), Common(), Motion()},
        {ids({3, 4}), Common(std::optional<double>()), Motion(std::optional<MotionKind>())},
        {ids({2, 3}), Common(), Motion()},
        {{QUuid::createUuid()}, Common(), Motion()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(commonDuration(clips, c.targets), c.duration);
        EXPECT_EQ(rundown.commonMotion(c.targets), c.motion);
    }
}

TEST_F(OperatorPanelRulesTest, KeypadLitRuleAndDurationLabel) {
    EXPECT_EQ(MotionProfilePanel::keyNumber(0, 0), "7");
    EXPECT_EQ(MotionProfilePanel::keyNumber(1, 1), "5");
    EXPECT_EQ(MotionProfilePanel::keyNumber(2, 2), "3");
    EXPECT_EQ(MotionProfilePanel::keyNumber(3, 0), "");
    EXPECT_EQ(MotionProfilePanel::keyNumber(0, -1), "");
    EXPECT_EQ(MotionProfilePanel::motionAt(0, 1), MotionKind(MotionKind::slideDown));
    EXPECT_EQ(MotionProfilePanel::motionAt(1, 0), MotionKind(MotionKind::slideRight));
    EXPECT_EQ(MotionProfilePanel::motionAt(1, 2), MotionKind(MotionKind::slideLeft));
    EXPECT_EQ(MotionProfilePanel::motionAt(2, 1), MotionKind(MotionKind::slideUp));
    EXPECT_EQ(MotionProfilePanel::motionAt(2, 2), std::nullopt);
    EXPECT_EQ(MotionProfilePanel::keySize(100), 28);
    EXPECT_EQ(MotionProfilePanel::keySize(16), 1);
    EXPECT_EQ(MotionProfilePanel::keySize(0), 1);

    using Common = std::optional<std::optional<MotionKind>>;
    EXPECT_TRUE(MotionProfilePanel::isLit(Common(MotionKind::zoom), MotionKind::zoom));
    EXPECT_FALSE(MotionProfilePanel::isLit(Common(MotionKind::zoom), MotionKind::fade));
    EXPECT_FALSE(MotionProfilePanel::isLit(Common(std::optional<MotionKind>()), MotionKind::fade));
    EXPECT_FALSE(MotionProfilePanel::isLit(Common(), MotionKind::cut));

    using Duration = std::optional<std::optional<double>>;
    EXPECT_EQ(MotionProfilePanel::durationLabel(true, Duration(), 0.5),
              QString::fromUtf8("ばらばら"));
    EXPECT_EQ(MotionProfilePanel::durationLabel(true, Duration(std::optional<double>()), 0.5),
              "0.50 s");
    EXPECT_EQ(MotionProfilePanel::durationLabel(true, Duration(2.0), 0.5), "2.00 s");
    EXPECT_EQ(MotionProfilePanel::durationLabel(false, Duration(), 1.25), "1.25 s");
}

TEST_F(OperatorPanelRulesTest, ToneMenuDescriptionPerToneState) {
    using Entry = ReferenceToneMenu::EntryKind;
    const auto idle = ReferenceToneMenu::describe(std::nullopt);
    ASSERT_EQ(idle.size(), 11u);
    EXPECT_EQ(idle[0].kind, Entry::stop);
    EXPECT_EQ(idle[0].title, QString::fromUtf8("基準信号を止める"));
    EXPECT_FALSE(idle[0].enabled);
    EXPECT_EQ(idle[1].kind, Entry::separator);
    EXPECT_EQ(idle[2].kind, Entry::label);
    EXPECT_FALSE(idle[2].enabled);
    EXPECT_EQ(idle[9].kind, Entry::separator);
    EXPECT_EQ(idle[10].kind, Entry::resetFader);
    EXPECT_TRUE(idle[10].enabled);
    const QStringList labels = {
        QString::fromUtf8("1 kHz \u221220 dBFS"),
        QString::fromUtf8("1 kHz \u221218 dBFS\uFF08EBU\uFF09"),
        QString::fromUtf8("1 kHz \u221220 dBFS 左のみ"),
        QString::fromUtf8("1 kHz \u221220 dBFS 右のみ"),
        QString::fromUtf8("左右識別\uFF08EBU、\u221218 dBFS・左が 3 秒ごとに途切れる\uFF09"),
        QString::fromUtf8("ピンクノイズ \u221220 dBFS RMS"),
    };
    // Checked exactly for the tone that plays; the stop entry only while one does.
    const auto entries = ReferenceToneMenu::describe(ReferenceToneKind::pinkNoise20);
    EXPECT_TRUE(entries[0].enabled);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(entries[3 + i].tone, ReferenceToneKind::allCases()[i]);
        EXPECT_EQ(entries[3 + i].title, labels[i]);
        EXPECT_EQ(entries[3 + i].checked, i == 5);
    }
}

}  // namespace
}  // namespace velmar
