#include "platform/base/toolkit_dialog_state.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmar {
namespace {

bool writeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("[FileDialog]\n") > 0;
}

bool makePipe(const QString& path) {
    return ::mkfifo(QFile::encodeName(path), 0600) == 0;
}

// Either name can hold Qt (it reads an existing lock file to learn its holder); a link at the
// state file counts as what it leads to, so the operator's link to a kept file stays in use.
TEST(ToolkitDialogState, APipeFolderOrLinkToAPipeAtEitherNameIsUnusable) {
    QTemporaryDir dir;
    const QString conf = dir.filePath("QtProject.conf");
    const QString lock = dir.filePath("QtProject.conf.lock");
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());
    ASSERT_TRUE(writeFile(dir.filePath("kept.conf")));
    ASSERT_EQ(::symlink("kept.conf", QFile::encodeName(conf)), 0);
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());
    ASSERT_TRUE(makePipe(lock));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), lock);
    ASSERT_TRUE(QFile::remove(lock) && QDir(dir.path()).mkdir("QtProject.conf.lock"));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), lock);
    ASSERT_TRUE(QDir(dir.path()).rmdir("QtProject.conf.lock") && makePipe(dir.filePath("pipe")));
    ASSERT_TRUE(QFile::remove(conf));
    ASSERT_EQ(::symlink("pipe", QFile::encodeName(conf)), 0);
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), conf);
}

// With a regular file the dialogs keep their state where it was; with a pipe there, Qt's
// settings (which would wait on it for ever) are read and written elsewhere until it is gone.
TEST(ToolkitDialogState, APipeAtTheDialogsStateMovesItUntilItIsGone) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(QDir().mkpath(config));
    const QString path = QDir(config).filePath("QtProject.conf");
    ASSERT_TRUE(writeFile(path));
    ToolkitDialogState::protect();
    EXPECT_EQ(QSettings(QSettings::UserScope, "QtProject").fileName(), path);

    ASSERT_TRUE(QFile::remove(path) && makePipe(path));
    ToolkitDialogState::protect();
    const QString moved = QSettings(QSettings::UserScope, "QtProject").fileName();
    EXPECT_FALSE(moved.startsWith(config)) << moved.toStdString();

    ASSERT_TRUE(QFile::remove(path) && writeFile(path));
    ToolkitDialogState::protect();
    EXPECT_EQ(QSettings(QSettings::UserScope, "QtProject").fileName(), path);
    QFile::remove(path);
}

// Qt makes its lock with an exclusive create, which no link lets through, and never judges a link
// that leads nowhere stale: the dialog's write would retry for ever.
TEST(ToolkitDialogState, ALinkAtTheLockIsUnusableAndMovesTheState) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(QDir().mkpath(config));
    const QString lock = QDir(config).filePath("QtProject.conf.lock");
    ASSERT_EQ(::symlink("gone", QFile::encodeName(lock)), 0);
    EXPECT_EQ(ToolkitDialogState::unusableFile(config), lock);
    ToolkitDialogState::protect();
    const QString moved = QSettings(QSettings::UserScope, "QtProject").fileName();
    EXPECT_FALSE(moved.startsWith(config)) << moved.toStdString();

    ASSERT_TRUE(QFile::remove(lock));
    ToolkitDialogState::protect();
    EXPECT_TRUE(QSettings(QSettings::UserScope, "QtProject").fileName().startsWith(config));
}

// Stands in for Qt's dialogs, which write their saved state when they go.
class StateWritingDialog {
  public:
    virtual ~StateWritingDialog() {
        QSettings(QSettings::UserScope, "QtProject").setValue("FileDialog/lastVisited", "/");
    }
};

// A folder made at the lock while the dialog is open is seen before the dialog writes; the write
// runs in a child that a hang there kills.
TEST(ToolkitDialogState, WhatIsMadeAtTheLockWhileADialogIsOpenIsSeenBeforeItWrites) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(QDir().mkpath(config));
    const QString lock = QDir(config).filePath("QtProject.conf.lock");
    // A private folder the child makes is left where the test's own folders go.
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    ASSERT_TRUE(QDir().mkpath(temp));
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::setenv("TMPDIR", QFile::encodeName(temp).constData(), 1);
        {
            ToolkitDialog<StateWritingDialog> dialog;
            if (!QDir().mkdir(lock)) ::_exit(2);
        }
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    QDir().rmdir(lock);
    // A write that waited on the lock ends by the alarm's signal.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_FALSE(QFile::exists(QDir(config).filePath("QtProject.conf")));
}

}  // namespace
}  // namespace velmar
