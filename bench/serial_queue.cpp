// Hand-off cost of the serial queue beside a plain mutex-guarded append, the two ways a writer
// can pass work to the background without waiting for it.
#include "platform/base/serial_queue.h"

#include <benchmark/benchmark.h>

#include <mutex>
#include <vector>

static void BM_SerialQueueAsync(benchmark::State& state) {
    velmar::SerialQueue queue("bench.queue");
    long counter = 0;
    for (auto _ : state) {
        queue.async([&counter] { ++counter; });
    }
    queue.waitUntilIdle();
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_SerialQueueAsync);

static void BM_MutexAppend(benchmark::State& state) {
    std::mutex m;
    std::vector<long> items;
    items.reserve(1 << 20);
    for (auto _ : state) {
        std::lock_guard lock(m);
        if (items.size() == items.capacity()) items.clear();
        items.push_back(1);
    }
    benchmark::DoNotOptimize(items.data());
}
BENCHMARK(BM_MutexAppend);

BENCHMARK_MAIN();
