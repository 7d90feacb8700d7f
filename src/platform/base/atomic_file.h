#pragma once

#include "platform/base/atomic_file_core.h"

#include <QByteArray>
#include <QString>

namespace velmar {

// Replaces a file's contents all at once, the one way the program does so (see
// platform/base/atomic_file_core.h for the rules): the data goes to a new temporary file beside
// the target, is synced to disk, and only then renamed over it (and the folder synced). A crash,
// a full disk or any error on the way leaves the old file exactly as it was and removes the
// temporary; temporaries a killed writer left are removed by the next write once they are a
// minute old.
//
// A symbolic link at the name is followed only when it is this user's own and lies in a folder
// no other user can change (checked at every link on the way); any other is refused
// (kLinkRefused) and left alone. Another user's file at the name is never written nor replaced
// (kOtherOwner) unless the options allow it for a file the operator chose, nor a folder (EISDIR) or
// device (kNotRegular). The new file keeps the old one's permission bits (not set-user-ID,
// set-group-ID or sticky). Stateless; safe from any thread (two writers of one path: the last
// rename wins).
class AtomicFile {
  public:
    using ReadOnlyTarget = atomic_file::ReadOnlyTarget;
    using Existing = atomic_file::Existing;
    using Options = atomic_file::Options;
    using Owner = atomic_file::Owner;
    using Links = atomic_file::Links;

    static constexpr int kNotRegular = atomic_file::kNotRegular;
    static constexpr int kLinkRefused = atomic_file::kLinkRefused;
    static constexpr int kOtherOwner = atomic_file::kOtherOwner;
    static constexpr int staleTemporarySeconds = atomic_file::kStaleSeconds;

    // True on success; on failure false and, when `code` is given, the system's error number or
    // one of the codes above in it (models/system_error_text.h tells it to the operator).
    static bool write(const QString& path, const QByteArray& data, int* code = nullptr,
                      ReadOnlyTarget readOnly = ReadOnlyTarget::refuse,
                      Existing existing = Existing::replace);
    static bool write(const QString& path, const QByteArray& data, int* code,
                      const Options& options);
    // The same with what is read from `sourceFd` up to its end as the new contents.
    static bool copy(int sourceFd, const QString& path, int* code, const Options& options);

    // Whether write() would take `path` as the file to replace (see atomic_file::check): 0 or
    // the code it would fail with.
    static int check(const QString& path, const Options& options = {});

    // Whether no other user can put, move or remove a name in the folder at `path` (see
    // atomic_file::guardedFolder); false when it cannot be examined.
    static bool guardedFolder(const QString& path);

    // Removes what killed writes of `path` left (see atomic_file::removeLeftovers).
    static void removeLeftovers(const QString& path);

    // Removes the stale temporaries of every name in a folder of the program's own (see
    // atomic_file::removeAllLeftovers).
    static void removeAllLeftovers(const QString& folder);

    // A code of write() in English, for standard error and the log.
    static QString errorText(int code);

    AtomicFile() = delete;
};

}  // namespace velmar
