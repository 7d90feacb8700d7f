#pragma once

#include <QLineEdit>

#include <functional>

namespace velmar {

// A one-line field for typing a number, handed to the caller as typed (no parsing). Return or
// Enter commits exactly once and Escape cancels; both keys are taken by the field, so a dialog's
// default button or a window shortcut does not act on them as well. Every edit is reported
// through onTextChanged. Focus is asked for once when the field is made and once per new value
// of the focus request counter, each on the next turn of the event loop.
class NumberField : public QLineEdit {
    Q_OBJECT
  public:
    explicit NumberField(QWidget* parent = nullptr);

    std::function<void(const QString&)> onTextChanged;  // every edit by the operator
    std::function<void()> onCommit;
    std::function<void()> onCancel;

    bool selectsAllOnAppear() const { return selectsAllOnAppear_; }
    void setSelectsAllOnAppear(bool value) { selectsAllOnAppear_ = value; }

    // Shows `text`; when the field already shows it nothing is touched, so the insertion point
    // and the selection stay.
    void setBoundText(const QString& text);

    int focusRequest() const { return lastFocusRequest_; }
    // A value other than the last one served asks for focus on the next turn; the whole text is
    // selected only for request 1 (with selectsAllOnAppear). Without a shown window the
    // request is dropped and counts as served.
    void setFocusRequest(int request);

    // Font: monospaced 18 design units at scale s.
    void setScale(double s);

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool isInShownWindow() const;
    void commit();

    bool selectsAllOnAppear_ = false;
    int lastFocusRequest_ = 0;
};

}  // namespace velmar
