#include "render/still_texture_cache.h"

#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "render/metal_renderer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace velmar {
namespace {

ImageRef image(int w = 4, int h = 4) {
    QImage img(w, h, QImage::Format_RGBA8888_Premultiplied);
    img.fill(Qt::white);
    return std::make_shared<const QImage>(img);
}

struct CacheTest : ::testing::Test {
    std::shared_ptr<MetalRenderer> renderer = MetalRenderer::create(gpu::Device::create(1));
};

TEST_F(CacheTest, LeastRecentlyUsedGoesFirstAndTouchProtects) {
    StillTextureCache cache(renderer);
    std::vector<ImageRef> images;
    for (int i = 0; i < 5; ++i) images.push_back(image());
    for (int i = 0; i < 4; ++i) cache.prepare(images[size_t(i)]);
    cache.touch(images[0]);  // now the most recent
    cache.prepare(images[4]);
    EXPECT_EQ(cache.count(), 4);
    EXPECT_TRUE(cache.texture(images[0]));
    EXPECT_FALSE(cache.texture(images[1]));  // the least recently used went
    EXPECT_TRUE(cache.texture(images[4]));
}

// Entries are matched by the image's identity: an equal copy is another image, and preparing
// a cached image again keeps its texture.
TEST_F(CacheTest, MatchesByIdentityNotByPixels) {
    StillTextureCache cache(renderer);
    auto a = image();
    cache.prepare(a);
    auto texture = cache.texture(a);
    cache.prepare(a);
    EXPECT_EQ(cache.texture(a), texture);
    EXPECT_FALSE(cache.texture(image()));
    EXPECT_EQ(cache.count(), 1);
}

TEST_F(CacheTest, NothingWithoutRendererOrTexture) {
    StillTextureCache cache;
    cache.prepare(image());
    EXPECT_EQ(cache.count(), 0);
    cache.setRenderer(renderer);
    cache.prepare(image(20000, 1));  // too wide for the device
    cache.prepare(ImageRef());
    EXPECT_EQ(cache.count(), 0);
    cache.prepare(image());
    EXPECT_EQ(cache.count(), 1);
    cache.setRenderer(renderer);  // a (new) canvas engine empties the cache
    EXPECT_EQ(cache.count(), 0);
    renderer.reset();  // the cache holds its renderer weakly: gone, nothing is prepared
    cache.prepare(image());
    EXPECT_EQ(cache.count(), 0);
}

TEST_F(CacheTest, ConcurrentPreparesOfOneImageCacheItOnce) {
    for (int round = 0; round < 20; ++round) {  // a race: repeat to make it show
        StillTextureCache cache(renderer);
        auto big = image(512, 256);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) threads.emplace_back([&] { cache.prepare(big); });
        for (auto& t : threads) t.join();
        ASSERT_EQ(cache.count(), 1);
        ASSERT_TRUE(cache.texture(big));
    }
}

TEST_F(CacheTest, PrewarmRunsOnTheCacheQueue) {
    StillTextureCache cache(renderer);
    auto a = image(), b = image();
    cache.prewarm(a);
    cache.prewarm(b);
    cache.waitUntilIdle();
    EXPECT_TRUE(cache.texture(a));
    EXPECT_TRUE(cache.texture(b));
    cache.prewarm(image());  // still queued when the cache goes: finishes first, no crash
}

}  // namespace
}  // namespace velmar
