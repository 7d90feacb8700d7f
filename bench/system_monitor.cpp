// One system-load sample of a process with 64 threads beside the least it can cost: reading the
// same /proc files (every thread's stat and the memory roll-up) in a bare loop. The sample also
// parses, differences and reads the power supplies.
#include "app/system_monitor.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// 64 threads that wait until the benchmark ends.
class IdleThreads {
  public:
    explicit IdleThreads(int count) {
        for (int i = 0; i < count; ++i) {
            threads_.emplace_back([this] {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return done_; });
            });
        }
    }
    ~IdleThreads() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::vector<std::thread> threads_;
};

size_t readFile(const std::string& path, char* buffer, size_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    size_t used = 0;
    while (used < size) {
        const ssize_t n = ::read(fd, buffer + used, size - used);
        if (n <= 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    return used;
}

}  // namespace

static void BM_SystemMonitorSample(benchmark::State& state) {
    IdleThreads threads(64);
    velmar::SystemMonitor monitor;
    for (auto _ : state) {
        monitor.sample();
        benchmark::DoNotOptimize(monitor.cpuPercent());
    }
}
BENCHMARK(BM_SystemMonitorSample)->Unit(benchmark::kMicrosecond);

static void BM_ProcFilesBareLoop(benchmark::State& state) {
    IdleThreads threads(64);
    char buffer[2048];
    std::string path;
    for (auto _ : state) {
        size_t bytes = 0;
        if (DIR* dir = ::opendir("/proc/self/task")) {
            while (const dirent* entry = ::readdir(dir)) {
                if (entry->d_name[0] == '.') continue;
                path.assign("/proc/self/task/").append(entry->d_name).append("/stat");
                bytes += readFile(path, buffer, sizeof buffer);
            }
            ::closedir(dir);
        }
        bytes += readFile("/proc/self/smaps_rollup", buffer, sizeof buffer);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ProcFilesBareLoop)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
