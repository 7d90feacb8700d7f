#include "engine_fixture.h"

#include <QSignalSpy>

#include <cmath>
#include <limits>

namespace velmar::test {
namespace {

using Field = ClipTransform::Field;

Clip sizedStill(const QString& name, int w, int h, double rotation = 0) {
    Clip clip = EngineFixture::still(name);
    clip.pixelWidth = w;
    clip.pixelHeight = h;
    clip.contentAnchorX = 0;
    clip.contentAnchorY = 0;
    clip.transform.rotation = rotation;
    clip.transform.offsetX = 0.5;
    return clip;
}

QSet<QUuid> idsOf(const QList<Clip>& clips) {
    QSet<QUuid> ids;
    for (const Clip& clip : clips) ids.insert(clip.id);
    return ids;
}

// ---- Transform ----------------------------------------------------------------------------------

TEST_F(EngineFixture, TransformValuesAreClampedAndNonFiniteValuesIgnored) {
    loadTab({still("A"), still("B")});
    const QSet<QUuid> both = idsOf(rundown().groups()[0].clips);
    struct Case {
        Field field;
        double value;
        double stored;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {Field::scale, 0, 0.05},     {Field::scale, 10000, 4096}, {Field::scale, 1.5, 1.5},
        {Field::offsetY, -7, -2},    {Field::offsetX, 2.5, 2},    {Field::rotation, -400, -180},
        {Field::rotation, 181, 180}, {Field::opacity, -0.1, 0},   {Field::opacity, 3, 1},
        {Field::opacity, nan, 1},    {Field::scale, inf, 1.5},    {Field::offsetY, -inf, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.rawValue().toStdString() + " " + std::to_string(c.value));
        rundown().setTransform(c.field, c.value, both);
        EXPECT_EQ(rundown().groups()[0].clips[0].transform.value(c.field), c.stored);
        EXPECT_EQ(rundown().commonTransformValue(c.field, both), c.stored);
    }
}

TEST_F(EngineFixture, FitScalesSmallStillsToTheCanvasEdges) {
    struct Case {
        const char* name;
        QList<Clip> clips;
        std::optional<double> scale;  // of the first clip; none = unchanged
        const char* message;
    };
    Clip movieClip = movie("M");
    movieClip.pixelWidth = 100;
    movieClip.pixelHeight = 100;
    Clip unresolved = still("U");
    const char* kFitted = "FIT: 1 件をキャンバスに合わせました";
    const char* kNone = "FIT の対象になる小さい静止画がありません";
    const std::vector<Case> cases = {
        {"half size", {sizedStill("S", 960, 540)}, 2.0, kFitted},
        {"rotated", {sizedStill("R", 400, 800, 90)}, 2.4, kFitted},
        {"already large", {sizedStill("L", 3840, 100)}, {}, kNone},
        {"size unknown", {unresolved}, {}, "画像サイズの確認が終わってから FIT を押してください"},
        {"movies skipped", {movieClip}, {}, kNone},
        {"one fitted wins", {sizedStill("S", 192, 108), unresolved}, 10.0, kFitted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rundown().loadGroups({tab("Tab", c.clips, {}, static_cast<int>(c.clips.size()))});
        const Clip before = rundown().groups()[0].clips[0];
        rundown().fitSmallImagesToCanvas(idsOf(c.clips), engine->canvas());
        const Clip after = rundown().groups()[0].clips[0];
        if (c.scale) {
            EXPECT_NEAR(after.transform.scale, *c.scale, 1e-9);
            EXPECT_EQ(after.transform.offsetX, 0);
            EXPECT_EQ(after.transform.rotation, before.transform.rotation);
        } else {
            EXPECT_EQ(after, before);
        }
        EXPECT_EQ(engine->lastMessage(), QString::fromUtf8(c.message));
    }
}

// ---- Loops and motions
// ----------------------------------------------------------------------------

TEST_F(EngineFixture, LoopCountsApplyToMoviesOnly) {
    loadTab({still("S"), movie("M1", 2), movie("M2", 5)});
    const auto clips = rundown().groups()[0].clips;
    const QSet<QUuid> all = idsOf(clips);
    EXPECT_FALSE(rundown().commonLoopCount(all).has_value());
    rundown().setLoopCount(-1, all);
    EXPECT_EQ(rundown().groups()[0].clips[0].loopCount, 1) << "stills keep theirs";
    EXPECT_EQ(engine->lastMessage(), "繰り返し: 無限（2 件）");
    EXPECT_EQ(rundown().commonLoopCount(all), 0) << "the common value of the movies";

    QSignalSpy groups(&rundown(), &Rundown::clipsChanged);
    rundown().setLoopCount(4, {clips[0].id});
    EXPECT_EQ(groups.count(), 0) << "stills only: nothing happens";
    EXPECT_EQ(engine->lastMessage(), "繰り返し: 無限（2 件）");
}

TEST_F(EngineFixture, MotionDurationsAreHeldToTenthToFiveSecondsInHundredths) {
    loadTab({still("A")});
    const QSet<QUuid> a = {rundown().groups()[0].clips[0].id};
    struct Case {
        std::optional<double> given;
        std::optional<double> stored;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {{0.05, 0.1}, {-3, 0.1},     {0.125, 0.13},
                                     {9, 5.0},    {1.234, 1.23}, {std::nullopt, std::nullopt},
                                     {2.5, 2.5},  {nan, 2.5},    {inf, 2.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given.value_or(-1));
        rundown().setMotionDuration(c.given, a);
        const auto stored = rundown().groups()[0].clips[0].motionDuration;
        ASSERT_EQ(stored.has_value(), c.stored.has_value());
        if (stored) {
            EXPECT_NEAR(*stored, *c.stored, 1e-12);
        }
    }
}

TEST_F(EngineFixture, MotionsAndTheirCommonValueKnowThreeStates) {
    loadTab({still("A"), still("B"), still("C")});
    const auto clips = rundown().groups()[0].clips;
    const QSet<QUuid> ab = {clips[0].id, clips[1].id};

    const auto followsDefault = rundown().commonMotion(ab);
    ASSERT_TRUE(followsDefault.has_value());
    EXPECT_FALSE(followsDefault->has_value()) << "all follow the default motion";

    rundown().setMotion(MotionKind::slideLeft, {clips[0].id, QUuid::createUuid()});
    EXPECT_EQ(engine->lastMessage(), "モーション: SLIDE ←（2 件）");
    EXPECT_FALSE(rundown().commonMotion(ab).has_value()) << "one slides, one follows the default";
    rundown().setMotion(MotionKind::slideLeft, ab);
    EXPECT_EQ(rundown().commonMotion(ab), std::optional<MotionKind>(MotionKind::slideLeft));
    EXPECT_FALSE(rundown().commonMotion({QUuid::createUuid()}).has_value()) << "no targets";
}

// ---- Canvas and frame rate
// ---------------------------------------------------------------------------

TEST_F(EngineFixture, CanvasSizesAreCheckedAndPresetSizesTakeThePresetName) {
    struct Case {
        CanvasFormat given;
        bool accepted;
        const char* name;
    };
    const std::vector<Case> cases = {
        {{3840, 2160, "カスタム"}, true, "UHD 4K"},
        {{1000, 1000, "カスタム"}, true, "カスタム"},
        {{4096, 2160, "x"}, true, "DCI 4K"},
        {{1, 1, "tiny"}, true, "tiny"},
        {{4097, 1000, "x"}, false, ""},
        {{1000, 2161, "x"}, false, ""},
        {{0, 1080, "x"}, false, ""},
        {{1920, -1, "x"}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given.id().toStdString());
        engine->applyCanvasSilently({1920, 1080, "HD 1080"});
        engine->applyCanvasSilently(c.given);
        if (c.accepted) {
            EXPECT_EQ(engine->canvas().name, QString::fromUtf8(c.name));
            EXPECT_EQ(engine->outputState()->canvas, engine->canvas()) << "the snapshot follows";
        } else {
            EXPECT_EQ(engine->canvas(), (CanvasFormat{1920, 1080, "HD 1080"}));
            EXPECT_EQ(engine->lastMessage(), "キャンバスのサイズが安全上限を超えています");
        }
    }
}

TEST_F(EngineFixture, CanvasAndRateSettersReportWhatIsInForce) {
    loadTab({still("A")});
    const int loads = stillLoads;
    engine->setCanvas({1280, 720, "mine"});
    EXPECT_EQ(engine->lastMessage(), "フォーマット: HD 720  1280×720");
    settle();
    EXPECT_EQ(stillLoads, loads + 1) << "NEXT is decoded again for the new canvas";
    engine->setCanvas({5000, 720, "big"});
    EXPECT_EQ(engine->lastMessage(), "フォーマット: HD 720  1280×720") << "names the kept canvas";

    QSignalSpy rates(engine.get(), &PlayoutEngine::frameRateChanged);
    engine->setFrameRate({25, 1});
    EXPECT_EQ(engine->lastMessage(), "フレームレート: 25 p");
    engine->setFrameRate({48, 2});  // the rate of a preset, but not a preset
    EXPECT_EQ(engine->frameRate(), (FrameRate{25, 1}));
    EXPECT_EQ(engine->lastMessage(), "フレームレート: 25 p") << "never a rate that was not set";
    engine->applyFrameRateSilently({30000, 1001});
    EXPECT_EQ(engine->frameRate(), (FrameRate{30000, 1001}));
    EXPECT_EQ(rates.count(), 2);
}

// Setting the rate already in force, by the operator or by opening a project, announces no
// change: the frame budget, the monitor and the settings form are left alone.
TEST_F(EngineFixture, TheRateInForceIsNotAnnouncedAgain) {
    engine->setFrameRate({25, 1});
    QSignalSpy rates(engine.get(), &PlayoutEngine::frameRateChanged);
    engine->applyFrameRateSilently({25, 1});
    engine->setFrameRate({25, 1});
    EXPECT_EQ(rates.count(), 0);
    EXPECT_EQ(engine->lastMessage(), "フレームレート: 25 p");
}

}  // namespace
}  // namespace velmar::test
