#pragma once

#include "models/image_ref.h"
#include "platform/base/serial_queue.h"

#include <memory>
#include <mutex>
#include <vector>

namespace velmar {

class MetalRenderer;
namespace gpu {
class Texture;
}

// Textures of the last four stills prepared ahead of time, so that a still going to air does
// not upload on the frame path. Images are matched by identity (the ImageRef's pointer), never
// by their pixels. Least recently used goes first; the frame path's touch() keeps a shown
// still. Uploads run outside the lock, so lookups never wait for one; an image prepared twice
// at once is cached once. Thread-safe. prewarm() uploads on the serial queue
// "dovrine.still-texture".
class StillTextureCache {
  public:
    static constexpr int kCapacity = 4;

    // The process's cache; it has no renderer until the canvas engine sets one.
    static StillTextureCache& shared();

    StillTextureCache();
    explicit StillTextureCache(std::shared_ptr<MetalRenderer> renderer);
    ~StillTextureCache();

    StillTextureCache(const StillTextureCache&) = delete;
    StillTextureCache& operator=(const StillTextureCache&) = delete;

    // Points the cache at a renderer (held weakly) and empties it; what the canvas engine does
    // when it is built.
    void setRenderer(const std::shared_ptr<MetalRenderer>& renderer);

    // Makes and caches the image's texture now, on the calling thread. Nothing happens without
    // a renderer, for an image already cached, or when the texture cannot be made.
    void prepare(const ImageRef& image);
    // prepare() on the cache's queue; returns at once.
    void prewarm(const ImageRef& image);
    // The cached texture of exactly this image object, or null.
    std::shared_ptr<gpu::Texture> texture(const ImageRef& image) const;
    // Marks the image as most recently used (when cached).
    void touch(const ImageRef& image);

    // Number of cached images, and a wait for queued prewarms (for tests and shutdown).
    int count() const;
    void waitUntilIdle();

  private:
    struct Entry {
        ImageRef image;
        std::shared_ptr<gpu::Texture> texture;
    };

    mutable std::mutex lock_;
    std::vector<Entry> entries_;  // oldest first
    std::weak_ptr<MetalRenderer> renderer_;
    SerialQueue queue_{"dovrine.still-texture"};
};

}  // namespace velmar
