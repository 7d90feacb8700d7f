#include "platform/gpu/command_queue.h"

#include "platform/gpu/command_buffer.h"

#include <pthread.h>

namespace velmar::gpu {

namespace {
// Buffers kept for reuse; more than this in flight at once are made and dropped as needed.
constexpr size_t kPoolLimit = 32;
}  // namespace

CommandQueue::CommandQueue(std::shared_ptr<Device> device) : device_(std::move(device)) {
    pending_.reserve(kPoolLimit);
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
    {
        std::lock_guard queueLock(mutex_);
        for (auto& buffer : pool_) {
            // Only the pool holds it (besides, perhaps, the worker's parking place): nobody
            // else can reach it.
            const bool parked = buffer == retired_;
            if (buffer.use_count() == (parked ? 2 : 1)) {
                if (parked) retired_.reset();
                buffer->reset();
                return buffer;
            }
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
            if (pending_.empty()) return;  // stopping, and all committed has run
            // The oldest of the highest priority waiting; the rest keep their order.
            auto chosen = pending_.begin();
            for (auto it = pending_.begin() + 1; it != pending_.end(); ++it)
                if ((*it)->priority() > (*chosen)->priority()) chosen = it;
            next = std::move(*chosen);
            pending_.erase(chosen);
        }
        next->execute();
        // Park it and wake its waiters in one step, so that a waiter that asks for the next
        // buffer at once finds this one reusable.
        std::lock_guard lock(mutex_);
        CommandBuffer* done = next.get();
        retired_ = std::move(next);
        done->signalDone();
    }
}

}  // namespace velmar::gpu
