#pragma once

#include "output/obs_transport.h"

#include <optional>

namespace velmar {

// The OBS feeds (texture share and NDI) both write the canvas engine's one `obsClientActive`
// flag, so at most one of them may run at a time: each feed marks itself running when it starts
// and stopped when it stops. Starting while the other feed runs is a programming error, caught
// by an assertion in debug builds; elsewhere the start is refused and the feed's controller
// fails its start. Main thread.
class ObsFeedGuard {
  public:
    // Marks `transport` running. False (and an assertion failure in debug builds) when the
    // other feed is running.
    static bool feedStarted(OBSTransport transport);
    // Marks `transport` stopped; nothing when it was not the running feed.
    static void feedStopped(OBSTransport transport);
    static std::optional<OBSTransport> runningFeed();
};

}  // namespace velmar
