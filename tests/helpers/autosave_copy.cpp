// Another copy of the program on the same autosave folder, in a process of its own, for the
// tests that run two copies at once. It prints what it did, a line a step.
//
//   autosave_copy current SUPPORT DEFAULTS
//     A copy of this build that starts and quits at once, as the application drives the store:
//     it takes the folder if it can ("owns 1" or "owns 0"), tells each notice ("notice N"),
//     what it would offer for restore ("pending 0", "recovery none"), autosaves a project of its
//     own ("tab Other") and quits cleanly, clearing the autosave; then "done".
//   autosave_copy file-only FOLDER
//     A copy that knows only the lock file "autosave.lock": it locks that file ("held" or
//     "busy"), waits for a line on standard input, then quits as such a copy does: it removes
//     the autosave and lets go of the lock; then "done".
#include "core/autosave_store.h"
#include "platform/base/exclusive_file_lock.h"
#include "platform/base/timer.h"
#include "platform/base/user_defaults.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

using velmar::AutosaveStore;

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int current(const QString& support, const QString& defaultsPath) {
    velmar::UserDefaults defaults(defaultsPath);
    AutosaveStore store(AutosaveStore::Environment{
        support, &defaults, &velmar::TimerFactory::system(), nullptr, false});
    store.setNoticeHandler([](const AutosaveStore::Notice& notice) {
        say(QStringLiteral("notice %1").arg(static_cast<int>(notice.kind)));
    });
    say(QStringLiteral("owns %1").arg(store.ownsDirectory() ? 1 : 0));
    say(QStringLiteral("pending %1").arg(store.hasPendingRecovery() ? 1 : 0));
    const auto recovery = store.loadRecovery();
    say(recovery ? QStringLiteral("recovery ") + recovery->project.groups.value(0).name
                 : QStringLiteral("recovery none"));
    velmar::PlayoutProject project;
    project.groups = {{.name = QStringLiteral("Other"), .clips = {}, .markers = {}}};
    store.write(project, QStringLiteral("/shows/other.tavrendek"));
    store.waitUntilIdle();
    say(QStringLiteral("tab Other"));
    store.clear();
    store.setNoticeHandler({});
    say(QStringLiteral("done"));
    return 0;
}

int fileOnly(const QString& folder) {
    velmar::ExclusiveFileLock lock;
    if (!lock.tryLock(folder + u'/' + AutosaveStore::lockFileName)) {
        say(QStringLiteral("busy"));
        return 1;
    }
    say(QStringLiteral("held"));
    std::string line;
    std::getline(std::cin, line);
    QFile::remove(folder + u'/' + AutosaveStore::autosaveFileName);
    QFile::remove(folder + u'/' + AutosaveStore::originFileName);
    lock.release();
    say(QStringLiteral("done"));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("current")) return current(args[2], args[3]);
    if (args.size() == 3 && args[1] == QLatin1String("file-only")) return fileOnly(args[2]);
    std::fprintf(stderr, "usage: autosave_copy current SUPPORT DEFAULTS | file-only FOLDER\n");
    return 2;
}
