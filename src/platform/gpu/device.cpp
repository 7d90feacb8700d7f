#include "platform/gpu/device.h"

#include "platform/gpu/command_queue.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"
#include "platform/gpu/thread_pool.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

namespace velmar::gpu {

namespace {

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, ComputeKernel>& registry() {
    // The built-in compute kernels are listed here rather than registered by static
    // initialisers, which the linker may drop from a static library.
    static std::map<std::string, ComputeKernel> kernels = {
        {"v210_pack", pack::v210PackKernel},
        {"ay10_pack", pack::ay10PackKernel},
    };
    return kernels;
}

std::optional<FragmentKind> fragmentKindOf(const std::string& name) {
    if (name == "canvas_fragment") return FragmentKind::Canvas;
    if (name == "checker_fragment") return FragmentKind::Checker;
    if (name == "preview_fragment") return FragmentKind::Preview;
    if (name == "composite_fragment") return FragmentKind::Composite;
    return std::nullopt;
}

void setError(std::string* error, const char* text) {
    if (error != nullptr) *error = text;
}

}  // namespace

void registerComputeKernel(const std::string& name, ComputeKernel kernel) {
    std::lock_guard lock(registryMutex());
    registry()[name] = kernel;
}

std::shared_ptr<Function> Library::newFunction(const std::string& name) const {
    if (name == "quad_vertex") return std::make_shared<Function>(name, FunctionType::Vertex);
    if (fragmentKindOf(name)) return std::make_shared<Function>(name, FunctionType::Fragment);
    std::lock_guard lock(registryMutex());
    const auto it = registry().find(name);
    if (it == registry().end() || it->second == nullptr) return {};
    return std::make_shared<Function>(name, FunctionType::Kernel, it->second);
}

std::shared_ptr<Device> Device::createSystemDefault() {
    static std::shared_ptr<Device> device = std::make_shared<Device>(ThreadPool::usableCores());
    return device;
}

std::shared_ptr<Device> Device::create(int threads) {
    return std::make_shared<Device>(threads);
}

Device::Device(int threads) : pool_(std::make_unique<ThreadPool>(threads)) {}
Device::~Device() = default;

std::shared_ptr<CommandQueue> Device::newCommandQueue() {
    return std::make_shared<CommandQueue>(shared_from_this());
}

std::shared_ptr<Library> Device::newDefaultLibrary() const {
    return std::make_shared<Library>();
}

std::shared_ptr<Texture> Device::newTexture(const TextureDescriptor& d) {
    if (d.width < 1 || d.height < 1 || d.width > kMaxTextureSide || d.height > kMaxTextureSide)
        return {};
    const size_t rowBytes = (size_t(d.width) * size_t(bytesPerPixel(d.pixelFormat)) + 63) / 64 * 64;
    auto memory = allocateAligned(rowBytes * size_t(d.height));
    if (!memory) return {};
    return std::make_shared<Texture>(d, rowBytes, std::move(memory), nullptr);
}

std::shared_ptr<Texture> Device::newTexture(const TextureDescriptor& d,
                                            const std::shared_ptr<PixelBuffer>& buffer) {
    if (!buffer || d.width != buffer->width() || d.height != buffer->height()) return {};
    const bool matches =
        (buffer->pixelFormat() == kPixelFormat32BGRA && d.pixelFormat == PixelFormat::BGRA8Unorm) ||
        (buffer->pixelFormat() == kPixelFormat64RGBAHalf &&
         d.pixelFormat == PixelFormat::RGBA16Float);
    if (!matches) return {};
    // The kernels read and write whole 32-bit pixels, so rows must keep them aligned.
    if (buffer->bytesPerRow() % 4 != 0) return {};
    return std::make_shared<Texture>(d, buffer->bytesPerRow(), buffer->memory(), buffer);
}

std::shared_ptr<Buffer> Device::newBuffer(size_t length) {
    auto memory = allocateAligned(length);
    if (!memory) return {};
    return std::make_shared<Buffer>(length, std::move(memory));
}

std::shared_ptr<RenderPipelineState> Device::newRenderPipelineState(
    const RenderPipelineDescriptor& d, std::string* error) {
    if (!d.vertexFunction || d.vertexFunction->functionType() != FunctionType::Vertex) {
        setError(error, "missing vertex function");
        return {};
    }
    if (!d.fragmentFunction || d.fragmentFunction->functionType() != FunctionType::Fragment) {
        setError(error, "missing fragment function");
        return {};
    }
    const auto kind = fragmentKindOf(d.fragmentFunction->name());
    if (!kind) {
        setError(error, "unknown fragment function");
        return {};
    }
    if (d.colorPixelFormat != PixelFormat::BGRA8Unorm) {
        setError(error, "colour attachments must be BGRA8Unorm");
        return {};
    }
    return std::make_shared<RenderPipelineState>(*kind, d.colorPixelFormat, d.blending);
}

std::shared_ptr<ComputePipelineState> Device::newComputePipelineState(
    const std::shared_ptr<Function>& function, std::string* error) {
    if (!function || function->functionType() != FunctionType::Kernel || !function->kernel()) {
        setError(error, "not a compute kernel");
        return {};
    }
    return std::make_shared<ComputePipelineState>(function->name(), function->kernel());
}

void Device::setThreadCount(int threads) {
    pool_->setThreadCount(threads);
}
int Device::threadCount() const {
    return pool_->threadCount();
}

}  // namespace velmar::gpu
