// Cost of a renderer's copy of the engine's output state, read from 1 and 4 threads while a
// publisher rebuilds the record at 120 Hz (the rate of the fade clock). Counters: the copy's
// time, and allocations per copy (target: none), beside an uncontended mutex lock/unlock as the
// floor of any locked copy.
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

namespace {

std::atomic<long long> allocations{0};
thread_local bool counting = false;

}  // namespace

void* operator new(std::size_t size) {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

struct Rig {
    QTemporaryDir dir;
    velmar::PlayoutLog log{dir.path(), velmar::HostClock::system(), velmar::TimerFactory::system()};
    std::unique_ptr<velmar::PlayoutEngine> engine;
    std::atomic<bool> running{true};
    std::thread publisher;

    Rig() {
        velmar::PlayoutEngine::Services s;
        s.clock = &velmar::HostClock::system();
        s.timers = &velmar::TimerFactory::system();
        s.log = &log;
        engine = std::make_unique<velmar::PlayoutEngine>(s);
        publisher = std::thread([this] {
            while (running) {
                engine->refreshOutputState();
                std::this_thread::sleep_for(std::chrono::microseconds(8333));
            }
        });
    }
    ~Rig() {
        running = false;
        publisher.join();
    }
};

Rig* rig = nullptr;

void BM_OutputStateCopy(benchmark::State& state) {
    if (state.thread_index() == 0) rig = new Rig;
    counting = true;
    const long long before = allocations.load();
    double sum = 0;
    for (auto _ : state) {
        const auto copy = rig->engine->outputState();
        sum += copy.opacity;
    }
    const long long after = allocations.load();
    counting = false;
    benchmark::DoNotOptimize(sum);
    state.counters["allocs_per_copy"] = benchmark::Counter(
        static_cast<double>(after - before) / static_cast<double>(state.iterations()),
        benchmark::Counter::kAvgThreads);
    if (state.thread_index() == 0) {
        delete rig;
        rig = nullptr;
    }
}
BENCHMARK(BM_OutputStateCopy)->Threads(1)->Threads(4)->UseRealTime();

void BM_MutexFloor(benchmark::State& state) {
    static std::mutex m;
    for (auto _ : state) {
        std::lock_guard lock(m);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MutexFloor)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
