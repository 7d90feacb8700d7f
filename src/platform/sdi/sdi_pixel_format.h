#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velmar {

// The pixel formats the virtual SDI card plays, named by four-character codes.
//
// BGRA: 8-bit B, G, R, A bytes per pixel; rows of at least width x 4 bytes. With the external
//   keyer enabled, A is the key.
// v210: 10-bit 4:2:2 Y'CbCr, six pixels in four little-endian 32-bit words (Cb0 Y0 Cr0 | Y1 Cb2
//   Y2 | Cr2 Y3 Cb4 | Y4 Cr4 Y5, ten bits each from bit 0, bits 30-31 zero); rows of at least
//   ((width + 47) / 48) x 128 bytes. Codes 0-3 and 1020-1023 are reserved on the wire.
// Ay10: 10-bit 4:2:2 Y'CbCr with a 10-bit key, fill and key in one frame. Layout, defined by
//   this card:
//     one little-endian 32-bit word per pixel, pixels in order, rows of at least
//     ((width + 63) / 64) x 256 bytes (4 bytes a pixel, padded to 64 pixels);
//       bits  0-9   Y'  (limited range, black 64, white 940; codes 4 ... 1019)
//       bits 10-19  chroma: Cb on even pixels, Cr on odd pixels, both sited on the even
//                   pixel of the pair (limited range, neutral 512; codes 4 ... 1019)
//       bits 20-29  key, full range: 0 transparent ... 1023 opaque
//       bits 30-31  zero
//     so a pixel pair is two words (8 bytes) like one v210 chroma pair, and black with a
//     transparent key is 0x00080040 for every pixel.
//   The card checks every Ay10 frame it plays: reserved bits must be zero and Y' and chroma
//   within 4 ... 1019 (the key may take every code); a frame that fails is counted.
enum class SdiPixelFormat : std::uint32_t {
    bgra8 = 0x42475241,  // 'BGRA'
    v210 = 0x76323130,   // 'v210'
    ay10 = 0x41793130,   // 'Ay10'
};

// 'abcd' as a number with 'a' in the high byte; the reverse of fourCCString.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) |
           (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}
std::string fourCCString(std::uint32_t code);

std::optional<SdiPixelFormat> sdiPixelFormatFromCode(std::uint32_t code);

// The least bytes per row the card accepts for a width (0 for a width below 1).
std::size_t sdiMinimumRowBytes(SdiPixelFormat format, long long width);

// One Ay10 pixel word, and its fields.
constexpr std::uint32_t ay10Word(std::uint32_t luma, std::uint32_t chroma, std::uint32_t key) {
    return (luma & 0x3FF) | ((chroma & 0x3FF) << 10) | ((key & 0x3FF) << 20);
}
inline constexpr std::uint32_t kAy10Black = ay10Word(64, 512, 0);  // 0x00080040

// Checks the picture content of one frame as the card does before it plays it: reserved bits
// zero and video codes 4 ... 1019 (v210 and Ay10; BGRA has nothing to check). Only the active
// pixels are looked at, never the padding.
bool sdiFrameContentIsValid(SdiPixelFormat format, const std::uint8_t* bytes, long long width,
                            long long height, std::size_t rowBytes);

}  // namespace velmar
