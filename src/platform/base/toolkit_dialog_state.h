#pragma once

#include <QString>

namespace velmar {

// Qt's own file and colour dialogs (the widget ones) read their saved state (history, sidebar,
// custom colours) from QSettings's user scope, QtProject.conf with QtProject.conf.lock beside it,
// when they are made, and write it when they go. Qt opens both by name and waits on whatever is
// there: a pipe in their place, or a lock it can neither make nor judge stale, would hold the
// main thread, and the whole program, for ever. The program calls protect() right before it makes
// any of these dialogs.
class ToolkitDialogState {
  public:
    // When either name is unusable (see unusableFile), QSettings's user scope is pointed at a
    // private folder of this run, and standard error says so; once the names are usable again it
    // is pointed back. Otherwise nothing changes and the operator's dialog history stays in use.
    // A swap made between this check and Qt's own open is not covered: Qt opens the files by name.
    static void protect();

    // The first of the two names under `folder` that is unusable, or empty when there is none.
    // Unusable is whatever is not a regular file: a pipe, device, socket or folder; at the state
    // file, a link that leads to one of those (a link to a regular file is read, and written
    // through, as that file; one that leads nowhere is made at its target or fails at once); at
    // the lock, any link at all, since Qt makes the lock with an exclusive create, which no link
    // lets through, and cannot remove one it finds unless it judges it stale.
    static QString unusableFile(const QString& folder);
};

}  // namespace velmar
