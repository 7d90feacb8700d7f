#include "platform/gpu/command_buffer.h"

#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/executor.h"
#include "platform/gpu/texture.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace velmar::gpu {

namespace {
constexpr size_t kReserveDraws = 16;
}

// ---- Render encoder -------------------------------------------------------------------------

void RenderCommandEncoder::setRenderPipelineState(const std::shared_ptr<RenderPipelineState>& p) {
    owner_.pipeline_ = p;
}

void RenderCommandEncoder::setVertexBytes(const void* bytes, size_t length, int index) {
    if (index != 0 || length != sizeof(owner_.vertices_) || bytes == nullptr) {
        owner_.fail("vertex data must be four float2 positions at index 0");
        return;
    }
    std::memcpy(owner_.vertices_, bytes, length);
    owner_.haveVertices_ = true;
}

void RenderCommandEncoder::setFragmentBytes(const void* bytes, size_t length, int index) {
    if (index != 0 || length > sizeof(owner_.fragmentBytes_) || bytes == nullptr) {
        owner_.fail("fragment bytes must be at most 32 bytes at index 0");
        return;
    }
    std::memcpy(owner_.fragmentBytes_, bytes, length);
    owner_.fragmentLength_ = uint32_t(length);
}

void RenderCommandEncoder::setFragmentTexture(const std::shared_ptr<Texture>& texture, int index) {
    if (index < 0 || index > 1) {
        owner_.fail("fragment texture index out of range");
        return;
    }
    owner_.fragmentTextures_[index] = texture;
}

void RenderCommandEncoder::drawPrimitives(PrimitiveType, int vertexStart, int vertexCount) {
    CommandBuffer& b = owner_;
    if (b.open_ != CommandBuffer::Open::Render) return b.fail("draw outside a render pass");
    if (!b.pipeline_) return b.fail("draw without a pipeline");
    if (!b.haveVertices_ || vertexStart != 0 || vertexCount != 4)
        return b.fail("a draw is one four-vertex quad");
    const FragmentKind kind = b.pipeline_->fragmentKind();
    const uint32_t needBytes = kind == FragmentKind::Composite ? 4
                               : kind == FragmentKind::Preview ? 0
                                                               : 16;
    if (b.fragmentLength_ < needBytes) return b.fail("fragment bytes missing");
    const int needTextures = kind == FragmentKind::Composite ? 2
                             : kind == FragmentKind::Checker ? 0
                                                             : 1;
    for (int i = 0; i < needTextures; ++i) {
        const auto& t = b.fragmentTextures_[i];
        if (!t) return b.fail("fragment texture missing");
        if (kind == FragmentKind::Composite && t->pixelFormat() != PixelFormat::BGRA8Unorm)
            return b.fail("composite layers must be BGRA8");
    }
    CommandBuffer::DrawCommand& d = b.draws_.emplace_back();
    d.pipeline = b.pipeline_;
    std::memcpy(d.vertices, b.vertices_, sizeof(d.vertices));
    std::memcpy(d.fragmentBytes, b.fragmentBytes_, sizeof(d.fragmentBytes));
    d.fragmentLength = b.fragmentLength_;
    for (int i = 0; i < 2; ++i) d.textures[i] = i < needTextures ? b.fragmentTextures_[i] : nullptr;
    b.passes_.back().drawCount += 1;
}

void RenderCommandEncoder::endEncoding() {
    owner_.open_ = CommandBuffer::Open::None;
    owner_.pipeline_.reset();
    owner_.fragmentTextures_[0].reset();
    owner_.fragmentTextures_[1].reset();
    owner_.haveVertices_ = false;
    owner_.fragmentLength_ = 0;
}

// ---- Compute encoder ------------------------------------------------------------------------

void ComputeCommandEncoder::setComputePipelineState(
    const std::shared_ptr<ComputePipelineState>& pipeline) {
    owner_.dispatch_.pipeline = pipeline;
}

void ComputeCommandEncoder::setTexture(const std::shared_ptr<Texture>& texture, int index) {
    if (index < 0 || index >= ComputeArguments::kSlots)
        return owner_.fail("texture index out of range");
    owner_.dispatch_.textures[index] = texture;
}

void ComputeCommandEncoder::setBuffer(const std::shared_ptr<Buffer>& buffer, size_t offset,
                                      int index) {
    if (index < 0 || index >= ComputeArguments::kSlots)
        return owner_.fail("buffer index out of range");
    if (buffer && offset > buffer->length()) return owner_.fail("buffer offset past its end");
    auto& binding = owner_.dispatch_.buffers[index];
    binding.buffer = buffer;
    binding.offset = offset;
    binding.inlineBytes = false;
    binding.length = 0;
}

void ComputeCommandEncoder::setBytes(const void* bytes, size_t length, int index) {
    auto& binding = owner_.dispatch_.buffers[0];
    if (index < 0 || index >= ComputeArguments::kSlots || length > sizeof(binding.bytes) ||
        bytes == nullptr)
        return owner_.fail("inline bytes out of range");
    auto& b = owner_.dispatch_.buffers[index];
    b.buffer.reset();
    std::memcpy(b.bytes, bytes, length);
    b.length = uint32_t(length);
    b.inlineBytes = true;
}

void ComputeCommandEncoder::dispatchThreads(Size3 threads, Size3 perGroup) {
    CommandBuffer& b = owner_;
    if (b.open_ != CommandBuffer::Open::Compute) return b.fail("dispatch outside a compute pass");
    if (!b.dispatch_.pipeline) return b.fail("dispatch without a pipeline");
    if (threads.width == 0 || threads.height == 0 || threads.depth == 0) return;
    CommandBuffer::DispatchCommand& d = b.dispatches_.emplace_back(b.dispatch_);
    d.grid = threads;
    d.threadsPerThreadgroup = perGroup;
    b.steps_.push_back({false, uint32_t(b.dispatches_.size() - 1)});
}

void ComputeCommandEncoder::dispatchThreadgroups(Size3 groups, Size3 perGroup) {
    dispatchThreads({groups.width * perGroup.width, groups.height * perGroup.height,
                     groups.depth * perGroup.depth},
                    perGroup);
}

void ComputeCommandEncoder::endEncoding() {
    owner_.open_ = CommandBuffer::Open::None;
    owner_.dispatch_ = {};
}

// ---- Command buffer -------------------------------------------------------------------------

CommandBuffer::CommandBuffer(CommandQueue& queue)
    : queue_(queue), renderEncoder_(*this), computeEncoder_(*this) {
    steps_.reserve(kReserveDraws);
    passes_.reserve(kReserveDraws);
    draws_.reserve(kReserveDraws);
    dispatches_.reserve(4);
    handlers_.reserve(8);
}

CommandBuffer::~CommandBuffer() = default;

std::vector<uint64_t> CommandBuffer::workDigest() const {
    if (failed_ || open_ != Open::None || passes_.empty() || !dispatches_.empty()) return {};
    std::vector<const Texture*> drawnHere;
    std::vector<uint64_t> words;
    words.reserve(4 + passes_.size() * 6 + draws_.size() * 20);
    auto add = [&words](const void* bytes, size_t length) {
        const size_t first = words.size();
        words.resize(first + (length + 7) / 8, 0);
        std::memcpy(words.data() + first, bytes, length);
    };
    for (const PassCommand& pass : passes_) {
        const Texture* target = pass.descriptor.texture.get();
        if (target == nullptr || pass.descriptor.loadAction == LoadAction::Load) return {};
        words.push_back(target->id());
        words.push_back(uint64_t(pass.descriptor.loadAction) | uint64_t(pass.drawCount) << 8);
        add(&pass.descriptor.clearColor, sizeof pass.descriptor.clearColor);
        for (uint32_t i = 0; i < pass.drawCount; ++i) {
            const DrawCommand& draw = draws_[pass.firstDraw + i];
            words.push_back(uint64_t(reinterpret_cast<uintptr_t>(draw.pipeline.get())));
            add(draw.vertices, sizeof draw.vertices);
            words.push_back(draw.fragmentLength);
            add(draw.fragmentBytes, sizeof draw.fragmentBytes);
            for (const auto& source : draw.textures) {
                if (!source) {
                    words.push_back(0);
                    continue;
                }
                words.push_back(source->id());
                if (std::find(drawnHere.begin(), drawnHere.end(), source.get()) != drawnHere.end())
                    continue;
                if (!source->contentIsTracked()) return {};
                words.push_back(source->contentVersion());
            }
        }
        drawnHere.push_back(target);
    }
    return words;
}

void CommandBuffer::fail(const char* message) {
    if (!failed_) {
        failed_ = true;
        error_ = message;
    }
}

void CommandBuffer::reset() {
    open_ = Open::None;
    pipeline_.reset();
    haveVertices_ = false;
    fragmentLength_ = 0;
    fragmentTextures_[0].reset();
    fragmentTextures_[1].reset();
    dispatch_ = {};
    steps_.clear();
    passes_.clear();
    draws_.clear();
    dispatches_.clear();
    handlers_.clear();
    priority_ = CommandPriority::normal;
    status_.store(CommandBufferStatus::NotEnqueued);
    failed_ = false;
    error_.clear();
    gpuStart_ = gpuEnd_ = 0;
    done_ = false;
    handlersFinished_ = false;
}

RenderCommandEncoder* CommandBuffer::renderCommandEncoder(const RenderPassDescriptor& d) {
    if (open_ != Open::None || status() != CommandBufferStatus::NotEnqueued) return nullptr;
    if (!d.texture) {
        fail("render pass without a colour attachment");
        return nullptr;
    }
    if (d.texture->pixelFormat() != PixelFormat::BGRA8Unorm ||
        (d.texture->usage() & TextureUsageRenderTarget) == 0) {
        fail("colour attachment must be a BGRA8 render target");
        return nullptr;
    }
    passes_.push_back({d, uint32_t(draws_.size()), 0});
    steps_.push_back({true, uint32_t(passes_.size() - 1)});
    open_ = Open::Render;
    return &renderEncoder_;
}

ComputeCommandEncoder* CommandBuffer::computeCommandEncoder() {
    if (open_ != Open::None || status() != CommandBufferStatus::NotEnqueued) return nullptr;
    open_ = Open::Compute;
    dispatch_ = {};
    return &computeEncoder_;
}

void CommandBuffer::addCompletedHandler(Handler handler) {
    std::unique_lock lock(mutex_);
    if (handlersFinished_) {
        lock.unlock();
        handler(*this);
        return;
    }
    handlers_.push_back(std::move(handler));
}

void CommandBuffer::commit() {
    if (status() != CommandBufferStatus::NotEnqueued) return;
    if (open_ != Open::None) fail("commit with an encoder still open");
    status_.store(CommandBufferStatus::Committed, std::memory_order_release);
    queue_.enqueue(shared_from_this());
}

void CommandBuffer::waitUntilCompleted() {
    std::unique_lock lock(mutex_);
    if (status() == CommandBufferStatus::NotEnqueued) return;
    completed_.wait(lock, [&] { return done_; });
}

std::string CommandBuffer::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

namespace {
double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

void CommandBuffer::execute() {
    status_.store(CommandBufferStatus::Scheduled, std::memory_order_release);
    gpuStart_ = monotonicSeconds();
    bool ok = false;
    {
        std::unique_lock lock(mutex_);
        ok = !failed_;
    }
    if (ok) Executor::run(*this, queue_.device());
    gpuEnd_ = monotonicSeconds();
    finish(ok);
}

void CommandBuffer::finish(bool ok) {
    status_.store(ok ? CommandBufferStatus::Completed : CommandBufferStatus::Error,
                  std::memory_order_release);
    // Handlers run without the lock, in the order they were added; a handler added while they
    // run goes to the end and runs too.
    for (size_t i = 0;; ++i) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            if (i >= handlers_.size()) {
                handlersFinished_ = true;
                break;
            }
            handler = std::move(handlers_[i]);
        }
        handler(*this);
    }
    // Let go of everything the work used before waking the waiters.
    steps_.clear();
    passes_.clear();
    draws_.clear();
    dispatches_.clear();
    std::lock_guard lock(mutex_);
    handlers_.clear();
}

void CommandBuffer::signalDone() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    completed_.notify_all();
}

}  // namespace velmar::gpu
