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
// The largest frame side a ring holds.
inline constexpr uint32_t kMaxSide = 16384;
// The most padding a receiver accepts anywhere in a ring: after the header, after a slot's frame
// and after the last slot. The server pads to kAlignment only.
inline constexpr uint64_t kMaxPadding = uint64_t(1) << 20;

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

// Whether a ring's layout adds up: a sane frame size, a slot count the header has room for, the
// slots after the header, each frame inside its slot and every slot inside `mapSize`, with no
// more than kMaxPadding of slack in any place. Each step is bounded before the next is computed,
// so no sum or product wraps.
inline bool layoutFits(const Ring& ring) {
    if (ring.width < 1 || ring.height < 1 || ring.width > kMaxSide || ring.height > kMaxSide ||
        ring.bytesPerRow != ring.width * 4 || ring.slotCount < 1 || ring.slotCount > kSlotCount)
        return false;
    const uint64_t frameBytes = uint64_t(ring.bytesPerRow) * ring.height;  // at most 2^30
    if (ring.slotOffset < sizeof(RingHeader) ||
        ring.slotOffset - sizeof(RingHeader) > kMaxPadding || ring.slotStride < frameBytes ||
        ring.slotStride - frameBytes > kMaxPadding)
        return false;
    const uint64_t end = ring.slotOffset + ring.slotStride * ring.slotCount;  // below 2^33
    return ring.mapSize >= end && ring.mapSize - end <= kMaxPadding;
}

// The largest message either side sends.
inline constexpr size_t kMaxMessage = sizeof(Ring);

// The server directory (made 0700 when missing), or empty when it is unsafe or cannot be made.
std::string directory();
// The socket address of the named server; false when the name is empty or too long.
bool socketAddress(const char* name, sockaddr_un& address, socklen_t& length);
// The server name of a directory entry, or empty when the entry is not a server's socket.
std::string nameOfEntry(const char* entry);

}  // namespace velmar::texshare::wire
