#include "app/led_cabinet_dialog.h"

#include "models/localized.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>

namespace velmar {

std::optional<int> LEDCabinetDialog::parseSide(const QString& text) {
    int start = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) start = 1;
    if (start >= text.size()) return std::nullopt;
    long long value = 0;
    for (int i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        // Beyond the range of int the text is not an integer we take.
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (text[0] == u'-') value = -value;
    if (value < INT_MIN || value > INT_MAX) return std::nullopt;
    if (value < kMinSide || value > kMaxSide) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<LEDCabinetSize> LEDCabinetDialog::parseSize(const QString& width,
                                                          const QString& height) {
    const auto w = parseSide(width);
    const auto h = parseSide(height);
    if (!w || !h) return std::nullopt;
    return LEDCabinetSize{*w, *h};
}

LEDCabinetDialog::LEDCabinetDialog(const AppDialogs::LEDCabinetPrompt& prompt, QWidget* parent)
    : QDialog(parent) {
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    message_ = new QLabel(prompt.messageText, this);
    QFont bold = message_->font();
    bold.setBold(true);
    message_->setFont(bold);
    informative_ = new QLabel(prompt.informativeText, this);
    informative_->setWordWrap(true);
    layout->addWidget(message_);
    layout->addWidget(informative_);

    auto* fields = new QWidget(this);
    fields->setFixedSize(240, 24);
    auto* row = new QHBoxLayout(fields);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    widthField_ = new QLineEdit(prompt.widthText, fields);
    heightField_ = new QLineEdit(prompt.heightText, fields);
    for (QLineEdit* field : {widthField_, heightField_}) {
        field->setAlignment(Qt::AlignRight);
        field->setFixedWidth(kFieldWidth);
    }
    row->addWidget(widthField_);
    row->addWidget(new QLabel(QStringLiteral("×"), fields));
    row->addWidget(heightField_);
    row->addWidget(new QLabel(QStringLiteral("px"), fields));
    row->addStretch();
    layout->addWidget(fields);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* show = buttons->addButton(localized("出す"), QDialogButtonBox::AcceptRole);
    buttons->addButton(localized("キャンセル"), QDialogButtonBox::RejectRole);
    show->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setWindowTitle(prompt.messageText);
    widthField_->setFocus();
}

AppDialogs::LEDCabinetPrompt LEDCabinetDialog::prompt() const {
    return {message_->text(), informative_->text(), widthField_->text(), heightField_->text()};
}

}  // namespace velmar
