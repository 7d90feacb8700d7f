#include "app/app_delegate.h"

#include "models/localized.h"
#include "platform/base/native_file_name.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

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

bool isProjectName(const QByteArray& name) {
    return name.toLower().endsWith(".tavrendek");
}

bool exists(const QByteArray& name) {
    struct stat st {};
    return ::stat(name.constData(), &st) == 0;
}

}  // namespace

void AppDelegate::openFiles(const QStringList& paths) {
    QList<QByteArray> names;
    for (const QString& path : paths) names << QFile::encodeName(path);
    openNativeFiles(names);
}

void AppDelegate::openNativeFiles(const QList<QByteArray>& names) {
    QStringList skipped;
    for (const QByteArray& name : names) {
        if (name.isEmpty() || isProjectName(name) || !exists(name)) continue;
        skipped << NativeFileName::readableFileName(name);
    }
    if (!skipped.isEmpty())
        report(localizedFormat("プロジェクトファイル以外は開きません: %@", {skipped.join(", ")}));
    for (const QByteArray& name : names) {
        if (!isProjectName(name)) continue;
        const QByteArray absolute = NativeFileName::absolute(name);
        QUrl url;
        if (const std::optional<QString> path = NativeFileName::text(absolute)) {
            url = QUrl::fromLocalFile(QFileInfo(*path).absoluteFilePath());
        } else {
            // Read through its bytes; the toolkit cannot name it to save it again.
            url = NativeFileName::toUrl(absolute);
            report(
                localizedFormat("ファイル名が UTF-8 でないため、保存するときは保存先を選びます: %@",
                                {NativeFileName::readable(absolute)}));
        }
        call(steps_.bringToFront);
        if (steps_.openProjectFromFinder) steps_.openProjectFromFinder(url);
        return;
    }
}

void AppDelegate::report(const QString& text) {
    if (steps_.showStatus) steps_.showStatus(text);
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
