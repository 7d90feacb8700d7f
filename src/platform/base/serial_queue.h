#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace velmar {

// One worker thread that runs submitted work in submission order. The thread carries the
// queue's label as its name (cut to the 15 characters Linux allows), so a stack dump or `top -H`
// shows which queue is busy. Destruction runs the work already queued, then joins.
class SerialQueue {
  public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Queues the work and returns at once.
    void async(std::function<void()> work);

    // Runs the work on the queue after everything queued before it, and waits for it.
    // Must not be called from the queue's own thread (it would wait for itself).
    void sync(const std::function<void()>& work);

    // Waits until everything queued so far has run.
    void waitUntilIdle();

    // True when called from this queue's worker thread.
    bool isCurrent() const;

    const std::string& label() const { return label_; }

  private:
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace velmar
