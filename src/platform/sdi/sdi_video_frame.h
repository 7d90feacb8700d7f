#pragma once

#include "platform/sdi/sdi_pixel_format.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmar {

// One video frame handed to the virtual SDI card: size, row bytes, pixel format and the bytes.
// The bytes are either the frame's own (zeroed at creation) or the caller's memory, kept alive
// by the shared pointer given when the frame was made. Frames are made only through
// SdiOutput::createVideoFrame / wrapVideoFrame, which validate them; afterwards the shape is
// fixed. The writer fills the bytes before scheduling and must not write while the card holds
// the frame (between scheduling and its completion).
class SdiVideoFrame {
  public:
    long long width() const { return width_; }
    long long height() const { return height_; }
    std::size_t rowBytes() const { return rowBytes_; }
    SdiPixelFormat pixelFormat() const { return format_; }
    bool wrapsCallerMemory() const { return owner_ != nullptr; }

    std::uint8_t* bytes() { return bytes_; }
    const std::uint8_t* bytes() const { return bytes_; }
    std::size_t byteCount() const { return rowBytes_ * static_cast<std::size_t>(height_); }

    // Made by SdiOutput after validation.
    static std::shared_ptr<SdiVideoFrame> makeOwned(long long width, long long height,
                                                    std::size_t rowBytes, SdiPixelFormat format);
    static std::shared_ptr<SdiVideoFrame> makeWrapped(long long width, long long height,
                                                      std::size_t rowBytes, SdiPixelFormat format,
                                                      std::shared_ptr<void> owner,
                                                      std::uint8_t* bytes);

  private:
    SdiVideoFrame() = default;

    long long width_ = 0;
    long long height_ = 0;
    std::size_t rowBytes_ = 0;
    SdiPixelFormat format_ = SdiPixelFormat::bgra8;
    std::vector<std::uint8_t> own_;
    std::shared_ptr<void> owner_;
    std::uint8_t* bytes_ = nullptr;
};

}  // namespace velmar
