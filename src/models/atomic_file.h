#pragma once

#include <QByteArray>
#include <QString>

namespace velmar {

// Replaces a file's contents all at once: the data goes to a new temporary file in the same
// folder, is flushed and synced to disk, and only then renamed over the target (and the folder
// synced). A crash, a full disk or any error on the way leaves the old file exactly as it was
// and removes the temporary file; temporaries of the same target left by a writer that was
// killed are removed by the next write once they are a minute old.
//
// A symbolic link is written through by default: its final target is replaced (in the target's
// folder) and the link stays. The program's own files may ask for the link itself to be replaced
// instead, so that a link another process planted at their name leads nowhere. The new file keeps
// the old one's permission bits (not set-user-ID, set-group-ID or sticky), always with read and
// write for the owner, so no file we write ends up unreadable to us. Stateless; safe from any
// thread (two writers of one path: the last rename wins).
class AtomicFile {
  public:
    // A target whose mode bits give its owner no write permission (judged from the bits, also
    // for root) is either refused with a permission failure, as a file the user protected, or
    // replaced, for the program's own files.
    enum class ReadOnlyTarget { refuse, replace };
    // What a symbolic link at the path is: a way to the file to write, or a name to replace.
    enum class SymbolicLink { writeThrough, replace };

    static constexpr int staleTemporarySeconds = 60;

    // Returns true on success; on failure returns false and, when `error` is given, sets it to
    // the system's description of the failure in the interface language.
    static bool write(const QString& path, const QByteArray& data, QString* error = nullptr,
                      ReadOnlyTarget readOnly = ReadOnlyTarget::refuse,
                      SymbolicLink links = SymbolicLink::writeThrough);

    AtomicFile() = delete;
};

}  // namespace velmar
