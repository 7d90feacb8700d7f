#include "platform/gpu/thread_pool.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace velmar::gpu {

ThreadPool::ThreadPool(int threads) {
    startHelpers(std::max(1, threads) - 1);
}

ThreadPool::~ThreadPool() {
    std::lock_guard run(runMutex_);
    stopHelpers();
}

void ThreadPool::setThreadCount(int threads) {
    std::lock_guard run(runMutex_);
    const int helpers = std::max(1, threads) - 1;
    if (helpers == int(helpers_.size())) return;
    stopHelpers();
    startHelpers(helpers);
}

int ThreadPool::usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
}

int ThreadPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return int(helpers_.size()) + 1;
}

void ThreadPool::startHelpers(int helpers) {
    uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
        generation = generation_;
    }
    // Each helper starts from the generation current now, so a job posted before the thread
    // gets going is still seen as new.
    for (int i = 0; i < helpers; ++i) {
        helpers_.emplace_back([this, generation] { helperLoop(generation); });
        pthread_setname_np(helpers_.back().native_handle(), "velmar.gpu");
    }
}

void ThreadPool::stopHelpers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : helpers_) t.join();
    helpers_.clear();
}

void ThreadPool::work() {
    for (;;) {
        const int i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= count_) return;
        fn_(ctx_, i);
    }
}

void ThreadPool::helperLoop(uint64_t seen) {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
        }
        work();
        {
            std::lock_guard lock(mutex_);
            ++finished_;
        }
        done_.notify_one();
    }
}

void ThreadPool::runRaw(int count, RawFn fn, void* ctx) {
    if (count <= 0) return;
    std::lock_guard run(runMutex_);
    if (helpers_.empty() || count == 1) {
        for (int i = 0; i < count; ++i) fn(ctx, i);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        fn_ = fn;
        ctx_ = ctx;
        count_ = count;
        next_.store(0, std::memory_order_relaxed);
        finished_ = 0;
        ++generation_;
    }
    wake_.notify_all();
    work();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finished_ == int(helpers_.size()); });
}

}  // namespace velmar::gpu
