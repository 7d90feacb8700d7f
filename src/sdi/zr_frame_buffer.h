#pragma once

#include "platform/sdi/sdi_pixel_format.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmar {

// One picture buffer of the ring that a client hands to the scheduled-playback bridge: the
// bytes, held by a shared pointer (an aliasing pointer into memory owned elsewhere is fine),
// how many bytes that memory holds, the picture size, the bytes per row and the pixel format.
// The bridge keeps a reference to the memory as long as a frame made from it may be played,
// so the memory outlives every frame on the card whoever owns it first. A plain value; the
// client writes a buffer's bytes only while no frame made from it is on the card.
struct ZRFrameBuffer {
    std::shared_ptr<std::uint8_t> memory;
    std::size_t byteCount = 0;
    long long width = 0;
    long long height = 0;
    std::size_t rowBytes = 0;
    SdiPixelFormat pixelFormat = SdiPixelFormat::bgra8;

    // A zeroed buffer of height x rowBytes bytes; an empty buffer for sizes below 1.
    static ZRFrameBuffer allocate(long long width, long long height, std::size_t rowBytes,
                                  SdiPixelFormat pixelFormat);

    std::uint8_t* bytes() const { return memory.get(); }
    std::uint8_t* row(long long y) const {
        return memory.get() + static_cast<std::size_t>(y) * rowBytes;
    }
    // The memory exists and holds height rows of rowBytes bytes.
    bool holdsAllRows() const;
};

}  // namespace velmar
