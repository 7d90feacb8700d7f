#include "platform/base/volume_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace velmar {
namespace {

// The machine's own mount table and device tree: the root folder lies on some mount, a folder
// that does not exist on none.
TEST(VolumeInfo, ReadsThisMachinesMountTable) {
    EXPECT_TRUE(volumeIsInternal(QDir::rootPath()).has_value());
    EXPECT_EQ(volumeIsInternal("/no/such/folder/anywhere"), std::nullopt);
}

// A mount table and device tree of our own around a real folder: the folder's device number
// names the mount, and the tree says what kind of disk lies below.
TEST(VolumeInfo, DecidesByFileSystemBusAndRemovableFlag) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString folder = root.filePath("media");
    ASSERT_TRUE(QDir().mkpath(folder));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    if (major(info.st_dev) == 0) GTEST_SKIP() << "the temporary folder lies on no block device";
    const QString number =
        QString::number(major(info.st_dev)) + ":" + QString::number(minor(info.st_dev));

    auto writeFile = [](const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    struct Case {
        const char* name;
        QString fsType;
        QString devicePath;  // under sys/devices; empty: no entry
        QByteArray removable;
        std::optional<bool> expected;
    };
    const std::vector<Case> cases{
        {"sata disk", "ext4", "pci0000:00/ata1/host0/block/sda/sda1", "0", true},
        {"usb disk", "ext4", "pci0000:00/usb2/2-1/host6/block/sdb/sdb1", "0", false},
        {"removable", "vfat", "pci0000:00/mmc0/block/mmcblk0/mmcblk0p1", "1", false},
        {"fuse", "fuse.sshfs", "", "", false},
        {"no device entry", "ext4", "", "", std::nullopt},
    };
    for (const Case& c : cases) {
        const QString sys = root.filePath(QString("sys-") + c.name);
        if (!c.devicePath.isEmpty()) {
            const QString dir = sys + "/devices/" + c.devicePath;
            writeFile(dir + "/partition", "1");
            writeFile(QFileInfo(dir).absolutePath() + "/removable", c.removable);
            QDir().mkpath(sys + "/dev/block");
            ASSERT_TRUE(QFile::link(dir, sys + "/dev/block/" + number));
        }
        const QString table = root.filePath(QString("mountinfo-") + c.name);
        writeFile(table, "22 1 0:21 / /proc rw - proc proc rw\n27 1 " + number.toUtf8() + " / " +
                             QFile::encodeName(root.path()) + " rw shared:1 - " +
                             c.fsType.toUtf8() + " /dev/sdx1 rw\n");
        EXPECT_EQ(volumeIsInternal(folder, table, sys), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace velmar
