#include "app/app_delegate.h"

#include "models/localized.h"

#include <QFileInfo>

namespace velmar {

AppDelegate::AppDelegate(Steps steps, QObject* parent)
    : QObject(parent), steps_(std::move(steps)) {}

void AppDelegate::applicationDidFinishLaunching() {
    call(steps_.startLog);
    call(steps_.startKeyMonitor);
    call(steps_.refreshDeckLinkDevices);
    call(steps_.refreshScreens);
    // The recovery question comes before a project file from outside is opened.
    call(steps_.offerRecoveryIfNeeded);
    call(steps_.markReadyForExternalOpen);
}

namespace {

bool isProjectFile(const QFileInfo& info) {
    return info.suffix().toLower() == QStringLiteral("tavrendek");
}

}  // namespace

std::optional<QUrl> AppDelegate::projectToOpen(const QStringList& paths) {
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!isProjectFile(info)) continue;
        if (!info.isFile()) continue;
        return QUrl::fromLocalFile(info.absoluteFilePath());
    }
    return std::nullopt;
}

void AppDelegate::openFiles(const QStringList& paths) {
    QStringList skipped;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (path.isEmpty() || !info.exists()) continue;
        if (!isProjectFile(info)) skipped << (info.fileName().isEmpty() ? path : info.fileName());
    }
    if (!skipped.isEmpty() && steps_.showStatus) {
        steps_.showStatus(
            localizedFormat("プロジェクトファイル以外は開きません: %@", {skipped.join(", ")}));
    }
    const auto url = projectToOpen(paths);
    if (!url) return;
    call(steps_.bringToFront);
    if (steps_.openProjectFromFinder) steps_.openProjectFromFinder(*url);
}

void AppDelegate::applicationDidBecomeActive() {
    if (!hasActivatedOnce_) {
        hasActivatedOnce_ = true;
        return;
    }
    call(steps_.reloadMediaCachesAfterActivation);
}

bool AppDelegate::shouldTerminate() {
    const bool unsaved = steps_.hasUnsavedProjectChanges && steps_.hasUnsavedProjectChanges();
    bool terminate = true;
    if (unsaved) {
        const SaveAnswer answer = steps_.askToSave ? steps_.askToSave() : SaveAnswer::cancel;
        switch (answer) {
            case SaveAnswer::save: {
                const QUrl url = steps_.projectURL ? steps_.projectURL() : QUrl();
                if (!url.isEmpty()) {
                    terminate = steps_.writeProject && steps_.writeProject(url);
                } else {
                    terminate = steps_.saveProjectAs && steps_.saveProjectAs();
                }
                break;
            }
            case SaveAnswer::dontSave:
                terminate = true;
                break;
            case SaveAnswer::cancel:
                terminate = false;
                break;
        }
    }
    if (terminate) quitDecided_ = true;
    return terminate;
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    call(steps_.stopKeyMonitor);
    call(steps_.stopDeckLink);
    call(steps_.stopOBSOutput);
    call(steps_.closeOutputWindow);
    call(steps_.stopAutosave);
    const bool unasked =
        !quitDecided_ && steps_.hasUnsavedProjectChanges && steps_.hasUnsavedProjectChanges();
    call(unasked ? steps_.keepAutosave : steps_.clearAutosave);
    call(steps_.stopLog);
}

}  // namespace velmar
