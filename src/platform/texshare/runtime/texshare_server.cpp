// The serving side: a listening socket in the server directory, the receivers that greeted it,
// and the ring of frames in shared memory. Nothing here waits for a receiver: every socket is
// non-blocking, a full socket loses its notice, a broken one loses its receiver.

#include "platform/texshare/runtime/texshare_api.h"
#include "platform/texshare/runtime/texshare_wire.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

// Older C library headers lack it; the kernel has had it since Linux 5.1.
#ifndef F_SEAL_FUTURE_WRITE
#define F_SEAL_FUTURE_WRITE 0x0010
#endif

#define VELMAR_EXPORT extern "C" __attribute__((visibility("default")))

using namespace velmar::texshare;

namespace {

constexpr int kMaxReceivers = 16;
// A connection that has not greeted after this many client updates (about two seconds at the
// feed's 60 Hz poll) is closed.
constexpr int kGreetingPatience = 120;
constexpr int kSendFlags = MSG_DONTWAIT | MSG_NOSIGNAL;

struct Receiver {
    int fd = -1;
    bool greeted = false;
    int waited = 0;
    uint64_t ringGeneration = 0;  // the ring this receiver has been given
};

struct SharedRing {
    int fd = -1;          // read and write, kept by the server
    int readOnlyFd = -1;  // what receivers get; the seals keep them from writing in any case
    uint8_t* base = nullptr;
    size_t size = 0;
    wire::Ring geometry;
    uint32_t nextSlot = 0;
    uint64_t sequences[wire::kSlotCount] = {};  // the server's own copy, never read back
    bool writing = false;

    wire::RingHeader* header() const { return reinterpret_cast<wire::RingHeader*>(base); }
};

size_t alignUp(size_t value) {
    return (value + wire::kAlignment - 1) / wire::kAlignment * wire::kAlignment;
}

void releaseRing(SharedRing& ring) {
    if (ring.base) ::munmap(ring.base, ring.size);
    if (ring.readOnlyFd >= 0 && ring.readOnlyFd != ring.fd) ::close(ring.readOnlyFd);
    if (ring.fd >= 0) ::close(ring.fd);
    ring = SharedRing{};
}

// A sealed shared-memory file of the ring's size. Once the server has mapped it for writing it
// is sealed against shrinking and growing (receivers map it; a shorter file would fault their
// reads and the server's writes) and against any further write (F_SEAL_FUTURE_WRITE): a
// receiver that reopens its descriptor read-write (/proc/self/fd/N) can neither write(),
// truncate, punch holes in nor map it writable, so the server's own mapping, made before the
// seal, is the only writer of the frames every receiver copies. Without these seals there is
// no ring (receivers refuse an unsealed one).
bool makeRing(SharedRing& ring, int width, int height, uint64_t generation) {
    const size_t bytesPerRow = size_t(width) * 4;
    const size_t slotOffset = alignUp(sizeof(wire::RingHeader));
    const size_t slotStride = alignUp(bytesPerRow * size_t(height));
    const size_t size = slotOffset + slotStride * wire::kSlotCount;
    ring.fd = ::memfd_create("velmar-texshare", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (ring.fd < 0 || ::ftruncate(ring.fd, off_t(size)) != 0) return false;
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, ring.fd, 0);
    if (base == MAP_FAILED) return false;
    ring.base = static_cast<uint8_t*>(base);
    ring.size = size;
    if (::fcntl(ring.fd, F_ADD_SEALS,
                F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_FUTURE_WRITE | F_SEAL_SEAL) != 0)
        return false;
    const std::string self = "/proc/self/fd/" + std::to_string(ring.fd);
    ring.readOnlyFd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
    if (ring.readOnlyFd < 0) ring.readOnlyFd = ring.fd;  // sealed against writes all the same
    wire::RingHeader* header = ring.header();
    header->magic = wire::kMagic;
    header->version = wire::kVersion;
    ring.geometry.generation = generation;
    ring.geometry.width = uint32_t(width);
    ring.geometry.height = uint32_t(height);
    ring.geometry.bytesPerRow = uint32_t(bytesPerRow);
    ring.geometry.slotCount = wire::kSlotCount;
    ring.geometry.slotOffset = slotOffset;
    ring.geometry.slotStride = slotStride;
    ring.geometry.mapSize = size;
    return true;
}

}  // namespace

struct VelmarTexShareServer {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    int listenFd = -1;
    std::array<Receiver, kMaxReceivers> receivers;
    SharedRing ring;
    uint64_t generations = 0;
    uint64_t latestNumber = 0;
    VelmarTexShareServerStats stats{};

    void drop(Receiver& r) {
        ::close(r.fd);
        if (r.greeted) ++stats.receiversDropped;  // not a directory probe that never greeted
        r = Receiver{};
    }

    // Sends the ring's file to a receiver that does not have it yet. False when the receiver
    // was dropped or its socket is full (the next frame tries again).
    bool sendRing(Receiver& r) {
        if (r.ringGeneration == ring.geometry.generation) return true;
        iovec part{&ring.geometry, sizeof ring.geometry};
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
        std::memcpy(CMSG_DATA(c), &ring.readOnlyFd, sizeof(int));
        if (::sendmsg(r.fd, &message, kSendFlags) >= 0) {
            r.ringGeneration = ring.geometry.generation;
            return true;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            ++stats.noticesDropped;
        } else {
            drop(r);
        }
        return false;
    }

    void notify(Receiver& r) {
        if (!sendRing(r)) return;
        const wire::FrameNotice notice{wire::kMagic, wire::frame, ring.geometry.generation,
                                       latestNumber};
        if (::send(r.fd, &notice, sizeof notice, kSendFlags) >= 0) {
            ++stats.noticesSent;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            ++stats.noticesDropped;
        } else {
            drop(r);
        }
    }

    bool hasFrame() const { return ring.base && ring.header()->hasFrame; }

    int receiverCount() const {
        int count = 0;
        for (const Receiver& r : receivers) count += r.fd >= 0 && r.greeted;
        return count;
    }
};

VELMAR_EXPORT VelmarTexShareServer* velmar_texshare_server_create(const char* name) {
    sockaddr_un address{};
    socklen_t length = 0;
    if (!wire::socketAddress(name, address, length)) return nullptr;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    const auto* at = reinterpret_cast<const sockaddr*>(&address);
    // The newest server of a name is the one receivers find: an older socket (running or left
    // by a server that died) gives way.
    if (::bind(fd, at, length) != 0 &&
        !(errno == EADDRINUSE && ::unlink(address.sun_path) == 0 && ::bind(fd, at, length) == 0)) {
        ::close(fd);
        return nullptr;
    }
    struct stat st {};
    if (::stat(address.sun_path, &st) != 0 || ::listen(fd, kMaxReceivers) != 0) {
        ::unlink(address.sun_path);
        ::close(fd);
        return nullptr;
    }
    auto* server = new VelmarTexShareServer;
    server->path = address.sun_path;
    server->device = st.st_dev;
    server->inode = st.st_ino;
    server->listenFd = fd;
    return server;
}

VELMAR_EXPORT void velmar_texshare_server_destroy(VelmarTexShareServer* server) {
    if (!server) return;
    // Only our own socket: a newer server of the same name keeps its entry.
    struct stat st {};
    if (::stat(server->path.c_str(), &st) == 0 && st.st_dev == server->device &&
        st.st_ino == server->inode)
        ::unlink(server->path.c_str());
    ::close(server->listenFd);
    for (Receiver& r : server->receivers)
        if (r.fd >= 0) ::close(r.fd);
    releaseRing(server->ring);
    delete server;
}

VELMAR_EXPORT int velmar_texshare_server_update_clients(VelmarTexShareServer* server) {
    if (!server) return 0;
    for (;;) {
        const int fd = ::accept4(server->listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        ucred peer{};
        socklen_t size = sizeof peer;
        Receiver* place = nullptr;
        for (Receiver& r : server->receivers)
            if (r.fd < 0) {
                place = &r;
                break;
            }
        // Only this user's programs, and no more than the table holds.
        if (!place || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
            peer.uid != ::getuid()) {
            ::close(fd);
            continue;
        }
        place->fd = fd;
    }
    for (Receiver& r : server->receivers) {
        if (r.fd < 0) continue;
        // Receivers say nothing after their greeting; reading tells whether they are still
        // there (0: the receiver closed or was killed).
        char buffer[wire::kMaxMessage];
        for (;;) {
            const ssize_t got = ::recv(r.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                wire::Hello hello;
                const bool greeting = !r.greeted && size_t(got) == sizeof hello &&
                                      (std::memcpy(&hello, buffer, sizeof hello), true) &&
                                      hello.magic == wire::kMagic && hello.type == wire::hello &&
                                      hello.version == wire::kVersion;
                if (!greeting) {  // anything else breaks the conversation
                    server->drop(r);
                    break;
                }
                r.greeted = true;
                if (server->hasFrame()) server->notify(r);  // the newest frame, at once
                if (r.fd < 0) break;
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                server->drop(r);
            } else if (!r.greeted && ++r.waited > kGreetingPatience) {
                server->drop(r);
            }
            break;
        }
    }
    return server->receiverCount();
}

VELMAR_EXPORT int velmar_texshare_server_receiver_count(const VelmarTexShareServer* server) {
    return server ? server->receiverCount() : 0;
}

VELMAR_EXPORT int velmar_texshare_server_prepare(VelmarTexShareServer* server, int width,
                                                 int height) {
    if (!server || width < 1 || height < 1 || width > int(wire::kMaxSide) ||
        height > int(wire::kMaxSide))
        return 0;
    SharedRing& ring = server->ring;
    if (ring.base && ring.geometry.width == uint32_t(width) &&
        ring.geometry.height == uint32_t(height))
        return 1;
    releaseRing(ring);
    if (makeRing(ring, width, height, ++server->generations)) return 1;
    releaseRing(ring);
    return 0;
}

VELMAR_EXPORT uint8_t* velmar_texshare_server_begin_frame(VelmarTexShareServer* server, int width,
                                                          int height) {
    if (!server) return nullptr;
    SharedRing& ring = server->ring;
    if (!ring.base || ring.geometry.width != uint32_t(width) ||
        ring.geometry.height != uint32_t(height))
        return nullptr;
    // The slot after the newest: a receiver copying the newest frame has two frames' time.
    const uint32_t slot = ring.nextSlot;
    uint64_t& sequence = ring.sequences[slot];
    if (!ring.writing) {
        ++sequence;  // odd: being written
        __atomic_store_n(&ring.header()->slots[slot].sequence, sequence, __ATOMIC_RELAXED);
        __atomic_thread_fence(__ATOMIC_RELEASE);
        ring.writing = true;
    }
    return ring.base + ring.geometry.slotOffset + size_t(slot) * ring.geometry.slotStride;
}

VELMAR_EXPORT void velmar_texshare_server_end_frame(VelmarTexShareServer* server, uint64_t number) {
    if (!server || !server->ring.writing) return;
    SharedRing& ring = server->ring;
    wire::RingHeader* header = ring.header();
    const uint32_t slot = ring.nextSlot;
    __atomic_store_n(&header->slots[slot].number, number, __ATOMIC_RELAXED);
    __atomic_store_n(&header->slots[slot].sequence, ++ring.sequences[slot], __ATOMIC_RELEASE);
    __atomic_store_n(&header->latestSlot, slot, __ATOMIC_RELEASE);
    __atomic_store_n(&header->hasFrame, 1u, __ATOMIC_RELEASE);
    ring.writing = false;
    ring.nextSlot = (slot + 1) % wire::kSlotCount;
    server->latestNumber = number;
    for (Receiver& r : server->receivers)
        if (r.fd >= 0 && r.greeted) server->notify(r);
}

VELMAR_EXPORT void velmar_texshare_server_stats(const VelmarTexShareServer* server,
                                                VelmarTexShareServerStats* out) {
    if (!server || !out) return;
    *out = server->stats;
    out->receivers = server->receiverCount();
}
