#pragma once

#include "models/playout_media.h"

#include <QObject>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

class HostClock;
class Timer;
class TimerFactory;

// The downstream keyer: one more still or movie laid over the program at a level between 0 and
// 1 that a cut or a fade moves. The level is not stepped by a timer: each change writes one
// small ramp record (Snapshot) that renderers copy under the keyer's lock and evaluate at their
// own frame time. A one-shot timer only brings the published flags up to date when a fade ends.
//
// Published state is written on the main thread. Renderers only call snapshot().
class DSKController : public QObject {
    Q_OBJECT

public:
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

    DSKController(HostClock& clock, TimerFactory& timers, QObject* parent = nullptr);
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

    void setIsActive(bool active);
    void setIsTransitioning(bool transitioning);
    void finishTransition(double target);
    void pauseMovie();

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
    mutable std::mutex lock_;
    Snapshot state_;
};

}  // namespace velmar
