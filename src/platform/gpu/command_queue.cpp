#include "platform/gpu/command_queue.h"

#include "platform/gpu/command_buffer.h"

#include <pthread.h>

namespace velmar::gpu {

namespace {
// Buffers kept for reuse; more than this in flight at once are made and dropped as needed.
constexpr size_t kPoolLimit = 32;
}  // namespace

CommandQueue::CommandQueue(std::shared_ptr<Device> device) : device_(std::move(device)) {
    worker_ = std::thread([this] { run(); });
    pthread_setname_np(worker_.native_handle(), "velmar.gpu.queue");
}

CommandQueue::~CommandQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::shared_ptr<CommandBuffer> CommandQueue::commandBuffer() {
    std::lock_guard lock(poolMutex_);
    for (auto& buffer : pool_) {
        // Only the pool holds it: nobody can reach it, and the worker has let it go.
        if (buffer.use_count() == 1) {
            buffer->reset();
            return buffer;
        }
    }
    auto buffer = std::make_shared<CommandBuffer>(*this);
    if (pool_.size() < kPoolLimit) pool_.push_back(buffer);
    return buffer;
}

void CommandQueue::enqueue(std::shared_ptr<CommandBuffer> buffer) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(buffer));
    }
    wake_.notify_one();
}

void CommandQueue::run() {
    for (;;) {
        std::shared_ptr<CommandBuffer> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (pending_.empty()) return;  // stopping, and everything committed has run
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        next->execute();
    }
}

}  // namespace velmar::gpu
