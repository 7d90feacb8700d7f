#include "core/concurrency_gate.h"

#include <algorithm>

namespace velmar {

ConcurrencyGate::ConcurrencyGate(int limit) : limit_(std::max(1, limit)) {}

void ConcurrencyGate::acquire(std::function<void()> admitted) {
    {
        std::lock_guard lock(mutex_);
        if (running_ >= limit_) {
            waiting_.push_back(std::move(admitted));
            return;
        }
        ++running_;
    }
    if (admitted) admitted();
}

void ConcurrencyGate::release() {
    std::function<void()> next;
    {
        std::lock_guard lock(mutex_);
        if (waiting_.empty()) {
            running_ = std::max(running_ - 1, 0);
            return;
        }
        // The slot passes to the first waiter: `running_` stays as it is.
        next = std::move(waiting_.front());
        waiting_.pop_front();
    }
    if (next) next();
}

int ConcurrencyGate::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

int ConcurrencyGate::waiting() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(waiting_.size());
}

}  // namespace velmar
