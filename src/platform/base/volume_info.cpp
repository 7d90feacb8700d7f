#include "platform/base/volume_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace velmar {

namespace {

struct Mount {
    QString mountPoint;
    QString fsType;
    QString source;
};

// Mount-table fields escape blanks, tabs, newlines and backslashes as three octal digits.
QString unescapeOctal(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool isUnderMountPoint(const QString& path, const QString& mountPoint) {
    if (mountPoint == QLatin1String("/")) return true;
    return path == mountPoint || path.startsWith(mountPoint + u'/');
}

// The mount of the device that holds `path`: of the entries with that device number, the one
// whose mount point is the longest prefix of the path (bind mounts share a number).
std::optional<Mount> mountFor(const QString& path, unsigned devMajor, unsigned devMinor,
                              const QString& mountInfoPath) {
    QFile file(mountInfoPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    const QString wanted = QString::number(devMajor) + u':' + QString::number(devMinor);
    std::optional<Mount> best;
    // /proc files report size 0: read until the end rather than by size.
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        // id parent major:minor root mountpoint options [optional...] - fstype source super
        const qsizetype dash = fields.indexOf(QStringLiteral("-"));
        if (fields.size() < 6 || dash < 6 || dash + 2 >= fields.size()) continue;
        if (fields[2] != wanted) continue;
        Mount mount{unescapeOctal(fields[4]), fields[dash + 1], unescapeOctal(fields[dash + 2])};
        if (!isUnderMountPoint(path, mount.mountPoint)) continue;
        if (!best || mount.mountPoint.size() > best->mountPoint.size()) best = mount;
    }
    return best;
}

bool isNetworkOrFuse(const QString& fsType) {
    static const QStringList network{"nfs",   "nfs4",      "cifs",  "smb3",    "smbfs",
                                     "ncpfs", "afs",       "ceph",  "9p",      "lustre",
                                     "davfs", "glusterfs", "sshfs", "orangefs"};
    return fsType.startsWith(QLatin1String("fuse")) || network.contains(fsType);
}

bool pathShowsExternalBus(const QString& devicePath) {
    for (const char* bus : {"/usb", "/firewire", "/ieee1394", "/thunderbolt"})
        if (devicePath.contains(QLatin1String(bus))) return true;
    return false;
}

// Whether the block device at its /sys/devices directory is external; nothing when its entry
// cannot be read. Device-mapper and RAID devices are external when any device below is.
std::optional<bool> blockDeviceIsExternal(const QString& deviceDir, const QString& sysRoot,
                                          int depth) {
    if (deviceDir.isEmpty() || depth > 8) return std::nullopt;
    if (pathShowsExternalBus(deviceDir)) return true;
    const QString disk = QFileInfo::exists(deviceDir + "/partition")
                             ? QFileInfo(deviceDir).absolutePath()
                             : deviceDir;
    QFile removable(disk + "/removable");
    if (!removable.open(QIODevice::ReadOnly)) return std::nullopt;
    if (removable.readAll().trimmed() == "1") return true;
    const QStringList slaves =
        QDir(deviceDir + "/slaves").entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& slave : slaves) {
        const QString dir = QFileInfo(sysRoot + "/class/block/" + slave).canonicalFilePath();
        const std::optional<bool> external = blockDeviceIsExternal(dir, sysRoot, depth + 1);
        if (!external) return std::nullopt;
        if (*external) return true;
    }
    return false;
}

}  // namespace

std::optional<bool> volumeIsInternal(const QString& folder) {
    return volumeIsInternal(folder, QStringLiteral("/proc/self/mountinfo"), QStringLiteral("/sys"));
}

std::optional<bool> volumeIsInternal(const QString& folder, const QString& mountInfoPath,
                                     const QString& sysRoot) {
    const QString path = QFileInfo(folder).canonicalFilePath();
    if (path.isEmpty()) return std::nullopt;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    const std::optional<Mount> mount =
        mountFor(path, major(info.st_dev), minor(info.st_dev), mountInfoPath);
    if (!mount) return std::nullopt;
    if (isNetworkOrFuse(mount->fsType)) return false;

    // The block device: the device number itself, or (for file systems that report a number of
    // their own, such as btrfs) the device named as the mount's source.
    unsigned blockMajor = major(info.st_dev);
    unsigned blockMinor = minor(info.st_dev);
    if (blockMajor == 0) {
        struct stat source {};
        if (!mount->source.startsWith(QLatin1String("/dev/")) ||
            ::stat(QFile::encodeName(mount->source).constData(), &source) != 0 ||
            !S_ISBLK(source.st_mode))
            return true;  // no block device below: memory, kernel or overlay file systems
        blockMajor = major(source.st_rdev);
        blockMinor = minor(source.st_rdev);
    }
    const QString deviceDir = QFileInfo(sysRoot + "/dev/block/" + QString::number(blockMajor) +
                                        u':' + QString::number(blockMinor))
                                  .canonicalFilePath();
    const std::optional<bool> external = blockDeviceIsExternal(deviceDir, sysRoot, 0);
    if (!external) return std::nullopt;
    return !*external;
}

}  // namespace velmar
