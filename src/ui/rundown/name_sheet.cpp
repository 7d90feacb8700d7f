#include "ui/rundown/name_sheet.h"

#include "models/localized.h"
#include "ui/rundown/rundown_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

NameSheet::NameSheet(const QString& title, const QString& text, const QString& placeholder,
                     int fieldWidth, QWidget* parent)
    : QDialog(parent) {
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(12);
    column->setContentsMargins(18, 18, 18, 18);
    auto* heading = new QLabel(title, this);
    heading->setFont(rundown_style::font(12, QFont::Bold));
    column->addWidget(heading);
    field_ = new QLineEdit(text, this);
    field_->setPlaceholderText(placeholder);
    field_->setFixedWidth(fieldWidth);
    column->addWidget(field_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    cancel_ = new QPushButton(localized("キャンセル"), this);
    cancel_->setAutoDefault(false);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    row->addWidget(cancel_);
    row->addWidget(ok_);
    column->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok_, &QPushButton::clicked, this, [this] {
        const QString typed = field_->text();
        accept();
        emit confirmed(typed);
    });
}

}  // namespace velmar
