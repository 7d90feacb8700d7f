#pragma once

#include "models/image_ref.h"
#include "models/playout_media.h"
#include "render/metal_renderer.h"

#include <QSizeF>

#include <memory>
#include <optional>

namespace velmar {

class HostClock;
class MoviePlayback;
class StillTextureCache;
namespace gpu {
class Texture;
}

// Turns one layer's medium into the texture to draw for the current frame. A still becomes a
// texture once (taken from the still-texture cache when it was prepared ahead, else uploaded
// here) and is reused while the same image object is shown. A movie yields the newest frame of
// its player's video output for a host time, viewed as a texture without copying; the frame is
// reported to the playback's delivery health once, when it is new, and the last frame is
// repeated while the player has nothing newer.
//
// Threads: used only under the canvas engine's lock. The still-texture cache has its own lock.
class FrameProvider {
  public:
    struct Frame {
        std::shared_ptr<gpu::Texture> texture;
        // The medium's size in pixels used for layout.
        QSizeF size;
        // Whether the texture's colour is premultiplied by its alpha.
        bool premultiplied = true;
        // What must stay alive until the GPU has read the texture (the movie frame), or null.
        std::shared_ptr<const void> retained;
    };

    FrameProvider(std::shared_ptr<MetalRenderer> renderer, StillTextureCache& stillCache,
                  HostClock& clock);

    // The frame of the medium: none without a medium or while no texture can be had. A null
    // host time samples a movie at the clock's present time.
    std::optional<Frame> currentFrame(const std::optional<PlayoutMedia>& media,
                                      bool movieIsPremultiplied, std::optional<double> hostTime);
    // The frame of a still image (always premultiplied).
    std::optional<Frame> currentFrame(const ImageRef& image);

    // Forgets the still texture, its image and the last movie frame, so that the next call
    // reads the source again.
    void clearCaches();

    const std::shared_ptr<gpu::Texture>& stillTexture() const { return stillTexture_; }
    const ImageRef& stillImage() const { return stillImage_; }
    const std::shared_ptr<MetalRenderer::PixelBufferTexture>& lastMovieTexture() const {
        return lastMovieTexture_;
    }

  private:
    std::shared_ptr<MetalRenderer::PixelBufferTexture> movieTexture(MoviePlayback& playback,
                                                                    double hostTime);

    std::shared_ptr<MetalRenderer> renderer_;
    StillTextureCache& stillCache_;
    HostClock& clock_;
    std::shared_ptr<gpu::Texture> stillTexture_;
    ImageRef stillImage_;
    std::shared_ptr<MetalRenderer::PixelBufferTexture> lastMovieTexture_;
};

}  // namespace velmar
