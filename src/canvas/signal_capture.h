#pragma once

#include <cstdint>
#include <vector>

namespace velmar {

namespace gpu {
class PixelBuffer;
}

// Every step-th row of a BGRA frame, with row padding dropped: rowCount rows of 4 x width
// bytes (B, G, R, A). Row r is source row r x step; every column is kept and the analyzer
// picks every step-th one. The step keeps the sample grid at most 640 columns wide.
struct SignalCapture {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
    int rowCount = 0;
    int step = 1;

    // The step for a frame width: ceil(width / 640), at least 1.
    static int stepFor(int width);

    // Copies `buffer` into `into`, reusing its storage (no allocation once it is large enough).
    // False, with `into` left as it was, for a buffer that is not 'BGRA', has no memory, a
    // side below 1 or rows shorter than 4 x width.
    static bool copy(const gpu::PixelBuffer& buffer, SignalCapture& into);
};

}  // namespace velmar
