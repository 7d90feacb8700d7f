#include "app/document_workflow.h"

#include "core/autosave_store.h"
#include "core/media_access.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "core/thumbnail_cache.h"
#include "models/localized.h"
#include "platform/base/app_paths.h"
#include "platform/base/host_clock.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace velmar {

namespace {

PlayoutProject::ClipRecord clipRecord(const Clip& clip) {
    PlayoutProject::ClipRecord record;
    record.path = clip.url.toLocalFile();
    record.displayName = clip.displayName;
    if (clip.pixelWidth) record.pixelWidth = *clip.pixelWidth;
    if (clip.pixelHeight) record.pixelHeight = *clip.pixelHeight;
    record.motion = clip.motion;
    record.motionDuration = clip.motionDuration;
    if (!clip.transform.isIdentity()) record.transform = clip.transform;
    if (clip.loopCount != 1) record.loopCount = clip.loopCount;
    record.contentAnchorX = clip.contentAnchorX;
    record.contentAnchorY = clip.contentAnchorY;
    return record;
}

// The program registered for Photoshop documents, asked of the desktop's MIME database.
bool hasPhotoshopApplication(const QUrl&) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("image/vnd.adobe.photoshop")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

DocumentWorkflow::Desktop DocumentWorkflow::Desktop::standard() {
    Desktop desktop;
    desktop.hasDefaultApplication = hasPhotoshopApplication;
    desktop.openWithDefaultApplication = [](const QUrl& url, QString* error) {
        if (QDesktopServices::openUrl(url)) return true;
        if (error) *error = localized("既定のアプリケーションで開けませんでした");
        return false;
    };
    desktop.revealFolder = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return desktop;
}

DocumentWorkflow::Environment DocumentWorkflow::Environment::standard(DocumentDialogs* dialogs) {
    Environment env;
    env.autosave = &AutosaveStore::shared();
    env.mediaAccess = &MediaAccess::shared();
    env.thumbnails = &ThumbnailCache::shared();
    env.dialogs = dialogs;
    env.log = &PlayoutLog::shared();
    env.clock = &HostClock::system();
    env.backupsDirectory = AppPaths::backupsDirectory();
    env.sandboxed = MediaAccess::isSandboxed();
    env.desktop = Desktop::standard();
    return env;
}

DocumentWorkflow::DocumentWorkflow(Host& host, Environment environment, QObject* parent)
    : QObject(parent), host_(host), env_(std::move(environment)) {
    env_.autosave->setProjectProvider([this] {
        const QUrl url = host_.projectURL();
        return std::pair{currentProject(),
                         url.isEmpty() ? std::nullopt : std::optional(url.toLocalFile())};
    });
    // Notices from the store's queue are handed to the main thread; one still queued when the
    // workflow is destroyed is dropped with it.
    env_.autosave->setNoticeHandler([this](const AutosaveStore::Notice& notice) {
        if (QThread::currentThread() == thread()) {
            autosaveNotice(notice);
        } else {
            QMetaObject::invokeMethod(
                this, [this, notice] { autosaveNotice(notice); }, Qt::QueuedConnection);
        }
    });
}

DocumentWorkflow::~DocumentWorkflow() {
    env_.autosave->setNoticeHandler({});
    env_.autosave->setProjectProvider({});
    // The timer started for this workflow stops with it, and what it handed over is written
    // before it is gone: a workflow made later (the next start in one process) is never
    // autosaved by it before its own recovery question has been answered.
    env_.autosave->stop();
    env_.autosave->waitUntilIdle();
}

void DocumentWorkflow::waitForBackgroundWork() {
    openQueue_.waitUntilIdle();
    importQueue_.waitUntilIdle();
    desktopQueue_.waitUntilIdle();
}

// MARK: Record

PlayoutProject DocumentWorkflow::currentProject() const {
    const PlayoutEngine& engine = host_.engine();
    PlayoutProject project;
    project.formatVersion = PlayoutProject::kCurrentFormatVersion;
    project.canvas = engine.canvas();
    project.frameRate = engine.frameRate();
    project.keyAlphaMode = engine.keyAlphaMode();
    project.defaultMotion = engine.defaultMotion();
    project.fadeDuration = engine.fadeDuration();
    project.autoAdvance = engine.autoAdvance();
    project.audioEnabled = engine.audioEnabled();
    project.unpremultiplyAlpha = engine.unpremultiplyAlpha();
    for (const ClipGroup& group : engine.rundown().groups()) {
        PlayoutProject::GroupRecord record;
        record.name = group.name;
        record.selectedIndex = group.selectedIndex;
        record.clips.reserve(group.clips.size());
        for (const Clip& clip : group.clips) record.clips << clipRecord(clip);
        QList<PlayoutProject::MarkerRecord> markers;
        for (const Marker& marker : group.markers)
            markers << PlayoutProject::MarkerRecord{marker.position, marker.name};
        record.markers = std::move(markers);
        project.groups << std::move(record);
    }
    project.dsk = host_.engine().dsk().record();
    return project;
}

std::optional<QByteArray> DocumentWorkflow::snapshotOf(const PlayoutProject& project) {
    return project.encoded(PlayoutProject::Encoding::comparison);
}

std::optional<QByteArray> DocumentWorkflow::projectSnapshot() const {
    return snapshotOf(currentProject());
}

bool DocumentWorkflow::hasUnsavedProjectChanges() const {
    const auto current = projectSnapshot();
    const auto saved = host_.savedProjectSnapshot();
    return !current || !saved || *current != *saved;
}

QString DocumentWorkflow::projectDisplayName() const {
    const QUrl url = host_.projectURL();
    if (url.isEmpty()) return QStringLiteral("Untitled");
    const QString name = QFileInfo(url.path()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

}  // namespace velmar
