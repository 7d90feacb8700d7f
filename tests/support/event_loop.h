#pragma once

#include <functional>

namespace velmar::test {

// Runs the main thread's event loop until the condition holds or the real-time limit passes.
// Returns the condition's final value.
bool waitUntil(const std::function<bool()>& condition, double timeoutSeconds = 10.0);

// Runs the main thread's event loop until the condition holds, however long the machine takes
// (a hang is left to the test runner's own limit).
void waitFor(const std::function<bool()>& condition);

// Runs everything already queued on the main thread's event loop.
void drainMainQueue();

}  // namespace velmar::test
