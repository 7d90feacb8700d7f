#pragma once

#include "core/background_runner.h"
#include "models/playout_media.h"
#include "models/playout_project.h"

#include <QList>
#include <QObject>
#include <QSizeF>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace velmar {

class HostClock;
class MoviePlayback;
class Timer;
class TimerFactory;

// The downstream keyer: one more still or movie laid over the program at a level between 0 and
// 1 that a cut or a fade moves. The level is not stepped by a timer: each change writes one
// small ramp record (Snapshot) that renderers copy under the keyer's lock and evaluate at their
// own frame time. A one-shot timer only brings the published flags up to date when a fade ends.
//
// The keyer's sources are a folder's playable files (in file-manager name order) or one chosen
// file; one of them at a time is loaded into a medium: a still decoded in full with its texture
// prepared, or a muted movie with its poster, waited on until it is prepared (at most 8 s).
// Every load carries a token; a result whose token has been replaced is dropped. There is no
// sandbox here, so no per-source access grant is taken or held.
//
// Published state is written on the main thread. Renderers only call snapshot(). Folder
// listing, still decoding and movie probing run through Services::runInBackground and come
// back to the main thread.
class DSKController : public QObject {
    Q_OBJECT

  public:
    // The keyer's part of a saved project.
    using Record = DSKRecord;

    // A movie probe: its display size, or the message why it cannot be played.
    using Probe = std::variant<QSizeF, QString>;

    // The outside work of loading sources. An empty entry means "cannot load": the load fails
    // with its message. Exceptions: an empty prepareTexture skips the preparation, an empty
    // boundedFirstFrame gives no poster, and without runInBackground a folder is listed inline.
    struct Services {
        HostClock* clock = nullptr;
        TimerFactory* timers = nullptr;
        // Decodes a still at full resolution; null when it cannot be decoded.
        std::function<ImageRef(const QUrl&)> loadFullStill;
        // Makes the GPU texture of a decoded still on the calling thread.
        std::function<void(const ImageRef&)> prepareTexture;
        // Probes a movie (bounded by the prober itself).
        std::function<Probe(const QUrl&)> probeMovie;
        // The first frame fitted into maxPixel, or null when it fails or takes over `seconds`.
        std::function<ImageRef(const QUrl&, int maxPixel, double seconds)> boundedFirstFrame;
        // Makes the playback object of a movie; its preparation starts by itself.
        std::function<std::shared_ptr<MoviePlayback>(const QUrl&, bool muted, int loopCount)>
            makePlayback;
        // Runs work off the main thread, each kind on its own lane.
        BackgroundRunner runInBackground;

        static Services standard();
    };

    // The ramp renderers read. level(t) is `to` without a duration, else the linear ramp from
    // `from` at `started` to `to` at `started + duration`, clamped at both ends.
    struct Snapshot {
        std::optional<PlayoutMedia> media;
        QUuid generation = QUuid::createUuid();  // new whenever the keyed content starts over
        double from = 0;
        double to = 0;
        double started = 0;
        double duration = 0;

        double level(double hostTime) const;
    };

    // The standard services on the given clock and timers.
    DSKController(HostClock& clock, TimerFactory& timers, QObject* parent = nullptr);
    explicit DSKController(Services services, QObject* parent = nullptr);
    ~DSKController() override;

    // Published state.
    const std::optional<PlayoutMedia>& media() const { return media_; }
    const std::optional<QUrl>& sourceURL() const { return sourceURL_; }
    const QList<QUrl>& sourceURLs() const { return sourceURLs_; }
    int selectedIndex() const { return selectedIndex_; }
    bool isLoading() const { return isLoading_; }
    bool isActive() const { return isActive_; }
    bool isTransitioning() const { return isTransitioning_; }
    bool loops() const { return loops_; }
    const std::optional<QString>& errorMessage() const { return errorMessage_; }

    // Any thread: a copy of the ramp, taken under the keyer's lock.
    Snapshot snapshot() const;

    // Moves the level from its present value to `target` over `duration` seconds (a duration
    // that is not a finite positive number means at once).
    void transition(double target, double duration);
    // Keys on or off at once; during a fade, completes it at once.
    void cut();
    // Keys on or off over the duration; ignored while a fade runs.
    void fade(double duration);
    // Takes the keyer off at once and forgets medium and sources.
    void clear();
    void setLoops(bool loops);

    // ---- Sources ------------------------------------------------------------------------------
    // Starts over with a folder (its playable files, in name order) or one file; refused with a
    // message while the keyer is active.
    void load(const QUrl& url);
    // Keeps the playable files of the list and loads the one at the index (clamped); does
    // nothing while the keyer is active.
    void loadURLs(const QList<QUrl>& urls, qint64 selectedIndex);
    // Loads the following source (wrapping), keeping the keyer on air when it is.
    void next();
    // None when there are no sources.
    std::optional<Record> record() const;
    // Clears the keyer, then loads the record's sources.
    void restore(const std::optional<Record>& record);
    // "3 / 12"; "0 / 0" without sources.
    QString countLabel() const;

    // File-manager name order: case-insensitive, runs of digits compared by value.
    static bool naturalLess(const QString& a, const QString& b);

  signals:
    void mediaChanged();
    void sourcesChanged();  // sourceURL, sourceURLs, selectedIndex
    void isLoadingChanged(bool loading);
    void isActiveChanged(bool active);
    void isTransitioningChanged(bool transitioning);
    void loopsChanged(bool loops);
    void errorMessageChanged();

  private:
    // Used by the source loading, which installs what it has loaded.
    void setMedia(std::optional<PlayoutMedia> media);
    void setIsLoading(bool loading);
    void setErrorMessage(std::optional<QString> message);
    void setSources(std::optional<QUrl> sourceURL, QList<QUrl> sourceURLs, int selectedIndex);
    void resetSnapshot();

    // Source loading.
    void loadIndex(int index, bool preserveActive);
    void install(std::optional<PlayoutMedia> result, const QUrl& url, int index,
                 bool preserveActive, const std::optional<QString>& error);
    void finishListing(const QUuid& token, std::optional<QList<QUrl>> listing);
    void continueMovie(const QUuid& token, const QUrl& url, int index, bool preserveActive,
                       const Probe& probe, const ImageRef& poster);
    void pollMovie(const QUuid& token);
    // Stops the load under way (its preparation wait and its unfinished movie).
    void cancelLoadTask();

    void setIsActive(bool active);
    void setIsTransitioning(bool transitioning);
    void finishTransition(double target);
    void pauseMovie();

    Services services_;
    HostClock& clock_;
    TimerFactory& timers_;
    QUuid loadID_ = QUuid::createUuid();
    std::optional<PlayoutMedia> media_;
    std::optional<QUrl> sourceURL_;
    QList<QUrl> sourceURLs_;
    int selectedIndex_ = 0;
    bool isLoading_ = false;
    bool isActive_ = false;
    bool isTransitioning_ = false;
    bool loops_ = true;
    std::optional<QString> errorMessage_;

    std::unique_ptr<Timer> finishTimer_;

    // The movie of the load under way, polled until it is prepared.
    struct PendingMovie {
        QUuid token;
        QUrl url;
        int index = 0;
        bool preserveActive = false;
        std::shared_ptr<MoviePlayback> playback;
        ImageRef poster;
        QSizeF size;
        double startedAt = 0;
    };
    std::optional<PendingMovie> pendingMovie_;
    std::unique_ptr<Timer> pollTimer_;
    mutable std::mutex lock_;
    Snapshot state_;
};

}  // namespace velmar
