#pragma once

#include "platform/gpu/gpu_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velmar::gpu {

class Buffer;
class CommandQueue;
class PixelBuffer;
class Texture;
class ThreadPool;

// What a compute kernel is given: the textures and buffers bound at each index and the grid.
struct ComputeArguments {
    static constexpr int kSlots = 8;
    const Texture* textures[kSlots] = {};
    // Buffer bindings: memory (a Buffer's contents plus offset, or bytes copied at encoding)
    // and the usable length.
    uint8_t* buffers[kSlots] = {};
    size_t bufferLengths[kSlots] = {};
    Size3 gridSize;               // threads in total
    Size3 threadsPerThreadgroup;  // as dispatched
};

// A kernel runs every grid position (x, y) for y in [yBegin, yEnd) and all x < gridSize.width;
// positions outside what it produces must write nothing. Bands of rows run in parallel.
using ComputeKernel = void (*)(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd);

// Adds a compute kernel to every library under `name` (the packers' kernels register here).
// Registering a name again replaces the kernel. Thread-safe.
void registerComputeKernel(const std::string& name, ComputeKernel kernel);

enum class FunctionType { Vertex, Fragment, Kernel };

// A shader function of the library, found by name.
class Function {
  public:
    Function(std::string name, FunctionType type, ComputeKernel kernel = nullptr)
        : name_(std::move(name)), type_(type), kernel_(kernel) {}
    const std::string& name() const { return name_; }
    FunctionType functionType() const { return type_; }
    ComputeKernel kernel() const { return kernel_; }

  private:
    std::string name_;
    FunctionType type_;
    ComputeKernel kernel_;
};

// The functions built into the device: "quad_vertex", "canvas_fragment", "checker_fragment",
// "preview_fragment", "composite_fragment", the packers "v210_pack" and "ay10_pack", and any
// compute kernel registered later.
class Library {
  public:
    // Null for a name the library does not hold.
    std::shared_ptr<Function> newFunction(const std::string& name) const;
};

struct BlendDescriptor {
    bool enabled = false;
    BlendOperation rgbOperation = BlendOperation::Add;
    BlendOperation alphaOperation = BlendOperation::Add;
    BlendFactor sourceRGB = BlendFactor::One;
    BlendFactor sourceAlpha = BlendFactor::One;
    BlendFactor destinationRGB = BlendFactor::Zero;
    BlendFactor destinationAlpha = BlendFactor::Zero;
};

struct RenderPipelineDescriptor {
    std::shared_ptr<Function> vertexFunction;
    std::shared_ptr<Function> fragmentFunction;
    PixelFormat colorPixelFormat = PixelFormat::BGRA8Unorm;
    BlendDescriptor blending;
};

// Which fragment function a pipeline runs.
enum class FragmentKind { Canvas, Checker, Preview, Composite };

class RenderPipelineState {
  public:
    RenderPipelineState(FragmentKind kind, PixelFormat format, BlendDescriptor blending)
        : kind_(kind), format_(format), blending_(blending) {}
    FragmentKind fragmentKind() const { return kind_; }
    PixelFormat colorPixelFormat() const { return format_; }
    const BlendDescriptor& blending() const { return blending_; }

  private:
    FragmentKind kind_;
    PixelFormat format_;
    BlendDescriptor blending_;
};

class ComputePipelineState {
  public:
    ComputePipelineState(std::string name, ComputeKernel kernel)
        : name_(std::move(name)), kernel_(kernel) {}
    const std::string& name() const { return name_; }
    ComputeKernel kernel() const { return kernel_; }
    uint32_t threadExecutionWidth() const { return 32; }
    uint32_t maxTotalThreadsPerThreadgroup() const { return 1024; }

  private:
    std::string name_;
    ComputeKernel kernel_;
};

// The CPU graphics device: makes textures, pixel-buffer views, buffers, pipelines and command
// queues, and owns the persistent thread pool on which command buffers execute in row bands.
// Thread-safe.
class Device : public std::enable_shared_from_this<Device> {
  public:
    // The process's device, made on first use. Its pool is as wide as the processors the
    // process may run on.
    static std::shared_ptr<Device> createSystemDefault();
    // A separate device (tests, benchmarks) with a pool of `threads` threads.
    static std::shared_ptr<Device> create(int threads);

    explicit Device(int threads);
    ~Device();

    std::shared_ptr<CommandQueue> newCommandQueue();
    std::shared_ptr<Library> newDefaultLibrary() const;

    // Null for sides below 1 or above kMaxTextureSide, or when memory runs out.
    std::shared_ptr<Texture> newTexture(const TextureDescriptor& descriptor);
    // A texture viewing the pixel buffer's memory: BGRA8 over 'BGRA', RGBA16F over 'RGhA'
    // (the descriptor's format must match); null otherwise.
    std::shared_ptr<Texture> newTexture(const TextureDescriptor& descriptor,
                                        const std::shared_ptr<PixelBuffer>& buffer);
    std::shared_ptr<Buffer> newBuffer(size_t length);

    // Null with a message in `error` when a function is missing or of the wrong kind, the
    // colour format is not BGRA8, or the blending asks for something the device cannot do.
    std::shared_ptr<RenderPipelineState> newRenderPipelineState(
        const RenderPipelineDescriptor& descriptor, std::string* error = nullptr);
    std::shared_ptr<ComputePipelineState> newComputePipelineState(
        const std::shared_ptr<Function>& function, std::string* error = nullptr);

    // Width of the execution pool (threads working on one command buffer), at least 1.
    void setThreadCount(int threads);
    int threadCount() const;
    ThreadPool& pool() { return *pool_; }

  private:
    std::unique_ptr<ThreadPool> pool_;
};

}  // namespace velmar::gpu
