#pragma once

#include "platform/gpu/blit_encoder.h"
#include "platform/texshare/served_frame.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmar::gpu {
class Buffer;
class CommandBuffer;
class Device;
class Texture;
}  // namespace velmar::gpu

namespace velmar::texshare {

// An in-process texture server: publishes frames under a name to the clients connected to it
// (TextureClient) and counts them.
//
// Row order: frames are served bottom row first. Our GPU textures are top row first, so a
// publisher passes flipped = true and the server turns the picture over in its copy; with
// flipped = false the rows are served in the texture's own order.
//
// Publishing encodes the server's copy of the frame onto the publisher's command buffer (a
// blit into a staging buffer of the server), so the copy runs right after the work that draws
// the texture; when that command buffer completes the frame becomes the clients' latest one.
// A command buffer that is never committed or fails serves nothing.
//
// Threads: publish, stop and the client calls are thread-safe; frames are handed over on the
// GPU queue's completion thread.
class TextureServer : public std::enable_shared_from_this<TextureServer> {
  public:
    // Null for an empty name or without a device. The server is listed under its name (the
    // newest server of a name is the one clients find) until it stops.
    static std::shared_ptr<TextureServer> create(std::string name,
                                                 std::shared_ptr<gpu::Device> device);
    // The running server of that name, or null.
    static std::shared_ptr<TextureServer> find(const std::string& name);

    ~TextureServer();
    TextureServer(const TextureServer&) = delete;
    TextureServer& operator=(const TextureServer&) = delete;

    // Encodes the copy of `region` of a BGRA8 texture onto the command buffer. False, with
    // nothing encoded, once stopped, for a missing or non-BGRA8 texture, or a region outside
    // the texture.
    bool publishFrameTexture(const std::shared_ptr<gpu::Texture>& texture,
                             gpu::CommandBuffer& commandBuffer, gpu::BlitRegion region,
                             bool flipped);
    bool hasClients() const { return clientCount() > 0; }
    int clientCount() const { return clients_.load(); }
    // Unlists the server and disconnects its clients; frames still in flight are dropped.
    void stop();
    bool isRunning() const;
    const std::string& name() const { return name_; }

  private:
    friend class TextureClient;
    struct Staging {
        std::shared_ptr<gpu::Buffer> buffer;
        bool busy = false;
    };

    TextureServer(std::string name, std::shared_ptr<gpu::Device> device);
    void attachClient() { ++clients_; }
    void detachClient() { --clients_; }
    std::optional<ServedFrame> latestFrame() const;
    // On the completion thread: turns a staging copy into the latest frame.
    void serve(size_t stagingIndex, bool completed, int width, int height, bool flipped);

    const std::string name_;
    const std::shared_ptr<gpu::Device> device_;
    std::atomic<int> clients_{0};
    mutable std::mutex mutex_;
    bool running_ = true;
    std::vector<Staging> staging_;
    // Frame memory reused once no client holds it any more.
    std::vector<std::shared_ptr<std::vector<uint8_t>>> framePool_;
    std::optional<ServedFrame> latest_;
    uint64_t served_ = 0;
};

}  // namespace velmar::texshare
