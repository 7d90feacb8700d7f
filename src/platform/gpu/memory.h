#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmar::gpu {

// Zero-filled memory aligned to 64 bytes, held by shared pointer so that every view of it
// (textures over pixel buffers, outputs holding a frame) keeps it alive. Null when the size is
// 0 or the allocation fails.
std::shared_ptr<uint8_t> allocateAligned(size_t bytes);

}  // namespace velmar::gpu
