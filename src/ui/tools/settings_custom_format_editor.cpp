#include "ui/tools/settings_custom_format_editor.h"

#include "models/localized.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

SettingsCustomFormatEditor::SettingsCustomFormatEditor(QWidget* parent)
    : QFrame(parent, Qt::Popup),
      title_(new QLabel(this)),
      widthLabel_(new QLabel(this)),
      heightLabel_(new QLabel(this)),
      width_(new QLineEdit(QStringLiteral("1920"), this)),
      height_(new QLineEdit(QStringLiteral("1080"), this)),
      cancel_(new QPushButton(this)),
      apply_(new QPushButton(this)) {
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(kWidth);
    QFont titleFont = title_->font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    width_->setFixedWidth(70);
    height_->setFixedWidth(70);
    width_->setObjectName(QStringLiteral("customWidth"));
    height_->setObjectName(QStringLiteral("customHeight"));
    apply_->setDefault(true);
    apply_->setAutoDefault(true);
    cancel_->setAutoDefault(false);

    auto* fields = new QHBoxLayout;
    fields->setSpacing(6);
    fields->addWidget(widthLabel_);
    fields->addWidget(width_);
    fields->addWidget(new QLabel(QStringLiteral("×"), this));
    fields->addWidget(heightLabel_);
    fields->addWidget(height_);
    fields->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    buttons->addWidget(apply_);
    auto* stack = new QVBoxLayout(this);
    stack->setSpacing(10);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->addWidget(title_);
    stack->addLayout(fields);
    stack->addLayout(buttons);

    connect(cancel_, &QPushButton::clicked, this, &QWidget::hide);
    connect(apply_, &QPushButton::clicked, this, &SettingsCustomFormatEditor::apply);
    retranslate();
}

QString SettingsCustomFormatEditor::widthText() const {
    return width_->text();
}

QString SettingsCustomFormatEditor::heightText() const {
    return height_->text();
}

void SettingsCustomFormatEditor::popUp(QWidget* anchor) {
    adjustSize();
    move(anchor->mapToGlobal(QPoint(0, anchor->height())));
    show();
    width_->setFocus(Qt::PopupFocusReason);
}

void SettingsCustomFormatEditor::retranslate() {
    title_->setText(localized("カスタムフォーマット"));
    widthLabel_->setText(localized("幅"));
    heightLabel_->setText(localized("高さ"));
    cancel_->setText(localized("キャンセル"));
    apply_->setText(localized("適用"));
}

void SettingsCustomFormatEditor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QFrame::changeEvent(event);
}

void SettingsCustomFormatEditor::keyPressEvent(QKeyEvent* event) {
    // A popup is no dialog: Return goes to the default button here, Escape closes.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        apply();
        return;
    }
    QFrame::keyPressEvent(event);
}

void SettingsCustomFormatEditor::apply() {
    const QString w = width_->text();
    const QString h = height_->text();
    hide();
    if (onApply) onApply(w, h);
}

}  // namespace velmar
