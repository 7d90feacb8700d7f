#include "canvas/frame_provider.h"

#include "core/movie_playback.h"
#include "platform/base/host_clock.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"
#include "platform/player/player_video_output.h"
#include "render/still_texture_cache.h"

namespace velmar {

namespace {

// A movie frame seen as a BGRA pixel buffer over the frame's own memory. The buffer holds the
// frame, so the decoder's pool does not reuse it while a texture over it is alive.
std::shared_ptr<gpu::PixelBuffer> wrapFrame(const VideoFrameRef& frame) {
    if (!frame || frame->width() < 1 || frame->height() < 1) return {};
    std::shared_ptr<uint8_t> memory(frame, const_cast<uint8_t*>(frame->data()));
    return gpu::PixelBuffer::wrap(frame->width(), frame->height(), gpu::kPixelFormat32BGRA,
                                  size_t(frame->bytesPerRow()), std::move(memory));
}

}  // namespace

FrameProvider::FrameProvider(std::shared_ptr<MetalRenderer> renderer, StillTextureCache& stillCache,
                             HostClock& clock)
    : renderer_(std::move(renderer)), stillCache_(stillCache), clock_(clock) {}

void FrameProvider::clearCaches() {
    stillTexture_.reset();
    stillImage_.reset();
    lastMovieTexture_.reset();
}

std::optional<FrameProvider::Frame> FrameProvider::currentFrame(const ImageRef& image) {
    if (!image) return std::nullopt;
    if (!(stillImage_.get() == image.get() && stillTexture_)) {
        auto texture = stillCache_.texture(image);
        if (!texture) texture = renderer_->makeTexture(image);
        stillTexture_ = std::move(texture);
        stillImage_ = image;
        stillCache_.touch(image);
    }
    if (!stillTexture_) return std::nullopt;
    return Frame{stillTexture_, QSizeF(image->width(), image->height()), true, nullptr};
}

std::optional<FrameProvider::Frame> FrameProvider::currentFrame(
    const std::optional<PlayoutMedia>& media, bool movieIsPremultiplied,
    std::optional<double> hostTime) {
    if (!media) return std::nullopt;
    if (const ImageRef* image = media->asStill()) return currentFrame(*image);
    const PlayoutMedia::Movie* movie = media->asMovie();
    if (movie == nullptr || !movie->playback) return std::nullopt;
    const double t = hostTime ? *hostTime : clock_.now();
    auto pbt = movieTexture(*movie->playback, t);
    if (!pbt) return std::nullopt;
    return Frame{pbt->texture, movie->size, movieIsPremultiplied, pbt};
}

std::shared_ptr<MetalRenderer::PixelBufferTexture> FrameProvider::movieTexture(
    MoviePlayback& playback, double hostTime) {
    PlayerVideoOutput* output = playback.videoOutput();
    if (output == nullptr) return lastMovieTexture_;
    const double itemTime = output->itemTimeForHostTime(hostTime);
    if (output->hasNewFrameForItemTime(itemTime)) {
        if (auto texture = renderer_->makeTexture(wrapFrame(output->copyFrameForItemTime(itemTime)),
                                                  std::nullopt)) {
            playback.recordDeliveredFrame(itemTime);
            lastMovieTexture_ = std::move(texture);
            return lastMovieTexture_;
        }
    }
    if (!lastMovieTexture_) {
        // The first frame of a movie: take what the output holds for the time even when it is
        // not new (another reader took it first), so that the layer is not left empty.
        if (auto texture = renderer_->makeTexture(wrapFrame(output->copyFrameForItemTime(itemTime)),
                                                  std::nullopt))
            lastMovieTexture_ = std::move(texture);
    }
    return lastMovieTexture_;
}

}  // namespace velmar
