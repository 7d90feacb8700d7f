#pragma once

#include "app/app_dialogs.h"
#include "render/led_cabinet_size.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;

namespace velmar {

// The modal question for the size of one LED cabinet: a message, an explanation, the width and
// height fields (80 wide, with "×" between and "px" after) and the buttons "出す" (default) and
// "キャンセル". The width field has the focus when it opens.
class LEDCabinetDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kFieldWidth = 80;
    static constexpr int kMinSide = 8;
    static constexpr int kMaxSide = 4096;

    explicit LEDCabinetDialog(const AppDialogs::LEDCabinetPrompt& prompt,
                              QWidget* parent = nullptr);

    // The prompt with the texts now in the fields.
    AppDialogs::LEDCabinetPrompt prompt() const;

    QLineEdit* widthField() const { return widthField_; }
    QLineEdit* heightField() const { return heightField_; }
    QLabel* informativeLabel() const { return informative_; }

    // A side as typed: a decimal integer (an optional leading sign, then digits only, no blanks,
    // within the range of int) from 8 to 4096; nothing otherwise.
    static std::optional<int> parseSide(const QString& text);
    // Both sides, when both are valid.
    static std::optional<LEDCabinetSize> parseSize(const QString& width, const QString& height);

  private:
    QLabel* message_;
    QLabel* informative_;
    QLineEdit* widthField_;
    QLineEdit* heightField_;
};

}  // namespace velmar
