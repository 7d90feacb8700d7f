#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <memory>
#include <optional>

class QKeyEvent;
class QUndoStack;

namespace velmar {

class TitleEditorModel;

// The registry of title-editor windows: each registered window keeps its own TitleEditorModel,
// whose QUndoStack is that window's undo stack, and command keys pressed in an editor window
// become the model's undo and redo or editing commands for the editor's views.
//
// A window leaves the registry, and its model is released, when it closes or when it is
// destroyed without closing, so a later window at the same address never reaches an old model.
//
// Main thread only.
class TitleEditorWindowController : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kWindowIdentifier = "dovrine.titleEditor";
    // The name of the command notification (commandPosted); userInfo holds "command".
    static constexpr const char* commandNotification = "DovrineTitleEditorCommand";

    static TitleEditorWindowController& shared();

    TitleEditorWindowController() = default;
    ~TitleEditorWindowController() override;

    // Names the window as a title editor, appends it and keeps its model, which the registry
    // owns from now on; a window already registered keeps its first model.
    void registerWindow(QWidget* window, std::unique_ptr<TitleEditorModel> model);

    // The undo stack of the window's model; null for a window that is not registered.
    QUndoStack* windowWillReturnUndoManager(const QWidget* window) const;
    // Forgets the window and releases its model; nothing for any other object.
    void windowWillClose(QObject* object);

    // A key press while a title-editor window (or a window-modal dialog over one) is the key
    // window; true when consumed. The key window is the application's active window unless
    // given.
    bool handleKeyEvent(const QKeyEvent& event);
    bool handleKeyEvent(const QKeyEvent& event, QWidget* keyWindow);
    // Whether handleKeyEvent() would consume the press, without running anything: the menu
    // shortcuts leave such a press to the title editor.
    bool takesKeyEvent(const QKeyEvent& event) const;
    bool takesKeyEvent(const QKeyEvent& event, QWidget* keyWindow) const;

    QList<QWidget*> windows() const;
    TitleEditorModel* editor(const QWidget* window) const;

  signals:
    // commandNotification: object the window's model, userInfo {"command": X}.
    void commandPosted(velmar::TitleEditorModel* object, const QVariantMap& userInfo);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void forget(const QObject* window);
    void post(TitleEditorModel* model, const QString& command);
    // The command a press in a title-editor window stands for ("undo", "redo", or one posted to
    // the editor's views; empty: a command key swallowed), with the window's model; none when
    // the press is passed on.
    std::optional<QString> keyCommand(const QKeyEvent& event, QWidget* keyWindow,
                                      TitleEditorModel*& model) const;

    QList<QPointer<QWidget>> windows_;
    QHash<const QObject*, std::shared_ptr<TitleEditorModel>> editors_;
};

}  // namespace velmar
