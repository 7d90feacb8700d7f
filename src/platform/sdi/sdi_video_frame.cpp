#include "platform/sdi/sdi_video_frame.h"

namespace velmar {

std::shared_ptr<SdiVideoFrame> SdiVideoFrame::makeOwned(long long width, long long height,
                                                        std::size_t rowBytes,
                                                        SdiPixelFormat format) {
    std::shared_ptr<SdiVideoFrame> frame(new SdiVideoFrame());
    frame->width_ = width;
    frame->height_ = height;
    frame->rowBytes_ = rowBytes;
    frame->format_ = format;
    frame->own_.assign(rowBytes * static_cast<std::size_t>(height), 0);
    frame->bytes_ = frame->own_.data();
    return frame;
}

std::shared_ptr<SdiVideoFrame> SdiVideoFrame::makeWrapped(long long width, long long height,
                                                          std::size_t rowBytes,
                                                          SdiPixelFormat format,
                                                          std::shared_ptr<void> owner,
                                                          std::uint8_t* bytes) {
    std::shared_ptr<SdiVideoFrame> frame(new SdiVideoFrame());
    frame->width_ = width;
    frame->height_ = height;
    frame->rowBytes_ = rowBytes;
    frame->format_ = format;
    frame->owner_ = std::move(owner);
    frame->bytes_ = bytes;
    return frame;
}

}  // namespace velmar
