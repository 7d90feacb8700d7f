#include "ui/controls/number_field.h"

#include "ui/controls/design_scale.h"

#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace velmar {

namespace {

bool isCommitOrCancelKey(const QKeyEvent* event) {
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

NumberField::NumberField(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFont(DesignScale::font(18, 1, QFont::Normal, true));
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (onTextChanged) onTextChanged(text);
    });
    // The field asks for focus once when made, after it has been placed in its window; the
    // selection happens even when it has no window.
    QTimer::singleShot(0, this, [this] {
        if (isInShownWindow()) setFocus(Qt::OtherFocusReason);
        if (selectsAllOnAppear_) selectAll();
    });
}

void NumberField::setBoundText(const QString& value) {
    if (text() == value) return;
    setText(value);
}

void NumberField::setFocusRequest(int request) {
    if (request == lastFocusRequest_) return;
    lastFocusRequest_ = request;
    QPointer<NumberField> self(this);
    QTimer::singleShot(0, this, [self, request] {
        if (!self || !self->isInShownWindow()) return;
        self->setFocus(Qt::OtherFocusReason);
        if (self->selectsAllOnAppear_ && request == 1) self->selectAll();
    });
}

void NumberField::setScale(double s) {
    setFont(DesignScale::font(18, s, QFont::Normal, true));
}

bool NumberField::isInShownWindow() const {
    return window() != this && window()->isVisible();
}

bool NumberField::event(QEvent* event) {
    // Return and Escape belong to the field while it has focus, not to shortcuts.
    if (event->type() == QEvent::ShortcutOverride &&
        isCommitOrCancelKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void NumberField::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            event->accept();
            if (onCancel) onCancel();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Accepted, so the dialog's default button does not commit a second time.
            event->accept();
            commit();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void NumberField::commit() {
    if (onTextChanged) onTextChanged(text());
    if (onCommit) onCommit();
}

}  // namespace velmar
