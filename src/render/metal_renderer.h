#pragma once

#include "models/image_ref.h"
#include "models/motion_transform.h"
#include "platform/gpu/gpu_types.h"

#include <QSizeF>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

namespace gpu {
class CommandQueue;
class Device;
class PixelBuffer;
class RenderPipelineState;
class Texture;
}  // namespace gpu

// The graphics objects every drawing path shares: the device, one command queue and the four
// render pipelines ("quad_vertex" with "canvas_fragment", "checker_fragment",
// "preview_fragment" blended over the destination, "composite_fragment"). It also makes the
// offscreen targets, pixel buffers shared with the outputs, textures from stills and pixel
// buffers, and places layers on a target (corners()).
//
// Threads: used under the canvas engine's lock, from the main thread (previews) and from
// output queues. The device and queue are thread-safe; the flush counter has its own lock.
// Creation returns null rather than failing loudly; callers skip drawing without a texture.
class MetalRenderer {
  public:
    class LayerTargets;

    // One offscreen BGRA8 render target that follows a requested size.
    class CanvasTarget {
      public:
        CanvasTarget();
        ~CanvasTarget();
        CanvasTarget(const CanvasTarget&) = delete;
        CanvasTarget& operator=(const CanvasTarget&) = delete;

        // Makes `texture` w x h with w = max(1, round(width)), h = max(1, round(height)); keeps
        // it when it already has that size. A refused size leaves `texture` null.
        void ensure(QSizeF size, gpu::Device& device);

        std::shared_ptr<gpu::Texture> texture;
        QSizeF size;
        // The two layer targets of a two-layer draw onto this target, made on first use.
        LayerTargets& layers();

      private:
        std::unique_ptr<LayerTargets> layers_;
    };

    // The program and keyer layers of a two-layer frame.
    class LayerTargets {
      public:
        CanvasTarget program;
        CanvasTarget dsk;
    };

    // A pixel buffer seen as a texture without copying. Both hold the buffer's memory; dropping
    // the last holder releases it.
    class PixelBufferTexture {
      public:
        std::shared_ptr<gpu::PixelBuffer> pixelBuffer;
        std::shared_ptr<gpu::Texture> texture;
    };

    // Null when the device or a pipeline cannot be made. Without a device, the process's one.
    static std::shared_ptr<MetalRenderer> create(std::shared_ptr<gpu::Device> device = nullptr);

    static const std::array<gpu::Float2, 4> fullTargetCorners;

    gpu::Device& device() const { return *device_; }
    const std::shared_ptr<gpu::Device>& devicePtr() const { return device_; }
    gpu::CommandQueue& commandQueue() const { return *commandQueue_; }
    const std::shared_ptr<gpu::RenderPipelineState>& canvasPipeline() const { return canvas_; }
    const std::shared_ptr<gpu::RenderPipelineState>& checkerPipeline() const { return checker_; }
    const std::shared_ptr<gpu::RenderPipelineState>& previewPipeline() const { return preview_; }
    const std::shared_ptr<gpu::RenderPipelineState>& compositePipeline() const {
        return composite_;
    }

    // Counts one SDI frame; at the 120th the count starts again at 0 and true is returned (the
    // point at which cached pixel-buffer views would be flushed; views here need no cache).
    bool countOutputFrame();
    int flushCounter() const;

    // A width x height BGRA pixel buffer viewed as a render target; null for sizes below 1.
    std::shared_ptr<PixelBufferTexture> makeSharedRenderTarget(int width, int height);

    // An RGBA8 texture (premultiplied, as the image is) holding the image's pixels; null for
    // an empty image.
    std::shared_ptr<gpu::Texture> makeTexture(const ImageRef& image);

    // A view of a 'BGRA' (BGRA8) or 'RGhA' (RGBA16F) pixel buffer; null for any other format
    // or a size below 1. Without a usage the texture is shader-read only.
    std::shared_ptr<PixelBufferTexture> makeTexture(const std::shared_ptr<gpu::PixelBuffer>& buffer,
                                                    std::optional<uint32_t> usage);

    // The four corners (bottom-left, bottom-right, top-left, top-right, normalised device
    // coordinates) of `content` pixels placed on a `target` by the transform: scaled about its
    // anchor, offset, rotated counter-clockwise, and slid so that a slide of +-1 puts it just
    // outside the target with a margin of 2 % of the target. A target side not above 0 gives
    // fullTargetCorners.
    static std::array<gpu::Float2, 4> corners(QSizeF content, QSizeF target,
                                              const MotionTransform& transform);

    MetalRenderer(std::shared_ptr<gpu::Device> device, std::shared_ptr<gpu::CommandQueue> queue);
    ~MetalRenderer();

  private:
    std::shared_ptr<gpu::Device> device_;
    std::shared_ptr<gpu::CommandQueue> commandQueue_;
    std::shared_ptr<gpu::RenderPipelineState> canvas_, checker_, preview_, composite_;
    mutable std::mutex flushLock_;
    int flushCounter_ = 0;
};

}  // namespace velmar
