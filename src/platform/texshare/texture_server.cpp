#include "platform/texshare/texture_server.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/texture.h"
#include "platform/texshare/runtime/texshare_api.h"

namespace velmar::texshare {
namespace {
// Idle staging buffers kept for reuse; more are made while more frames are in flight.
constexpr size_t kKeptStaging = 3;
}  // namespace

std::shared_ptr<TextureServer> TextureServer::create(std::string name,
                                                     std::shared_ptr<gpu::Device> device) {
    if (name.empty() || !device) return nullptr;
    VelmarTexShareServer* server = velmar_texshare_server_create(name.c_str());
    if (!server) return nullptr;
    return std::shared_ptr<TextureServer>(
        new TextureServer(std::move(name), std::move(device), server));
}

TextureServer::TextureServer(std::string name, std::shared_ptr<gpu::Device> device,
                             VelmarTexShareServer* server)
    : name_(std::move(name)), device_(std::move(device)), server_(server) {}

TextureServer::~TextureServer() {
    stop();
}

std::shared_ptr<TextureServer::Staging> TextureServer::takeStaging(size_t bytes) {
    // Free: nobody but the server holds the staging or its buffer (a command buffer that was
    // dropped uncommitted lets go of them when the queue reuses it).
    auto idle = [](const std::shared_ptr<Staging>& s) { return s.use_count() == 1; };
    std::shared_ptr<Staging> found;
    size_t kept = 0;
    for (auto it = staging_.begin(); it != staging_.end();) {
        const bool free = idle(*it);
        if (free && (*it)->buffer->length() != bytes) {  // a size no longer published
            it = staging_.erase(it);
            continue;
        }
        if (free && !found) {
            found = *it;
        } else if (free && ++kept > kKeptStaging) {
            it = staging_.erase(it);
            continue;
        }
        ++it;
    }
    if (found) return found;
    auto buffer = device_->newBuffer(bytes);
    if (!buffer) return nullptr;
    auto staging = std::make_shared<Staging>();
    staging->server = weak_from_this();
    staging->buffer = std::move(buffer);
    staging_.push_back(staging);
    return staging;
}

bool TextureServer::publishFrameTexture(const std::shared_ptr<gpu::Texture>& texture,
                                        gpu::CommandBuffer& commandBuffer, gpu::BlitRegion region,
                                        bool flipped) {
    if (!texture || texture->pixelFormat() != gpu::PixelFormat::BGRA8Unorm) return false;
    if (region.x < 0 || region.y < 0 || region.width < 1 || region.height < 1 ||
        region.x + region.width > texture->width() || region.y + region.height > texture->height())
        return false;
    const size_t bytesPerRow = size_t(region.width) * 4;
    const size_t bytes = bytesPerRow * size_t(region.height);
    std::shared_ptr<Staging> staging;
    {
        std::lock_guard lock(mutex_);
        if (!server_) return false;
        if (!velmar_texshare_server_prepare(server_, region.width, region.height)) return false;
        staging = takeStaging(bytes);
        if (!staging) return false;
        staging->region = region;
        staging->flipped = flipped;
    }
    // The command buffer's hold on the buffer keeps the staging busy (see Staging).
    const std::shared_ptr<gpu::Buffer> held(staging, staging->buffer.get());
    gpu::BlitCommandEncoder blit(commandBuffer);
    const bool encoded = blit.copyTextureToBuffer(texture, region, held, 0, bytesPerRow, bytes);
    blit.endEncoding();
    if (!encoded) return false;
    Staging* frame = staging.get();
    commandBuffer.addCompletedHandler([frame](gpu::CommandBuffer& done) {
        if (auto self = frame->server.lock())
            self->serve(*frame, done.status() == gpu::CommandBufferStatus::Completed);
    });
    return true;
}

void TextureServer::serve(const Staging& staging, bool completed) {
    std::lock_guard lock(mutex_);
    if (!completed || !server_) return;
    const int width = staging.region.width;
    const int height = staging.region.height;
    // Null when a frame of another size has been published since: this one is dropped.
    uint8_t* slot = velmar_texshare_server_begin_frame(server_, width, height);
    if (!slot) return;
    const size_t bytesPerRow = size_t(width) * 4;
    const uint8_t* source = staging.buffer->contents();
    for (int y = 0; y < height; ++y) {
        const int from = staging.flipped ? height - 1 - y : y;
        gpu::streamBytes(slot + size_t(y) * bytesPerRow, source + size_t(from) * bytesPerRow,
                         bytesPerRow);
    }
    gpu::streamFence();  // the rows are in memory before the frame is announced
    velmar_texshare_server_end_frame(server_, ++served_);
}

int TextureServer::clientCount() {
    std::lock_guard lock(mutex_);
    return server_ ? velmar_texshare_server_update_clients(server_) : 0;
}

void TextureServer::stop() {
    std::lock_guard lock(mutex_);
    if (!server_) return;
    velmar_texshare_server_destroy(server_);
    server_ = nullptr;
}

bool TextureServer::isRunning() const {
    std::lock_guard lock(mutex_);
    return server_ != nullptr;
}

TextureServer::Stats TextureServer::stats() const {
    std::lock_guard lock(mutex_);
    Stats stats;
    stats.stagingBuffers = int(staging_.size());
    if (!server_) return stats;
    VelmarTexShareServerStats s{};
    velmar_texshare_server_stats(server_, &s);
    stats.noticesSent = s.noticesSent;
    stats.noticesDropped = s.noticesDropped;
    stats.receiversDropped = s.receiversDropped;
    return stats;
}

}  // namespace velmar::texshare
