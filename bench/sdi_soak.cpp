// Soak run of the SDI playback bridge on the virtual card in real time: 1080p59.94 BGRA with
// embedded audio for N seconds (first argument, default 10), a trivial frame provider that
// stamps each ring buffer, and a counting audio source. Prints frames played, late and dropped,
// audio underruns, and the drift of the video and audio timelines against the host clock.
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/zr_deck_link_output.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace velmar;

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    VirtualSdiConfig config = VirtualSdiConfig::defaultConfig();
    config.clock = SdiClockMode::realTime;
    VirtualSdiCard card(config);
    const std::uint32_t modeCode = fourCC("F59p");
    std::shared_ptr<SdiOutput> output = card.deviceAtIndex(0)->output();
    const std::optional<SdiDisplayMode> mode = output->displayMode(modeCode);
    if (!mode) {
        std::fprintf(stderr, "no 1080p59.94 mode on the virtual card\n");
        return 1;
    }

    std::vector<ZRFrameBuffer> ring;
    for (int i = 0; i < 4; ++i) {
        ring.push_back(ZRFrameBuffer::allocate(mode->width, mode->height,
                                               ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat::bgra8, mode->width),
                                               SdiPixelFormat::bgra8));
    }
    std::atomic<long long> requests{0};
    auto frameRequest = [&]() -> long long {
        const long long n = requests++;
        const long long slot = n % 4;
        std::memcpy(ring[static_cast<size_t>(slot)].bytes(), &n, sizeof n);
        return slot;
    };
    std::atomic<long long> audioFrames{0};
    auto audioRequest = [&](std::int32_t* samples, long long frames) {
        const long long base = audioFrames.fetch_add(frames);
        for (long long i = 0; i < frames; ++i) {
            samples[2 * i] = samples[2 * i + 1] = static_cast<std::int32_t>(base + i);
        }
    };

    ZRDeckLinkOutput bridge(&card);
    ZRDeckLinkError error;
    const auto started = std::chrono::steady_clock::now();
    if (!bridge.start(0, modeCode, ring, false, false, frameRequest, audioRequest, &error)) {
        std::fprintf(stderr, "start failed: %d %s\n", error.code, error.message.toUtf8().constData());
        return 1;
    }
    const auto until = started + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(100));

    long long onAir = 0;
    output->scheduledStreamTime(mode->timeScale, &onAir);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const SdiOutputCounters c = output->counters();
    const bool stalled = bridge.isStalled();
    const std::uint64_t dropped = bridge.droppedFrameCount();
    bridge.stop();

    const double videoSeconds = static_cast<double>(onAir) / static_cast<double>(mode->timeScale);
    std::printf("mode                 %s (%lldx%lld @ %lld/%lld)\n", mode->name.c_str(), mode->width,
                mode->height, mode->timeScale, mode->frameDuration);
    std::printf("run                  %.3f s\n", elapsed);
    std::printf("frame times          %lld\n", c.ticks);
    std::printf("frames played        %lld (on time %lld, late %lld)\n",
                c.framesCompleted + c.framesDisplayedLate, c.framesCompleted, c.framesDisplayedLate);
    std::printf("frames dropped       %lld (card), bridge dropped count %llu\n", c.framesDropped,
                static_cast<unsigned long long>(dropped));
    std::printf("repeated pictures    %lld\n", c.underruns);
    std::printf("schedules refused    %lld\n", c.schedulesRefused);
    std::printf("audio scheduled      %lld sample frames, played %lld, underruns %lld, gaps %lld\n",
                c.audioSamplesScheduled, c.audioSamplesPlayed, c.audioSamplesMissing, c.audioDiscontinuities);
    std::printf("audio vs video       %lld sample frames (expected %lld for the frames played)\n",
                c.audioSamplesPlayed, mode->audioSamplesThrough(c.ticks));
    std::printf("video drift          %+.3f ms (frame on air vs host clock, within one frame is normal)\n",
                (videoSeconds - elapsed) * 1000.0);
    std::printf("stalled              %s\n", stalled ? "yes" : "no");
    return 0;
}
