#include "platform/texshare/texture_server.h"
#include "platform/gpu/blit_encoder.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "platform/texshare/runtime/texshare_api.h"
#include "platform/texshare/runtime/texshare_wire.h"
#include "platform/texshare/texture_client.h"
#include "receiver_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace velmar::texshare {
namespace {

// The socket address of the named server (a plain name) in the test's server directory.
sockaddr_un serverAddress(const std::string& name) {
    char directory[256];
    EXPECT_GT(velmar_texshare_directory(directory, sizeof directory), 0u);
    const std::string path = std::string(directory) + "/" + name + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    EXPECT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
    return address;
}

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

// A server that speaks the wire format but says whatever the test makes it say: its socket in
// the server directory, the receiver that greeted it, rings of any layout over any memory.
struct HostileServer {
    std::string path;
    int listener = -1;
    int peer = -1;

    explicit HostileServer(const std::string& name) {
        const sockaddr_un address = serverAddress(name);
        path = address.sun_path;
        listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener, 4), 0);
    }
    ~HostileServer() {
        if (peer >= 0) ::close(peer);
        ::close(listener);
        ::unlink(path.c_str());
    }
    // Takes the first connection that greets: directory look-ups connect and hang up in silence.
    // Gives up after a minute so that a broken receiver fails the test instead of hanging it.
    bool acceptReceiver() {
        pollfd waiting{listener, POLLIN, 0};
        while (::poll(&waiting, 1, 60 * 1000) == 1) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            wire::Hello hello;
            hello.type = 0;
            if (fd >= 0 && ::recv(fd, &hello, sizeof hello, 0) == ssize_t(sizeof hello) &&
                hello.magic == wire::kMagic && hello.type == wire::hello) {
                peer = fd;
                return true;
            }
            if (fd >= 0) ::close(fd);
        }
        return false;
    }
    void sendRing(const wire::Ring& ring, int memory) {
        iovec part{const_cast<wire::Ring*>(&ring), sizeof ring};
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
        ASSERT_EQ(::sendmsg(peer, &message, MSG_NOSIGNAL), ssize_t(sizeof ring));
    }
};

wire::Ring ringOf(uint32_t width, uint32_t height, uint32_t bytesPerRow, uint32_t slotCount,
                  uint64_t slotOffset, uint64_t slotStride, uint64_t mapSize) {
    wire::Ring ring;
    ring.generation = 1;
    ring.width = width;
    ring.height = height;
    ring.bytesPerRow = bytesPerRow;
    ring.slotCount = slotCount;
    ring.slotOffset = slotOffset;
    ring.slotStride = slotStride;
    ring.mapSize = mapSize;
    return ring;
}

// Shared memory of `size` bytes whose header announces frame 1 in slot 1; sealed against
// shrinking unless `sealed` is false. Closed with the test.
struct RingMemory {
    int fd = ::memfd_create("hostile", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    RingMemory(size_t size, bool sealed) {
        EXPECT_EQ(::ftruncate(fd, off_t(size)), 0);
        wire::RingHeader header{};
        header.magic = wire::kMagic;
        header.version = wire::kVersion;
        header.latestSlot = 1;
        header.hasFrame = 1;
#pragma push_macro("slots")  // a Qt keyword macro, here a field of the header
#undef slots
        header.slots[1] = {2, 1};
#pragma pop_macro("slots")
        EXPECT_EQ(::pwrite(fd, &header, sizeof header, 0), ssize_t(sizeof header));
        if (sealed) {
            EXPECT_EQ(::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK), 0);
        }
    }
    ~RingMemory() {
        ::close(fd);
    }
};

// A receiver trusts no ring it is handed: one larger than its memory, or of a shape that does
// not add up, is never mapped (reading past the memory's end would crash the receiver).
TEST_F(TextureServerTest, AReceiverRefusesARingThatDoesNotFitItsMemory) {
    HostileServer impostor("impostor");
    VelmarTexShareClient* client = velmar_texshare_client_connect("impostor");
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(impostor.acceptReceiver());
    const RingMemory memory(4096, true);
    std::vector<uint8_t> bytes(size_t(1920) * 1080 * 4);
    VelmarTexShareFrameInfo info{};
    const uint64_t hd = uint64_t(1920) * 1080 * 4;
    impostor.sendRing(ringOf(1920, 1080, 1920 * 4, 3, 128, hd, 128 + hd * 3), memory.fd);
    impostor.sendRing(ringOf(16, 16, 16, 3, 128, 256, 4096), memory.fd);  // rows too short
    impostor.sendRing(ringOf(4, 4, 16, 3, 128, 32, 4096), memory.fd);     // frame past its slot
    impostor.sendRing(ringOf(4, 4, 16, 4, 128, 64, 4096), memory.fd);     // more slots than kept
    const RingMemory roomy(8 << 20, true);
    const uint64_t farOffset = 64 + (2 << 20);  // padding past any alignment
    impostor.sendRing(ringOf(4, 4, 16, 3, farOffset, 64, farOffset + 3 * 64), roomy.fd);
    EXPECT_EQ(velmar_texshare_client_copy_frame(client, 0, bytes.data(), bytes.size(), &info), 0);
    EXPECT_EQ(info.width, 0) << "no ring taken";
    impostor.sendRing(ringOf(4, 4, 16, 3, 128, 64, 4096), memory.fd);  // one that fits
    EXPECT_EQ(velmar_texshare_client_copy_frame(client, 0, bytes.data(), bytes.size(), &info), 1);
    EXPECT_EQ(info.width * 10 + info.height, 44) << "taken";
    ::close(impostor.peer);
    impostor.peer = -1;
    EXPECT_EQ(velmar_texshare_client_copy_frame(client, 0, bytes.data(), bytes.size(), &info), -1);
    velmar_texshare_client_destroy(client);
}

// Mended: the ring's bounds were summed in 64 bits that could wrap, and its memory was mapped
// without asking whether it could shrink, so a hostile server could make every receiver read
// outside its mapping (SIGSEGV) or past the end of a file cut short after it was sent (SIGBUS).
// The receiver runs in a process of its own, so that a fault shows as its death.
TEST_F(TextureServerTest, AHostileServersRingsNeverFaultAReceiver) {
    HostileServer server("hostile");
    test::ReceiverProcess receiver({"hostile", "probe"});
    ASSERT_EQ(receiver.readLine(), "connected");
    ASSERT_TRUE(server.acceptReceiver());
    auto copy = [&] {
        receiver.say("copy");
        return receiver.readLine();
    };
    const std::string refused = "copy 0 0 0 0";
    const RingMemory sealed(4096, true);
    server.sendRing(ringOf(4, 4, 16, 2, 128, uint64_t(1) << 63, 4096), sealed.fd);
    EXPECT_EQ(copy(), refused) << "128 + 2 x 2^63 wraps to 128";
    server.sendRing(ringOf(4, 4, 16, 2, ~uint64_t(0) - 63, 64, 4096), sealed.fd);
    EXPECT_EQ(copy(), refused) << "an offset that wraps back to the header";
    server.sendRing(ringOf(4, 4, 16, 3, 128, 64, 8192), sealed.fd);
    EXPECT_EQ(copy(), refused) << "slots past the end of the memory";

    RingMemory unsealed(4096, false);
    server.sendRing(ringOf(4, 4, 16, 3, 128, 64, 4096), unsealed.fd);
    EXPECT_EQ(copy(), refused) << "memory that can shrink";
    ASSERT_EQ(::ftruncate(unsealed.fd, 0), 0);
    EXPECT_EQ(copy(), refused) << "and did";

    server.sendRing(ringOf(4, 4, 16, 3, 128, 64, 4096), sealed.fd);
    EXPECT_EQ(copy(), "copy 1 4 4 1") << "a sound ring is taken";
    EXPECT_EQ(receiver.finish(), 0) << "the receiver ended by itself, not by a signal";
}

// Mended: a receiver could reopen the ring's descriptor read-write (/proc/self/fd/N) and write
// into the frames every other receiver copies. Sealed against writes once the server has mapped
// it, the file takes no write, no writable mapping, no hole and no new size from anyone else.
TEST_F(TextureServerTest, AReceiverCannotWriteTheRingThroughItsDescriptor) {
    auto server = TextureServer::create("sealed", device);
    const sockaddr_un address = serverAddress("sealed");
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const wire::Hello hello;
    ASSERT_EQ(::send(fd, &hello, sizeof hello, 0), ssize_t(sizeof hello));
    TextureClient other("sealed");
    ASSERT_EQ(server->clientCount(), 2);
    const auto texture = patterned(8, 4);
    auto cb = queue->commandBuffer();
    ASSERT_TRUE(server->publishFrameTexture(texture, *cb, {0, 0, 8, 4}, false));
    commitAndWait(*cb);

    wire::Ring ring;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{&ring, sizeof ring};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ASSERT_EQ(::recvmsg(fd, &message, MSG_CMSG_CLOEXEC), ssize_t(sizeof ring));
    int memory = -1;
    std::memcpy(&memory, CMSG_DATA(CMSG_FIRSTHDR(&message)), sizeof memory);
    const std::string self = "/proc/self/fd/" + std::to_string(memory);
    const int writable = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writable, 0) << "reopening succeeds; writing through it must not";

    const uint8_t scribble[4] = {1, 2, 3, 4};
    EXPECT_EQ(::pwrite(writable, scribble, 4, off_t(ring.slotOffset)), -1);
    EXPECT_EQ(::mmap(nullptr, ring.mapSize, PROT_READ | PROT_WRITE, MAP_SHARED, writable, 0),
              MAP_FAILED);
    void* readable = ::mmap(nullptr, ring.mapSize, PROT_READ, MAP_SHARED, writable, 0);
    ASSERT_NE(readable, MAP_FAILED);
    EXPECT_NE(::mprotect(readable, ring.mapSize, PROT_READ | PROT_WRITE), 0) << "nor later";
    ::munmap(readable, ring.mapSize);
    EXPECT_NE(
        ::fallocate(writable, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, off_t(ring.mapSize)),
        0);
    EXPECT_NE(::ftruncate(writable, 0), 0);

    const auto frame = other.latestFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(0, std::memcmp(frame->pixel(0, 0), texture->row(0), 32)) << "the frame is intact";
    ::close(writable);
    ::close(memory);
    ::close(fd);
}

// The server takes in only programs of its own user. The child runs as nobody but keeps root's
// file-system identity (setfsuid), so it reaches the socket in the private directory and only
// the server's check of its peer (the effective user the kernel reports) stands in its way.
TEST_F(TextureServerTest, AReceiverOfAnotherUserIsRefused) {
    if (::getuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    auto server = TextureServer::create("peer", device);
    const sockaddr_un address = serverAddress("peer");
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {  // only async-signal-safe calls in the child of a threaded test
        char word = 'u';
        int fd = -1;
        if (::syscall(SYS_setresuid, -1, 65534, -1) == 0 && ::geteuid() == 65534) {
            ::syscall(SYS_setfsuid, 0);
            const wire::Hello hello;
            fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
            const bool greeted =
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                ::send(fd, &hello, sizeof hello, 0) == ssize_t(sizeof hello);
            word = greeted ? 'g' : 'c';
        }
        if (::write(ready[1], &word, 1) != 1 || word != 'g') ::_exit(2);
        char byte;  // the server hangs up (reset: without reading the greeting)
        const ssize_t got = ::recv(fd, &byte, 1, 0);
        ::_exit(got == 0 || (got < 0 && errno == ECONNRESET) ? 0 : 1);
    }
    ::close(ready[1]);
    char word = 0;
    ASSERT_EQ(::read(ready[0], &word, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(word, 'g') << "u: could not become nobody; c: could not connect and greet";
    EXPECT_EQ(server->clientCount(), 0);
    TextureClient own("peer");
    EXPECT_EQ(server->clientCount(), 1) << "one of the server's own user is taken in";
    server->stop();  // the child's connection ends either way
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The client's answer to "is there a frame newer than the one I have": a frame already copied
// is not copied again as new; the next one is.
TEST_F(TextureServerTest, AFrameAlreadyCopiedIsNotNewAgain) {
    auto server = TextureServer::create("again", device);
    VelmarTexShareClient* client = velmar_texshare_client_connect("again");
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(server->hasClients());
    const auto texture = patterned(4, 2);
    auto publish = [&] {
        auto cb = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *cb, {0, 0, 4, 2}, true));
        commitAndWait(*cb);
    };
    std::vector<uint8_t> bytes(4 * 2 * 4);
    VelmarTexShareFrameInfo info{};
    auto copyAfter = [&](uint64_t after) {
        info = {};
        return velmar_texshare_client_copy_frame(client, after, bytes.data(), bytes.size(), &info);
    };
    publish();
    ASSERT_EQ(copyAfter(0), 1);
    EXPECT_EQ(info.number, 1u);
    EXPECT_EQ(copyAfter(1), 0) << "frame 1 again";
    EXPECT_EQ(info.number, 0u);
    publish();
    EXPECT_EQ(copyAfter(1), 1);
    EXPECT_EQ(info.number, 2u);
    EXPECT_EQ(copyAfter(2), 0) << "frame 2 again";
    EXPECT_EQ(copyAfter(0), 1) << "any frame, when the caller has none";
    velmar_texshare_client_destroy(client);
}

}  // namespace
}  // namespace velmar::texshare
