// The LAYOUT panel's units, texts, entry parse and commands on a real rundown.
#include "ui/panels/transform_panel_presenter.h"
#include "core/rundown.h"
#include "models/language_settings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmar {
namespace {

using Field = ClipTransform::Field;

struct TransformFixture : ::testing::Test {
    TransformFixture() { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
    Rundown rundown;
    CanvasFormat canvas;
    TransformPanelPresenter panel{rundown, [this] { return canvas; }};

    Clip clip(Clip::Kind kind, int loops = 1) {
        Clip c;
        c.url = QUrl::fromLocalFile("/media/c");
        c.kind = kind;
        c.loopCount = loops;
        return c;
    }
    void load(QList<Clip> clips) {
        ClipGroup group;
        group.name = "A";
        group.clips = std::move(clips);
        rundown.loadGroups({group});
        rundown.setSelectedIndex(0);
    }
    const Clip& at(int i) const { return rundown.groups()[0].clips[i]; }
    void selectAll() { rundown.selectAllInTab(); }
};

TEST_F(TransformFixture, UnitsValueTextsAndPositionsOnTheCanvas) {
    load({clip(Clip::Kind::still)});
    panel.commit(Field::offsetY, 270);
    EXPECT_DOUBLE_EQ(at(0).transform.offsetY, 0.25);
    EXPECT_EQ(panel.display(Field::offsetX), "960 px");
    EXPECT_EQ(panel.display(Field::offsetY), "270 px");
    EXPECT_EQ(panel.display(Field::scale), "100 %");
    EXPECT_EQ(panel.display(Field::rotation), "0.0°");
    panel.commit(Field::offsetX, 1920);
    EXPECT_DOUBLE_EQ(at(0).transform.offsetX, 0.5);
    panel.scrub(Field::offsetX, -10);
    EXPECT_DOUBLE_EQ(at(0).transform.offsetX, 0.5 - 10.0 / 1920);
    panel.scrub(Field::scale, 5);
    EXPECT_DOUBLE_EQ(at(0).transform.scale, 1.05);
    // A rotation of 12.34 shows 12.3 and pre-fills 12.3, which applies as 12.3.
    panel.commit(Field::rotation, 12.34);
    EXPECT_EQ(panel.display(Field::rotation), "12.3°");
    ASSERT_TRUE(panel.apply(Field::rotation, panel.entryText(Field::rotation)));
    EXPECT_DOUBLE_EQ(at(0).transform.rotation, 12.3);
    EXPECT_EQ(panel.rangeHint(Field::offsetX), "0 〜 1920 px");
    EXPECT_EQ(panel.rangeHint(Field::offsetY), "0 〜 1080 px");
    LanguageSettings::shared().setLanguage(AppLanguage::en);  // an en dash in English
    EXPECT_EQ(panel.rangeHint(Field::offsetX), "0 – 1920 px");
    EXPECT_EQ(panel.rangeHint(Field::rotation), "-180 – 180°");
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    // A canvas without width stores a centred offset.
    canvas.width = 0;
    panel.commit(Field::offsetX, 300);
    EXPECT_DOUBLE_EQ(at(0).transform.offsetX, 0);
}

TEST_F(TransformFixture, EntryParseAcceptsWhatStrtodAcceptsAfterTrimmingBlanks) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const double inf = HUGE_VAL;
    for (const Case& c : {Case{"75", 75},
                          Case{" \t\u3000 75\u3000\t", 75},
                          Case{"+75", 75},
                          Case{"1e2", 100},
                          Case{"-0.5", -0.5},
                          Case{"0x1p3", 8},
                          Case{"inf", inf},
                          Case{"-Infinity", -inf},
                          Case{"1e999", inf},
                          Case{"\u00a075\u2003", 75},
                          Case{"", {}},
                          Case{" \u3000", {}},
                          Case{"abc", {}},
                          Case{"75%", {}},
                          Case{"\uff17\uff15", {}},
                          Case{"\n75", {}},
                          Case{"75\n", {}},
                          Case{"7 5", {}},
                          Case{"75 px", {}},
                          Case{"1,5", {}}}) {
        SCOPED_TRACE(c.text);
        const auto parsed = TransformPanelPresenter::parseEntry(QString::fromUtf8(c.text));
        ASSERT_EQ(parsed.has_value(), c.value.has_value());
        if (c.value) {
            EXPECT_EQ(*parsed, *c.value);
        }
    }
    const auto nan = TransformPanelPresenter::parseEntry("nan");
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(*nan));
}

TEST_F(TransformFixture, MixedTargetsDragNothingAndAnEntrySetsThemAll) {
    load({clip(Clip::Kind::still), clip(Clip::Kind::still)});
    selectAll();
    rundown.setTransform(Field::scale, 0.5, {at(0).id});
    rundown.setTransform(Field::scale, 0.8, {at(1).id});
    EXPECT_EQ(panel.display(Field::scale), "ばらばら");
    EXPECT_EQ(panel.entryText(Field::scale), "");
    panel.scrub(Field::scale, 10);
    EXPECT_DOUBLE_EQ(at(0).transform.scale, 0.5);
    EXPECT_FALSE(panel.apply(Field::scale, "60%"));
    EXPECT_DOUBLE_EQ(at(1).transform.scale, 0.8);
    EXPECT_TRUE(panel.apply(Field::scale, "60"));
    EXPECT_DOUBLE_EQ(at(0).transform.scale, 0.6);
    EXPECT_DOUBLE_EQ(at(1).transform.scale, 0.6);
    // inf reaches the rundown, which ignores it.
    EXPECT_TRUE(panel.apply(Field::scale, "inf"));
    EXPECT_DOUBLE_EQ(at(0).transform.scale, 0.6);
}

TEST_F(TransformFixture, LoopLabelAndLoopCountActOnMoviesOnly) {
    load({clip(Clip::Kind::still)});
    EXPECT_EQ(panel.loopLabel(), "—");
    load({clip(Clip::Kind::movie, 1), clip(Clip::Kind::movie, 3), clip(Clip::Kind::still, 5)});
    selectAll();
    EXPECT_EQ(panel.loopLabel(), "ばらばら");
    panel.setLoopCount(2);
    EXPECT_EQ(at(0).loopCount, 2);
    EXPECT_EQ(at(1).loopCount, 2);
    EXPECT_EQ(at(2).loopCount, 5);
    panel.setLoopCount(0);
    EXPECT_EQ(panel.loopLabel(), "∞");
}

TEST_F(TransformFixture, NoTargetsShowDashes) {
    load({});
    EXPECT_TRUE(panel.targets().isEmpty());
    EXPECT_EQ(panel.display(Field::opacity), "—");
    EXPECT_DOUBLE_EQ(TransformPanelPresenter::columnMaximum(160), 148);
    EXPECT_DOUBLE_EQ(TransformPanelPresenter::columnMaximum(50), 72);
}

}  // namespace
}  // namespace velmar
