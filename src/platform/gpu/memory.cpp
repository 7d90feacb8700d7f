#include "platform/gpu/memory.h"

#include <cstdlib>
#include <cstring>

namespace velmar::gpu {

std::shared_ptr<uint8_t> allocateAligned(size_t bytes) {
    if (bytes == 0) return {};
    const size_t rounded = (bytes + 63) / 64 * 64;
    void* p = std::aligned_alloc(64, rounded);
    if (p == nullptr) return {};
    std::memset(p, 0, rounded);
    return std::shared_ptr<uint8_t>(static_cast<uint8_t*>(p), [](uint8_t* q) { std::free(q); });
}

}  // namespace velmar::gpu
