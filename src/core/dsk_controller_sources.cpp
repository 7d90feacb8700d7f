// The keyer's sources: listing a folder, loading one source at a time into a medium, stepping
// through the sources, and the record kept in the project.
#include "core/dsk_controller.h"

#include "core/image_loader.h"
#include "core/media_loader.h"
#include "render/still_texture_cache.h"

#include "core/movie_playback.h"
#include "models/clip.h"
#include "models/localized.h"
#include "platform/base/host_clock.h"
#include "platform/base/main_thread.h"
#include "platform/base/timer.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <dirent.h>

#include <algorithm>

namespace velmar {
namespace {

constexpr int kPosterMaxPixel = 640;
constexpr double kPosterSeconds = 6.0;
constexpr double kPreparePollInterval = 0.05;
constexpr double kPrepareLimit = 8.0;

const char* const kCannotLoad = L10N_KEY("DSK 素材を読み込めません");
const char* const kNoPlayableFile = L10N_KEY("DSK フォルダに対応素材がありません");

// Releases a timer on a later turn of the event loop: the timer may be the one whose callback
// is running.
void retire(std::unique_ptr<Timer>& timer) {
    if (!timer) return;
    timer->stop();
    std::shared_ptr<Timer> dying(std::move(timer));
    postToMain([dying] {});
}

int naturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i;
            const qsizetype sj = j;
            while (i < a.size() && a[i].isDigit()) ++i;
            while (j < b.size() && b[j].isDigit()) ++j;
            QStringView x = QStringView(a).mid(si, i - si);
            QStringView y = QStringView(b).mid(sj, j - sj);
            while (x.size() > 1 && x[0] == u'0') x = x.mid(1);
            while (y.size() > 1 && y[0] == u'0') y = y.mid(1);
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            // Same number of significant digits: digit by digit (digits of other scripts by
            // their value).
            for (qsizetype k = 0; k < x.size(); ++k) {
                const int dx = x[k].digitValue();
                const int dy = y[k].digitValue();
                if (dx != dy) return dx < dy ? -1 : 1;
            }
            continue;
        }
        const QString ca = QString(a[i]).toCaseFolded();
        const QString cb = QString(b[j]).toCaseFolded();
        if (ca != cb) {
            const int c = QString::localeAwareCompare(ca, cb);
            if (c != 0) return c < 0 ? -1 : 1;
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    const qsizetype restA = a.size() - i;
    const qsizetype restB = b.size() - j;
    return restA == restB ? 0 : (restA < restB ? -1 : 1);
}

// The playable files of a folder in name order, hidden files skipped; nothing when the folder
// cannot be listed.
std::optional<QList<QUrl>> listFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    DIR* handle = ::opendir(native.constData());
    if (handle == nullptr) return std::nullopt;
    ::closedir(handle);

    QList<QFileInfo> entries;
    for (const QFileInfo& info :
         QDir(path).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort)) {
        if (Clip::kindFor(info.fileName())) entries.append(info);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const QFileInfo& x, const QFileInfo& y) {
        return DSKController::naturalLess(x.fileName(), y.fileName());
    });
    QList<QUrl> urls;
    urls.reserve(entries.size());
    for (const QFileInfo& info : entries) urls.append(QUrl::fromLocalFile(info.absoluteFilePath()));
    return urls;
}

}  // namespace

DSKController::Services DSKController::Services::standard() {
    Services s;
    s.clock = &HostClock::system();
    s.timers = &TimerFactory::system();
    s.loadFullStill = [](const QUrl& url) { return ImageLoader::loadFull(url); };
    s.prepareTexture = [](const ImageRef& image) { StillTextureCache::shared().prepare(image); };
    s.probeMovie = [](const QUrl& url) -> Probe {
        const MediaLoader::Probe probe = MediaLoader::probe(url);
        if (probe.isReady()) return probe.size;
        return probe.message;
    };
    s.boundedFirstFrame = [](const QUrl& url, int maxPixel, double seconds) {
        return MediaLoader::boundedFirstFrame(url, maxPixel, seconds);
    };
    s.makePlayback = [](const QUrl& url, bool muted, int loopCount) {
        return MoviePlayback::create(url.toLocalFile(), muted, loopCount);
    };
    s.runInBackground = BackgroundRunner::standard();
    return s;
}

bool DSKController::naturalLess(const QString& a, const QString& b) {
    return naturalCompare(a, b) < 0;
}

// ---- Choosing sources ---------------------------------------------------------------------------

void DSKController::load(const QUrl& url) {
    if (isActive_) {
        setErrorMessage(localized("DSK を消してから素材を変更してください"));
        return;
    }
    cancelLoadTask();
    const QUuid token = QUuid::createUuid();
    loadID_ = token;

    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    const bool isFolder = info.isDir() || url.path().endsWith(QLatin1Char('/'));
    if (!isFolder) {
        if (!path.isEmpty() && info.exists() && Clip::kindFor(url)) {
            loadURLs({url}, 0);
        } else {
            loadURLs({}, 0);
        }
        return;
    }

    setIsLoading(true);
    QPointer<DSKController> self(this);
    auto work = [self, token, path] {
        std::optional<QList<QUrl>> listing = listFolder(path);
        // Posted without a context: the QPointer is read only on the main thread, where the
        // object dies, never here while it may be dying.
        postToMain([self, token, listing = std::move(listing)] {
            if (self) self->finishListing(token, listing);
        });
    };
    if (services_.runInBackground) {
        services_.runInBackground(BackgroundRunner::Work::keyerListing, std::move(work));
    } else {
        work();
    }
}

void DSKController::finishListing(const QUuid& token, std::optional<QList<QUrl>> listing) {
    if (loadID_ != token) return;
    setIsLoading(false);
    if (!listing) {
        clear();
        setErrorMessage(localized("DSK フォルダを読み込めません"));
        return;
    }
    loadURLs(*listing, 0);
}

void DSKController::loadURLs(const QList<QUrl>& urls, qint64 selectedIndex) {
    if (isActive_) return;
    QList<QUrl> kept;
    for (const QUrl& url : urls) {
        if (Clip::kindFor(url)) kept.append(url);
    }
    if (kept.isEmpty()) {
        clear();
        setErrorMessage(localized(kNoPlayableFile));
        return;
    }
    const int index = static_cast<int>(std::clamp<qint64>(selectedIndex, 0, kept.size() - 1));
    setSources(sourceURL_, std::move(kept), index);
    loadIndex(index, false);
}

void DSKController::next() {
    if (sourceURLs_.size() < 2 || isLoading_) return;
    loadIndex(static_cast<int>((selectedIndex_ + 1) % sourceURLs_.size()), isActive_);
}

// ---- Loading one source -------------------------------------------------------------------------

void DSKController::cancelLoadTask() {
    retire(pollTimer_);
    if (pendingMovie_) {
        if (pendingMovie_->playback) pendingMovie_->playback->pause();
        pendingMovie_.reset();
    }
}

void DSKController::loadIndex(int index, bool preserveActive) {
    if (index < 0 || index >= sourceURLs_.size()) return;
    const QUrl url = sourceURLs_.at(index);
    cancelLoadTask();
    const QUuid token = QUuid::createUuid();
    loadID_ = token;

    if (!preserveActive) {
        // A fresh load: nothing of the old medium stays drawn while the new one loads.
        pauseMovie();
        setMedia(std::nullopt);
        setSources(std::nullopt, sourceURLs_, selectedIndex_);
        resetSnapshot();
    }
    setErrorMessage(std::nullopt);
    setIsLoading(true);

    const std::optional<Clip::Kind> kind = Clip::kindFor(url);
    QPointer<DSKController> self(this);

    if (kind == Clip::Kind::still && services_.loadFullStill && services_.runInBackground) {
        auto decode = services_.loadFullStill;
        auto prepare = services_.prepareTexture;
        services_.runInBackground(BackgroundRunner::Work::keyerStill,
                                  [self, token, url, index, preserveActive, decode, prepare] {
                                      ImageRef image = decode(url);
                                      if (image && prepare) prepare(image);
                                      postToMain([self, token, url, index, preserveActive, image] {
                                          if (!self || self->loadID_ != token) return;
                                          if (image) {
                                              self->install(PlayoutMedia::still(image), url, index,
                                                            preserveActive, std::nullopt);
                                          } else {
                                              self->install(std::nullopt, url, index,
                                                            preserveActive, localized(kCannotLoad));
                                          }
                                      });
                                  });
        return;
    }

    if (kind == Clip::Kind::movie && services_.probeMovie && services_.makePlayback &&
        services_.runInBackground) {
        auto probe = services_.probeMovie;
        auto firstFrame = services_.boundedFirstFrame;
        services_.runInBackground(
            BackgroundRunner::Work::keyerMovie,
            [self, token, url, index, preserveActive, probe, firstFrame] {
                const Probe result = probe(url);
                ImageRef poster;
                if (std::holds_alternative<QSizeF>(result) && firstFrame) {
                    poster = firstFrame(url, kPosterMaxPixel, kPosterSeconds);
                }
                postToMain([self, token, url, index, preserveActive, result, poster] {
                    if (self)
                        self->continueMovie(token, url, index, preserveActive, result, poster);
                });
            });
        return;
    }

    // No known kind, or no way to load it here.
    install(std::nullopt, url, index, preserveActive, localized(kCannotLoad));
}

void DSKController::continueMovie(const QUuid& token, const QUrl& url, int index,
                                  bool preserveActive, const Probe& probe, const ImageRef& poster) {
    if (loadID_ != token) return;
    if (const QString* failure = std::get_if<QString>(&probe)) {
        install(std::nullopt, url, index, preserveActive, *failure);
        return;
    }
    std::shared_ptr<MoviePlayback> playback = services_.makePlayback(url, true, loops_ ? 0 : 1);
    if (!playback) {
        install(std::nullopt, url, index, preserveActive, localized(kCannotLoad));
        return;
    }
    pendingMovie_ = PendingMovie{token,
                                 url,
                                 index,
                                 preserveActive,
                                 std::move(playback),
                                 poster,
                                 std::get<QSizeF>(probe),
                                 clock_.now()};
    retire(pollTimer_);
    QPointer<DSKController> self(this);
    pollTimer_ = timers_.makeTimer([self, token] {
        if (self) self->pollMovie(token);
    });
    pollTimer_->start(kPreparePollInterval, true);
    pollMovie(token);
}

void DSKController::pollMovie(const QUuid& token) {
    if (!pendingMovie_ || pendingMovie_->token != token || loadID_ != token) return;
    const bool prepared = pendingMovie_->playback->isPrepared();
    if (!prepared && clock_.now() < pendingMovie_->startedAt + kPrepareLimit) return;

    PendingMovie done = std::move(*pendingMovie_);
    pendingMovie_.reset();
    if (pollTimer_) pollTimer_->stop();  // released with the next load
    if (!prepared) {
        done.playback->pause();
        done.playback.reset();
        install(std::nullopt, done.url, done.index, done.preserveActive, localized(kCannotLoad));
        return;
    }
    install(PlayoutMedia::movie(done.playback, done.poster, done.size), done.url, done.index,
            done.preserveActive, std::nullopt);
}

void DSKController::install(std::optional<PlayoutMedia> result, const QUrl& url, int index,
                            bool preserveActive, const std::optional<QString>& error) {
    if (!result) {
        setErrorMessage(error);
        setIsLoading(false);
        return;
    }
    std::shared_ptr<MoviePlayback> oldMovie;
    if (media_ && media_->isMovie()) oldMovie = media_->asMovie()->playback;

    const PlayoutMedia installed = *result;
    setMedia(std::move(result));
    setSources(url, sourceURLs_, index);
    const PlayoutMedia::Movie* movie = installed.asMovie();
    if (movie) movie->playback->setLoopCount(loops_ ? 0 : 1);
    setErrorMessage(std::nullopt);
    setIsLoading(false);
    {
        std::lock_guard lock(lock_);
        if (preserveActive) {
            state_.media = installed;
            state_.generation = QUuid::createUuid();
        } else {
            state_ = Snapshot{};
            state_.media = installed;
        }
    }
    if (oldMovie && (!movie || movie->playback != oldMovie)) oldMovie->pause();
    // A swap made while keyed runs the new movie from its start. When the keyer was taken off
    // while the swap loaded (panic), the movie waits for the next key-in instead.
    if (preserveActive && movie && isActive_) {
        movie->playback->rewindAndArm();
        movie->playback->play();
    }
}

// ---- Project record -----------------------------------------------------------------------------

std::optional<DSKController::Record> DSKController::record() const {
    if (sourceURLs_.isEmpty()) return std::nullopt;
    Record record;
    for (const QUrl& url : sourceURLs_) record.paths.append(url.toLocalFile());
    record.selectedIndex = selectedIndex_;
    record.loops = loops_;
    return record;
}

void DSKController::restore(const std::optional<Record>& record) {
    clear();
    if (!record) return;
    setLoops(record->loops);
    QList<QUrl> urls;
    urls.reserve(record->paths.size());
    for (const QString& path : record->paths) urls.append(QUrl::fromLocalFile(path));
    loadURLs(urls, record->selectedIndex);
}

QString DSKController::countLabel() const {
    if (sourceURLs_.isEmpty()) return QStringLiteral("0 / 0");
    return QStringLiteral("%1 / %2").arg(selectedIndex_ + 1).arg(sourceURLs_.size());
}

}  // namespace velmar
