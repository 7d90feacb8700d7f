#include "canvas/frame_provider.h"

#include "canvas_fixture.h"
#include "core/movie_playback.h"
#include "platform/player/player_video_output.h"
#include "support/event_loop.h"
#include "support/test_media.h"

namespace velmar::test {
namespace {

struct FrameProviderTest : ::testing::Test {
    FakeClock clock;
    std::shared_ptr<MetalRenderer> renderer = MetalRenderer::create(gpu::Device::create(2));
    StillTextureCache cache{renderer};
    FrameProvider provider{renderer, cache, clock};

    void TearDown() override {
        drainMainQueue();
        MoviePlayer::waitForReleases();
    }
};

TEST_F(FrameProviderTest, AStillIsUploadedOnceAndItsCachedTextureIsTakenOver) {
    const ImageRef a = solidImage(8, 4, {1, 2, 3, 255});
    const auto first = provider.currentFrame(PlayoutMedia::still(a), false, std::nullopt);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->premultiplied) << "a still is premultiplied whatever the movie flag says";
    EXPECT_FALSE(first->retained);
    const auto second = provider.currentFrame(PlayoutMedia::still(a), false, std::nullopt);
    EXPECT_EQ(second->texture, first->texture) << "the second frame uploads nothing";

    // Prepared ahead: the provider takes the cached texture and marks it most recently used.
    std::vector<ImageRef> images;
    for (int i = 0; i < 4; ++i) {
        images.push_back(solidImage(4, 4, {i, i, i, 255}));
        cache.prepare(images.back());
    }
    const auto taken = provider.currentFrame(images[0]);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->texture, cache.texture(images[0]));
    cache.prepare(solidImage(4, 4, {9, 9, 9, 255}));
    EXPECT_TRUE(cache.texture(images[0])) << "touched when taken over, so not evicted";
    EXPECT_FALSE(cache.texture(images[1]));

    // A still the device cannot hold gives no frame, and is tried again on the next call.
    const ImageRef huge = solidImage(gpu::kMaxTextureSide + 1, 1, {0, 0, 0, 255});
    EXPECT_FALSE(provider.currentFrame(huge));
    EXPECT_FALSE(provider.currentFrame(huge));
    EXPECT_FALSE(provider.currentFrame(std::nullopt, false, std::nullopt));
}

TEST_F(FrameProviderTest, MovieFramesAreTakenWhenNewAndRepeatedOtherwise) {
    TestMedia::MovieOptions options{64, 36};
    const QString path = TestMedia::movie("mp4", options);
    ASSERT_FALSE(path.isEmpty());
    auto playback = MoviePlayback::create(path, true, 1, clock);
    ASSERT_TRUE(waitUntil([&] { return playback->isPrepared(); }, 10));
    PlayerVideoOutput& output = *playback->videoOutput();
    const std::optional<PlayoutMedia> media =
        PlayoutMedia::movie(playback, nullptr, QSizeF(64, 36));
    ASSERT_TRUE(waitUntil(
        [&] {
            return output.peekFrameForItemTime(output.itemTimeForHostTime(clock.now())) != nullptr;
        },
        10));

    const auto first = provider.currentFrame(media, true, clock.now());
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->premultiplied) << "a movie frame follows the caller's flag";
    EXPECT_EQ(first->size, QSizeF(64, 36)) << "the medium's size";
    EXPECT_TRUE(first->retained);
    EXPECT_EQ(playback->health().lastDeliveredSeconds, output.itemTimeForHostTime(clock.now()));
    const int delivered = playback->health().frameCount;

    // Paused: the same frame again, not delivered a second time.
    const auto again = provider.currentFrame(media, false, clock.now());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->texture, first->texture);
    EXPECT_EQ(playback->health().frameCount, delivered);

    // A provider that starts afresh (the source was invalidated) shows the frame another reader
    // already took, without counting it as delivered.
    FrameProvider fresh{renderer, cache, clock};
    const auto firstOfFresh = fresh.currentFrame(media, false, clock.now());
    ASSERT_TRUE(firstOfFresh);
    EXPECT_EQ(firstOfFresh->texture->bytes(), first->texture->bytes()) << "the same frame's memory";
    EXPECT_EQ(playback->health().frameCount, delivered);

    // Playing: a later host time brings a new frame, delivered once. A missing host time
    // samples the clock's present time.
    playback->play();
    ASSERT_TRUE(waitUntil([&] { return playback->playerRate() == 1.0f; }, 5));
    clock.advance(0.2);
    const double item = output.itemTimeForHostTime(clock.now());
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto f = output.peekFrameForItemTime(item);
            return f && f->time() > 0.1;
        },
        10));
    const int beforeLater = playback->health().frameCount;  // playing restarted the count
    const auto later = fresh.currentFrame(media, false, std::nullopt);
    ASSERT_TRUE(later);
    EXPECT_NE(later->texture->bytes(), first->texture->bytes());
    EXPECT_EQ(playback->health().lastDeliveredSeconds, item);
    EXPECT_EQ(playback->health().frameCount, beforeLater + 1);
    fresh.currentFrame(media, false, std::nullopt);
    EXPECT_EQ(playback->health().frameCount, beforeLater + 1);

    fresh.clearCaches();
    EXPECT_FALSE(fresh.lastMovieTexture());
    playback->pause();
}

}  // namespace
}  // namespace velmar::test
