#include "app/document_dialogs.h"
#include "app/document_workflow.h"

#include "core/autosave_store.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "platform/base/host_clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>

#include <chrono>
#include <cstdio>

namespace velmar {

namespace {

constexpr int kListedUnreadable = 12;

// The locale of the interface language, for dates shown in boxes.
QLocale interfaceLocale() {
    switch (LanguageSettings::shared().language()) {
        case AppLanguage::ja:
            return QLocale(QLocale::Japanese, QLocale::Japan);
        case AppLanguage::en:
            return QLocale(QLocale::English, QLocale::UnitedStates);
        case AppLanguage::system:
            break;
    }
    return QLocale::system();
}

}  // namespace

// An autosave that cannot be read is kept under a name of its own, so that the first autosave
// of this run does not overwrite what may still be rescued from it. Returns the new name, or
// nothing when it could not be moved.
QString DocumentWorkflow::setAsideUnreadableAutosave() {
    const auto folder = env_.autosave->directory();
    if (!folder) return {};
    const QDir dir(*folder);
    const QString source = dir.filePath(AutosaveStore::autosaveFileName);
    const QDateTime now =
        QDateTime::fromMSecsSinceEpoch(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           env_.clock->wallNow().time_since_epoch())
                                           .count());
    const QString stem = "autosave-unreadable-" + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stem + u'.' + projectExtension;
    for (int n = 2;
         QFileInfo::exists(dir.filePath(name)) || QFileInfo(dir.filePath(name)).isSymLink(); ++n)
        name = stem + u'-' + QString::number(n) + u'.' + projectExtension;
    // The system's rename alone: QFile::rename falls back to opening and copying the file when
    // the rename fails, and whatever is at the name (a pipe) must never be opened.
    return ::rename(QFile::encodeName(source).constData(),
                    QFile::encodeName(dir.filePath(name)).constData()) == 0
               ? name
               : QString();
}

void DocumentWorkflow::offerRecoveryIfNeeded() {
    AutosaveStore& autosave = *env_.autosave;
    // Taking the autosave folder decides it: when another running copy holds it or its lock
    // cannot be taken, the store's notice says so, and the work there is neither offered nor
    // touched.
    autosave.ownsDirectory();
    bool restoring = false;
    if (autosave.hasPendingRecovery()) {
        if (const auto recovery = autosave.loadRecovery()) {
            QString text = localized("保存されずに終了した内容が見つかりました。");
            if (const auto date = autosave.recoveryDate()) {
                text += u'\n' +
                        localizedFormat("最後の控え: %@",
                                        {interfaceLocale().toString(*date, QLocale::ShortFormat)});
            }
            if (recovery->origin && !recovery->origin->isEmpty()) {
                text += u'\n' + localizedFormat("元のファイル: %@",
                                                {QFileInfo(*recovery->origin).fileName()});
            }
            DocumentDialogs::Alert alert;
            alert.message = localized("前回の作業が残っています");
            alert.informativeText = text;
            alert.buttons = {{localized("復帰する"), DocumentDialogs::ButtonRole::accept},
                             {localized("破棄する"), DocumentDialogs::ButtonRole::destructive}};
            enum Answer { restore = 0, discard = 1 };
            const int answer = env_.dialogs->runAlert(alert, host_.controlWindow());
            // The box has no cancel button: Escape and closing it do nothing, so it ends without
            // an answer only when the program is ending. The work stays where it is for the
            // next start, and autosaving does not start over it.
            if (answer != restore && answer != discard) return;
            if (answer == restore) {
                restoring = true;
                const QUrl origin = recovery->origin && !recovery->origin->isEmpty()
                                        ? QUrl::fromLocalFile(*recovery->origin)
                                        : QUrl();
                const QPointer<DocumentWorkflow> weak(this);
                applyAfterGrantingAccess(
                    recovery->project, origin, std::nullopt, [weak](const QList<ClipGroup>&) {
                        if (!weak) return;
                        // Applied: the work is the open project now, kept by the autosave like
                        // any other. Until then the shutdown leaves the autosave as it is.
                        weak->recoveryAwaitsAnswer_ = false;
                        weak->host_.setSavedProjectSnapshot(std::nullopt);
                        weak->status(
                            localized("前回の作業を復帰しました。別名で保存し直してください。"));
                    });
            } else {
                autosave.clear();
            }
        } else {
            const QString kept = setAsideUnreadableAutosave();
            if (!kept.isEmpty()) {
                status(localizedFormat("前回の自動保存を読み込めないため %@ として残しました",
                                       {kept}));
            }
        }
    }
    if (!restoring) recoveryAwaitsAnswer_ = false;
    autosave.start();
}

void DocumentWorkflow::autosaveNotice(const AutosaveStore::Notice& notice) {
    using Kind = AutosaveStore::Notice::Kind;
    QString warning;
    QString line;
    switch (notice.kind) {
        case Kind::folderInUse:
            warning = localized(
                "自動保存フォルダは別に起動している DOVRINE が使用中のため、自動保存しません");
            line = QStringLiteral("AUTOSAVE  OFF, folder in use: ") + notice.folder;
            break;
        case Kind::folderLockFailed:
            // What is at the lock's path and why it cannot be had, as the operator may have to
            // remove it.
            // clang-format off
            warning = localizedFormat("自動保存フォルダのロック %@ を取れないため、自動保存しません: %@", {notice.path, notice.error});
            // clang-format on
            line = QStringLiteral("AUTOSAVE  OFF, cannot lock ") + notice.path +
                   QStringLiteral(": ") + notice.error;
            break;
        case Kind::folderTakenOver:
            // clang-format off
            warning = localized("別に起動している DOVRINE が自動保存フォルダを使い始めたため、自動保存を止めました");
            // clang-format on
            autosaveFailureWarning_ = warning;  // until the folder is had again
            line = QStringLiteral("AUTOSAVE  OFF, folder taken by another copy: ") + notice.folder;
            break;
        case Kind::writeFailed:
            warning = localizedFormat("%@ に自動保存できません: %@", {notice.path, notice.error});
            autosaveFailureWarning_ = warning;
            line = QStringLiteral("AUTOSAVE  FAILED in ") + notice.folder + QStringLiteral(" at ") +
                   notice.path + QStringLiteral(": ") + notice.error;
            break;
        case Kind::foreignFile:
            // A link of the operator's own or another user's file: `error` says which.
            warning = localizedFormat("自動保存は %@ を使わず、削除もしません: %@",
                                      {notice.path, notice.error});
            line = QStringLiteral("AUTOSAVE  neither used nor deleted: ") + notice.path +
                   QStringLiteral(" (") + notice.error + u')';
            break;
        case Kind::chosenFolderUnusable:
            // clang-format off
            warning = localizedFormat("自動保存先に選んだフォルダ %@ を使えないため、標準の場所に自動保存します: %@", {notice.path, notice.error});
            // clang-format on
            line = QStringLiteral("AUTOSAVE  chosen folder not used: ") + notice.path +
                   QStringLiteral(" (") + notice.error + QStringLiteral("), autosaving in ") +
                   notice.folder;
            break;
        case Kind::writeRecovered:
        case Kind::folderRegained:
            if (engine().standingWarning() == autosaveFailureWarning_)
                engine().setStandingWarning(QString());
            autosaveFailureWarning_.clear();
            status(localized("自動保存を再開しました"));
            if (env_.log) {
                env_.log->write((notice.kind == Kind::writeRecovered
                                     ? QStringLiteral("AUTOSAVE  OK again in ")
                                     : QStringLiteral("AUTOSAVE  ON again, folder regained: ")) +
                                notice.folder);
            }
            return;
    }
    engine().setStandingWarning(warning);
    if (env_.log) env_.log->write(line);
}

void DocumentWorkflow::presentUnreadableAlert(const QList<QPair<QString, QString>>& items) {
    if (items.isEmpty()) return;
    QWidget* window = host_.controlWindow();
    if (!window) return;
    QStringList lines;
    for (qsizetype i = 0; i < items.size() && i < kListedUnreadable; ++i)
        lines << QStringLiteral("・") + items[i].first + QStringLiteral("  —  ") +
                     localized(items[i].second);
    QString text = lines.join(u'\n');
    if (items.size() > kListedUnreadable) {
        text += u'\n' + localizedFormat(
                            "ほか %lld 件",
                            {FormatArg(static_cast<long long>(items.size() - kListedUnreadable))});
    }
    text +=
        QStringLiteral("\n\n") +
        localized(
            "これらはリストに残りますが、送出はできません。対応する形式に書き出し直してください。");
    DocumentDialogs::Alert alert;
    alert.message = items.size() == 1
                        ? localized("1 件の素材を読み込めません")
                        : localizedFormat("%lld 件の素材を読み込めません",
                                          {FormatArg(static_cast<long long>(items.size()))});
    alert.informativeText = text;
    alert.buttons = {{localized("OK"), DocumentDialogs::ButtonRole::accept}};
    env_.dialogs->showWindowModal(alert, window);
}

}  // namespace velmar
