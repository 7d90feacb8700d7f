#include "platform/base/work_pool.h"

#include <pthread.h>

#include <algorithm>

namespace velmar {

WorkPool::WorkPool(std::string label, std::vector<int> laneLimits) : label_(std::move(label)) {
    lanes_.resize(laneLimits.size());
    for (std::size_t i = 0; i < lanes_.size(); ++i) lanes_[i].limit = std::max(1, laneLimits[i]);
}

WorkPool::~WorkPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

int WorkPool::runnableCount() const {
    int count = 0;
    for (const Lane& lane : lanes_) {
        count += std::min(static_cast<int>(lane.queued.size()), lane.limit - lane.running);
    }
    return count;
}

bool WorkPool::async(std::size_t lane, std::function<void()> work) {
    if (lane >= lanes_.size() || !work) return false;
    {
        std::lock_guard lock(mutex_);
        lanes_[lane].queued.push_back(std::move(work));
        ++busy_;
        // Every job that may start now has a thread to start on. Threads never outnumber the
        // running jobs plus the runnable ones, so they stay within the sum of the limits.
        if (idleThreads_ < runnableCount()) {
            ++idleThreads_;
            threads_.emplace_back([this] { run(); });
            const std::string name = label_.substr(0, 15);
            pthread_setname_np(threads_.back().native_handle(), name.c_str());
        }
    }
    wake_.notify_all();
    return true;
}

void WorkPool::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return busy_ == 0; });
}

int WorkPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(threads_.size());
}

void WorkPool::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return runnableCount() > 0 || (stopping_ && busy_ == 0); });
        if (runnableCount() == 0) return;  // stopping and drained
        std::size_t pick = nextLane_;
        for (std::size_t k = 0; k < lanes_.size(); ++k) {
            const std::size_t i = (nextLane_ + k) % lanes_.size();
            if (!lanes_[i].queued.empty() && lanes_[i].running < lanes_[i].limit) {
                pick = i;
                break;
            }
        }
        nextLane_ = (pick + 1) % lanes_.size();
        Lane& lane = lanes_[pick];
        std::function<void()> job = std::move(lane.queued.front());
        lane.queued.pop_front();
        ++lane.running;
        --idleThreads_;
        lock.unlock();
        job();
        job = nullptr;  // whatever it holds goes before the next wait
        lock.lock();
        --lane.running;
        ++idleThreads_;
        --busy_;
        // A job of this lane held back by its limit may start now; the pool may be drained.
        wake_.notify_all();
        if (busy_ == 0) idle_.notify_all();
    }
}

}  // namespace velmar
