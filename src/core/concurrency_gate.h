#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace velmar {

// Admits at most `limit` pieces of work at once, strictly first in, first out. acquire() runs
// `admitted` at once on the caller's thread when a slot is free; otherwise it is kept and run
// later on the thread that calls release(), which hands its slot straight to that waiter.
// Every acquire is matched by exactly one release, made when the admitted work has really
// stopped. There is no time-out. Thread-safe.
class ConcurrencyGate {
  public:
    explicit ConcurrencyGate(int limit = 2);

    void acquire(std::function<void()> admitted);
    void release();

    int limit() const { return limit_; }
    int running() const;
    int waiting() const;

  private:
    const int limit_;
    mutable std::mutex mutex_;
    int running_ = 0;
    std::deque<std::function<void()>> waiting_;
};

}  // namespace velmar
