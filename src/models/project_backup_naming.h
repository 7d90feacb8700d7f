#pragma once

#include <QDateTime>
#include <QString>

namespace velmar {

// Names the backup copies of one project file: base name, "-", an 8-hex-digit identifier of the
// file's location, "-", local time "yyyyMMdd-HHmmss", ".", extension. The identifier keeps two
// projects of the same name in different folders apart, so pruning one never touches the
// other's backups. A plain value; safe from any thread.
struct ProjectBackupNaming {
    QString baseName;
    QString sourceID;
    QString fileExtension;

    // The naming for a project file: its base name, its identifier and the given extension. A base
    // name too long for a 255-byte backup file name is cut at a character boundary to fit.
    static ProjectBackupNaming forProject(const QString& projectPath, const QString& fileExtension);

    QString fileName(const QDateTime& at) const;
    // Whether a file name (last path component) is a backup name of this project.
    bool owns(const QString& fileName) const;
    // (C++ cannot share the field's name.) The first 4 bytes of SHA-256 over the cleaned path with
    // symbolic links resolved, as 8 lower-case hex digits. Links are resolved as far as the path
    // exists, so a project not yet written gets the identifier it will have once it is.
    static QString sourceIDFor(const QString& projectPath);

    bool operator==(const ProjectBackupNaming&) const = default;
};

}  // namespace velmar
