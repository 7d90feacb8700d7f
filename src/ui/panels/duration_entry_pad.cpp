#include "ui/panels/duration_entry_pad.h"

#include "models/localized.h"
#include "ui/controls/number_field.h"
#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace velmar {
namespace {

// A button the row may narrow down to its text (in whatever language it shows), rather than to
// the style's usual minimum width: that minimum would have the row squeeze "キャンセル" in the
// sheet's narrow column.
class FittedButton : public QPushButton {
  public:
    using QPushButton::QPushButton;
    QSize minimumSizeHint() const override {
        return QSize(fontMetrics().horizontalAdvance(text()) + 10,
                     QPushButton::minimumSizeHint().height());
    }
};

QPushButton* smallButton(const QString& text, QWidget* parent, bool fitted = false) {
    QPushButton* button = fitted ? new FittedButton(text, parent) : new QPushButton(text, parent);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setDefault(false);
    if (fitted) button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return button;
}

}  // namespace

DurationEntryPad::DurationEntryPad(std::optional<double> initialValue, Range range,
                                   const QString& title, bool allowsNegative, bool allowsDefault,
                                   std::function<void(std::optional<double>)> onCommit,
                                   std::function<void()> onCancel, QWidget* parent)
    : QWidget(parent),
      model_(initialValue, allowsNegative, allowsDefault),
      onCommit_(std::move(onCommit)),
      onCancel_(std::move(onCancel)),
      titleKey_(title) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);

    heading_ = new QLabel(this);
    QFont bold = font();
    bold.setPixelSize(11);
    bold.setBold(true);
    heading_->setFont(bold);
    column->addWidget(heading_);

    field_ = new NumberField(this);
    field_->setBoundText(model_.text());
    field_->setSelectsAllOnAppear(true);
    field_->setFixedSize(132, 26);
    field_->onTextChanged = [this](const QString& text) {
        model_.setText(text);
        refresh();
    };
    field_->onCommit = [this] { commit(); };
    field_->onCancel = [this] { cancel(); };
    column->addWidget(field_);

    QFont small = font();
    small.setPixelSize(10);
    auto* hint = new QLabel(DurationPadModel::rangeHint(range.lower, range.upper), this);
    hint->setFont(small);
    useSecondaryText(hint);
    column->addWidget(hint);
    if (allowsDefault) {
        note_ = new QLabel(this);
        note_->setFont(small);
        useSecondaryText(note_);
        note_->setWordWrap(true);
        note_->setFixedWidth(132);
        column->addWidget(note_);
    }

    auto* keypad = new QGridLayout;
    keypad->setSpacing(4);
    QFont keyFont = font();
    keyFont.setFamily(QStringLiteral("DejaVu Sans Mono"));
    keyFont.setPixelSize(13);
    keyFont.setWeight(QFont::Medium);
    const auto addKey = [&](const QString& face, int row, int column) {
        const bool backspace = face == QString::fromUtf8(DurationPadModel::kBackspaceKey);
        QPushButton* key = smallButton(backspace ? QString() : face, this);
        key->setFont(keyFont);
        if (backspace) {
            key->setIconSize(QSize(14, 14));
            key->setIcon(SvgIcon::icon(QStringLiteral(":/icons/delete-left.svg"), QSize(14, 14),
                                       palette().color(QPalette::ButtonText),
                                       palette().color(QPalette::Disabled, QPalette::ButtonText),
                                       devicePixelRatioF()));
        }
        key->setFixedSize(40, 26);
        keypad->addWidget(key, row, column);
        keys_.insert(face, key);
        connect(key, &QPushButton::clicked, this, [this, face] { press(face); });
    };
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col) {
            addKey(QString::fromUtf8(DurationPadModel::kKeys[row][col]), row, col);
        }
    }
    if (allowsNegative) addKey(QString::fromUtf8(DurationPadModel::kSignKey), 4, 0);
    column->addLayout(keypad);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    column->addWidget(line);

    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    clear_ = smallButton(QString(), this, true);
    cancel_ = smallButton(QString(), this, true);
    apply_ = smallButton(QString(), this, true);
    QFont buttonFont = font();
    buttonFont.setPixelSize(11);
    for (QPushButton* button : {clear_, cancel_, apply_}) button->setFont(buttonFont);
    row->addWidget(clear_);
    row->addStretch(1);
    row->addWidget(cancel_);
    row->addWidget(apply_);
    column->addLayout(row);

    connect(clear_, &QPushButton::clicked, this, [this] {
        model_.clear();
        refresh();
    });
    connect(cancel_, &QPushButton::clicked, this, &DurationEntryPad::cancel);
    connect(apply_, &QPushButton::clicked, this, &DurationEntryPad::commit);
    retranslate();
    refresh();
}

void DurationEntryPad::retranslate() {
    heading_->setText(localized(titleKey_));
    if (note_) note_->setText(localized("空欄にすると既定値を使います。"));
    clear_->setText(model_.allowsDefault() ? localized("既定に戻す") : localized("クリア"));
    cancel_->setText(localized("キャンセル"));
    apply_->setText(localized("適用"));
}

void DurationEntryPad::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void DurationEntryPad::press(const QString& face) {
    model_.press(face);
    refresh();
    // The field keeps (or takes back) the focus after a click on the keypad.
    field_->setFocusRequest(++focusRequest_);
}

void DurationEntryPad::commit() {
    if (const auto value = model_.commit()) {
        if (onCommit_) onCommit_(*value);
    }
}

void DurationEntryPad::cancel() {
    if (onCancel_) onCancel_();
}

void DurationEntryPad::refresh() {
    field_->setBoundText(model_.text());
    apply_->setEnabled(model_.isValid());
}

void DurationEntryPad::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first request, once the pad is in its window, also selects the whole text, so that
    // typing replaces the shown value.
    if (focusRequest_ == 0) field_->setFocusRequest(++focusRequest_);
}

}  // namespace velmar
