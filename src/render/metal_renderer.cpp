#include "render/metal_renderer.h"

#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace velmar {

const std::array<gpu::Float2, 4> MetalRenderer::fullTargetCorners = {
    gpu::Float2{-1, -1}, gpu::Float2{1, -1}, gpu::Float2{-1, 1}, gpu::Float2{1, 1}};

MetalRenderer::CanvasTarget::CanvasTarget() = default;
MetalRenderer::CanvasTarget::~CanvasTarget() = default;

MetalRenderer::LayerTargets& MetalRenderer::CanvasTarget::layers() {
    if (!layers_) layers_ = std::make_unique<LayerTargets>();
    return *layers_;
}

namespace {
int side(double v) {
    if (!std::isfinite(v)) return 1;
    const double r = std::round(v);
    if (r < 1) return 1;
    if (r > double(gpu::kMaxTextureSide) * 4) return gpu::kMaxTextureSide * 4;  // refused below
    return int(r);
}
}  // namespace

void MetalRenderer::CanvasTarget::ensure(QSizeF requested, gpu::Device& device) {
    const int w = side(requested.width()), h = side(requested.height());
    if (texture && texture->width() == w && texture->height() == h) return;
    gpu::TextureDescriptor d;
    d.pixelFormat = gpu::PixelFormat::BGRA8Unorm;
    d.width = w;
    d.height = h;
    d.usage = gpu::TextureUsageShaderRead | gpu::TextureUsageRenderTarget;
    d.storageMode = gpu::StorageMode::Private;
    texture = device.newTexture(d);
    size = QSizeF(w, h);
}

std::shared_ptr<MetalRenderer> MetalRenderer::create(std::shared_ptr<gpu::Device> device) {
    if (!device) device = gpu::Device::createSystemDefault();
    if (!device) return {};
    auto queue = device->newCommandQueue();
    auto library = device->newDefaultLibrary();
    if (!queue || !library) return {};
    auto vertex = library->newFunction("quad_vertex");
    auto canvas = library->newFunction("canvas_fragment");
    auto checker = library->newFunction("checker_fragment");
    auto preview = library->newFunction("preview_fragment");
    auto composite = library->newFunction("composite_fragment");
    if (!vertex || !canvas || !checker || !preview || !composite) return {};
    auto make = [&](const std::shared_ptr<gpu::Function>& fragment, bool blended) {
        gpu::RenderPipelineDescriptor d;
        d.vertexFunction = vertex;
        d.fragmentFunction = fragment;
        d.colorPixelFormat = gpu::PixelFormat::BGRA8Unorm;
        if (blended) {
            d.blending.enabled = true;
            d.blending.rgbOperation = d.blending.alphaOperation = gpu::BlendOperation::Add;
            d.blending.sourceRGB = gpu::BlendFactor::SourceAlpha;
            d.blending.sourceAlpha = gpu::BlendFactor::One;
            d.blending.destinationRGB = gpu::BlendFactor::OneMinusSourceAlpha;
            d.blending.destinationAlpha = gpu::BlendFactor::OneMinusSourceAlpha;
        }
        return device->newRenderPipelineState(d);
    };
    auto renderer = std::make_shared<MetalRenderer>(device, queue);
    renderer->canvas_ = make(canvas, false);
    renderer->checker_ = make(checker, false);
    renderer->preview_ = make(preview, true);
    renderer->composite_ = make(composite, false);
    if (!renderer->canvas_ || !renderer->checker_ || !renderer->preview_ || !renderer->composite_)
        return {};
    return renderer;
}

MetalRenderer::MetalRenderer(std::shared_ptr<gpu::Device> device,
                             std::shared_ptr<gpu::CommandQueue> queue)
    : device_(std::move(device)), commandQueue_(std::move(queue)) {}

MetalRenderer::~MetalRenderer() = default;

bool MetalRenderer::countOutputFrame() {
    std::lock_guard lock(flushLock_);
    if (++flushCounter_ >= 120) {
        flushCounter_ = 0;
        return true;
    }
    return false;
}

int MetalRenderer::flushCounter() const {
    std::lock_guard lock(flushLock_);
    return flushCounter_;
}

std::shared_ptr<MetalRenderer::PixelBufferTexture> MetalRenderer::makeSharedRenderTarget(
    int width, int height) {
    if (width < 1 || height < 1) return {};
    auto buffer = gpu::PixelBuffer::create(width, height, gpu::kPixelFormat32BGRA);
    if (!buffer) return {};
    return makeTexture(buffer, gpu::TextureUsageShaderRead | gpu::TextureUsageRenderTarget);
}

std::shared_ptr<gpu::Texture> MetalRenderer::makeTexture(const ImageRef& image) {
    if (!image || image->isNull() || image->width() <= 0 || image->height() <= 0) return {};
    // Stills are premultiplied RGBA8 already; anything else is converted on the way in.
    QImage converted;
    const QImage* source = image.get();
    if (image->format() != QImage::Format_RGBA8888_Premultiplied) {
        converted = image->convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        if (converted.isNull()) return {};
        source = &converted;
    }
    gpu::TextureDescriptor d;
    d.pixelFormat = gpu::PixelFormat::RGBA8Unorm;
    d.width = source->width();
    d.height = source->height();
    d.usage = gpu::TextureUsageShaderRead;
    d.storageMode = gpu::StorageMode::Managed;
    auto texture = device_->newTexture(d);
    if (!texture) return {};
    texture->replaceRegion(source->constBits(), size_t(source->bytesPerLine()));
    return texture;
}

std::shared_ptr<MetalRenderer::PixelBufferTexture> MetalRenderer::makeTexture(
    const std::shared_ptr<gpu::PixelBuffer>& buffer, std::optional<uint32_t> usage) {
    if (!buffer || buffer->width() < 1 || buffer->height() < 1) return {};
    gpu::TextureDescriptor d;
    if (buffer->pixelFormat() == gpu::kPixelFormat64RGBAHalf)
        d.pixelFormat = gpu::PixelFormat::RGBA16Float;
    else if (buffer->pixelFormat() == gpu::kPixelFormat32BGRA)
        d.pixelFormat = gpu::PixelFormat::BGRA8Unorm;
    else
        return {};
    d.width = buffer->width();
    d.height = buffer->height();
    d.usage = usage.value_or(gpu::TextureUsageShaderRead);
    d.storageMode = gpu::StorageMode::Shared;
    auto texture = device_->newTexture(d, buffer);
    if (!texture) return {};
    auto result = std::make_shared<PixelBufferTexture>();
    result->pixelBuffer = buffer;
    result->texture = std::move(texture);
    return result;
}

std::array<gpu::Float2, 4> MetalRenderer::corners(QSizeF content, QSizeF target,
                                                  const MotionTransform& t) {
    const double tw = target.width(), th = target.height();
    if (!(tw > 0) || !(th > 0)) return fullTargetCorners;
    const double cw = content.width(), ch = content.height();
    const double s = t.scale;
    const double hx = cw / 2 * s, hy = ch / 2 * s;
    const double cx = tw / 2 + tw * t.offsetX + (cw / 2) * t.anchorX * (1 - s);
    const double cy = th / 2 + th * t.offsetY - (ch / 2) * t.anchorY * (1 - s);
    const double cosR = std::cos(t.rotation), sinR = std::sin(t.rotation);
    const double ex = std::fabs(hx * cosR) + std::fabs(hy * sinR);
    const double ey = std::fabs(hx * sinR) + std::fabs(hy * cosR);
    const double travelX = (t.slideX >= 0 ? tw - cx : cx) + ex + 0.02 * tw;
    const double travelY = (t.slideY >= 0 ? th - cy : cy) + ey + 0.02 * th;
    const double fx = cx + t.slideX * travelX, fy = cy + t.slideY * travelY;
    const double local[4][2] = {{-hx, -hy}, {hx, -hy}, {-hx, hy}, {hx, hy}};
    std::array<gpu::Float2, 4> out;
    for (int i = 0; i < 4; ++i) {
        const double x = local[i][0] * cosR - local[i][1] * sinR + fx;
        const double y = local[i][0] * sinR + local[i][1] * cosR + fy;
        out[size_t(i)] = {float(2 * x / tw - 1), float(2 * y / th - 1)};
    }
    return out;
}

}  // namespace velmar
