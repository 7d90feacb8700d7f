#pragma once

#include "platform/gpu/blit_encoder.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct VelmarTexShareServer;

namespace velmar::gpu {
class Buffer;
class CommandBuffer;
class Device;
}  // namespace velmar::gpu

namespace velmar::texshare {

// A texture server: publishes frames under a name to receivers in other processes of the same
// user, through the texture-share runtime beside the program (runtime/texshare_api.h): the
// server's socket in the per-user server directory, frames in a ring of shared memory, a notice
// per frame to each receiver. TextureClient, or any program using the runtime's C client,
// receives them.
//
// Row order: frames are served bottom row first. Our GPU textures are top row first, so a
// publisher passes flipped = true and the server turns the picture over in its copy; with
// flipped = false the rows are served in the texture's own order.
//
// Publishing encodes the server's copy of the frame onto the publisher's command buffer (a
// blit into a staging buffer of the server), so the copy runs right after the work that draws
// the texture; when that command buffer completes the frame goes into the shared ring and the
// receivers are told. A command buffer that is never committed or fails serves nothing. A
// staging buffer is reused only once no command buffer holds it any more, so the GPU never
// writes a frame into a buffer that an earlier frame is still waiting to be served from.
//
// The frame path never waits for a receiver: notices go out without blocking (a receiver that
// does not read misses them), and a receiver that has gone is dropped on the next notice or
// client poll. Nothing is allocated per frame once the sizes are steady.
//
// Threads: publish, stop and the client calls are thread-safe; frames are handed over on the
// GPU queue's completion thread.
class TextureServer : public std::enable_shared_from_this<TextureServer> {
  public:
    struct Stats {
        int64_t noticesSent = 0;
        int64_t noticesDropped = 0;
        int64_t receiversDropped = 0;
        int stagingBuffers = 0;
    };

    // Null for an empty name, without a device, or when the server's socket cannot be made.
    // The server is listed under its name (the newest server of a name is the one receivers
    // find) until it stops.
    static std::shared_ptr<TextureServer> create(std::string name,
                                                 std::shared_ptr<gpu::Device> device);

    ~TextureServer();
    TextureServer(const TextureServer&) = delete;
    TextureServer& operator=(const TextureServer&) = delete;

    // Encodes the copy of `region` of a BGRA8 texture onto the command buffer. False, with
    // nothing encoded, once stopped, for a missing or non-BGRA8 texture, a region outside the
    // texture, or when no shared memory can be had for its size. Receivers that connected since
    // the last hasClients() or clientCount() get frames from then on.
    bool publishFrameTexture(const std::shared_ptr<gpu::Texture>& texture,
                             gpu::CommandBuffer& commandBuffer, gpu::BlitRegion region,
                             bool flipped);
    // Takes in receivers that have connected and drops those that have gone; never blocks.
    bool hasClients() { return clientCount() > 0; }
    int clientCount();
    // Unlists the server and disconnects its receivers; frames still in flight are dropped.
    void stop();
    bool isRunning() const;
    const std::string& name() const { return name_; }
    Stats stats() const;

  private:
    // One staging buffer with what its frame needs on completion. The command buffer's copy
    // holds the buffer through a pointer that shares the staging's ownership, so the staging
    // lives, and is not reused, until the command buffer has let go of its work; the completion
    // handler only needs a plain pointer to it (small enough to be kept without allocating).
    struct Staging {
        std::weak_ptr<TextureServer> server;
        std::shared_ptr<gpu::Buffer> buffer;
        gpu::BlitRegion region;
        bool flipped = false;
    };

    TextureServer(std::string name, std::shared_ptr<gpu::Device> device,
                  VelmarTexShareServer* server);
    std::shared_ptr<Staging> takeStaging(size_t bytes);
    // On the completion thread: turns a staging copy into the receivers' newest frame.
    void serve(const Staging& staging, bool completed);

    const std::string name_;
    const std::shared_ptr<gpu::Device> device_;
    mutable std::mutex mutex_;
    VelmarTexShareServer* server_;  // null once stopped
    std::vector<std::shared_ptr<Staging>> staging_;
    uint64_t served_ = 0;
};

}  // namespace velmar::texshare
