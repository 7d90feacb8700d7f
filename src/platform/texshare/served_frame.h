#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmar::texshare {

// One frame as a texture-share client receives it: BGRA8 rows, bottom row first (the row order
// of the shared-texture convention; see TextureServer for how publishers meet it).
struct ServedFrame {
    int width = 0;
    int height = 0;
    size_t bytesPerRow = 0;
    uint64_t number = 0;  // 1 for the first frame the server served, counting up
    std::shared_ptr<const std::vector<uint8_t>> bytes;

    // The four bytes of the pixel in column x of row y counted from the bottom.
    const uint8_t* pixel(int x, int yFromBottom) const {
        return bytes->data() + size_t(yFromBottom) * bytesPerRow + size_t(x) * 4;
    }
};

}  // namespace velmar::texshare
