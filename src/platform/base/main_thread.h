#pragma once

#include <functional>

class QObject;

namespace velmar {

// Queues the work on the main thread's event loop (the thread of the application object).
// With a context object, the work is dropped when the context is destroyed before it runs; the
// context must be alive at the call, so pass one only from the thread that owns it. Work posted
// from other threads captures a QPointer and tests it when it runs on the main thread instead.
void postToMain(std::function<void()> work);
void postToMain(QObject* context, std::function<void()> work);

// True on the thread that owns the application object.
bool isMainThread();

}  // namespace velmar
