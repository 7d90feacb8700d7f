#pragma once

#include <QFrame>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmar {

// The popup of the settings form's "カスタム…" button: a width and a height field and the
// buttons "キャンセル" and "適用" (the default, taken by Return). It keeps the texts typed in it
// between openings; cancelling, applying or clicking elsewhere closes it, and only "適用" hands
// the two texts on.
class SettingsCustomFormatEditor : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kWidth = 260;

    explicit SettingsCustomFormatEditor(QWidget* parent = nullptr);

    // Called by "適用" with the two texts as typed; the popup closes afterwards.
    std::function<void(const QString& width, const QString& height)> onApply;

    QString widthText() const;
    QString heightText() const;
    QLineEdit* widthField() const { return width_; }
    QLineEdit* heightField() const { return height_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Shows the popup below `anchor`.
    void popUp(QWidget* anchor);
    void retranslate();

  protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void apply();

    QLabel* title_;
    QLabel* widthLabel_;
    QLabel* heightLabel_;
    QLineEdit* width_;
    QLineEdit* height_;
    QPushButton* cancel_;
    QPushButton* apply_;
};

}  // namespace velmar
