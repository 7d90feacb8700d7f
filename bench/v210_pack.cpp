// Packing one 1920 x 1080 BGRA canvas into 10-bit SDI rows on one core, beside the same job
// done with FFmpeg in the same run: libswscale (BGRA -> yuv422p10le, BT.709 limited range,
// one thread) followed by libavcodec's v210 encoder (one thread).
//   BM_V210Pack / BM_Ay10Pack: our kernels through a command buffer on a one-thread device,
//     AVX2 (arg 1) or portable (arg 0). Counters: ms per frame, peer_ms (swscale + v210
//     encoder per frame, measured in the same benchmark), x_faster (peer_ms / ms).
//   BM_FfmpegSwscaleV210: the peer alone, with its two stages' share.
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/kernels.h"
#include "platform/gpu/texture.h"
#include "render/ay10_packer.h"
#include "render/v210_packer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace velmar;

namespace {

constexpr int W = 1920, H = 1080;
using Clock = std::chrono::steady_clock;

// A busy premultiplied picture: gradients, noise and a soft key, so that nothing is flat.
std::vector<uint32_t> canvasPixels() {
    std::vector<uint32_t> px(size_t(W) * H);
    uint32_t seed = 1;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int a = std::min(255, ((x / 40 + y / 30) % 4) * 100);
            const int b = ((x * 7 + y) & 255) * a / 255,
                      g = ((x + y * 3 + int(seed >> 28)) & 255) * a / 255;
            const int r = ((x ^ y) & 255) * a / 255;
            px[size_t(y) * W + size_t(x)] =
                uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
        }
    }
    return px;
}

// libswscale + libavcodec's v210 encoder, both on one thread.
class FfmpegPeer {
  public:
    explicit FfmpegPeer(const std::vector<uint32_t>& bgra) : bgra_(bgra) {
        sws_ = sws_alloc_context();
        av_opt_set_int(sws_, "srcw", W, 0);
        av_opt_set_int(sws_, "srch", H, 0);
        av_opt_set_int(sws_, "src_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(sws_, "dstw", W, 0);
        av_opt_set_int(sws_, "dsth", H, 0);
        av_opt_set_int(sws_, "dst_format", AV_PIX_FMT_YUV422P10LE, 0);
        av_opt_set_int(sws_, "sws_flags", SWS_BILINEAR, 0);
        av_opt_set_int(sws_, "threads", 1, 0);
        if (sws_init_context(sws_, nullptr, nullptr) < 0) throw std::runtime_error("swscale");
        // Full-range RGB in, BT.709 limited-range Y'CbCr out.
        sws_setColorspaceDetails(sws_, sws_getCoefficients(SWS_CS_ITU709), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
        frame_ = av_frame_alloc();
        frame_->width = W;
        frame_->height = H;
        frame_->format = AV_PIX_FMT_YUV422P10LE;
        if (av_frame_get_buffer(frame_, 64) < 0) throw std::runtime_error("frame");
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_V210);
        if (codec == nullptr) throw std::runtime_error("no v210 encoder");
        encoder_ = avcodec_alloc_context3(codec);
        encoder_->width = W;
        encoder_->height = H;
        encoder_->pix_fmt = AV_PIX_FMT_YUV422P10LE;
        encoder_->time_base = {1, 25};
        encoder_->thread_count = 1;
        if (avcodec_open2(encoder_, codec, nullptr) < 0) throw std::runtime_error("open v210");
        packet_ = av_packet_alloc();
    }
    ~FfmpegPeer() {
        av_packet_free(&packet_);
        avcodec_free_context(&encoder_);
        av_frame_free(&frame_);
        sws_freeContext(sws_);
    }

    void convert() {
        const uint8_t* src[1] = {reinterpret_cast<const uint8_t*>(bgra_.data())};
        const int stride[1] = {W * 4};
        sws_scale(sws_, src, stride, 0, H, frame_->data, frame_->linesize);
    }
    void encode() {
        if (avcodec_send_frame(encoder_, frame_) < 0) throw std::runtime_error("send");
        if (avcodec_receive_packet(encoder_, packet_) < 0) throw std::runtime_error("receive");
        av_packet_unref(packet_);
    }
    // Seconds per frame over n frames.
    double frameSeconds(int n) {
        convert();
        encode();
        const auto t0 = Clock::now();
        for (int i = 0; i < n; ++i) {
            convert();
            encode();
        }
        return std::chrono::duration<double>(Clock::now() - t0).count() / n;
    }

  private:
    const std::vector<uint32_t>& bgra_;
    SwsContext* sws_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVPacket* packet_ = nullptr;
};

const std::vector<uint32_t>& pixels() {
    static const std::vector<uint32_t> px = canvasPixels();
    return px;
}

template <typename Packer>
void runPacker(benchmark::State& state) {
    const bool simd = state.range(0) != 0;
    if (simd && &gpu::kernels::active() == &gpu::kernels::portable()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    gpu::kernels::forcePortable(!simd);
    auto device = gpu::Device::create(1);  // one core
    auto queue = device->newCommandQueue();
    auto texture = device->newTexture({gpu::PixelFormat::BGRA8Unorm, W, H,
                                       gpu::TextureUsageShaderRead, gpu::StorageMode::Shared});
    texture->replaceRegion(pixels().data(), size_t(W) * 4);
    auto packer = Packer::create(device, W, H);
    auto out = device->newBuffer(packer->rowBytes() * H);
    auto frame = [&] {
        auto cb = queue->commandBuffer();
        packer->encode(texture, out, *cb);
        cb->commit();
        cb->waitUntilCompleted();
    };
    for (int i = 0; i < 3; ++i) frame();
    FfmpegPeer peer(pixels());
    const double peerBefore = peer.frameSeconds(10);
    const auto t0 = Clock::now();
    for (auto _ : state) frame();
    const double ours =
        std::chrono::duration<double>(Clock::now() - t0).count() / double(state.iterations());
    const double peerSeconds = std::min(peerBefore, peer.frameSeconds(10));  // its best of two
    gpu::kernels::forcePortable(false);
    state.counters["ms"] = ours * 1e3;
    state.counters["peer_ms"] = peerSeconds * 1e3;
    state.counters["x_faster"] = peerSeconds / ours;
    state.SetLabel(std::string(simd ? "avx2" : "portable") + ", peer swscale+v210enc");
}

void BM_V210Pack(benchmark::State& state) {
    runPacker<V210Packer>(state);
}
void BM_Ay10Pack(benchmark::State& state) {
    runPacker<AY10Packer>(state);
}

void BM_FfmpegSwscaleV210(benchmark::State& state) {
    FfmpegPeer peer(pixels());
    double convert = 0, encode = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        peer.convert();
        const auto t1 = Clock::now();
        peer.encode();
        convert += std::chrono::duration<double>(t1 - t0).count();
        encode += std::chrono::duration<double>(Clock::now() - t1).count();
    }
    const double n = double(state.iterations());
    state.counters["swscale_ms"] = convert / n * 1e3;
    state.counters["v210enc_ms"] = encode / n * 1e3;
}

}  // namespace

BENCHMARK(BM_V210Pack)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ay10Pack)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegSwscaleV210)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
