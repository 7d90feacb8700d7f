#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar::gpu {

class CommandBuffer;
class Device;

// An in-order queue: command buffers run one after another in the order they were committed,
// on the queue's own worker thread, each spread over the device's thread pool; a buffer of a
// higher priority (CommandPriority) runs before lower ones committed earlier. Command
// buffers are pooled and reused once nobody holds them any more, so a steady frame loop
// allocates nothing. Thread-safe.
class CommandQueue {
  public:
    explicit CommandQueue(std::shared_ptr<Device> device);
    ~CommandQueue();

    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // A fresh command buffer (never null).
    std::shared_ptr<CommandBuffer> commandBuffer();

    Device& device() { return *device_; }

  private:
    friend class CommandBuffer;
    void enqueue(std::shared_ptr<CommandBuffer> buffer);
    void run();

    std::shared_ptr<Device> device_;
    std::mutex poolMutex_;
    std::vector<std::shared_ptr<CommandBuffer>> pool_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<CommandBuffer>> pending_;  // in commit order
    // The buffer the worker finished last. The worker parks it here rather than dropping it
    // after waking its waiters, so that a waiter asking for the next buffer at once can reuse it.
    std::shared_ptr<CommandBuffer> retired_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace velmar::gpu
