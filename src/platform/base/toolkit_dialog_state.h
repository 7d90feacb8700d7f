#pragma once

#include <QString>

namespace velmar {

// Qt's own file and colour dialogs (the widget ones) read their saved state (history, sidebar,
// custom colours) from QSettings's user scope, QtProject.conf with QtProject.conf.lock beside it,
// when they are made, and write it when they go. Qt opens both by name and waits on whatever is
// there: a pipe in their place, or a lock it can neither make nor judge stale (a regular file
// naming a running program of the same name, in a folder it cannot remove it from), would hold
// the main thread, and the whole program, for ever. So the dialogs never use the configuration
// folder that others may share: their state lives in a folder of the program's own, and the
// program makes these dialogs only as ToolkitDialog (below), which readies that folder before Qt
// reads and again before it writes.
class ToolkitDialogState {
  public:
    // Points QSettings's user scope at "DOVRINE/dialogs" in the configuration folder, a folder
    // only this user can enter (made 0700, and its parent, the settings folder, 0700 when
    // missing), and removes whatever is at the lock name there: only one copy of the program
    // runs for a user, and a dialog's own write has ended before this runs, so any lock there is
    // left over from a run that was killed, and Qt might wait on it. When that folder cannot be
    // had (another user's, a link, open to others) or a name in it is still unusable (see
    // unusableFile), the state goes to a private folder of this run instead, and standard error
    // says so once. A swap made between this check and Qt's own open is not covered: Qt opens
    // the files by name.
    static void protect();

    // The first of the two names under `folder` that is unusable, or empty when there is none.
    // At the state file, unusable is whatever is not a regular file: a pipe, device, socket or
    // folder, or a link that leads to one of those (a link to a regular file is read, and written
    // through, as that file; one that leads nowhere is made at its target or fails at once). At
    // the lock, anything at all: Qt makes the lock with an exclusive create and waits on one it
    // finds until it judges it stale.
    static QString unusableFile(const QString& folder);
};

namespace toolkit_dialog_detail {
// Constructed before the dialog, as its first base.
struct CheckBeforeMade {
    CheckBeforeMade() { ToolkitDialogState::protect(); }
};
}  // namespace toolkit_dialog_detail

// One of Qt's file or colour dialogs (QFileDialog, QColorDialog), made in its stead with the
// same constructors. The state's folder is readied right before the dialog is made, since it
// reads its state then, and again right before it goes, since its destructor writes the state,
// whichever way it goes: at the end of a scope, deleted after closing, or with its parent window.
// Whatever was left or made at either name while it was open is dealt with before the write.
template <class Dialog>
class ToolkitDialog final : private toolkit_dialog_detail::CheckBeforeMade, public Dialog {
  public:
    using Dialog::Dialog;
    ~ToolkitDialog() override { ToolkitDialogState::protect(); }
};

}  // namespace velmar
