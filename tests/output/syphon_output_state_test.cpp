// The feed before the playout engine has published any output state.
#include "canvas/canvas_fixture.h"
#include "fake_texshare_locator.h"
#include "output/syphon_output_controller.h"

#include <vector>

namespace velmar::test {
namespace {

// Mended: the feed read the canvas size through an output state that may be absent, and
// crashed where the canvas engine draws its empty state.
TEST(SyphonOutputStateTest, WithoutAnOutputStateTheFeedServesTheEmptyCanvas) {
    FakeClock clock;
    StillTextureCache stillCache;
    CanvasEngine::Sources sources;
    sources.outputState = [] { return OutputSnapshot{}; };
    sources.keyerSnapshot = [] { return DSKController::Snapshot{}; };
    sources.frameRate = [] { return FrameRate{30, 1}; };
    CanvasEngine::Options canvasOptions;
    canvasOptions.clock = &clock;
    canvasOptions.device = gpu::Device::create(2);
    canvasOptions.stillCache = &stillCache;
    auto canvas = CanvasEngine::create(std::move(sources), canvasOptions);
    ASSERT_TRUE(canvas);

    auto locator = std::make_shared<FakeTexShareLocator>();
    locator->registeredAt = "/a";
    SyphonOutputController::Options options;
    options.clock = &clock;
    options.timers = &clock;
    options.locator = locator;
    SyphonOutputController controller(*canvas, options);
    std::vector<QString> failures;
    controller.onFailure = [&](const QString& m) { failures.push_back(m); };
    ASSERT_TRUE(controller.start());
    clock.advance(1.0 / 60);
    EXPECT_EQ(locator->publishes, 1);
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(controller.isRunning());
    controller.stop();
}

}  // namespace
}  // namespace velmar::test
