#pragma once

#include <QString>

namespace velmar {

// Qt's own file and colour dialogs (the widget ones) read their saved state (history, sidebar,
// custom colours) from QSettings's user scope, QtProject.conf with QtProject.conf.lock beside it,
// when they are made, and write it when they go. Qt opens both by name and waits on whatever is
// there: a pipe in their place, or a lock it can neither make nor judge stale, would hold the
// main thread, and the whole program, for ever. The program makes these dialogs only as
// ToolkitDialog (below), which looks at the names before Qt reads and again before it writes.
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

namespace toolkit_dialog_detail {
// Constructed before the dialog, as its first base.
struct CheckBeforeMade {
    CheckBeforeMade() { ToolkitDialogState::protect(); }
};
}  // namespace toolkit_dialog_detail

// One of Qt's file or colour dialogs (QFileDialog, QColorDialog), made in its stead with the
// same constructors. The names are looked at right before the dialog is made, since it reads its
// state then, and again right before it goes, since its destructor writes the state, whichever
// way it goes: at the end of a scope, deleted after closing, or with its parent window. Whatever
// was made at either name while it was open sends the write to the private folder.
template <class Dialog>
class ToolkitDialog final : private toolkit_dialog_detail::CheckBeforeMade, public Dialog {
  public:
    using Dialog::Dialog;
    ~ToolkitDialog() override { ToolkitDialogState::protect(); }
};

}  // namespace velmar
