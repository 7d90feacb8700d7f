#include "ui/tools/title_editor_window_controller.h"

#include "core/title_editor_model.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace velmar {

TitleEditorWindowController& TitleEditorWindowController::shared() {
    static auto* controller = new TitleEditorWindowController;
    return *controller;
}

TitleEditorWindowController::~TitleEditorWindowController() {
    for (const QPointer<QWidget>& window : windows_)
        if (window) window->removeEventFilter(this);
}

void TitleEditorWindowController::registerWindow(QWidget* window,
                                                 std::unique_ptr<TitleEditorModel> model) {
    if (window == nullptr || model == nullptr || editors_.contains(window)) return;
    window->setObjectName(QString::fromLatin1(kWindowIdentifier));
    windows_.push_back(window);
    editors_.insert(window, std::shared_ptr<TitleEditorModel>(std::move(model)));
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this](QObject* gone) { forget(gone); });
}

QUndoStack* TitleEditorWindowController::windowWillReturnUndoManager(const QWidget* window) const {
    TitleEditorModel* model = editor(window);
    return model ? model->undoManager() : nullptr;
}

void TitleEditorWindowController::windowWillClose(QObject* object) {
    if (object == nullptr || !object->isWidgetType()) return;
    forget(object);
}

bool TitleEditorWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) windowWillClose(watched);
    return QObject::eventFilter(watched, event);
}

void TitleEditorWindowController::forget(const QObject* window) {
    windows_.removeIf([window](const QPointer<QWidget>& w) { return w.isNull() || w == window; });
    editors_.remove(window);  // releases the model
}

QList<QWidget*> TitleEditorWindowController::windows() const {
    QList<QWidget*> out;
    for (const QPointer<QWidget>& window : windows_)
        if (window) out << window.data();
    return out;
}

TitleEditorModel* TitleEditorWindowController::editor(const QWidget* window) const {
    const auto it = editors_.constFind(window);
    return it == editors_.cend() ? nullptr : it->get();
}

bool TitleEditorWindowController::handleKeyEvent(const QKeyEvent& event) {
    return handleKeyEvent(event, QApplication::activeWindow());
}

bool TitleEditorWindowController::handleKeyEvent(const QKeyEvent& event, QWidget* keyWindow) {
    if (keyWindow == nullptr) return false;
    // A window-modal dialog stands for the sheet of the window it belongs to.
    QWidget* target = keyWindow;
    if (keyWindow->windowModality() == Qt::WindowModal && keyWindow->parentWidget() != nullptr)
        target = keyWindow->parentWidget()->window();
    TitleEditorModel* model = editor(target);
    if (model == nullptr) return false;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!(modifiers & Qt::ControlModifier)) return false;

    // The key without modifiers, lower-cased.
    const int code = event.key();
    QString key;
    if (code >= Qt::Key_A && code <= Qt::Key_Z)
        key = QChar(u'a' + (code - Qt::Key_A));
    else if (code >= Qt::Key_Space && code <= Qt::Key_AsciiTilde)
        key = QChar(code).toLower();

    if (key == u"z") {
        if (modifiers & Qt::ShiftModifier)
            model->redo();
        else
            model->undo();
        return true;
    }
    if (key == u"s" || key == u"d") {
        post(model, key);
        return true;
    }
    if (code == Qt::Key_Backspace) {
        post(model, QStringLiteral("delete"));
        return true;
    }
    if (key == u"a") {
        const QWidget* focus = keyWindow->focusWidget();
        if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
            qobject_cast<const QPlainTextEdit*>(focus))
            return false;  // the text control selects its own text
        post(model, QStringLiteral("select-all"));
        return true;
    }
    static const QStringList passed{"c", "x", "v", "n", "w", "q"};
    if (passed.contains(key)) return false;  // menus and text controls handle these
    return true;                             // any other command key is swallowed
}

void TitleEditorWindowController::post(TitleEditorModel* model, const QString& command) {
    emit commandPosted(model, QVariantMap{{QStringLiteral("command"), command}});
}

}  // namespace velmar
