#include "app/document_dialogs.h"
#include "app/document_workflow.h"

#include "core/media_access.h"
#include "core/playout_engine.h"
#include "models/localized.h"
#include "platform/base/main_thread.h"
#include "platform/base/native_file_name.h"

#include <QPointer>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>

namespace velmar {

namespace {

// What a background load hands back: the project with its tabs, or the reason it failed.
struct LoadOutcome {
    std::optional<PlayoutProject> project;
    QList<ClipGroup> groups;
    QString error;
};

LoadOutcome loadProject(const QString& path) {
    LoadOutcome outcome;
    try {
        PlayoutProject project = PlayoutProject::load(path);
        outcome.groups = project.makeGroups();
        outcome.project = std::move(project);
    } catch (const std::exception& error) {
        outcome.error = QString::fromUtf8(error.what());
    } catch (...) {
        outcome.error = localized("DOVRINE のプロジェクトファイルではありません");
    }
    return outcome;
}

// A file whose name is not UTF-8 is read through a descriptor opened by its bytes.
LoadOutcome loadProject(const QUrl& url) {
    const QByteArray name = NativeFileName::fromUrl(url);
    if (NativeFileName::text(name)) return loadProject(url.toLocalFile());
    // Without waiting: a pipe at the name would hold the open for ever (the load refuses it).
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        LoadOutcome outcome;
        outcome.error = NativeFileName::readable(name) + QStringLiteral(": ") +
                        QString::fromLocal8Bit(std::strerror(errno));
        return outcome;
    }
    const QString byDescriptor = QStringLiteral("/proc/self/fd/%1").arg(fd);
    LoadOutcome outcome = loadProject(byDescriptor);
    ::close(fd);
    // A reason that names the file names the one the operator gave, not the descriptor's name.
    outcome.error.replace(byDescriptor, NativeFileName::readable(name));
    return outcome;
}

int missingCount(const QList<ClipGroup>& groups) {
    int count = 0;
    for (const ClipGroup& group : groups)
        for (const Clip& clip : group.clips) count += clip.isMissing ? 1 : 0;
    return count;
}

}  // namespace

void DocumentWorkflow::openProject() {
    if (host_.isProjectLoading()) return;
    DocumentDialogs::OpenPanel panel;
    panel.message = localized("プロジェクトを開く");
    host_.setFilePanelOpen(this, true);
    const auto urls = env_.dialogs->runOpenPanel(panel, host_.controlWindow());
    host_.setFilePanelOpen(this, false);
    if (!urls || urls->isEmpty()) return;
    env_.mediaAccess->remember({urls->first().toLocalFile()});
    openProject(urls->first());
}

void DocumentWorkflow::openProject(const QUrl& url) {
    if (host_.isProjectLoading()) return;
    if (engine().isOnAir()) {
        DocumentDialogs::Alert alert;
        alert.message = localized("送出中です");
        alert.informativeText =
            localized("プロジェクトを開くと、メイン映像と DSK をすべて OFF にします。");
        alert.buttons = {{localized("黒にして開く"), DocumentDialogs::ButtonRole::destructive},
                         {localized("キャンセル"), DocumentDialogs::ButtonRole::reject}};
        if (env_.dialogs->runAlert(alert, host_.controlWindow()) != 0) return;
    }
    if (hasUnsavedProjectChanges()) {
        DocumentDialogs::Alert alert;
        alert.message = localized("変更を保存しますか？");
        alert.informativeText = localized("プロジェクトに保存されていない変更があります。");
        alert.buttons = {{localized("保存"), DocumentDialogs::ButtonRole::accept},
                         {localized("保存しない"), DocumentDialogs::ButtonRole::destructive},
                         {localized("キャンセル"), DocumentDialogs::ButtonRole::reject}};
        const int answer = env_.dialogs->runAlert(alert, host_.controlWindow());
        if (answer == 0) {
            if (!saveProject()) return;
        } else if (answer != 1) {
            return;
        }
    }
    if (engine().isOnAir()) engine().panicOff();

    host_.setIsProjectLoading(true);
    const QPointer<DocumentWorkflow> weak(this);
    openQueue_.async([weak, url] {
        auto outcome = std::make_shared<LoadOutcome>(loadProject(url));
        postToMain([weak, url, outcome] {
            if (!weak) return;
            DocumentWorkflow& self = *weak;
            self.host_.setIsProjectLoading(false);
            if (self.engine().isOnAir()) {
                self.status(localized("送出が始まったためプロジェクトの読み込みを中止しました"));
                return;
            }
            if (!outcome->project) {
                self.status(localizedFormat("読み込みに失敗: %@", {outcome->error}));
                return;
            }
            // A project read through bytes the toolkit cannot name is saved where asked.
            const bool nameable = NativeFileName::text(NativeFileName::fromUrl(url)).has_value();
            self.applyAfterGrantingAccess(
                *outcome->project, nameable ? url : QUrl(), std::move(outcome->groups),
                [weak, url](const QList<ClipGroup>& applied) {
                    if (!weak) return;
                    const int missing = missingCount(applied);
                    weak->status(
                        missing > 0
                            ? localizedFormat("読み込みました（%lld 件のファイルが見つかりません）",
                                              {FormatArg(static_cast<long long>(missing))})
                            : localizedFormat("読み込みました: %@",
                                              {NativeFileName::readableFileName(
                                                  NativeFileName::fromUrl(url))}));
                });
        });
    });
}

void DocumentWorkflow::applyAfterGrantingAccess(const PlayoutProject& project, const QUrl& url,
                                                std::optional<QList<ClipGroup>> preparedGroups,
                                                ApplyCompletion completion) {
    if (!env_.sandboxed) {
        const QList<ClipGroup> groups =
            preparedGroups ? std::move(*preparedGroups) : project.makeGroups();
        apply(project, url, groups);
        if (completion) completion(groups);
        return;
    }
    QStringList paths;
    for (const auto& group : project.groups)
        for (const auto& clip : group.clips) paths << clip.path;
    if (project.dsk) paths << project.dsk->paths;
    const QPointer<DocumentWorkflow> weak(this);
    env_.mediaAccess->requestAccessIfNeeded(
        paths,
        [](qsizetype count) {
            return localizedFormat(
                "素材 %lld 件を開く許可がありません。素材が入っているフォルダを選んでください。",
                {FormatArg(static_cast<long long>(count))});
        },
        [weak, project, url, completion = std::move(completion)](const QStringList&) {
            if (!weak) return;
            // Made again, so that the missing flags reflect the access granted now.
            const QList<ClipGroup> groups = project.makeGroups();
            weak->apply(project, url, groups);
            if (completion) completion(groups);
        });
}

double DocumentWorkflow::appliedFadeDuration(double stored, double current) {
    if (!std::isfinite(stored)) return current;
    if (stored <= 0.1) return 0.1;
    return std::round(std::min(stored, 5.0) * 100.0) / 100.0;
}

void DocumentWorkflow::apply(const PlayoutProject& project, const QUrl& url,
                             std::optional<QList<ClipGroup>> preparedGroups) {
    PlayoutEngine& engine = this->engine();
    engine.dsk().restore(project.dsk);
    engine.applyCanvasSilently(project.canvas);
    engine.applyFrameRateSilently(project.frameRate);
    engine.setKeyAlphaMode(project.keyAlphaMode);
    engine.refreshOutputState();
    engine.setDefaultMotion(project.defaultMotion);
    engine.refreshOutputState();
    engine.rundown().loadGroups(preparedGroups ? std::move(*preparedGroups) : project.makeGroups());
    engine.setFadeDuration(appliedFadeDuration(project.fadeDuration, engine.fadeDuration()));
    engine.setAutoAdvance(project.autoAdvance);
    // The setter also mutes or unmutes the loaded movies' players.
    engine.setAudioEnabled(project.audioEnabled);
    engine.setUnpremultiplyAlpha(project.unpremultiplyAlpha);
    engine.refreshOutputState();
    host_.setProjectURL(url);
    host_.setSavedProjectSnapshot(projectSnapshot());
    restartDeckLinkIfModeChanged();
}

void DocumentWorkflow::restartDeckLinkIfModeChanged() {
    if (!host_.isDeckLinkRunning()) return;
    const std::optional<ZRDeckLinkMode> mode = host_.deckLinkRunningMode();
    if (!mode) return;
    const CanvasFormat& canvas = engine().canvas();
    const FrameRate& rate = engine().frameRate();
    const FrameRate modeRate{mode->timeScale(), mode->frameDuration()};
    const bool matches = mode->width() == canvas.width && mode->height() == canvas.height &&
                         rate.frameDuration >= 1 && modeRate.frameDuration >= 1 &&
                         sameRate(rate, modeRate);
    if (matches) return;
    host_.stopDeckLink();
    host_.startDeckLink();
    if (host_.isDeckLinkRunning())
        status(localized("プロジェクトの設定に合わせて SDI 出力を切り替えました"));
}

void DocumentWorkflow::openProjectFromFinder(const QUrl& url) {
    env_.mediaAccess->remember({url.toLocalFile()});
    if (!isReadyForExternalOpen_) {
        pendingOpenURL_ = url;
        return;
    }
    openProject(url);
}

void DocumentWorkflow::markReadyForExternalOpen() {
    isReadyForExternalOpen_ = true;
    if (const auto url = std::exchange(pendingOpenURL_, std::nullopt)) openProject(*url);
}

}  // namespace velmar
