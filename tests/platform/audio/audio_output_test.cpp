#include "platform/audio/audio_output.h"

#include "support/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace velmar {
namespace {

class ConstantSource final : public AudioSource {
  public:
    explicit ConstantSource(float value) : value_(value) {}
    void render(float* out, int frames) override {
        for (int i = 0; i < frames * 2; ++i) out[i] = value_;
        rendered += frames;
    }
    std::atomic<long> rendered{0};

  private:
    float value_;
};

void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

TEST(AudioOutput, PullsSourcesHeadlessNeverAheadOfRealTime) {
    AudioOutput& output = AudioOutput::shared();
    ConstantSource source(0.0f);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(output.addSource(&source));
    ASSERT_TRUE(test::waitUntil([&] { return source.rendered.load() > 0; }));
    sleepFor(0.2);
    output.removeSource(&source);
    const long rendered = source.rendered.load();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A slow machine pulls less, never more: at most real time plus a device buffer or two.
    EXPECT_LT(rendered, static_cast<long>((elapsed + 0.15) * AudioOutput::sampleRate));
    sleepFor(0.05);
    EXPECT_EQ(source.rendered.load(), rendered);  // removed: never called again
}

TEST(AudioOutput, MixesSumsAndClampsToFullScale) {
    AudioOutput& output = AudioOutput::shared();
    struct Case {
        std::vector<float> levels;
        float mixed;
    };
    for (const Case& c : {Case{{}, 0.0f}, Case{{0.25f}, 0.25f}, Case{{0.25f, 0.5f}, 0.75f},
                          Case{{0.75f, 0.75f}, 1.0f}, Case{{-0.75f, -0.75f}, -1.0f}}) {
        std::vector<std::unique_ptr<ConstantSource>> sources;
        for (float level : c.levels) {
            sources.push_back(std::make_unique<ConstantSource>(level));
            ASSERT_TRUE(output.addSource(sources.back().get()));
        }
        std::vector<float> block(2 * 10000, 9.0f);  // larger than one mixing pass
        while (!output.mix(block.data(), 10000)) {
            // The device thread was mixing at that moment; try again.
        }
        for (auto& s : sources) output.removeSource(s.get());
        EXPECT_FLOAT_EQ(block.front(), c.mixed);
        EXPECT_FLOAT_EQ(block.back(), c.mixed);
    }
}

TEST(AudioOutput, RefusesSourcesBeyondItsCapacity) {
    AudioOutput& output = AudioOutput::shared();
    std::vector<std::unique_ptr<ConstantSource>> sources;
    int added = 0;
    for (int i = 0; i <= AudioOutput::kMaxSources; ++i) {
        sources.push_back(std::make_unique<ConstantSource>(0.0f));
        if (output.addSource(sources.back().get())) ++added;
    }
    EXPECT_EQ(added, AudioOutput::kMaxSources);
    EXPECT_TRUE(output.addSource(sources.front().get()));  // already there
    for (auto& s : sources) output.removeSource(s.get());
}

}  // namespace
}  // namespace velmar
