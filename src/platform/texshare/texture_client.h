#pragma once

#include "platform/texshare/served_frame.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct VelmarTexShareClient;

namespace velmar::texshare {

// A receiver of a texture server, through the runtime's C client (runtime/texshare_api.h), as
// a program in another process would use it: connects on construction to the running server of
// the given name (when there is one) and greets it, counts as one of its clients from the
// server's next client poll while it lives, and reads the newest frame served. Thread-safe.
class TextureClient {
  public:
    explicit TextureClient(const std::string& serverName);
    ~TextureClient();
    TextureClient(const TextureClient&) = delete;
    TextureClient& operator=(const TextureClient&) = delete;

    // Connected to a server that has not stopped.
    bool isConnected() const;
    // The newest frame served since the server started; none before the first one, without a
    // server, or once the server stopped.
    std::optional<ServedFrame> latestFrame() const;

  private:
    mutable std::mutex mutex_;
    VelmarTexShareClient* client_;
};

}  // namespace velmar::texshare
