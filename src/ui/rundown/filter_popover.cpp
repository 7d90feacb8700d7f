#include "ui/rundown/filter_popover.h"

#include "core/rundown.h"
#include "models/localized.h"
#include "ui/rundown/rundown_style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace velmar {

FilterPopover::FilterPopover(Rundown& rundown, EntryFlag setEntryOpen, QWidget* parent)
    : QFrame(parent, Qt::Popup), rundown_(rundown), setEntryOpen_(std::move(setEntryOpen)) {
    setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    column->setContentsMargins(12, 12, 12, 12);
    title_ = new QLabel(this);
    title_->setFont(rundown_style::font(12, QFont::Bold));
    column->addWidget(title_);
    field_ = new QLineEdit(rundown_.filterText(), this);
    field_->setFixedWidth(220);
    column->addWidget(field_);
    hint_ = new QLabel(this);
    hint_->setFont(rundown_style::font(10));
    hint_->setWordWrap(true);
    hint_->setFixedWidth(220);
    hint_->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(hint_);
    auto* row = new QHBoxLayout;
    clear_ = new QPushButton(this);
    close_ = new QPushButton(this);
    retranslate();
    for (QPushButton* b : {clear_, close_}) b->setFont(rundown_style::font(11));
    close_->setDefault(true);
    row->addWidget(clear_);
    row->addStretch(1);
    row->addWidget(close_);
    column->addLayout(row);

    // Every keystroke reaches the filter at once.
    connect(field_, &QLineEdit::textEdited, this,
            [this](const QString& text) { rundown_.setFilterText(text); });
    connect(field_, &QLineEdit::returnPressed, this, &QWidget::hide);
    connect(clear_, &QPushButton::clicked, this, [this] { rundown_.setFilterText(QString()); });
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    connect(&rundown_, &Rundown::filterChanged, this, [this] {
        if (field_->text() != rundown_.filterText()) field_->setText(rundown_.filterText());
    });
}

void FilterPopover::retranslate() {
    title_->setText(localized("名前で絞り込み"));
    hint_->setText(localized("合わないものは薄く表示されます。並び順と番号は変わりません。"));
    clear_->setText(localized("解除"));
    close_->setText(localized("閉じる"));
}

void FilterPopover::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QFrame::changeEvent(event);
}

FilterPopover::~FilterPopover() {
    if (isVisible() && setEntryOpen_) setEntryOpen_(this, false);
}

void FilterPopover::openBelow(QPoint globalAnchor) {
    adjustSize();
    move(globalAnchor.x() - width() / 2, globalAnchor.y());
    show();
}

void FilterPopover::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    if (setEntryOpen_) setEntryOpen_(this, true);
    QTimer::singleShot(0, field_, [this] { field_->setFocus(Qt::PopupFocusReason); });
}

void FilterPopover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    if (setEntryOpen_) setEntryOpen_(this, false);
}

}  // namespace velmar
