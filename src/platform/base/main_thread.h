#pragma once

#include <functional>

class QObject;

namespace velmar {

// Queues the work on the main thread's event loop (the thread of the application object).
// With a context object, the work is dropped when the context is destroyed before it runs.
void postToMain(std::function<void()> work);
void postToMain(QObject* context, std::function<void()> work);

// True on the thread that owns the application object.
bool isMainThread();

}  // namespace velmar
