#pragma once

#include <QFrame>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmar {

class Rundown;

// The popover of the tab bar's name filter: a field that writes the rundown's filter text on
// every keystroke, a hint, "解除" (clears the text, stays open) and "閉じる". Return in the field
// closes it too; closing never changes the filter. While it is up it holds its own number-entry
// flag, so that keys typed into the field are not taken as playout controls.
class FilterPopover : public QFrame {
    Q_OBJECT
  public:
    // setEntryOpen(owner, open): the application's per-owner number-entry flag.
    using EntryFlag = std::function<void(QObject* owner, bool open)>;
    FilterPopover(Rundown& rundown, EntryFlag setEntryOpen, QWidget* parent = nullptr);
    ~FilterPopover() override;

    // Opens below a point (global coordinates), centred on it.
    void openBelow(QPoint globalAnchor);

    QLineEdit* field() const { return field_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* closeButton() const { return close_; }

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void retranslate();

    Rundown& rundown_;
    EntryFlag setEntryOpen_;
    QLabel* title_;
    QLabel* hint_;
    QLineEdit* field_;
    QPushButton* clear_;
    QPushButton* close_;
};

}  // namespace velmar
