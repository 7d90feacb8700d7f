#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmar::gpu {

// Zero-filled memory aligned to 64 bytes, held by shared pointer so that every view of it
// (textures over pixel buffers, outputs holding a frame) keeps it alive. Null when the size is
// 0 or the allocation fails.
std::shared_ptr<uint8_t> allocateAligned(size_t bytes);

// Copies n bytes (the ranges must not overlap) with wide vector loads and stores. Copies of a
// frame or more use non-temporal stores: the copy does not evict the caller's working set, and
// it does not depend on the C library's choice of method for large sizes, which on some
// processors is several times slower than the memory allows. Small copies go to memcpy.
void copyBytes(void* destination, const void* source, size_t n);

// As copyBytes, with non-temporal stores from 4 KiB on and no fence: for rows of a frame that
// is written once and read by someone else later. Call streamFence() once the rows are
// written and before anyone is told of them.
void streamBytes(void* destination, const void* source, size_t n);
void streamFence();

}  // namespace velmar::gpu
