// One 1920 x 1080 frame through the texture server: the GPU copy into a staging buffer, the copy
// into the shared ring when the command buffer completes, and the notices; with no receiver,
// one receiver that copies every frame out on its own thread, and that one plus one that has
// stopped reading. Counters: "allocs_per_frame" (allocations of the whole program per frame,
// receivers included; they allocate nothing once running), "notices_dropped" per frame.
#include "allocation_counter.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "platform/texshare/runtime/texshare_api.h"
#include "platform/texshare/texture_server.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

using namespace velmar;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A receiver through the C client; a reading one copies each new frame on its own thread.
class Receiver {
  public:
    Receiver(const char* name, bool reads)
        : client_(velmar_texshare_client_connect(name)), bytes_(size_t(kWidth) * kHeight * 4) {
        if (reads) thread_ = std::thread([this] { run(); });
    }
    ~Receiver() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        velmar_texshare_client_destroy(client_);
    }

  private:
    void run() {
        uint64_t last = 0;
        while (!stop_) {
            VelmarTexShareFrameInfo info;
            if (velmar_texshare_client_copy_frame(client_, last, bytes_.data(), bytes_.size(),
                                                  &info) == 1)
                last = info.number;
            else
                velmar_texshare_client_wait(client_, 10);
        }
    }

    VelmarTexShareClient* client_;
    std::vector<uint8_t> bytes_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void publish(benchmark::State& state, int reading, int stalled) {
    QTemporaryDir directory;
    setenv("XDG_RUNTIME_DIR", directory.path().toUtf8().constData(), 1);
    auto device = gpu::Device::create(4);
    auto queue = device->newCommandQueue();
    auto server = texshare::TextureServer::create("bench", device);
    gpu::TextureDescriptor d{gpu::PixelFormat::BGRA8Unorm, kWidth, kHeight,
                             gpu::TextureUsageShaderRead, gpu::StorageMode::Shared};
    auto texture = device->newTexture(d);
    std::vector<std::unique_ptr<Receiver>> receivers;
    for (int i = 0; i < reading + stalled; ++i)
        receivers.push_back(std::make_unique<Receiver>("bench", i < reading));
    server->clientCount();
    auto frame = [&] {
        auto cb = queue->commandBuffer();
        server->publishFrameTexture(texture, *cb, {0, 0, kWidth, kHeight}, true);
        cb->commit();
        cb->waitUntilCompleted();
    };
    for (int i = 0; i < 8; ++i) frame();  // sizes settle, pools fill
    const long allocationsBefore = gAllocations.load();
    const auto dropsBefore = server->stats().noticesDropped;
    for (auto _ : state) {
        frame();
        server->hasClients();  // the feed's poll on every tick
    }
    const double frames = double(state.iterations());
    state.counters["allocs_per_frame"] = double(gAllocations.load() - allocationsBefore) / frames;
    state.counters["notices_dropped"] =
        double(server->stats().noticesDropped - dropsBefore) / frames;
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}

void BM_NoReceiver(benchmark::State& state) {
    publish(state, 0, 0);
}
void BM_OneReceiver(benchmark::State& state) {
    publish(state, 1, 0);
}
void BM_OneReceiverAndOneStalled(benchmark::State& state) {
    publish(state, 1, 1);
}

}  // namespace

BENCHMARK(BM_NoReceiver)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneReceiver)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneReceiverAndOneStalled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
