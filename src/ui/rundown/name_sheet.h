#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace velmar {

// A small window-modal sheet that asks for one name: a bold title, a text field and the buttons
// "キャンセル" and "OK" (the default button, Return). OK emits confirmed() with the text as typed;
// both buttons close the sheet. Used to add and rename markers and to rename tabs.
class NameSheet : public QDialog {
    Q_OBJECT
  public:
    NameSheet(const QString& title, const QString& text, const QString& placeholder, int fieldWidth,
              QWidget* parent);

    QLineEdit* field() const { return field_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

  signals:
    void confirmed(const QString& text);

  private:
    QLineEdit* field_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace velmar
