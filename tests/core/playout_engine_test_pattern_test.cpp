#include "engine_fixture.h"

#include "render/test_pattern_renderer.h"

#include <QSignalSpy>

namespace velmar::test {
namespace {

using TestPatternFixture = EngineFixture;

const ImageRef* shownImage(const PlayoutEngine& engine) {
    const auto snap = engine.outputState();
    if (!snap->isTestPattern || !snap->media) return nullptr;
    return snap->media->asStill();
}

QStringList patternLogLines(const QString& log) {
    return log.split('\n', Qt::SkipEmptyParts).filter("TEST PATTERN");
}

TEST_F(TestPatternFixture, ShowsAPatternWithItsMessageAndLogLineAndClearsIt) {
    QSignalSpy changes(engine.get(), &PlayoutEngine::testPatternChanged);
    engine->showTestPattern(TestPatternKind::colorBars75, {96, 96});
    drainMainQueue();
    const ImageRef* image = shownImage(*engine);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(engine->outputState().opacity, 1.0);
    {
        std::lock_guard lock(preparedMutex);
        EXPECT_EQ(preparedTextures, std::vector<ImageRef>{*image}) << "prepared before hand-over";
    }
    EXPECT_EQ(engine->lastMessage(), "テストパターンを出力中: BARS 75%");

    engine->clearTestPattern();
    EXPECT_FALSE(engine->outputState()->isTestPattern);
    EXPECT_EQ(changes.count(), 2);

    // Nothing shown: no message, no log line.
    engine->setCanvas(engine->canvas());
    const QString before = engine->lastMessage();
    engine->clearTestPattern();
    EXPECT_EQ(engine->lastMessage(), before);
    EXPECT_EQ(patternLogLines(logText()),
              QStringList({"TEST PATTERN  BARS 75%  1920x1080", "TEST PATTERN  OFF"}));
}

TEST_F(TestPatternFixture, OnlyTheNewestRequestIsShownWhateverOrderTheDrawingsFinish) {
    useDeferredBackground();
    engine->showTestPattern(TestPatternKind::white, {128, 128});
    engine->showTestPattern(TestPatternKind::red, {128, 128});
    ASSERT_EQ(deferred.size(), 2u);
    auto first = std::move(deferred[0]);
    auto second = std::move(deferred[1]);
    deferred.clear();
    second();
    drainMainQueue();
    first();
    drainMainQueue();

    EXPECT_EQ(engine->testPattern(), TestPatternKind::red);
    const ImageRef* image = shownImage(*engine);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ((*image)->pixelColor(10, 10), QColor(255, 0, 0));
    EXPECT_EQ(patternLogLines(logText()), QStringList({"TEST PATTERN  RED  1920x1080"}));
}

TEST_F(TestPatternFixture, AClearDuringDrawingDropsTheDrawing) {
    useDeferredBackground();
    engine->showTestPattern(TestPatternKind::white, {128, 128});
    engine->clearTestPattern();
    runDeferred();
    EXPECT_FALSE(engine->isShowingTestPattern());
    EXPECT_FALSE(engine->lastMessage().startsWith("テストパターンを出力中"));
    EXPECT_TRUE(patternLogLines(logText()).isEmpty());
}

TEST_F(TestPatternFixture, ACanvasChangeDrawsThePatternAgainAtTheNewSize) {
    engine->showTestPattern(TestPatternKind::ledCabinet, {100, 50});
    drainMainQueue();
    engine->setCanvas(CanvasFormat{1280, 720});
    drainMainQueue();
    const ImageRef* image = shownImage(*engine);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ((*image)->size(), QSize(1280, 720));
    const QString label = TestPatternKind(TestPatternKind::ledCabinet).shortLabel();
    EXPECT_EQ(engine->lastMessage(), "テストパターンを出力中: " + label + "（" +
                                         TestPatternRenderer::cabinetSummary(1280, 720, {100, 50}) +
                                         "）");
    EXPECT_EQ(patternLogLines(logText()), QStringList({"TEST PATTERN  " + label + "  1920x1080",
                                                       "TEST PATTERN  " + label + "  1280x720"}));

    // Also while the first drawing is still under way: the drawing for the old size is dropped.
    useDeferredBackground();
    engine->showTestPattern(TestPatternKind::gray50, {128, 128});
    engine->setCanvas(CanvasFormat{640, 480});
    runDeferred();
    image = shownImage(*engine);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ((*image)->size(), QSize(640, 480));
    EXPECT_EQ((*image)->pixelColor(5, 5), QColor(128, 128, 128, 255));
}

}  // namespace
}  // namespace velmar::test
