#include "platform/texshare/texture_server.h"
#include "platform/gpu/blit_encoder.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "platform/texshare/runtime/texshare_api.h"
#include "platform/texshare/texture_client.h"
#include "receiver_process.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace velmar::texshare {
namespace {

struct TextureServerTest : ::testing::Test {
    test::PrivateTexShareDirectory directory;
    std::shared_ptr<gpu::Device> device = gpu::Device::create(2);
    std::shared_ptr<gpu::CommandQueue> queue = device->newCommandQueue();

    // A texture whose pixel (x, y) is B = x, G = y.
    std::shared_ptr<gpu::Texture> patterned(int w, int h,
                                            gpu::PixelFormat f = gpu::PixelFormat::BGRA8Unorm) {
        gpu::TextureDescriptor d{f, w, h, gpu::TextureUsageShaderRead, gpu::StorageMode::Shared};
        auto t = device->newTexture(d);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w && f == gpu::PixelFormat::BGRA8Unorm; ++x)
                std::memcpy(t->row(y) + x * 4,
                            std::array<uint8_t, 4>{uint8_t(x), uint8_t(y), 7, 255}.data(), 4);
        return t;
    }
    void commitAndWait(gpu::CommandBuffer& cb) {
        cb.commit();
        cb.waitUntilCompleted();
        ASSERT_EQ(cb.status(), gpu::CommandBufferStatus::Completed) << cb.error();
    }
};

TEST_F(TextureServerTest, ClientsReceiveTheRegionBottomRowFirstFromCompletedBuffersOnly) {
    auto server = TextureServer::create("rows", device);
    TextureClient client("rows");
    ASSERT_TRUE(server->hasClients());  // the feed polls its clients before it publishes
    const auto texture = patterned(6, 4);
    {
        auto dropped = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *dropped, {0, 0, 6, 4}, true));
    }  // never committed: serves nothing
    EXPECT_FALSE(client.latestFrame());

    for (bool flipped : {true, false}) {
        SCOPED_TRACE(flipped ? "flipped" : "as is");
        const gpu::BlitRegion region{1, 2, 3, 2};
        auto cb = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *cb, region, flipped));
        texture->row(2)[4] = flipped ? 0x55 : 1;  // changed after encoding: the copy runs in order
        commitAndWait(*cb);
        const auto frame = client.latestFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->number, flipped ? 1u : 2u);
        ASSERT_EQ(frame->width * 10 + frame->height, 32);
        for (int row = 0; row < 2; ++row) {  // served rows count from the bottom
            const int y = region.y + (flipped ? 1 - row : row);
            EXPECT_EQ(0, std::memcmp(frame->pixel(0, row), texture->row(y) + 4, 12)) << row;
        }
    }
}

TEST_F(TextureServerTest, RefusedTexturesAndCopiesEncodeNothing) {
    auto server = TextureServer::create("refuse", device);
    const auto texture = patterned(4, 4);
    auto cb = queue->commandBuffer();
    EXPECT_FALSE(server->publishFrameTexture(nullptr, *cb, {0, 0, 4, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(patterned(4, 4, gpu::PixelFormat::RGBA16Float), *cb,
                                             {0, 0, 4, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(texture, *cb, {2, 0, 3, 4}, true));
    EXPECT_EQ(TextureServer::create("", device), nullptr);

    auto blit = cb->makeBlitCommandEncoder();
    auto buffer = device->newBuffer(4 * 4 * 4);
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 4, 16, 0)) << "too short";
    EXPECT_FALSE(blit->copyTextureToTexture(texture, patterned(4, 3)));
    const auto copy = patterned(4, 4);
    std::memset(copy->row(3), 0, 16);
    EXPECT_TRUE(blit->copyTextureToTexture(texture, copy));
    blit->endEncoding();
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 0, 16, 0)) << "after end";
    commitAndWait(*cb);
    EXPECT_EQ(0, std::memcmp(copy->row(3), texture->row(3), 16));
}

// Mended: a staging buffer counted as free as soon as its frame was served, and one whose
// command buffer was dropped uncommitted stayed taken for good. Now a staging buffer is free
// exactly when no command buffer holds it: here the second frame, copied on another queue while
// the first still waits to be served, must not land in the first frame's buffer.
TEST_F(TextureServerTest, AStagingBufferIsNotReusedWhileAnEarlierFrameAwaitsIt) {
    auto server = TextureServer::create("staging", device);
    TextureClient client("staging");
    ASSERT_TRUE(server->hasClients());
    const auto first = patterned(4, 2);
    const auto second = patterned(4, 2);
    std::memset(second->row(0), 0x99, 16);
    std::memset(second->row(1), 0x99, 16);

    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false;
    auto held = queue->commandBuffer();
    held->addCompletedHandler([&](gpu::CommandBuffer&) {  // runs before the server's handler
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    ASSERT_TRUE(server->publishFrameTexture(first, *held, {0, 0, 4, 2}, false));
    auto otherQueue = device->newCommandQueue();
    auto later = otherQueue->commandBuffer();
    ASSERT_TRUE(server->publishFrameTexture(second, *later, {0, 0, 4, 2}, false));
    held->commit();
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return entered; });  // the first copy has run
    }
    commitAndWait(*later);
    EXPECT_EQ(client.latestFrame()->number, 1u);
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    held->waitUntilCompleted();

    const auto frame = client.latestFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->number, 2u);
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(0, std::memcmp(frame->pixel(0, row), first->row(row), 16)) << row;
}

TEST_F(TextureServerTest, DroppedFramesAndSizeChangesKeepFewStagingBuffers) {
    auto server = TextureServer::create("sizes", device);
    TextureClient client("sizes");
    ASSERT_TRUE(server->hasClients());
    const auto small = patterned(4, 2);
    const auto large = patterned(6, 4);
    for (int i = 0; i < 10; ++i) {
        auto dropped = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(small, *dropped, {0, 0, 4, 2}, true));
    }  // never committed: the queue reuses the buffer and lets go of its copy
    EXPECT_LE(server->stats().stagingBuffers, 2);

    auto old = queue->commandBuffer();
    ASSERT_TRUE(server->publishFrameTexture(small, *old, {0, 0, 4, 2}, true));
    auto resized = queue->commandBuffer();
    ASSERT_TRUE(server->publishFrameTexture(large, *resized, {0, 0, 6, 4}, true));
    commitAndWait(*old);
    commitAndWait(*resized);
    const auto frame = client.latestFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width * 10 + frame->height, 64);
    EXPECT_EQ(frame->number, 1u) << "the frame of the old size is dropped, not served torn";
    EXPECT_EQ(0, std::memcmp(frame->pixel(0, 0), large->row(3), 24));
}

TEST_F(TextureServerTest, AReceiverInAnotherProcessSeesTheServerComeAndGo) {
    test::ReceiverProcess receiver({"DOVRINE", "watch"});
    EXPECT_EQ(receiver.readLine(), "absent");
    auto server = TextureServer::create("DOVRINE", device);
    ASSERT_TRUE(server);
    EXPECT_EQ(receiver.readLine(), "listed");
    EXPECT_EQ(receiver.readLine(), "connected");
    EXPECT_EQ(server->clientCount(), 1) << "its directory look-ups are not counted";
    server->stop();
    EXPECT_EQ(receiver.readLine(), "gone");
    EXPECT_EQ(receiver.readLine(), "unlisted");
    EXPECT_EQ(receiver.wait(), 0);
    EXPECT_FALSE(TextureClient("DOVRINE").isConnected());
}

TEST_F(TextureServerTest, AReceiverThatStopsReadingNeverStallsTheSenderAndAKilledOneIsDropped) {
    auto server = TextureServer::create("stall", device);
    test::ReceiverProcess stalled({"stall", "stall"});
    ASSERT_EQ(stalled.readLine(), "connected");
    TextureClient reading("stall");
    ASSERT_EQ(server->clientCount(), 2);

    // Far more frames than a socket holds notices: the sender goes on without waiting.
    const auto texture = patterned(8, 4);
    constexpr int kFrames = 2000;
    for (int i = 0; i < kFrames; ++i) {
        auto cb = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *cb, {0, 0, 8, 4}, true));
        commitAndWait(*cb);
    }
    const auto frame = reading.latestFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->number, uint64_t(kFrames)) << "the other receiver still gets the newest";
    EXPECT_GT(server->stats().noticesDropped, 0);
    EXPECT_EQ(server->clientCount(), 2) << "a receiver that is slow is not one that has gone";
    EXPECT_EQ(server->stats().receiversDropped, 0);

    const int openWithBoth = test::openFileCount();
    stalled.kill();
    EXPECT_EQ(server->clientCount(), 1);
    EXPECT_EQ(server->stats().receiversDropped, 1);
    EXPECT_EQ(test::openFileCount(), openWithBoth - 1) << "its connection is closed";
    auto cb = queue->commandBuffer();
    ASSERT_TRUE(server->publishFrameTexture(texture, *cb, {0, 0, 8, 4}, true));
    commitAndWait(*cb);
    EXPECT_EQ(reading.latestFrame()->number, uint64_t(kFrames) + 1);
}

TEST_F(TextureServerTest, TheDirectoryListsServersByTheirOwnNamesAndTheNewestOfANameAnswers) {
    auto list = [] {
        std::vector<std::string> names;
        velmar_texshare_list_servers(
            [](const char* name, void* to) {
                static_cast<std::vector<std::string>*>(to)->push_back(name);
            },
            &names);
        std::sort(names.begin(), names.end());
        return names;
    };
    auto plain = TextureServer::create("DOVRINE", device);
    auto odd = TextureServer::create("../a b/%41.sock", device);
    ASSERT_TRUE(plain && odd);
    EXPECT_EQ(list(), (std::vector<std::string>{"../a b/%41.sock", "DOVRINE"}));
    EXPECT_EQ(TextureServer::create(std::string(200, 'x'), device), nullptr) << "too long";

    // A second server of a name takes it over; the older one stopping leaves it listed.
    auto newer = TextureServer::create("DOVRINE", device);
    plain->stop();
    EXPECT_EQ(list(), (std::vector<std::string>{"../a b/%41.sock", "DOVRINE"}));
    TextureClient client("DOVRINE");
    EXPECT_TRUE(newer->hasClients());
    newer->stop();
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(list(), std::vector<std::string>{"../a b/%41.sock"});
}

TEST_F(TextureServerTest, OnlyGreetedConnectionsCountAndAnyOtherWordEndsOne) {
    auto server = TextureServer::create("greet", device);
    char path[256];
    ASSERT_GT(velmar_texshare_directory(path, sizeof path), 0u);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = std::string(path) + "/greet.sock";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    auto connectRaw = [&] {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    const int silent = connectRaw();
    const int rude = connectRaw();
    const uint32_t wrong[4] = {0x53585456, 3, 1, 0};  // a frame notice is no greeting
    ASSERT_EQ(::send(rude, wrong, sizeof wrong, 0), ssize_t(sizeof wrong));
    EXPECT_EQ(server->clientCount(), 0);
    char byte;
    EXPECT_EQ(::recv(rude, &byte, 1, 0), 0) << "the server hung up";
    TextureClient client("greet");
    EXPECT_EQ(server->clientCount(), 1);
    ::close(silent);
    ::close(rude);
}

// A receiver trusts no ring it is handed: one larger than its memory, or of a shape that does
// not add up, is never mapped (reading past the memory's end would crash the receiver).
TEST_F(TextureServerTest, AReceiverRefusesARingThatDoesNotFitItsMemory) {
    char path[256];
    ASSERT_GT(velmar_texshare_directory(path, sizeof path), 0u);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = std::string(path) + "/impostor.sock";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    VelmarTexShareClient* client = velmar_texshare_client_connect("impostor");
    ASSERT_NE(client, nullptr);
    const int peer = ::accept(listener, nullptr, nullptr);

    const int memory = ::memfd_create("small", MFD_CLOEXEC);
    ASSERT_EQ(::ftruncate(memory, 4096), 0);
    auto sendRing = [&](uint32_t width, uint32_t height, uint32_t bytesPerRow, uint64_t mapSize) {
        const uint32_t stride = bytesPerRow * height;
        struct {
            uint32_t magic, type;
            uint64_t generation;
            uint32_t width, height, bytesPerRow, slotCount;
            uint64_t slotOffset, slotStride, mapSize;
        } ring{0x53585456, 2, 1, width, height, bytesPerRow, 3, 128, stride, mapSize};
        iovec part{&ring, sizeof ring};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &memory, sizeof(int));
        ASSERT_EQ(::sendmsg(peer, &message, 0), ssize_t(sizeof ring));
    };
    std::vector<uint8_t> bytes(size_t(1920) * 1080 * 4);
    VelmarTexShareFrameInfo info{};
    sendRing(1920, 1080, 1920 * 4, 128 + uint64_t(1920) * 1080 * 4 * 3);  // memory too small
    sendRing(16, 16, 16, 4096);                                           // rows too short
    EXPECT_EQ(velmar_texshare_client_copy_frame(client, 0, bytes.data(), bytes.size(), &info), 0);
    EXPECT_EQ(info.width, 0) << "no ring taken";
    sendRing(4, 4, 16, 4096);  // one that fits
    EXPECT_EQ(velmar_texshare_client_copy_frame(client, 0, bytes.data(), bytes.size(), &info), 0);
    EXPECT_EQ(info.width, 4) << "taken, but no frame in it yet";
    ::close(peer);
    EXPECT_EQ(velmar_texshare_client_copy_frame(client, 0, bytes.data(), bytes.size(), &info), -1);
    velmar_texshare_client_destroy(client);
    ::close(memory);
    ::close(listener);
    ::unlink(socketPath.c_str());
}

}  // namespace
}  // namespace velmar::texshare
