#pragma once

#include <QByteArray>

#include <functional>

namespace velmar::test {

// Runs work in a forked child process, so that a crash or a memory balloon cannot take the test
// program with it, and measures how far the child's resident memory grew while it ran.
class ChildProbe {
  public:
    struct Result {
        bool exited = false;  // false: killed by a signal (crash) or never finished
        QByteArray output;    // what work returned
        qint64 growthBytes = 0;
    };
    // warmUp runs first and is not counted (libraries load their plugins on first use).
    static Result run(const std::function<void()>& warmUp, const std::function<QByteArray()>& work);
    // For work that might wait for ever (a pipe opened as a file): the child's alarm ends it
    // after `seconds` (a stuck child is tried once more), so that the test fails then instead of
    // holding the suite. The default is ample for work that does not wait.
    static constexpr unsigned kHangSeconds = 5;
    static Result within(const std::function<QByteArray()>& work, unsigned seconds = kHangSeconds);
};

}  // namespace velmar::test
