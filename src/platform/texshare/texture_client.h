#pragma once

#include "platform/texshare/served_frame.h"

#include <memory>
#include <optional>
#include <string>

namespace velmar::texshare {

class TextureServer;

// A client of a texture server in this process: connects on construction to the running
// server of the given name (when there is one), counts as one of its clients while it lives,
// and reads the latest frame served. Thread-safe.
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
    std::shared_ptr<TextureServer> server_;
};

}  // namespace velmar::texshare
