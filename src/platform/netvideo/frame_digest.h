#pragma once

#include <cstddef>
#include <cstdint>

namespace velmar::netvideo {

// A 64-bit digest of picture rows, to tell whether a lent picture changed while it was lent.
// Each row's 32-bit words feed 32 lanes, lane = acc * odd constant + word, so a change of any
// one word always changes its lane; the lanes and the row tails are folded into 64 bits at the
// end. The value depends only on the bytes and the row length (not on where rows start), and
// is the same for both calls below within one process.

// Copies `rows` rows of `rowBytes` bytes, `sourceStride` bytes apart, to `destination` (packed)
// and returns the digest of what was copied: one pass over the source.
uint64_t copyRowsWithDigest(uint8_t* destination, const uint8_t* source, size_t rowBytes,
                            size_t sourceStride, int rows);
// The digest of the same rows, read only.
uint64_t digestRows(const uint8_t* source, size_t rowBytes, size_t sourceStride, int rows);

}  // namespace velmar::netvideo
