#pragma once

#include <QByteArray>
#include <QString>

namespace velmar {

// Replaces a file's contents all at once: the data goes to a new temporary file in the same
// folder, is flushed and synced to disk, and only then renamed over the target (and the folder
// synced). A crash, a full disk or any error on the way leaves the old file exactly as it was
// and removes the temporary file. An existing target keeps its permission bits.
// Stateless; safe from any thread (two writers of one path: the last rename wins).
class AtomicFile {
public:
    // Returns true on success; on failure returns false and, when `error` is given, sets it to
    // a short description of what failed.
    static bool write(const QString& path, const QByteArray& data, QString* error = nullptr);

    AtomicFile() = delete;
};

}  // namespace velmar
