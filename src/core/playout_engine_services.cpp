// The engine's outside work as the running program does it.
#include "core/playout_engine.h"

#include "core/image_loader.h"
#include "core/media_loader.h"
#include "core/movie_playback.h"
#include "core/playout_log.h"
#include "core/sdi_audio_bridge.h"
#include "core/thumbnail_cache.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "render/still_texture_cache.h"

namespace velmar {

PlayoutEngine::Services PlayoutEngine::Services::standard() {
    Services s;
    s.clock = &HostClock::system();
    s.timers = &TimerFactory::system();
    s.log = &PlayoutLog::shared();
    s.makePlayback = [](const QUrl& url, bool muted, int loopCount) {
        return MoviePlayback::create(url.toLocalFile(), muted, loopCount);
    };
    s.loadFittedStill = [](const QUrl& url, const CanvasFormat& canvas) {
        return ImageLoader::loadFitted(url, canvas);
    };
    s.videoPixelSize = [](const QUrl& url) { return MediaLoader::videoPixelSize(url); };
    s.firstFrame = [](const QUrl& url, int maxPixel) {
        return MediaLoader::firstFrame(url, maxPixel);
    };
    s.boundedFirstFrame = [](const QUrl& url, int maxPixel, double seconds) {
        return MediaLoader::boundedFirstFrame(url, maxPixel, seconds);
    };
    s.stillRejectionReason = [](const QUrl& url) { return ImageLoader::rejectionReason(url); };
    s.movieProbeFailure = [](const QUrl& url) -> std::optional<QString> {
        const MediaLoader::Probe probe = MediaLoader::probe(url);
        if (probe.isReady()) return std::nullopt;
        return probe.message;
    };
    s.stillPixelSize = [](const QUrl& url) { return ImageLoader::pixelSize(url); };
    s.stillThumbnail = [](const QUrl& url, int maxPixel) {
        return ImageLoader::loadThumbnail(url, maxPixel);
    };
    s.contentAnchor = [](const ImageRef& image) -> std::optional<QPointF> {
        if (!image) return std::nullopt;
        return ThumbnailCache::anchor(*image);
    };
    s.prewarmTexture = [](const ImageRef& image) { StillTextureCache::shared().prewarm(image); };
    s.prepareTexture = [](const ImageRef& image) { StillTextureCache::shared().prepare(image); };
    s.forgetThumbnail = [](const QString& path) { ThumbnailCache::shared().remove(path); };
    s.setBridgeProgramGain = [](float gain) {
        for (SDIAudioBridge* bridge : SDIAudioBridge::all()) bridge->setProgramGain(gain);
    };
    s.runInBackground = BackgroundRunner::standard();
    return s;
}

}  // namespace velmar
