#pragma once

#include <cstddef>

namespace velmar {

// One buffer of 32-bit float samples: either interleaved (`channels` samples per frame) or one
// channel of a planar block (`channels` 1). `byteSize` is the size of `data` in bytes.
struct AudioBuffer {
    int channels = 0;
    std::size_t byteSize = 0;
    float* data = nullptr;
};

// A block of audio as it travels from a movie through its tap to the outputs: one interleaved
// buffer, or one buffer per channel. Plain data; it owns nothing.
struct AudioBufferList {
    static constexpr int kMaxBuffers = 8;
    int count = 0;
    AudioBuffer buffers[kMaxBuffers];
};

}  // namespace velmar
