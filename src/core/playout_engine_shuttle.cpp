// J/K/L shuttling of the program movie. The rate ladder belongs to the movie's playback; the
// engine forwards the key and reports the resulting rate. The status texts are not translated.
#include "core/playout_engine.h"

#include "core/movie_playback.h"
#include "models/localized.h"

#include <cmath>

namespace velmar {
namespace {

MoviePlayback* programMovie(const std::optional<PlayoutMedia>& media) {
    if (!media || !media->isMovie()) return nullptr;
    return media->asMovie()->playback.get();
}

QString rateText(const QString& key, float rate, bool percent) {
    if (rate == 0.0f) return key + QStringLiteral("  PAUSE");
    const QByteArray k = key.toUtf8();
    const char* rev = rate < 0 ? "REV " : "";
    const double magnitude = std::fabs(static_cast<double>(rate));
    return percent ? QString::asprintf("%s  %s%.0f%%", k.constData(), rev, magnitude * 100.0)
                   : QString::asprintf("%s  %s%.0fx", k.constData(), rev, magnitude);
}

}  // namespace

void PlayoutEngine::shuttleProgram(int direction) {
    MoviePlayback* movie = programMovie(programMedia_);
    if (movie == nullptr) {
        setLastMessage(localized("PROGRAM に動画がありません"));
        return;
    }
    const float rate = movie->shuttle(direction);
    const QString key = direction < 0    ? QStringLiteral("J")
                        : direction == 0 ? QStringLiteral("K")
                                         : QStringLiteral("L");
    setLastMessage(rateText(key, rate, false));
}

void PlayoutEngine::slowShuttleProgram(int direction) {
    MoviePlayback* movie = programMovie(programMedia_);
    if (movie == nullptr) {
        setLastMessage(localized("PROGRAM に動画がありません"));
        return;
    }
    const float rate = movie->slowShuttle(direction);
    const QString key = direction < 0 ? QStringLiteral("⇧J") : QStringLiteral("⇧L");
    setLastMessage(rateText(key, rate, true));
}

}  // namespace velmar
