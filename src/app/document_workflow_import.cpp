#include "app/document_dialogs.h"
#include "app/document_workflow.h"

#include "core/media_access.h"
#include "core/playout_engine.h"
#include "core/thumbnail_cache.h"
#include "models/localized.h"
#include "platform/base/main_thread.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>

#include <algorithm>

namespace velmar {

namespace {

QStringList localPaths(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

// A directory gives its direct entries without the hidden ones, in the listing's order (nothing
// when it cannot be listed); any other file URL passes as it is; other URLs are dropped.
QStringList expanded(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isDir()) {
            const QDir dir(path);
            for (const QString& name : dir.entryList(
                     QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort))
                paths << dir.filePath(name);
        } else {
            paths << path;
        }
    }
    return paths;
}

// The still and movie extensions, sorted: what the replace panel offers.
QStringList mediaExtensions() {
    QStringList extensions = Clip::stillExtensions().values();
    extensions << Clip::movieExtensions().values();
    extensions.sort();
    return extensions;
}

}  // namespace

QList<Clip> DocumentWorkflow::importedClips(const QList<QUrl>& urls) {
    QList<Clip> clips;
    for (const QString& path : expanded(urls)) {
        const auto kind = Clip::kindFor(path);
        if (!kind) continue;
        const QString fileName = QFileInfo(path).fileName();
        const qsizetype dot = fileName.lastIndexOf(u'.');
        Clip clip;
        clip.url = QUrl::fromLocalFile(path);
        clip.displayName = dot > 0 ? fileName.left(dot) : fileName;
        clip.kind = *kind;
        clip.isMissing = !QFileInfo::exists(path);
        clips << clip;
    }
    // The file manager's order: digits compared as numbers, case ignored.
    // The C locale (no locale set) has no numeric collation: English stands in for it.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(clips.begin(), clips.end(), [&](const Clip& a, const Clip& b) {
        return collator.compare(a.url.fileName(), b.url.fileName()) < 0;
    });
    return clips;
}

void DocumentWorkflow::presentAddClips(AddPanelKind kind) {
    DocumentDialogs::OpenPanel panel;
    panel.message = localized("送出する素材を選択（静止画・動画、フォルダ選択も可）");
    panel.allowsMultiple = true;
    panel.choosesFiles = kind == AddPanelKind::files;
    panel.choosesDirectories = kind == AddPanelKind::folder;
    // Any file may be chosen: the import itself keeps the stills and movies and reports when
    // none was left.
    host_.setFilePanelOpen(this, true);
    const QPointer<DocumentWorkflow> weak(this);
    env_.dialogs->beginOpenPanel(panel, host_.controlWindow(),
                                 [weak](std::optional<QList<QUrl>> urls) {
                                     if (!weak) return;
                                     weak->host_.setFilePanelOpen(weak, false);
                                     if (!urls) return;
                                     weak->env_.mediaAccess->remember(localPaths(*urls));
                                     postToMain(weak, [weak, urls = std::move(*urls)] {
                                         if (weak) weak->importURLs(urls);
                                     });
                                 });
}

void DocumentWorkflow::importURLs(const QList<QUrl>& urls, std::optional<int> insertAt) {
    // The target tab is the one current now, whatever is current when the files are ready.
    std::optional<QUuid> tab;
    if (const auto group = engine().rundown().currentGroup()) tab = group->id;
    const QPointer<DocumentWorkflow> weak(this);
    importQueue_.async([weak, urls, insertAt, tab] {
        QList<Clip> clips = importedClips(urls);
        postToMain([weak, clips = std::move(clips), insertAt, tab] {
            if (weak) weak->engine().rundown().addClips(clips, insertAt, tab);
        });
    });
}

void DocumentWorkflow::replaceCursorClip() {
    if (!engine().rundown().selectedClip()) return;
    presentReplace(engine().rundown().clampedNext());
}

void DocumentWorkflow::presentReplace(int index) {
    if (engine().state() != PlayoutEngine::State::off) {
        status(localizedFormat("オンエア中は%@できません", {localized("素材の差し替えは")}));
        return;
    }
    const auto group = engine().rundown().currentGroup();
    if (!group || index < 0 || index >= group->clips.size()) return;
    // The clip is named by its id, not its place: the panel does not block, and the rundown may
    // change before it is answered.
    const QUuid clipID = group->clips[index].id;
    const QUuid tabID = group->id;
    DocumentDialogs::OpenPanel panel;
    panel.message = localized("差し替える素材を選択");
    panel.allowedExtensions = mediaExtensions();
    host_.setFilePanelOpen(this, true);
    const QPointer<DocumentWorkflow> weak(this);
    postToMain(this, [weak, panel, clipID, tabID] {
        if (!weak) return;
        weak->env_.dialogs->beginOpenPanel(panel, weak->host_.controlWindow(),
                                           [weak, clipID, tabID](std::optional<QList<QUrl>> urls) {
                                               if (weak) weak->finishReplace(clipID, tabID, urls);
                                           });
    });
}

void DocumentWorkflow::finishReplace(const QUuid& clipID, const QUuid& tabID,
                                     const std::optional<QList<QUrl>>& urls) {
    host_.setFilePanelOpen(this, false);
    if (!urls || urls->isEmpty()) return;
    const QUrl url = urls->first();
    env_.mediaAccess->remember(localPaths({url}));
    if (!url.isLocalFile() || !Clip::kindFor(url)) {
        status(localizedFormat("対応していないコーデック: %@", {QFileInfo(url.path()).suffix()}));
        return;
    }
    const auto group = engine().rundown().currentGroup();
    qsizetype index = -1;
    if (group && group->id == tabID) {
        const auto& clips = group->clips;
        const auto it = std::find_if(clips.begin(), clips.end(),
                                     [&](const Clip& clip) { return clip.id == clipID; });
        if (it != clips.end()) index = it - clips.begin();
    }
    if (index < 0) {
        status(localized("差し替える素材が今のタブに無いため、差し替えませんでした"));
        return;
    }
    engine().rundown().replaceClip(static_cast<int>(index), url);
}

void DocumentWorkflow::reloadMediaCachesAfterActivation() {
    if (!host_.reloadMediaOnActivation() || host_.isProjectLoading() || host_.isFilePanelOpen())
        return;
    env_.thumbnails->invalidate();  // also tells the thumbnails shown to ask again
    engine().reloadSelectedStillFromDisk();
}

void DocumentWorkflow::openInPhotoshop(const QUrl& url) {
    if (QFileInfo(url.path()).suffix().toLower() != QStringLiteral("psd")) return;
    // Asking the desktop for the application may take seconds (it runs a program): it is asked
    // on the desktop queue, and the answer comes back to the main thread.
    const QPointer<DocumentWorkflow> weak(this);
    desktopQueue_.async([weak, url, check = env_.desktop.hasDefaultApplication] {
        const bool found = check && check(url);
        postToMain([weak, url, found] {
            if (!weak) return;
            if (!found) {
                weak->status(localized("Adobe Photoshopが見つかりません"));
                return;
            }
            QString error;
            const Desktop& desktop = weak->env_.desktop;
            if (!desktop.openWithDefaultApplication(url, &error))
                weak->status(localizedFormat("Photoshopで開けませんでした: %@", {error}));
        });
    });
}

}  // namespace velmar
