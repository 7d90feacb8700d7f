// The receiving side: connects to a server's socket, greets it, maps the ring the server sends
// and copies the newest frame out of it.

#include "platform/texshare/runtime/texshare_api.h"
#include "platform/texshare/runtime/texshare_wire.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#define VELMAR_EXPORT extern "C" __attribute__((visibility("default")))

using namespace velmar::texshare;

struct VelmarTexShareClient {
    int fd = -1;
    bool connected = true;
    const uint8_t* base = nullptr;
    size_t size = 0;
    wire::Ring geometry;

    void unmap() {
        if (base) ::munmap(const_cast<uint8_t*>(base), size);
        base = nullptr;
        size = 0;
    }

    // A ring the server describes is taken only when its memory can neither shrink under the
    // mapping (a read past the file's end would be a SIGBUS) nor be smaller than the ring, and
    // its layout adds up inside that memory: every field bounded, every sum free of overflow.
    void takeRing(const wire::Ring& ring, int memory) {
        if (!wire::layoutFits(ring)) return;
        const int seals = ::fcntl(memory, F_GET_SEALS);
        struct stat st {};
        if (seals < 0 || !(seals & F_SEAL_SHRINK) || ::fstat(memory, &st) != 0 ||
            !S_ISREG(st.st_mode) || uint64_t(st.st_size) < ring.mapSize)
            return;
        void* mapped = ::mmap(nullptr, ring.mapSize, PROT_READ, MAP_SHARED, memory, 0);
        if (mapped == MAP_FAILED) return;
        unmap();
        base = static_cast<const uint8_t*>(mapped);
        size = ring.mapSize;
        geometry = ring;
    }

    // Reads every message waiting, without blocking.
    void drain() {
        while (connected) {
            alignas(wire::Ring) char buffer[wire::kMaxMessage + 8];
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
            iovec part{buffer, sizeof buffer};
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (got <= 0) {
                connected = false;
                return;
            }
            int memory = -1;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
                const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (size_t i = 0; i < count; ++i) {
                    int received = -1;
                    std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                    if (memory < 0) {
                        memory = received;
                    } else {
                        ::close(received);  // never more than one is meant
                    }
                }
            }
            uint32_t head[2] = {};
            if (size_t(got) >= sizeof head) std::memcpy(head, buffer, sizeof head);
            if (head[0] == wire::kMagic && head[1] == wire::ring &&
                size_t(got) == sizeof(wire::Ring) && memory >= 0) {
                wire::Ring ring;
                std::memcpy(&ring, buffer, sizeof ring);
                takeRing(ring, memory);
            }
            if (memory >= 0) ::close(memory);  // the mapping keeps the memory
        }
    }
};

VELMAR_EXPORT VelmarTexShareClient* velmar_texshare_client_connect(const char* name) {
    sockaddr_un address{};
    socklen_t length = 0;
    if (!wire::socketAddress(name, address, length)) return nullptr;
    // Never waits: a server whose queue of new connections is full refuses for now.
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    const wire::Hello hello;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::send(fd, &hello, sizeof hello, MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(sizeof hello)) {
        ::close(fd);
        return nullptr;
    }
    auto* client = new VelmarTexShareClient;
    client->fd = fd;
    return client;
}

VELMAR_EXPORT void velmar_texshare_client_destroy(VelmarTexShareClient* client) {
    if (!client) return;
    client->unmap();
    ::close(client->fd);
    delete client;
}

VELMAR_EXPORT int velmar_texshare_client_fd(const VelmarTexShareClient* client) {
    return client ? client->fd : -1;
}

VELMAR_EXPORT int velmar_texshare_client_is_connected(VelmarTexShareClient* client) {
    if (!client) return 0;
    client->drain();
    return client->connected ? 1 : 0;
}

VELMAR_EXPORT int velmar_texshare_client_wait(VelmarTexShareClient* client, int timeoutMs) {
    if (!client) return 0;
    pollfd p{client->fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 ? 1 : 0;
}

VELMAR_EXPORT int velmar_texshare_client_copy_frame(VelmarTexShareClient* client, uint64_t after,
                                                    void* bytes, size_t capacity,
                                                    VelmarTexShareFrameInfo* info) {
    if (!client) return -1;
    client->drain();
    if (!client->connected) return -1;
    if (!client->base) return 0;
    const wire::Ring& g = client->geometry;
    const auto* header = reinterpret_cast<const wire::RingHeader*>(client->base);
    const size_t frameBytes = size_t(g.bytesPerRow) * g.height;
    if (info) *info = {int(g.width), int(g.height), g.bytesPerRow, 0};
    if (!__atomic_load_n(&header->hasFrame, __ATOMIC_ACQUIRE)) return 0;
    const uint32_t slot = __atomic_load_n(&header->latestSlot, __ATOMIC_ACQUIRE);
    if (slot >= g.slotCount) return 0;
    const uint64_t before = __atomic_load_n(&header->slots[slot].sequence, __ATOMIC_ACQUIRE);
    const uint64_t number = __atomic_load_n(&header->slots[slot].number, __ATOMIC_RELAXED);
    if (before % 2 != 0 || number <= after) return 0;
    if (!bytes || capacity < frameBytes) return -2;
    std::memcpy(bytes, client->base + g.slotOffset + size_t(slot) * g.slotStride, frameBytes);
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    // Rewritten while copied: the copy may be torn, so it does not count.
    if (__atomic_load_n(&header->slots[slot].sequence, __ATOMIC_RELAXED) != before) return 0;
    if (info) info->number = number;
    return 1;
}
