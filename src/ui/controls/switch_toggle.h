#pragma once

#include <QCheckBox>

namespace velmar {

// A check box drawn as a switch: a capsule track with a round knob, grey with the knob at the
// left when off, filled with the accent colour with the knob at the right when on, then the
// label in the palette's text colour. Sized from its font; the whole area takes the click.
class SwitchToggle : public QCheckBox {
    Q_OBJECT
  public:
    explicit SwitchToggle(const QString& text, QWidget* parent = nullptr);

    // The colour of the lit track.
    static QColor onColor();
    static QColor offColor();
    // The track's rectangle in widget pixels.
    QRect trackRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

  private:
    int trackHeight() const;
};

}  // namespace velmar
