#include "platform/texshare/texture_server.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/texture.h"

#include <cstring>
#include <map>

namespace velmar::texshare {
namespace {

// The servers of the process by name.
struct Directory {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<TextureServer>> servers;
};

Directory& directory() {
    static Directory d;
    return d;
}

}  // namespace

std::shared_ptr<TextureServer> TextureServer::create(std::string name,
                                                     std::shared_ptr<gpu::Device> device) {
    if (name.empty() || !device) return nullptr;
    std::shared_ptr<TextureServer> server(new TextureServer(std::move(name), std::move(device)));
    Directory& d = directory();
    std::lock_guard lock(d.mutex);
    d.servers[server->name_] = server;
    return server;
}

std::shared_ptr<TextureServer> TextureServer::find(const std::string& name) {
    Directory& d = directory();
    std::lock_guard lock(d.mutex);
    const auto it = d.servers.find(name);
    if (it == d.servers.end()) return nullptr;
    auto server = it->second.lock();
    return server && server->isRunning() ? server : nullptr;
}

TextureServer::TextureServer(std::string name, std::shared_ptr<gpu::Device> device)
    : name_(std::move(name)), device_(std::move(device)) {}

TextureServer::~TextureServer() {
    stop();
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
    size_t index = 0;
    std::shared_ptr<gpu::Buffer> buffer;
    {
        std::lock_guard lock(mutex_);
        if (!running_) return false;
        // A free staging buffer of the right size, else a new one (one per frame in flight).
        for (index = 0; index < staging_.size(); ++index) {
            Staging& s = staging_[index];
            if (!s.busy && s.buffer->length() == bytes) break;
        }
        if (index == staging_.size()) {
            buffer = device_->newBuffer(bytes);
            if (!buffer) return false;
            staging_.push_back({buffer, false});
        }
        staging_[index].busy = true;
        buffer = staging_[index].buffer;
    }
    auto blit = commandBuffer.makeBlitCommandEncoder();
    const bool encoded = blit->copyTextureToBuffer(texture, region, buffer, 0, bytesPerRow, bytes);
    blit->endEncoding();
    if (!encoded) {
        std::lock_guard lock(mutex_);
        staging_[index].busy = false;
        return false;
    }
    std::weak_ptr<TextureServer> weak = weak_from_this();
    commandBuffer.addCompletedHandler([weak, index, region, flipped](gpu::CommandBuffer& done) {
        if (auto self = weak.lock())
            self->serve(index, done.status() == gpu::CommandBufferStatus::Completed, region.width,
                        region.height, flipped);
    });
    return true;
}

void TextureServer::serve(size_t stagingIndex, bool completed, int width, int height,
                          bool flipped) {
    std::lock_guard lock(mutex_);
    Staging& staging = staging_[stagingIndex];
    staging.busy = false;
    if (!completed || !running_) return;
    const size_t bytesPerRow = size_t(width) * 4;
    std::shared_ptr<std::vector<uint8_t>> frame;
    for (auto& candidate : framePool_)
        if (candidate.use_count() == 1 && candidate->size() == bytesPerRow * size_t(height)) {
            frame = candidate;
            break;
        }
    if (!frame) {
        frame = std::make_shared<std::vector<uint8_t>>(bytesPerRow * size_t(height));
        framePool_.push_back(frame);
        // Frames still held by clients stay theirs; the pool only keeps a few for reuse.
        if (framePool_.size() > 4) framePool_.erase(framePool_.begin());
    }
    const uint8_t* source = staging.buffer->contents();
    for (int y = 0; y < height; ++y) {
        const int from = flipped ? height - 1 - y : y;
        std::memcpy(frame->data() + size_t(y) * bytesPerRow, source + size_t(from) * bytesPerRow,
                    bytesPerRow);
    }
    latest_ = ServedFrame{width, height, bytesPerRow, ++served_, frame};
}

std::optional<ServedFrame> TextureServer::latestFrame() const {
    std::lock_guard lock(mutex_);
    if (!running_) return std::nullopt;
    return latest_;
}

void TextureServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        latest_.reset();
    }
    Directory& d = directory();
    std::lock_guard lock(d.mutex);
    const auto it = d.servers.find(name_);
    // Only this server's entry: a newer server of the same name stays listed.
    if (it != d.servers.end()) {
        const auto listed = it->second.lock();
        if (!listed || listed.get() == this) d.servers.erase(it);
    }
}

bool TextureServer::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

}  // namespace velmar::texshare
