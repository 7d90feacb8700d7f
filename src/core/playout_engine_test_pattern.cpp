// Test patterns on the program layer: drawing off the main thread at the canvas size, the
// hand-over of the newest request, and its messages and log lines.
#include "core/playout_engine.h"

#include "core/playout_log.h"
#include "models/localized.h"
#include "platform/base/main_thread.h"
#include "render/test_pattern_renderer.h"

#include <QPointer>

namespace velmar {

void PlayoutEngine::showTestPattern(TestPatternKind kind, LEDCabinetSize cabinet) {
    const QUuid token = QUuid::createUuid();
    testPattern_.token = token;
    testPattern_.requested = kind;
    testPattern_.cabinet = cabinet;
    // The size now: a later canvas change makes its own request.
    const int w = canvas_.width;
    const int h = canvas_.height;

    QPointer<PlayoutEngine> self(this);
    auto prepare = services_.prepareTexture;
    auto draw = [self, token, kind, w, h, cabinet, prepare] {
        // Touches no engine state: everything it needs came by value.
        ImageRef image = TestPatternRenderer::makeImage(kind, w, h, cabinet);
        if (image && prepare) prepare(image);
        // Posted without a context: the QPointer is read only on the main thread, where the
        // object dies, never here while it may be dying.
        postToMain([self, token, image, kind, w, h, cabinet] {
            if (self) self->finishTestPattern(token, image, kind, w, h, cabinet);
        });
    };
    if (services_.runInBackground) {
        services_.runInBackground(BackgroundRunner::Work::testPattern, std::move(draw));
    } else {
        draw();
    }
}

void PlayoutEngine::finishTestPattern(const QUuid& token, const ImageRef& image,
                                      TestPatternKind kind, int w, int h, LEDCabinetSize cabinet) {
    if (testPattern_.token.isNull() || testPattern_.token != token) return;
    testPattern_.requested.reset();
    if (!image) {
        // Whatever was shown before stays.
        setLastMessage(localized("テストパターンを作れませんでした"));
        return;
    }
    const bool kindChanged = testPattern_.shown != kind;
    testPattern_.shown = kind;
    testPattern_.media = PlayoutMedia::still(image);
    refreshOutputState();
    if (kindChanged) emit testPatternChanged();

    const QString label = kind.shortLabel();
    if (kind == TestPatternKind::ledCabinet) {
        setLastMessage(
            localizedFormat("テストパターンを出力中: %@（%@）",
                            {label, TestPatternRenderer::cabinetSummary(w, h, cabinet)}));
    } else {
        setLastMessage(localizedFormat("テストパターンを出力中: %@", {label}));
    }
    services_.log->write(QStringLiteral("TEST PATTERN  ") + label + QStringLiteral("  ") +
                         QString::number(w) + QLatin1Char('x') + QString::number(h));
}

void PlayoutEngine::clearTestPattern() {
    // A drawing still under way is dropped at its hand-over.
    testPattern_.token = QUuid();
    testPattern_.requested.reset();
    if (!testPattern_.shown && !testPattern_.media) return;
    testPattern_.shown.reset();
    testPattern_.media.reset();
    refreshOutputState();
    emit testPatternChanged();
    setLastMessage(localized("テストパターンを消しました"));
    services_.log->write(QStringLiteral("TEST PATTERN  OFF"));
}

void PlayoutEngine::redrawTestPatternForCanvas() {
    // The pattern being drawn, else the one shown, again at the new size with the stored
    // cabinet; a drawing started for the old size is replaced by this request.
    const std::optional<TestPatternKind> kind =
        testPattern_.requested ? testPattern_.requested : testPattern_.shown;
    if (kind) showTestPattern(*kind, testPattern_.cabinet);
}

}  // namespace velmar
