#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmar {

namespace gpu {
class Buffer;
}

// The pool of at most three shared buffers that carry pictures from the GPU to the network
// sender (one being filled, one lent to the sender, one spare), with the generation that start
// and stop bump so that pictures of an older generation are not sent. Every member takes the
// pool's lock; it is never held while sending.
class NDISlotPool {
  public:
    struct Slot {
        std::shared_ptr<gpu::Buffer> buffer;
        int width = 0;
        int height = 0;
        int rowBytes = 0;  // 4 x width
        bool busy = false;
    };
    // Makes a buffer of the given length, or null.
    using MakeBuffer = std::function<std::shared_ptr<gpu::Buffer>(size_t)>;
    static constexpr size_t kMaxSlots = 3;

    explicit NDISlotPool(MakeBuffer makeBuffer);

    // Retires the idle slots of another size, then marks busy and returns the first idle slot
    // of this size, else a new one while the pool holds fewer than three; null otherwise.
    std::shared_ptr<Slot> take(int width, int height);
    void giveBack(const std::shared_ptr<Slot>& slot);
    void clear();
    long long generation() const;
    void bumpGeneration();
    size_t size() const;

  private:
    MakeBuffer makeBuffer_;
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<Slot>> slots_;
    long long generation_ = 0;
};

}  // namespace velmar
