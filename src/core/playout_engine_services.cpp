// The engine's outside work as the running program does it.
#include "core/playout_engine.h"

#include "core/movie_playback.h"
#include "core/playout_log.h"
#include "core/sdi_audio_bridge.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"

#include <QThreadPool>

namespace velmar {

PlayoutEngine::Services PlayoutEngine::Services::standard() {
    Services s;
    s.clock = &HostClock::system();
    s.timers = &TimerFactory::system();
    s.log = &PlayoutLog::shared();
    s.makePlayback = [](const QUrl& url, bool muted, int loopCount) {
        return MoviePlayback::create(url.toLocalFile(), muted, loopCount);
    };
    s.setBridgeProgramGain = [](float gain) {
        for (SDIAudioBridge* bridge : SDIAudioBridge::all()) bridge->setProgramGain(gain);
    };
    s.runInBackground = [](std::function<void()> work) {
        QThreadPool::globalInstance()->start(std::move(work));
    };
    return s;
}

}  // namespace velmar
