#include "models/project_backup_naming.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace velmar {

namespace {

const QString timeStampFormat = QStringLiteral("yyyyMMdd-HHmmss");
constexpr int kTimeStampLength = 15;

// The cleaned absolute path with the symbolic links of its existing part resolved.
QString resolvedPath(const QString& path) {
    QString existing = QDir::cleanPath(QDir(QStringLiteral("/")).absoluteFilePath(path));
    QString rest;
    while (!existing.isEmpty() && existing != QStringLiteral("/")) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty()) return QDir::cleanPath(canonical + rest);
        const int slash = existing.lastIndexOf(u'/');
        rest.prepend(existing.mid(slash));
        existing = slash > 0 ? existing.left(slash) : QStringLiteral("/");
    }
    return QDir::cleanPath(QStringLiteral("/") + rest);
}

// A file name holds at most this many bytes on the file systems we write to.
constexpr qsizetype kMaxFileNameBytes = 255;

// The base name cut at a character boundary until its UTF-8 form fits in `room` bytes.
QString fittingBaseName(QString base, qsizetype room) {
    while (!base.isEmpty() && base.toUtf8().size() > room) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate()) base.chop(1);
    }
    return base;
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

ProjectBackupNaming ProjectBackupNaming::forProject(const QString& projectPath,
                                                    const QString& fileExtension) {
    // A base name too long to leave room for the identifier, the time and the extension is cut,
    // so that backups of the project can be made at all; names that fit stay as they are.
    const qsizetype fixed = 1 + 8 + 1 + kTimeStampLength + 1 + fileExtension.toUtf8().size();
    return {fittingBaseName(QFileInfo(projectPath).completeBaseName(), kMaxFileNameBytes - fixed),
            sourceIDFor(projectPath), fileExtension};
}

QString ProjectBackupNaming::sourceIDFor(const QString& projectPath) {
    const QByteArray digest =
        QCryptographicHash::hash(resolvedPath(projectPath).toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.left(4).toHex());
}

QString ProjectBackupNaming::fileName(const QDateTime& at) const {
    return baseName + u'-' + sourceID + u'-' + at.toLocalTime().toString(timeStampFormat) + u'.' +
           fileExtension;
}

bool ProjectBackupNaming::owns(const QString& fileName) const {
    const QString prefix = baseName + u'-' + sourceID + u'-';
    const QString suffix = u'.' + fileExtension;
    if (!fileName.startsWith(prefix) || !fileName.endsWith(suffix)) return false;
    if (fileName.size() != prefix.size() + kTimeStampLength + suffix.size()) return false;
    const QStringView stamp = QStringView(fileName).mid(prefix.size(), kTimeStampLength);
    for (int i = 0; i < kTimeStampLength; ++i) {
        if (i == 8 ? stamp[i] != u'-' : !isAsciiDigit(stamp[i])) return false;
    }
    return true;
}

}  // namespace velmar
