#pragma once

// What the server and its receivers agree on: the messages on the socket, the layout of the
// shared ring, and where a server's socket lives. Private to the runtime library.

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmar::texshare::wire {

inline constexpr uint32_t kMagic = 0x53585456;  // "VTXS"
inline constexpr uint32_t kVersion = 1;
inline constexpr uint32_t kSlotCount = 3;
inline constexpr size_t kAlignment = 64;

enum MessageType : uint32_t { hello = 1, ring = 2, frame = 3 };

// Receiver -> server, once after connecting: only greeted receivers count as clients, so a
// directory listing that merely checks whether a server answers is never counted.
struct Hello {
    uint32_t magic = kMagic;
    uint32_t type = hello;
    uint32_t version = kVersion;
    uint32_t reserved = 0;
};

// Server -> receiver, with the ring's shared-memory file attached (SCM_RIGHTS), whenever the
// ring is new to that receiver.
struct Ring {
    uint32_t magic = kMagic;
    uint32_t type = ring;
    uint64_t generation = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerRow = 0;
    uint32_t slotCount = 0;
    uint64_t slotOffset = 0;
    uint64_t slotStride = 0;
    uint64_t mapSize = 0;
};

// Server -> receiver: a new frame is in the ring. Only a wake-up: the ring's header is the truth.
struct FrameNotice {
    uint32_t magic = kMagic;
    uint32_t type = frame;
    uint64_t generation = 0;
    uint64_t number = 0;
};

// At offset 0 of the ring's memory. A slot's sequence is odd while the server writes it; its
// frame number is valid while the sequence reads the same before and after a copy.
struct RingHeader {
    uint32_t magic;
    uint32_t version;
    uint32_t latestSlot;  // valid once `hasFrame` is 1
    uint32_t hasFrame;
    struct Slot {
        uint64_t sequence;
        uint64_t number;
    } slots[kSlotCount];
};

// The largest message either side sends.
inline constexpr size_t kMaxMessage = sizeof(Ring);

// The server directory (made 0700 when missing), or empty when it is unsafe or cannot be made.
std::string directory();
// The socket address of the named server; false when the name is empty or too long.
bool socketAddress(const char* name, sockaddr_un& address, socklen_t& length);
// The server name of a directory entry, or empty when the entry is not a server's socket.
std::string nameOfEntry(const char* entry);

}  // namespace velmar::texshare::wire
