#pragma once

#include <QString>

#include <sys/types.h>

namespace velmar {

// A folder that only this user can enter, for what other local users must not reach or replace
// (a socket, a lock). Made 0700 when missing; an existing one is taken as it is only when it is a
// real folder (not a link), owned by `owner` and closed to group and others. Anyone else who can
// write there could stand in for the files the program keeps in it.
class PrivateDirectory {
  public:
    enum class Result {
        ready,         // the folder is there and ours alone
        unusable,      // it could not be made or examined: see `error`
        notDirectory,  // a link or another kind of file is at the path
        notOwned,      // another user owns it
        openToOthers,  // group or others have some access
    };

    // Makes or checks `path` (one level: the parent must exist). `error` gets the system's
    // reason for `unusable`.
    static Result ensure(const QString& path, uid_t owner, QString* error = nullptr);
    static Result ensure(const QString& path, QString* error = nullptr);

    // Makes `path` and the folders missing on the way to it, each 0700 whatever the process's
    // umask (the program's own folders: settings, data, logs, backups), as QDir::mkpath would
    // otherwise give them the umask's bits. Folders already there are left as they are. True when
    // a folder is at the path in the end.
    static bool makePath(const QString& path);
};

}  // namespace velmar
