#include "render/still_texture_cache.h"

#include "render/metal_renderer.h"

#include <algorithm>

namespace velmar {

StillTextureCache& StillTextureCache::shared() {
    static StillTextureCache cache;
    return cache;
}

StillTextureCache::StillTextureCache() {
    entries_.reserve(kCapacity + 1);
}

StillTextureCache::StillTextureCache(std::shared_ptr<MetalRenderer> renderer)
    : StillTextureCache() {
    renderer_ = renderer;
}

StillTextureCache::~StillTextureCache() {
    // Queued prewarms still use this object; let them finish before its members go.
    queue_.waitUntilIdle();
}

void StillTextureCache::setRenderer(const std::shared_ptr<MetalRenderer>& renderer) {
    std::lock_guard lock(lock_);
    renderer_ = renderer;
    entries_.clear();
}

void StillTextureCache::prepare(const ImageRef& image) {
    if (!image) return;
    std::shared_ptr<MetalRenderer> renderer;
    {
        std::lock_guard lock(lock_);
        for (const auto& e : entries_)
            if (e.image.get() == image.get()) return;
        renderer = renderer_.lock();
    }
    if (!renderer) return;
    auto texture = renderer->makeTexture(image);  // outside the lock: uploads take long
    if (!texture) return;
    std::lock_guard lock(lock_);
    // The renderer may have been replaced meanwhile; a texture of the old one is not kept.
    if (renderer_.lock() != renderer) return;
    for (const auto& e : entries_)
        if (e.image.get() == image.get()) return;  // another call cached it meanwhile
    entries_.push_back({image, std::move(texture)});
    while (int(entries_.size()) > kCapacity) entries_.erase(entries_.begin());
}

void StillTextureCache::prewarm(const ImageRef& image) {
    queue_.async([this, image] { prepare(image); });
}

std::shared_ptr<gpu::Texture> StillTextureCache::texture(const ImageRef& image) const {
    if (!image) return {};
    std::lock_guard lock(lock_);
    for (const auto& e : entries_)
        if (e.image.get() == image.get()) return e.texture;
    return {};
}

void StillTextureCache::touch(const ImageRef& image) {
    if (!image) return;
    std::lock_guard lock(lock_);
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.image.get() == image.get(); });
    if (it == entries_.end() || it + 1 == entries_.end()) return;
    std::rotate(it, it + 1, entries_.end());
}

int StillTextureCache::count() const {
    std::lock_guard lock(lock_);
    return int(entries_.size());
}

void StillTextureCache::waitUntilIdle() {
    queue_.waitUntilIdle();
}

}  // namespace velmar
