#pragma once

#include "platform/gpu/gpu_types.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmar::gpu {

class Buffer;
class CommandBuffer;
class CommandQueue;
class ComputePipelineState;
class RenderPipelineState;
class Texture;

struct RenderPassDescriptor {
    std::shared_ptr<Texture> texture;  // colour attachment 0
    LoadAction loadAction = LoadAction::Clear;
    StoreAction storeAction = StoreAction::Store;
    ClearColor clearColor;
    // The pass only redraws what it drew last time when nothing it reads has changed: when the
    // attachment still holds the result of an identical pass (same clear, draws, fragment
    // bytes and source textures whose content has not changed since), the pass is not run
    // again. Honoured for clearing passes of at most one draw whose sources are tracked
    // (Texture::contentIsTracked); any other pass simply runs.
    // While what such a pass draws changes from one command buffer to the next, and the only
    // reader of its attachment is a later 1:1 composite of the same command buffer, the pass is
    // drawn inside that composite and its attachment is left without a defined picture (it is
    // an intermediate layer, never read by anyone else).
    bool reusable = false;
};

// Records the draws of one render pass. Every draw is one quad: a four-vertex triangle strip
// whose positions (normalised device coordinates, y up) come from setVertexBytes at index 0
// in the order bottom-left, bottom-right, top-left, top-right of the source picture.
class RenderCommandEncoder {
  public:
    void setRenderPipelineState(const std::shared_ptr<RenderPipelineState>& pipeline);
    void setVertexBytes(const void* bytes, size_t length, int index);
    void setFragmentBytes(const void* bytes, size_t length, int index);
    void setFragmentTexture(const std::shared_ptr<Texture>& texture, int index);
    void drawPrimitives(PrimitiveType type, int vertexStart, int vertexCount);
    void endEncoding();

  private:
    friend class CommandBuffer;
    explicit RenderCommandEncoder(CommandBuffer& owner) : owner_(owner) {}
    CommandBuffer& owner_;
};

// Records compute dispatches.
class ComputeCommandEncoder {
  public:
    void setComputePipelineState(const std::shared_ptr<ComputePipelineState>& pipeline);
    void setTexture(const std::shared_ptr<Texture>& texture, int index);
    void setBuffer(const std::shared_ptr<Buffer>& buffer, size_t offset, int index);
    void setBytes(const void* bytes, size_t length, int index);  // at most 64 bytes
    void dispatchThreadgroups(Size3 threadgroups, Size3 threadsPerThreadgroup);
    void dispatchThreads(Size3 threads, Size3 threadsPerThreadgroup);
    void endEncoding();

  private:
    friend class CommandBuffer;
    explicit ComputeCommandEncoder(CommandBuffer& owner) : owner_(owner) {}
    CommandBuffer& owner_;
};

enum class CommandBufferStatus { NotEnqueued, Enqueued, Committed, Scheduled, Completed, Error };

// How soon the queue's worker takes a committed buffer: always the oldest one of the highest
// priority waiting, so a frame that a card or a screen is waiting for never waits behind
// preview, feed or probe work committed before it (at most behind the one buffer already
// running). Within one priority the commit order holds. Buffers of different priorities may
// therefore pass one another: give a higher priority only to work that reads nothing the
// lower-priority work in flight writes (each client here draws into its own targets).
enum class CommandPriority { normal, screenOutput, cardOutput };

// One unit of GPU work: render passes and compute dispatches, recorded quickly on the caller's
// thread (under its lock if it likes: encoding only copies a few values), executed after
// commit() on the queue's worker in commit order. The buffer holds every texture and buffer it
// uses until it has completed. Completion handlers run on the queue's worker after the work,
// in the order they were added; waitUntilCompleted() returns after they have run.
// Encoding mistakes (a draw without a pipeline, a missing texture, a wrong attachment) do not
// throw: the buffer ends in status Error with a message, and nothing of it is executed.
class CommandBuffer : public std::enable_shared_from_this<CommandBuffer> {
  public:
    using Handler = std::function<void(CommandBuffer&)>;

    explicit CommandBuffer(CommandQueue& queue);
    ~CommandBuffer();

    // Null while another encoder is open or after commit.
    RenderCommandEncoder* renderCommandEncoder(const RenderPassDescriptor& descriptor);
    ComputeCommandEncoder* computeCommandEncoder();
    std::unique_ptr<class BlitCommandEncoder> makeBlitCommandEncoder();  // blit_encoder.h

    void addCompletedHandler(Handler handler);
    // Before commit; a reused buffer starts at normal.
    void setPriority(CommandPriority priority) { priority_ = priority; }
    CommandPriority priority() const { return priority_; }
    void commit();
    // Returns once the buffer has completed (at once when it was never committed).
    void waitUntilCompleted();

    CommandBufferStatus status() const { return status_.load(std::memory_order_acquire); }
    // Words naming the recorded work so that two buffers with equal, non-empty digests leave
    // the same bytes in every texture they draw into: the same passes (targets by id, clear
    // colours), draws (pipelines, vertices, fragment bytes) and sources. A source drawn by an
    // earlier pass of the same buffer counts by id; any other by id and content version, and
    // must have its content tracked (Texture::contentIsTracked). Empty when the work cannot be
    // named that way: nothing recorded, an encoding error, a compute dispatch, or a pass that
    // loads its target's bytes. Call before commit, on the encoding thread.
    std::vector<uint64_t> workDigest() const;
    std::string error() const;
    // Monotonic seconds at which execution started and ended (0 before).
    double gpuStartTime() const { return gpuStart_; }
    double gpuEndTime() const { return gpuEnd_; }

    // Internal: the recorded work, read by the executor.
    struct DrawCommand {
        std::shared_ptr<RenderPipelineState> pipeline;
        Float2 vertices[4];
        uint8_t fragmentBytes[32] = {};
        uint32_t fragmentLength = 0;
        std::shared_ptr<Texture> textures[2];
    };
    struct PassCommand {
        RenderPassDescriptor descriptor;
        uint32_t firstDraw = 0;
        uint32_t drawCount = 0;
    };
    struct Binding {
        std::shared_ptr<Buffer> buffer;
        size_t offset = 0;
        uint8_t bytes[64] = {};
        uint32_t length = 0;
        bool inlineBytes = false;
    };
    struct DispatchCommand {
        std::shared_ptr<ComputePipelineState> pipeline;
        std::shared_ptr<Texture> textures[8];
        Binding buffers[8];
        Size3 grid;
        Size3 threadsPerThreadgroup;
    };
    struct Step {
        bool isPass = true;
        uint32_t index = 0;
    };

  private:
    friend class RenderCommandEncoder;
    friend class ComputeCommandEncoder;
    friend class CommandQueue;
    friend struct Executor;

    void fail(const char* message);
    void reset();
    void execute();  // on the queue's worker
    void finish(bool ok);
    void signalDone();  // wakes waitUntilCompleted()

    CommandQueue& queue_;
    RenderCommandEncoder renderEncoder_;
    ComputeCommandEncoder computeEncoder_;
    enum class Open { None, Render, Compute } open_ = Open::None;

    // The state being recorded by the open encoder.
    std::shared_ptr<RenderPipelineState> pipeline_;
    Float2 vertices_[4];
    bool haveVertices_ = false;
    uint8_t fragmentBytes_[32] = {};
    uint32_t fragmentLength_ = 0;
    std::shared_ptr<Texture> fragmentTextures_[2];
    DispatchCommand dispatch_;

    std::vector<Step> steps_;
    std::vector<PassCommand> passes_;
    std::vector<DrawCommand> draws_;
    std::vector<DispatchCommand> dispatches_;
    std::vector<Handler> handlers_;

    CommandPriority priority_ = CommandPriority::normal;
    std::atomic<CommandBufferStatus> status_{CommandBufferStatus::NotEnqueued};
    bool failed_ = false;
    std::string error_;
    double gpuStart_ = 0;
    double gpuEnd_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable completed_;
    bool done_ = false;
    bool handlersFinished_ = false;
};

}  // namespace velmar::gpu
