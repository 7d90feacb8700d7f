#include "platform/base/volume_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace velmar {
namespace {

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30'000) || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The answer of the system's own tools: findmnt names the source and type of the mount, lsblk
// the removable flag and transport of the device and of every device below it.
std::optional<bool> internalByTools(const QString& folder) {
    const QStringList mount =
        run("findmnt", {"-no", "SOURCE,FSTYPE", "--target", folder}).simplified().split(u' ');
    if (mount.size() < 2) return std::nullopt;
    const QString& source = mount[0];
    const QString& type = mount[1];
    if (type.startsWith("fuse") || QStringList{"nfs", "nfs4", "cifs", "smb3", "9p"}.contains(type))
        return false;
    if (!source.startsWith("/dev/")) return true;
    const QString devices = run("lsblk", {"-sno", "RM,TRAN", source});
    if (devices.isEmpty()) return std::nullopt;
    for (const QString& line : devices.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.value(0) == "1") return false;
        if (QStringList{"usb", "ieee1394", "thunderbolt"}.contains(f.value(1))) return false;
    }
    return true;
}

TEST(VolumeInfo, AgreesWithFindmntAndLsblkOnThisMachine) {
    if (QStandardPaths::findExecutable("findmnt").isEmpty() ||
        QStandardPaths::findExecutable("lsblk").isEmpty())
        GTEST_SKIP() << "findmnt or lsblk is not installed";
    int compared = 0;
    for (const QString& folder : {QDir::rootPath(), QDir::tempPath(), QDir::currentPath(),
                                  QStringLiteral("/dev/shm"), QStringLiteral("/proc")}) {
        if (!QFileInfo(folder).isDir()) continue;
        const std::optional<bool> expected = internalByTools(folder);
        if (!expected) continue;
        EXPECT_EQ(volumeIsInternal(folder), expected) << folder.toStdString();
        ++compared;
    }
    EXPECT_GE(compared, 2);
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
