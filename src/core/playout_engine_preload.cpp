// NEXT preloading: the selected clip's medium is loaded ahead so that a take never waits for a
// decode. Each request draws a token; results of older requests are dropped.
#include "core/playout_engine.h"

#include "core/movie_playback.h"
#include "models/localized.h"
#include "platform/base/main_thread.h"
#include "platform/base/serial_queue.h"

#include <QFileInfo>
#include <QPointer>

namespace velmar {

void PlayoutEngine::releaseNextMedia() {
    setNextScrubImage(nullptr);
    if (nextMedia_ && nextMedia_->isMovie()) nextMedia_->asMovie()->playback->pause();
    if (nextMedia_ || next_.mediaClipID) setNextMedia(std::nullopt, std::nullopt);
}

void PlayoutEngine::reloadNextMedia() {
    const QUuid token = QUuid::createUuid();
    next_.loadToken = token;
    {
        std::lock_guard lock(next_.latestStillRequestLock);
        next_.latestStillRequest = token;
    }

    const std::optional<Clip> clip = rundown_.selectedClip();
    if (!clip || clip->isMissing || clip->unreadableReason || !rundown_.isVerified(*clip)) {
        releaseNextMedia();
        setIsNextLoading(false, std::nullopt);
        return;
    }
    const CanvasFormat canvas = canvas_;

    if (clip->kind == Clip::Kind::still) {
        releaseNextMedia();
        setIsNextLoading(true, clip->id);
        QPointer<PlayoutEngine> self(this);
        auto load = services_.loadFittedStill;
        auto refusalOf = services_.stillRejectionReason;
        next_.stillQueue->async([this, self, token, clip = *clip, canvas, load, refusalOf] {
            {
                // Reading the engine's lock is safe while the queue exists: the engine destroys
                // the queue (and waits for it) before anything else goes.
                std::lock_guard lock(next_.latestStillRequestLock);
                if (next_.latestStillRequest != token) return;  // superseded before it started
            }
            ImageRef image = load ? load(clip.url, canvas) : nullptr;
            // The file passed verification: what is at the path now says why it failed.
            const std::optional<QString> refusal =
                !image && refusalOf ? refusalOf(clip.url) : std::nullopt;
            postToMain([self, token, clip, image, refusal] {
                if (self) self->finishStill(token, clip, image, refusal);
            });
        });
        return;
    }

    // A movie: its playback object now, so that its preparation runs while the clip is NEXT;
    // poster and size are refined later.
    releaseNextMedia();
    setIsNextLoading(false, std::nullopt);
    std::shared_ptr<MoviePlayback> playback =
        services_.makePlayback ? services_.makePlayback(clip->url, !audioEnabled_, clip->loopCount)
                               : nullptr;
    if (!playback) return;  // no player: NEXT stays empty and the take says it is preloading
    QPointer<PlayoutEngine> self(this);
    // A movie its player cannot open would never be prepared, and a take would wait for it for
    // ever: the clip is marked unreadable instead, as a still that does not decode is.
    playback->setFailureHandler([self, failed = *clip] {
        if (self) self->markMovieUnreadable(failed);
    });
    const bool storedSize =
        clip->pixelWidth && clip->pixelHeight && *clip->pixelWidth >= 1 && *clip->pixelHeight >= 1;
    const QSizeF fallback = storedSize ? QSizeF(*clip->pixelWidth, *clip->pixelHeight)
                                       : QSizeF(canvas.width, canvas.height);
    setNextMedia(PlayoutMedia::movie(playback, nullptr, fallback), clip->id);

    const int posterLimit = std::max(canvas.width, canvas.height);
    auto sizeOf = services_.videoPixelSize;
    auto frameOf = services_.firstFrame;
    const QUrl url = clip->url;
    const QUuid clipID = clip->id;
    services_.runInBackground(BackgroundRunner::Work::nextPoster,
                              [self, token, clipID, url, fallback, posterLimit, sizeOf, frameOf] {
                                  std::optional<QSizeF> size = sizeOf ? sizeOf(url) : std::nullopt;
                                  ImageRef poster = frameOf ? frameOf(url, posterLimit) : nullptr;
                                  // Posted without a context: the QPointer is read only on the main
                                  // thread, where the object dies, never here while it may be
                                  // dying.
                                  postToMain([self, token, clipID, size, poster, fallback] {
                                      if (self)
                                          self->refineMovie(token, clipID, size, poster, fallback);
                                  });
                              });
}

void PlayoutEngine::finishStill(const QUuid& token, const Clip& clip, const ImageRef& image,
                                const std::optional<QString>& refusal) {
    if (next_.loadToken != token) return;
    releaseNextMedia();
    setIsNextLoading(false, std::nullopt);
    if (!image) {
        setLastMessage(localizedFormat("画像を読み込めませんでした: %@",
                                       {QFileInfo(clip.url.path()).fileName()}));
        // A pipe, device or folder put in the file's place, or nothing there any more, is named
        // as verification names it (and as a movie's probe does), not as pixels that do not
        // decode.
        applyUnreadable(
            {UnreadableEntry{clip.id, clip.url, clip.displayName,
                             refusal.value_or(localized("画像データをデコードできません"))}});
        return;
    }
    setNextMedia(PlayoutMedia::still(image), clip.id);
    if (services_.prewarmTexture) services_.prewarmTexture(image);
}

void PlayoutEngine::markMovieUnreadable(const Clip& clip) {
    // The reason is the probe's, as verification gives it (a FIFO or a folder now at the path,
    // the file gone). A file that probes well again by then is left as it is.
    QPointer<PlayoutEngine> self(this);
    auto reasonOf = services_.movieProbeFailure;
    services_.runInBackground(BackgroundRunner::Work::nextPoster, [self, clip, reasonOf] {
        const std::optional<QString> reason = reasonOf ? reasonOf(clip.url) : std::nullopt;
        if (!reason) return;
        postToMain([self, entry = UnreadableEntry{clip.id, clip.url, clip.displayName, *reason}] {
            if (self) self->applyUnreadable({entry});
        });
    });
}

void PlayoutEngine::refineMovie(const QUuid& token, const QUuid& clipID, std::optional<QSizeF> size,
                                ImageRef poster, QSizeF fallback) {
    if (next_.loadToken != token || next_.mediaClipID != clipID) return;
    if (!nextMedia_ || !nextMedia_->isMovie()) return;
    auto playback = nextMedia_->asMovie()->playback;
    setNextMedia(
        PlayoutMedia::movie(std::move(playback), std::move(poster), size.value_or(fallback)),
        clipID);
}

void PlayoutEngine::reloadSelectedStillFromDisk() {
    const std::optional<Clip> updated = rundown_.forgetSelectedStill();
    if (!updated) return;
    reloadNextMedia();
    resolvePixelSizes({updated->id});
    verify({*updated});
}

void PlayoutEngine::reloadNextMediaUnlessKept() {
    if (const std::optional<Clip> clip = rundown_.selectedClip()) {
        if (next_.mediaClipID && *next_.mediaClipID == clip->id) return;
        if (isNextLoading_ && next_.loadingClipID && *next_.loadingClipID == clip->id) return;
    }
    reloadNextMedia();
}

void PlayoutEngine::setNextMedia(std::optional<PlayoutMedia> media, std::optional<QUuid> clipID) {
    nextMedia_ = std::move(media);
    next_.mediaClipID = clipID;
    emit nextMediaChanged();
}

void PlayoutEngine::setIsNextLoading(bool loading, std::optional<QUuid> clipID) {
    next_.loadingClipID = clipID;
    if (loading == isNextLoading_) return;
    isNextLoading_ = loading;
    emit isNextLoadingChanged(loading);
}

}  // namespace velmar
