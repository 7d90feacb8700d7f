// Qt's file dialog with a pipe in place of its saved state: it must come and go without ever
// opening the pipe, which would hold the program until a writer comes.
#include "platform/base/toolkit_dialog_state.h"
#include "app/document_dialogs_qt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <ctime>
#include <functional>
#include <ostream>

namespace velmar {
namespace {

enum class Outcome { finished, openedPipe, failed };

std::ostream& operator<<(std::ostream& out, Outcome outcome) {
    switch (outcome) {
        case Outcome::finished:
            return out << "finished";
        case Outcome::openedPipe:
            return out << "opened the pipe";
        case Outcome::failed:
            return out << "failed";
    }
    return out;
}

// Puts a pipe at the dialogs' settings file and runs `work` in a forked child. The child is
// watched, not timed: the moment it has the pipe open for reading, a writer-less open here
// succeeds, and the child is ended then instead of being left waiting for ever.
Outcome runWithPipeInPlace(const std::function<void()>& work) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!QDir().mkpath(config)) return Outcome::failed;
    const QByteArray pipe = QFile::encodeName(QDir(config).filePath("QtProject.conf"));
    if (::mkfifo(pipe.constData(), 0600) != 0) return Outcome::failed;
    QTemporaryDir temporary;  // the child's private folder is made in here
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TMPDIR", QFile::encodeName(temporary.path()).constData(), 1);
        work();
        ::_exit(0);
    }
    Outcome outcome = Outcome::failed;
    while (child > 0) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            outcome =
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Outcome::finished : Outcome::failed;
            break;
        }
        if (const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ::close(fd);
            outcome = Outcome::openedPipe;
            break;
        }
        const timespec pause{0, 2'000'000};
        ::nanosleep(&pause, nullptr);
    }
    ::unlink(pipe.constData());
    return outcome;
}

TEST(ToolkitDialogState, AFileDialogNeverOpensAPipeAtItsSettings) {
    const Outcome outcome = runWithPipeInPlace([] {
        ToolkitDialogState::protect();
        QFileDialog dialog(nullptr, "Import");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    });
    EXPECT_EQ(outcome, Outcome::finished);
}

// The import panel (Import, Open) takes the same care itself.
TEST(ToolkitDialogState, TheOpenPanelNeverOpensAPipeAtItsSettings) {
    const Outcome outcome = runWithPipeInPlace([] {
        DocumentDialogsQt dialogs;
        DocumentDialogs::OpenPanel panel;
        panel.message = "Import";
        dialogs.beginOpenPanel(panel, nullptr, [](const auto&) {});
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(widget)) dialog->reject();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!QApplication::topLevelWidgets().isEmpty()) ::_exit(4);
    });
    EXPECT_EQ(outcome, Outcome::finished);
}

}  // namespace
}  // namespace velmar
