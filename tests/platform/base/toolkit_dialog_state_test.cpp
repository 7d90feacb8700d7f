#include "platform/base/toolkit_dialog_state.h"
#include "support/child_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace velmar {
namespace {

bool writeDialogStateFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("[FileDialog]\n") > 0;
}

bool makeDialogStatePipe(const QString& path) {
    return ::mkfifo(QFile::encodeName(path), 0600) == 0;
}

mode_t dialogStateMode(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path), &st) == 0 ? st.st_mode & 07777 : 0;
}

QString dialogStateFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/DOVRINE/dialogs";
}

QString userScopeFolder() {
    return QFileInfo(QSettings(QSettings::UserScope, "QtProject").fileName()).absolutePath();
}

// A link at the state file counts as what it leads to, so the operator's link to a kept file
// stays in use; anything at all at the lock would have Qt wait.
TEST(ToolkitDialogState, APipeOrFolderAtTheStateAndAnythingAtTheLockIsUnusable) {
    QTemporaryDir dir;
    const QString conf = dir.filePath("QtProject.conf");
    const QString lock = dir.filePath("QtProject.conf.lock");
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());
    ASSERT_TRUE(writeDialogStateFile(dir.filePath("kept.conf")));
    ASSERT_EQ(::symlink("kept.conf", QFile::encodeName(conf)), 0);
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());
    ASSERT_TRUE(writeDialogStateFile(lock));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), lock);
    ASSERT_TRUE(QFile::remove(lock) && ::symlink("gone", QFile::encodeName(lock)) == 0);
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), lock);
    ASSERT_TRUE(QFile::remove(lock) && makeDialogStatePipe(dir.filePath("pipe")));
    ASSERT_TRUE(QFile::remove(conf) && ::symlink("pipe", QFile::encodeName(conf)) == 0);
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), conf);
    ASSERT_TRUE(QFile::remove(conf) && QDir(dir.path()).mkdir("QtProject.conf"));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), conf);
}

// A configuration folder that others may write to (or a settings folder missing from it) still
// gets the state a folder that only this user can enter.
TEST(ToolkitDialogState, TheStateLivesInAPrivateFolderWhateverTheConfigurationFolder) {
    const QByteArray kept = qgetenv("XDG_CONFIG_HOME");
    for (const mode_t mode : {01777, 0777}) {
        QTemporaryDir config;
        ASSERT_EQ(::chmod(QFile::encodeName(config.path()), mode), 0);
        ::setenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()).constData(), 1);
        ToolkitDialogState::protect();
        EXPECT_EQ(QSettings(QSettings::UserScope, "QtProject").fileName(),
                  config.path() + "/DOVRINE/dialogs/QtProject.conf");
        EXPECT_EQ(dialogStateMode(config.path() + "/DOVRINE"), 0700u);
        EXPECT_EQ(dialogStateMode(config.path() + "/DOVRINE/dialogs"), 0700u);
    }
    ::setenv("XDG_CONFIG_HOME", kept.constData(), 1);
}

// In a configuration folder open to all, a settings folder that another user made first is
// theirs to swap the dialogs' folder out of: the state goes to this run's own folder instead.
TEST(ToolkitDialogState, AnotherUsersSettingsFolderIsNotUsed) {
    if (::getuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    const QByteArray kept = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir config;
    const QString settings = config.path() + "/DOVRINE";
    ASSERT_TRUE(QDir().mkdir(settings));
    ASSERT_EQ(::chown(QFile::encodeName(settings), 65534, 65534), 0);
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()).constData(), 1);
    ToolkitDialogState::protect();
    ::setenv("XDG_CONFIG_HOME", kept.constData(), 1);
    EXPECT_FALSE(userScopeFolder().startsWith(config.path())) << userScopeFolder().toStdString();
}

// A pipe at the state file, which Qt would wait on for ever, or a folder that others could enter
// sends the state to this run's own folder until the state's folder is usable again.
TEST(ToolkitDialogState, AnUnusableStateFolderSendsTheStateToThisRunsFolderMeanwhile) {
    ToolkitDialogState::protect();
    const QString folder = dialogStateFolder();
    EXPECT_EQ(userScopeFolder(), folder);
    const QString state = folder + "/QtProject.conf";
    QFile::remove(state);
    ASSERT_TRUE(makeDialogStatePipe(state));
    ToolkitDialogState::protect();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    EXPECT_FALSE(userScopeFolder().startsWith(config)) << userScopeFolder().toStdString();
    ASSERT_TRUE(QFile::remove(state));
    ToolkitDialogState::protect();
    EXPECT_EQ(userScopeFolder(), folder);

    ASSERT_EQ(::chmod(QFile::encodeName(folder), 0750), 0);
    ToolkitDialogState::protect();
    EXPECT_FALSE(userScopeFolder().startsWith(config)) << userScopeFolder().toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(folder), 0700), 0);
    ToolkitDialogState::protect();
    EXPECT_EQ(userScopeFolder(), folder);
}

// Leaves at `path` the lock Qt makes, naming this process, as a plain file: what a run killed
// while writing leaves behind once its process number is a running copy's again.
bool leaveLockNamingThisProcess(const QString& path) {
    QByteArray content;
    {
        QLockFile lock(path);
        QFile made(path);
        if (!lock.tryLock(0) || !made.open(QIODevice::ReadOnly)) return false;
        content = made.readAll();
    }
    QFile left(path);
    return left.open(QIODevice::WriteOnly) && left.write(content) == content.size();
}

// Stands in for Qt's dialogs, which write their saved state when they go; tells where the write
// went and how it ended.
class StateWritingDialog {
  public:
    explicit StateWritingDialog(QByteArray* outcome) : outcome_(outcome) {}
    virtual ~StateWritingDialog() {
        QSettings settings(QSettings::UserScope, "QtProject");
        settings.setValue("FileDialog/lastVisited", "/");
        settings.sync();
        *outcome_ =
            QFile::encodeName(settings.fileName()) + ' ' + QByteArray::number(settings.status());
    }

  private:
    QByteArray* outcome_;
};

// Qt waits on a lock naming a running program of its name until the lock is 30 s old, and for
// ever when it cannot remove it then. The lock found in the state's folder while a dialog is open
// is left over (no write of ours is under way then), so it is removed before the dialog writes,
// and the state stays where it is. The write runs in a child whose alarm ends a wait.
TEST(ToolkitDialogState, ALeftLockNamingThisProgramIsRemovedBeforeTheDialogWrites) {
    const auto child = test::ChildProbe::within([] {
        QByteArray outcome = "no lock";
        {
            ToolkitDialog<StateWritingDialog> dialog(&outcome);
            const QString state = QSettings(QSettings::UserScope, "QtProject").fileName();
            QDir().mkpath(QFileInfo(state).absolutePath());
            if (!leaveLockNamingThisProcess(state + ".lock")) ::_exit(2);
        }
        return outcome;
    });
    ASSERT_TRUE(child.exited) << "the dialog's write waited on the lock";
    EXPECT_EQ(child.output.toStdString(),
              QFile::encodeName(dialogStateFolder() + "/QtProject.conf").toStdString() + " 0");
}

}  // namespace
}  // namespace velmar
