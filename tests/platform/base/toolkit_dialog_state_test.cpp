#include "platform/base/toolkit_dialog_state.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
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

bool makeLink(const QString& target, const QString& path) {
    return ::symlink(QFile::encodeName(target), QFile::encodeName(path)) == 0;
}

TEST(ToolkitDialogState, RegularFilesOrNoneAreUsable) {
    QTemporaryDir dir;
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());
    ASSERT_TRUE(writeFile(dir.filePath("QtProject.conf")));
    ASSERT_TRUE(writeFile(dir.filePath("QtProject.conf.lock")));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());
}

TEST(ToolkitDialogState, APipeOrFolderAtTheSettingsFileIsUnusable) {
    QTemporaryDir dir;
    ASSERT_TRUE(makePipe(dir.filePath("QtProject.conf")));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), dir.filePath("QtProject.conf"));

    QTemporaryDir other;
    ASSERT_TRUE(QDir(other.path()).mkdir("QtProject.conf"));
    EXPECT_EQ(ToolkitDialogState::unusableFile(other.path()), other.filePath("QtProject.conf"));
}

// Qt reads an existing lock file to learn its holder, so a pipe there holds it as well.
TEST(ToolkitDialogState, APipeAtTheLockFileIsUnusable) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("QtProject.conf")));
    ASSERT_TRUE(makePipe(dir.filePath("QtProject.conf.lock")));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), dir.filePath("QtProject.conf.lock"));
}

// A link counts as what it leads to: the operator's link to a kept file stays in use.
TEST(ToolkitDialogState, ALinkCountsAsItsTarget) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("kept.conf")));
    ASSERT_TRUE(makeLink(dir.filePath("kept.conf"), dir.filePath("QtProject.conf")));
    EXPECT_EQ(ToolkitDialogState::unusableFile(dir.path()), QString());

    QTemporaryDir other;
    ASSERT_TRUE(makePipe(other.filePath("pipe")));
    ASSERT_TRUE(makeLink(other.filePath("pipe"), other.filePath("QtProject.conf")));
    EXPECT_EQ(ToolkitDialogState::unusableFile(other.path()), other.filePath("QtProject.conf"));
}

// With the dialogs' file a regular one, their state stays where it was.
TEST(ToolkitDialogState, ARegularFileKeepsTheSettingsWhereTheyAre) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(QDir().mkpath(config));
    const QString path = QDir(config).filePath("QtProject.conf");
    ASSERT_TRUE(writeFile(path));
    ToolkitDialogState::protect();
    EXPECT_EQ(QSettings(QSettings::UserScope, "QtProject").fileName(), path);
    QFile::remove(path);
}

}  // namespace
}  // namespace velmar
