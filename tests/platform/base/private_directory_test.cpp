#include "platform/base/private_directory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velmar {
namespace {

mode_t folderMode(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 01000;
}

// Where each user has a private group the umask is 002, and QDir::mkpath would make the program's
// own folders (settings, data, logs, backups) 0775: each folder made on the way is 0700, and a
// folder that was there already keeps its bits.
TEST(PrivateDirectory, TheProgramsFoldersAreMadeForTheUserAloneWhateverTheUmask) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("kept"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath("kept")).constData(), 0755), 0);
    const mode_t before = ::umask(002);
    const bool made = PrivateDirectory::makePath(dir.filePath("kept/DOVRINE/Logs"));
    ::umask(before);
    ASSERT_TRUE(made);
    EXPECT_EQ(folderMode(dir.filePath("kept")), 0755u);
    EXPECT_EQ(folderMode(dir.filePath("kept/DOVRINE")), 0700u);
    EXPECT_EQ(folderMode(dir.filePath("kept/DOVRINE/Logs")), 0700u);
    EXPECT_TRUE(PrivateDirectory::makePath(dir.filePath("kept/DOVRINE/Logs")));
    ASSERT_TRUE(QFile(dir.filePath("file")).open(QIODevice::WriteOnly));
    EXPECT_FALSE(PrivateDirectory::makePath(dir.filePath("file")));
}

}  // namespace
}  // namespace velmar
