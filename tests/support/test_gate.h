#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velmar::test {

// A gate that background jobs wait at until the test opens it; counts who is waiting, so a
// test can hold work blocked for as long as it checks something else.
class TestGate {
  public:
    void pass() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        --waiting_;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until `count` jobs wait at the gate. The limit only ends a hang; nothing waited for
    // here is slow.
    bool awaitWaiting(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return waiting_ >= count; });
    }
    int waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

}  // namespace velmar::test
