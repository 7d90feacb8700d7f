#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <optional>

namespace velmar {

// A caption laid over a pane: a line of text, optionally on a capsule. It takes no clicks or
// drags, so the pane under it behaves as if it were not there. Sizes in design units at scale s.
class PaneCaption : public QWidget {
    Q_OBJECT
  public:
    struct Style {
        double points = 13;
        QFont::Weight weight = QFont::Black;
        QColor text;
        std::optional<QColor> capsule;  // background with 10 x 3 padding
    };

    explicit PaneCaption(QWidget* parent = nullptr);

    void setCaption(const QString& text, const Style& style);
    void setScale(double s);
    const QString& text() const { return text_; }
    // The caption's size in design units.
    QSizeF designSize() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QFont font() const;

    QString text_;
    Style style_;
    double scale_ = 1;
};

}  // namespace velmar
