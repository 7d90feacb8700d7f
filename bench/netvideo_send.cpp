// One asynchronous send of a 1920 x 1080 BGRA picture to the network-video runtime, beside a
// memcpy of the same bytes: with one receiver, four receivers, and one receiver plus one that
// has stopped reading. Receivers are sockets in this process read by their own threads (the
// stopped one is never read). Counter "x_memcpy": time per send / time per memcpy.
#include "platform/netvideo/netvideo_api.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace velmar;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kBytes = size_t(kWidth) * kHeight * 4;

const VelmarNetVideoApi* runtimeApi() {
    static const VelmarNetVideoApi* api = [] {
        const auto exe = std::filesystem::read_symlink("/proc/self/exe");
        const auto path = exe.parent_path().parent_path() / "src" / kNetVideoLibraryName;
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto load =
            handle
                ? reinterpret_cast<VelmarNetVideoLoadFunction>(::dlsym(handle, kNetVideoEntryPoint))
                : nullptr;
        return load ? load() : nullptr;
    }();
    return api;
}

double memcpySeconds(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst) {
    const int n = 20;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        std::memcpy(dst.data(), src.data(), kBytes);
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
}

// A connected receiver; a reading one drains the socket on its own thread.
class Receiver {
  public:
    Receiver(int port, bool reads) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (reads)
            thread_ = std::thread([this] {
                std::vector<char> buffer(1 << 20);
                while (::recv(fd_, buffer.data(), buffer.size(), 0) > 0) {
                }
            });
    }
    ~Receiver() {
        ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }

  private:
    int fd_ = -1;
    std::thread thread_;
};

void BM_Send(benchmark::State& state) {
    const VelmarNetVideoApi* api = runtimeApi();
    if (!api || !api->initialize()) {
        state.SkipWithError("no runtime");
        return;
    }
    const int readers = int(state.range(0));
    const bool withStopped = state.range(1) != 0;
    const std::string dir = std::filesystem::temp_directory_path() / "velmar-bench-netvideo";
    std::filesystem::create_directories(dir);
    // The runtime writes its address file only in a folder closed to others.
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    VelmarNetVideoSenderSettings settings{"bench", nullptr, 0, 0};
    VelmarNetVideoSender* sender = api->sendCreate(&settings);
    std::string address;
    std::getline(std::ifstream(dir + "/bench.netvideo"), address);
    const int port = std::stoi(address.substr(address.find(':') + 1));

    std::vector<std::unique_ptr<Receiver>> receivers;
    for (int i = 0; i < readers; ++i) receivers.push_back(std::make_unique<Receiver>(port, true));
    if (withStopped) receivers.push_back(std::make_unique<Receiver>(port, false));
    const int expected = readers + (withStopped ? 1 : 0);
    while (api->sendGetConnections(sender, 0) < expected)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::vector<uint8_t> frames[2] = {std::vector<uint8_t>(kBytes, 0x40),
                                      std::vector<uint8_t>(kBytes, 0x80)};
    std::vector<uint8_t> scratch(kBytes);
    VelmarNetVideoVideoFrame frame{};
    frame.xres = kWidth;
    frame.yres = kHeight;
    frame.fourCC = kNetVideoFourCCBGRA;
    frame.frameRateN = 30000;
    frame.frameRateD = 1001;
    frame.lineStrideInBytes = kWidth * 4;
    int index = 0;
    double seconds = 0;
    for (auto _ : state) {
        frame.data = frames[index ^= 1].data();
        const auto t0 = std::chrono::steady_clock::now();
        api->sendVideoAsync(sender, &frame);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        // Paced like a 30 fps feed, so the receivers are served between sends.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    api->sendVideoAsync(sender, nullptr);
    const double copy = memcpySeconds(frames[0], scratch);
    state.counters["ms_per_send"] = seconds / double(state.iterations()) * 1e3;
    state.counters["ms_memcpy"] = copy * 1e3;
    state.counters["x_memcpy"] = seconds / double(state.iterations()) / copy;
    state.counters["receivers_left"] = api->sendGetConnections(sender, 0);
    receivers.clear();
    api->sendDestroy(sender);
}

}  // namespace

BENCHMARK(BM_Send)
    ->ArgNames({"readers", "stopped"})
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({1, 1})
    ->Iterations(60)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
