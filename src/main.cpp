#include "app/dovrine_app.h"
#include "app/instance_channel.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "platform/base/user_defaults.h"
#include "ui/app_views.h"
#include "ui/controls/app_appearance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace {

int quitPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(quitPipe[1], &byte, 1);
}

// SIGTERM and SIGINT (session logout, Ctrl+C in a terminal) end the application through the event
// loop without the unsaved-changes question, so the shutdown path runs: the operation log keeps
// its last lines and unsaved work stays in the autosave.
void quitOnTerminationSignals(QApplication& app, velmar::DovrineApp& dovrine) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitPipe) != 0) return;
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app,
                     [&dovrine] { dovrine.terminateWithoutAsking(); });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DOVRINE"));
    // The dark palette and the wheel guard, before the first window is built.
    velmar::AppAppearance::install(app);

    velmar::LanguageSettings::shared();
    // The toolkit's own texts (standard dialogs) follow the language chosen in an earlier run,
    // as stored under "AppleLanguages"; without that entry they follow the system.
    if (const auto preferred = velmar::UserDefaults::standard().stringList("AppleLanguages");
        preferred && !preferred->isEmpty()) {
        auto* toolkit = new QTranslator(&app);
        if (toolkit->load("qtbase_" + preferred->first(),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QApplication::installTranslator(toolkit);
        }
    }

    // Files named on the command line are the files handed over to open, kept as the file
    // system's bytes (the toolkit has removed its own options from argv). A copy already running
    // for this user takes them, and this start ends.
    QList<QByteArray> files;
    for (int i = 1; i < argc; ++i) files << QByteArray(argv[i]);
    const velmar::InstanceChannel::Location location = velmar::InstanceChannel::defaultLocation();
    velmar::InstanceChannel channel(location.serverName);
    const velmar::InstanceChannel::Start started = channel.start(files);
    const QString problem = location.problem.isEmpty() ? channel.problem() : location.problem;
    switch (started) {
        case velmar::InstanceChannel::Start::handedOver:
            return 0;
        case velmar::InstanceChannel::Start::noAnswer:
            std::fprintf(stderr, "%s\n",
                         qPrintable(velmar::localizedFormat(
                             "DOVRINE は起動中ですが応答しません: %@", {problem})));
            return 1;
        case velmar::InstanceChannel::Start::running:
            break;
    }
    if (!problem.isEmpty()) std::fprintf(stderr, "DOVRINE: %s\n", qPrintable(problem));

    velmar::DovrineApp dovrine(velmar::AppViews::standard());
    quitOnTerminationSignals(app, dovrine);
    QObject::connect(
        &channel, &velmar::InstanceChannel::filesReceived, &dovrine,
        [&dovrine](const QList<QByteArray>& paths) { dovrine.delegate().openNativeFiles(paths); });
    dovrine.launch(files);
    // After the launch sequence has started the log.
    if (!problem.isEmpty())
        QTimer::singleShot(0, &dovrine,
                           [&dovrine, problem] { dovrine.delegate().report(problem); });
    return QApplication::exec();
}
