#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar::gpu {

// A persistent set of threads that run one indexed job at a time: run(count, fn) calls fn(i)
// for every i in 0..count-1, spread over the helpers and the calling thread, and returns when
// all calls are done. Which thread runs which index varies; results must not depend on it.
// Jobs from several callers are run one after another. No allocation per job.
class ThreadPool {
  public:
    // `threads` counts the calling thread: 1 means no helper threads.
    explicit ThreadPool(int threads);
    ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // The processors this process may run on (its affinity mask), at least 1: the width of a
    // pool that should use the whole machine it was given.
    static int usableCores();

    // Changes the width (at least 1); waits for a running job first.
    void setThreadCount(int threads);
    int threadCount() const;

    template <typename F>
    void run(int count, F& fn) {
        runRaw(
            count, [](void* ctx, int i) { (*static_cast<F*>(ctx))(i); }, &fn);
    }

  private:
    using RawFn = void (*)(void*, int);
    void runRaw(int count, RawFn fn, void* ctx);
    void startHelpers(int helpers);
    void stopHelpers();
    void helperLoop(uint64_t seen);
    void work();

    std::mutex runMutex_;  // one job at a time
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<std::thread> helpers_;
    uint64_t generation_ = 0;
    int finished_ = 0;
    bool stopping_ = false;
    RawFn fn_ = nullptr;
    void* ctx_ = nullptr;
    int count_ = 0;
    std::atomic<int> next_{0};
};

}  // namespace velmar::gpu
