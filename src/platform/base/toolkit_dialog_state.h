#pragma once

#include <QString>

namespace velmar {

// Qt's own file and colour dialogs (the widget ones) read their saved state (history, sidebar,
// custom colours) from QSettings's user scope, QtProject.conf with QtProject.conf.lock beside it,
// when they are made, and write it when they go. Qt opens both by name and waits on whatever is
// there: a pipe in their place would hold the main thread, and the whole program, for ever.
// The program calls protect() right before it makes any of these dialogs.
class ToolkitDialogState {
  public:
    // When something other than a regular file (a pipe, device, socket or folder, or a link to
    // one) is at either name, QSettings's user scope is pointed at a private folder of this run,
    // and standard error says so; once the names are usable again it is pointed back. Otherwise
    // nothing changes and the operator's dialog history stays in use. A swap made between this
    // check and Qt's own open is not covered: Qt opens the files by name.
    static void protect();

    // The first of the two names under `folder` at which something other than a regular file
    // is, or empty when there is none. A link counts as what it leads to; a link that leads
    // nowhere counts as nothing, since an open through it fails at once.
    static QString unusableFile(const QString& folder);
};

}  // namespace velmar
