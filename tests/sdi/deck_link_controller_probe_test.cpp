#include "deck_link_controller_fixture.h"

#include <atomic>

namespace velmar::test {
namespace {

using DeckLinkControllerProbeTest = ControllerFixture;

// A hook with a reservation but no capture used to reserve every frame it was offered and then
// offer nothing, which left the probe busy for ever.
TEST_F(DeckLinkControllerProbeTest, AHookMissingEitherPartIsNeverAskedToReserve) {
    setTake(false);
    std::atomic<int> asked{0};
    std::atomic<int> captured{0};
    DeckLinkController::ProbeHook hook;
    hook.reserveCapture = [&] {
        ++asked;
        return true;
    };
    controller->setProbeHook(hook);
    start(SDIBitDepth::eightBit);
    output->step(4);
    controller->stop();
    EXPECT_EQ(asked.load(), 0);

    hook.capture = [&](const std::shared_ptr<gpu::PixelBuffer>&, KeyAlphaMode) { ++captured; };
    controller->setProbeHook(hook);
    start(SDIBitDepth::eightBit);
    output->step(4);
    controller->stop();
    EXPECT_GT(asked.load(), 0);
    EXPECT_EQ(captured.load(), asked.load()) << "every reservation is followed by its capture";
}

}  // namespace
}  // namespace velmar::test
