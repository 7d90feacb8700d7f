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
    TitleEditorModel* model = nullptr;
    const std::optional<QString> command = keyCommand(event, keyWindow, model);
    if (!command) return false;
    if (*command == u"undo")
        model->undo();
    else if (*command == u"redo")
        model->redo();
    else if (!command->isEmpty())
        post(model, *command);
    return true;
}

bool TitleEditorWindowController::takesKeyEvent(const QKeyEvent& event) const {
    return takesKeyEvent(event, QApplication::activeWindow());
}

bool TitleEditorWindowController::takesKeyEvent(const QKeyEvent& event, QWidget* keyWindow) const {
    TitleEditorModel* model = nullptr;
    return keyCommand(event, keyWindow, model).has_value();
}

std::optional<QString> TitleEditorWindowController::keyCommand(const QKeyEvent& event,
                                                               QWidget* keyWindow,
                                                               TitleEditorModel*& model) const {
    model = nullptr;
    if (keyWindow == nullptr) return std::nullopt;
    // A window-modal dialog stands for the sheet of the window it belongs to.
    QWidget* target = keyWindow;
    if (keyWindow->windowModality() == Qt::WindowModal && keyWindow->parentWidget() != nullptr)
        target = keyWindow->parentWidget()->window();
    model = editor(target);
    if (model == nullptr) return std::nullopt;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!(modifiers & Qt::ControlModifier)) return std::nullopt;

    // The key without modifiers, lower-cased.
    const int code = event.key();
    QString key;
    if (code >= Qt::Key_A && code <= Qt::Key_Z)
        key = QChar(u'a' + (code - Qt::Key_A));
    else if (code >= Qt::Key_Space && code <= Qt::Key_AsciiTilde)
        key = QChar(code).toLower();

    if (key == u"z")
        return (modifiers & Qt::ShiftModifier) ? QStringLiteral("redo") : QStringLiteral("undo");
    if (key == u"s" || key == u"d") return key;
    if (code == Qt::Key_Backspace) return QStringLiteral("delete");
    if (key == u"a") {
        const QWidget* focus = keyWindow->focusWidget();
        if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
            qobject_cast<const QPlainTextEdit*>(focus))
            return std::nullopt;  // the text control selects its own text
        return QStringLiteral("select-all");
    }
    static const QStringList passed{"c", "x", "v", "n", "w", "q"};
    if (passed.contains(key)) return std::nullopt;  // menus and text controls handle these
    return QString();                               // any other command key is swallowed
}

void TitleEditorWindowController::post(TitleEditorModel* model, const QString& command) {
    emit commandPosted(model, QVariantMap{{QStringLiteral("command"), command}});
}

}  // namespace velmar
