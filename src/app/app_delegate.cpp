#include "app/app_delegate.h"

#include "models/localized.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

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

// The name as a text, when its bytes are valid UTF-8.
std::optional<QString> decoded(const QByteArray& name) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(name);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

// The name for a message: valid UTF-8 as it is, any other byte as \xNN.
QString readable(const QByteArray& name) {
    QString text;
    qsizetype i = 0;
    while (i < name.size()) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const qsizetype length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (const auto part = decoded(name.mid(i, length)); part && i + length <= name.size()) {
            text += *part;
            i += length;
            continue;
        }
        text += QStringLiteral("\\x") + QString::number(lead, 16).toUpper().rightJustified(2, u'0');
        ++i;
    }
    return text;
}

QString fileNameOf(const QByteArray& name) {
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray last = slash < 0 ? name : name.mid(slash + 1);
    return readable(last.isEmpty() ? name : last);
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
        skipped << fileNameOf(name);
    }
    if (!skipped.isEmpty())
        report(localizedFormat("プロジェクトファイル以外は開きません: %@", {skipped.join(", ")}));
    for (const QByteArray& name : names) {
        if (!isProjectName(name)) continue;
        // The toolkit names files by text: bytes that are not UTF-8 would name another file.
        const std::optional<QString> path = decoded(name);
        if (!path) {
            report(
                localizedFormat("ファイル名が UTF-8 でないため開けません: %@", {readable(name)}));
            return;
        }
        call(steps_.bringToFront);
        if (steps_.openProjectFromFinder)
            steps_.openProjectFromFinder(QUrl::fromLocalFile(QFileInfo(*path).absoluteFilePath()));
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
