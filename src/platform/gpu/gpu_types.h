#pragma once

#include <cstddef>
#include <cstdint>

// Plain value types shared by the CPU graphics device: pixel formats, usages, descriptors and
// the small geometric records handed to draws. Nothing here owns memory or threads.
namespace velmar::gpu {

enum class PixelFormat {
    BGRA8Unorm,   // bytes B, G, R, A
    RGBA8Unorm,   // bytes R, G, B, A
    RGBA16Float,  // four IEEE half floats R, G, B, A
};

int bytesPerPixel(PixelFormat format);

// Texture usage flags, combined with `|`.
enum TextureUsage : uint32_t {
    TextureUsageShaderRead = 1u << 0,
    TextureUsageShaderWrite = 1u << 1,
    TextureUsageRenderTarget = 1u << 2,
};

// Where a texture lives. All memory is CPU memory here; the mode is kept so that callers read
// like code written for a discrete GPU and so that tests can check what was asked for.
enum class StorageMode { Shared, Managed, Private };

struct TextureDescriptor {
    PixelFormat pixelFormat = PixelFormat::BGRA8Unorm;
    int width = 0;
    int height = 0;
    uint32_t usage = TextureUsageShaderRead;
    StorageMode storageMode = StorageMode::Shared;
};

// The largest texture side the device accepts.
inline constexpr int kMaxTextureSide = 16384;

struct Float2 {
    float x = 0;
    float y = 0;
    friend bool operator==(const Float2&, const Float2&) = default;
};

struct ClearColor {
    double red = 0, green = 0, blue = 0, alpha = 0;
};

enum class LoadAction { DontCare, Load, Clear };
enum class StoreAction { DontCare, Store };
enum class PrimitiveType { TriangleStrip };

enum class BlendOperation { Add };
enum class BlendFactor { Zero, One, SourceAlpha, OneMinusSourceAlpha };

struct Size3 {
    uint32_t width = 1, height = 1, depth = 1;
};

// Pixel-buffer formats, as four-character codes.
constexpr uint32_t fourCC(char a, char b, char c, char d) {
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
           (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
inline constexpr uint32_t kPixelFormat32BGRA = fourCC('B', 'G', 'R', 'A');
inline constexpr uint32_t kPixelFormat64RGBAHalf = fourCC('R', 'G', 'h', 'A');
inline constexpr uint32_t kPixelFormat422YpCbCr10 = fourCC('v', '2', '1', '0');
inline constexpr uint32_t kPixelFormat422YpCbCr8 = fourCC('2', 'v', 'u', 'y');
inline constexpr uint32_t kPixelFormatAy10 = fourCC('A', 'y', '1', '0');

}  // namespace velmar::gpu
