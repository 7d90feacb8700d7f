#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

namespace velmar {

// Every question and panel of the document workflow (saving, opening, recovery, import and
// replace) goes through this interface, so that tests answer them. Buttons carry an explicit
// role; answers are the index of the button chosen in the order given.
class DocumentDialogs {
  public:
    // `destructive`: the answer takes the show off air or throws work away. Such a button is
    // only ever chosen by a deliberate click (or by moving the focus to it first): never by
    // Return, Enter or Space on the box as it opens, since the operator's next cut key must not
    // answer it.
    enum class ButtonRole { accept, destructive, reject };
    struct Button {
        QString title;
        ButtonRole role = ButtonRole::accept;
    };
    // A warning box: the message in bold, the informative text below, the buttons in order.
    struct Alert {
        QString message;
        QString informativeText;
        QList<Button> buttons;

        // The button that Return and Space choose as the box opens: the first `accept` button,
        // else the first `reject` one; never a destructive one. -1: none.
        int defaultIndex() const {
            const int accept = firstOf(ButtonRole::accept);
            return accept >= 0 ? accept : firstOf(ButtonRole::reject);
        }
        // The button that Escape and closing the box choose: the first `reject` button. -1: none
        // (Escape then does nothing).
        int cancelIndex() const { return firstOf(ButtonRole::reject); }

      private:
        int firstOf(ButtonRole role) const {
            for (qsizetype i = 0; i < buttons.size(); ++i)
                if (buttons[i].role == role) return static_cast<int>(i);
            return -1;
        }
    };

    struct SavePanel {
        QString message;
        QString proposedName;  // the name field, taken as typed (no default suffix)
    };
    struct OpenPanel {
        QString message;
        bool allowsMultiple = false;
        bool choosesFiles = true;
        bool choosesDirectories = false;
        // Lower-case extensions offered; empty: every file.
        QStringList allowedExtensions;
    };
    // The chosen files or folders; none when the panel was cancelled.
    using OpenCompletion = std::function<void(std::optional<QList<QUrl>>)>;

    virtual ~DocumentDialogs() = default;

    // Runs a box modally; the index of the button chosen, -1 when it was closed another way.
    virtual int runAlert(const Alert& alert, QWidget* parent) = 0;
    // Shows a box modal to one window and returns at once; nothing follows its closing.
    virtual void showWindowModal(const Alert& alert, QWidget* window) = 0;
    // Runs a save panel modally; the chosen file, or none.
    virtual std::optional<QUrl> runSavePanel(const SavePanel& panel, QWidget* parent) = 0;
    // Runs an open panel modally; the chosen files, or none.
    virtual std::optional<QList<QUrl>> runOpenPanel(const OpenPanel& panel, QWidget* parent) = 0;
    // Shows an open panel without blocking; `done` runs later on the main thread, exactly once.
    virtual void beginOpenPanel(const OpenPanel& panel, QWidget* parent, OpenCompletion done) = 0;
};

}  // namespace velmar
