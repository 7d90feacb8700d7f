#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmar {

// Concurrent background work in lanes: each lane runs at most its own number of jobs at once,
// in submission order within the lane, so one kind of work (a pass that holds a thread for a
// minute, a probe that hangs) can never take the threads another kind needs. A job whose lane
// has room starts at once: threads are made on demand, up to the sum of the lanes' limits, and
// stay for the life of the pool, named by its label. Destruction runs the work already queued,
// then joins.
class WorkPool {
  public:
    // One lane per entry of `laneLimits` (each at least 1).
    WorkPool(std::string label, std::vector<int> laneLimits);
    ~WorkPool();

    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // Queues the work on the lane and returns at once. A lane outside the pool's is refused.
    bool async(std::size_t lane, std::function<void()> work);

    // Waits until every job queued so far (on any lane) has run.
    void waitUntilIdle();

    std::size_t laneCount() const { return lanes_.size(); }
    int threadCount() const;

  private:
    struct Lane {
        int limit = 1;
        int running = 0;
        std::deque<std::function<void()>> queued;
    };

    // Jobs that could start now, over all lanes. Under mutex_.
    int runnableCount() const;
    void run();

    const std::string label_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<Lane> lanes_;
    std::size_t nextLane_ = 0;  // where the next pick starts, so lanes take turns
    int idleThreads_ = 0;
    int busy_ = 0;  // jobs queued or running
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace velmar
