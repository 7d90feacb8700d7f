#pragma once

#include <QComboBox>

namespace velmar {

// A combo box whose closed face shows the current text cut at the right with "…" when the text
// is wider than the face; the items themselves, and the open list, keep their whole texts.
class ElidedComboBox : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;

    // The text the closed face shows now.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString elided(const QStyleOptionComboBox& option) const;
};

}  // namespace velmar
