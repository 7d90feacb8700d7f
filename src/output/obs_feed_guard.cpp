#include "output/obs_feed_guard.h"

#include <cassert>

namespace velmar {
namespace {

std::optional<OBSTransport>& running() {
    static std::optional<OBSTransport> feed;
    return feed;
}

}  // namespace

bool ObsFeedGuard::feedStarted(OBSTransport transport) {
    std::optional<OBSTransport>& feed = running();
    const bool alone = !feed || *feed == transport;
    assert(alone && "the NDI and texture-share feeds must never run together");
    if (alone) feed = transport;
    return alone;
}

void ObsFeedGuard::feedStopped(OBSTransport transport) {
    if (running() == transport) running().reset();
}

std::optional<OBSTransport> ObsFeedGuard::runningFeed() {
    return running();
}

}  // namespace velmar
